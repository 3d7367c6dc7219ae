// The program kelvaro will write, as the compressor knows it: kelvaro's
// settings handed over in KELVARO_SETTINGS, the same choices as vgmcomp.x
// options, --interpreted and its figures, and the size vgmcomp.x reports
// against the program kelvaro then writes.
#include <gtest/gtest.h>

#include <sstream>

#include "convert/settings.h"
#include "vgmcomp/cli.h"
#include "vgmcomp/target.h"
#include "vgmcomp/vgm_writer.h"
#include "tests/test_support.h"
#include "xb/xb_size.h"

namespace {

using Words = std::vector<std::string>;

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// Twenty seconds of a melody that changes every two or three frames, with
// noise hits: far too many rows for XB without the compiler.
std::vector<uint8_t> quick_vgm()
{
    VgmWriter w;
    const uint16_t notes[] = {428, 339, 285, 214, 254};
    for (int k = 0; k < 480; k++) {
        vgm_tone(w, 0, notes[k % 5]);
        vgm_atten(w, 0, static_cast<uint8_t>(k % 3));
        if (k % 8 == 0) {
            vgm_noise(w, 5);
            vgm_atten(w, 3, 2);
        } else if (k % 8 == 1) {
            vgm_atten(w, 3, 15);
        }
        vgm_wait_frames(w, 2 + k % 2);
    }
    return vgm_finish(w);
}

// The number before " bytes (" + what + ")" in the figures of err.
size_t reported_size(const std::string &err, const std::string &what)
{
    const size_t at = err.find(" bytes (" + what + ")");
    if (at == std::string::npos) return 0;
    const size_t start = err.rfind(' ', at - 1) + 1;
    return std::stoul(err.substr(start, at - start));
}

}  // namespace

TEST(Target, SettingsOptionsTextAndXbTimes)
{
    struct Case {
        int32_t output, noise, timing;
        const char *options;
        const char *text;
        uint32_t row_frames;
        double row_ms_short, row_ms_long;  // rows written 20 and 1000 ms long
    };
    const Case cases[] = {
        {OUTPUT_PROGRAM, NOISE_OFF, TIMING_REAL, "--form program --no-noise --timing real",
         "PROGRAM mode, no noise, REAL timing", 16, 260, 1000},
        {OUTPUT_PROGRAM, NOISE_ON, TIMING_EMULATED, "--form program --noise --timing emulated",
         "PROGRAM mode, noise, EMULATED timing", 20, 330, 1000},
        {OUTPUT_DATA, NOISE_OFF, TIMING_EMULATED, "--form data --no-noise --timing emulated",
         "DATA mode, no noise, EMULATED timing", 16, 260, 1000},
        {OUTPUT_CALLSOUND, NOISE_OFF, TIMING_REAL, "--form statements --no-noise --timing real",
         "CALL SOUND mode, no noise", 5, 83, 1000 / 0.9},
        {OUTPUT_CALLSOUND, NOISE_ON, TIMING_EMULATED, "--form statements --noise --timing emulated",
         "CALL SOUND mode, noise", 6, 87, 1000 / 0.9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options);
        const XbTarget t = target_of_settings(c.output, c.noise, c.timing);
        EXPECT_EQ(target_options(t), c.options);
        EXPECT_EQ(target_text(t), c.text);
        EXPECT_EQ(interpreted_row_frames(t), c.row_frames);
        EXPECT_DOUBLE_EQ(interpreted_row_ms(t, 20), c.row_ms_short);
        EXPECT_DOUBLE_EQ(interpreted_row_ms(t, 1000), c.row_ms_long);
        // kelvaro's options read back by vgmcomp.x give the same target, and
        // the converter's settings the same again.
        VgmcompOptions opt;
        std::string error;
        ASSERT_TRUE(parse_options({}, {"a.vgm"}, opt, error, split_blanks(c.options))) << error;
        EXPECT_EQ(opt.target, t);
        apply_target(t);
        EXPECT_EQ(arg_output, c.output);
        EXPECT_EQ(arg_noise, c.noise);
        EXPECT_EQ(arg_timing, c.timing);
    }
    settings_default();
    EXPECT_EQ(target_of_settings(arg_output, arg_noise, arg_timing), XbTarget());
    EXPECT_DOUBLE_EQ(interpreted_start_ms(XbTarget(), 500), 1000);
    EXPECT_DOUBLE_EQ(interpreted_start_ms(XbTarget{XbForm::statements, false, false}, 343), 343 * 17.0);
}

TEST(Target, KelvaroSettingsWinOverVgmcompOptionsAndTheCommandLineOverBoth)
{
    VgmcompOptions opt;
    std::string error;
    // The user's VGMCOMP_OPTIONS say one thing, kelvaro's settings another.
    const Words user = split_blanks("--form data --noise --timing emulated --interpreted --min-frames 3");
    const Words kelvaro = split_blanks("--form statements --no-noise --timing real");
    ASSERT_TRUE(parse_options(user, {"a.vgm"}, opt, error, kelvaro)) << error;
    EXPECT_EQ(opt.target, (XbTarget{XbForm::statements, false, false}));
    EXPECT_TRUE(opt.interpreted);
    EXPECT_EQ(opt.reduce.min_frames, 3u);
    EXPECT_EQ(opt.reduce.min_row_frames, 5u);  // for the CALL SOUND form kelvaro writes
    EXPECT_EQ(opt.reduce.voices, 0x07);        // without the noise voice, which it does not play

    ASSERT_TRUE(parse_options(user, {"--form=program", "--noise", "a.vgm"}, opt, error, kelvaro)) << error;
    EXPECT_EQ(opt.target, (XbTarget{XbForm::program, true, false}));
    EXPECT_EQ(opt.reduce.min_row_frames, 20u);
    EXPECT_EQ(opt.reduce.voices, ALL_VOICES);

    // Defaults as before: PROGRAM form, no noise, REAL timing, no row minimum.
    ASSERT_TRUE(parse_options({}, {"a.vgm"}, opt, error)) << error;
    EXPECT_EQ(opt.target, XbTarget());
    EXPECT_EQ(opt.reduce.min_row_frames, 1u);

    // Usage errors name the option, and the variable it came from.
    struct Bad {
        Words env, kelvaro, args;
        const char *says;
    };
    const Bad bad[] = {
        {{}, {}, {"--form", "compiled", "a.vgm"}, "--form needs program, data or statements"},
        {{}, {}, {"--timing=fast", "a.vgm"}, "--timing needs real or emulated"},
        {{}, {}, {"a.vgm", "--form"}, "option --form needs a value"},
        {{"--form", "x"}, {}, {"a.vgm"}, "not 'x' (in VGMCOMP_OPTIONS)"},
        {{}, {"--timing", "slow"}, {"a.vgm"}, "not 'slow' (in KELVARO_SETTINGS)"},
        {{}, {"--fit", "100"}, {"a.vgm"}, "'--fit' is not one of kelvaro's settings"},
        {{}, {"song.vgm"}, {"a.vgm"}, "(in KELVARO_SETTINGS)"},
        {{}, {}, {"--noise=1", "a.vgm"}, "unknown option '--noise=1'"},
    };
    for (const Bad &b : bad) {
        EXPECT_FALSE(parse_options(b.env, b.args, opt, error, b.kelvaro)) << b.says;
        EXPECT_TRUE(contains(error, b.says)) << error;
    }
    std::ostringstream out, err;
    EXPECT_EQ(vgmcomp_run({"a.vgm"}, nullptr, out, err, "--form nope"), VGMCOMP_EXIT_USAGE);
    EXPECT_TRUE(contains(err.str(), "KELVARO_SETTINGS")) << err.str();
    for (const char *part : {"--form F", "--noise", "--timing T", "--interpreted", "KELVARO_SETTINGS"})
        EXPECT_TRUE(contains(vgmcomp_help, part)) << part;
}

TEST(Target, InterpretedWarnsAboutRealTimingAndGivesTheXbTimes)
{
    TempDir dir;
    const std::string vgm = dir.file("quick.vgm");
    write_file(vgm, quick_vgm());
    struct Case {
        const char *kelvaro;
        bool warns;
        const char *first_sound;
    };
    const Case cases[] = {
        {"--form program --no-noise --timing real", true, "first sound about 1.0 s after RUN"},
        {"--form data --noise --timing real", true, "first sound about 1.0 s after RUN"},
        {"--form program --no-noise --timing emulated", false, "first sound about 1.0 s after RUN"},
        {"--form statements --no-noise --timing real", false, "first sound about "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kelvaro);
        std::ostringstream out, err;
        ASSERT_EQ(vgmcomp_run({vgm}, "--interpreted --stats", out, err, c.kelvaro), VGMCOMP_EXIT_OK) << err.str();
        const std::string e = err.str();
        EXPECT_EQ(contains(e, "will play the song about 1.2 times too slowly; kelvaro's -e"), c.warns) << e;
        EXPECT_TRUE(contains(e, "quick.vgm: in XB without the compiler: " + std::string(c.first_sound))) << e;
        // The noise voice that --interpreted leaves out without -n is not
        // reported as a --voices the user never typed.
        EXPECT_TRUE(contains(e, "reductions: --interpreted\n")) << e;
        // The song is about 20 s; in time, XB ends about a second later
        // (with REAL timing about 1.2 times later).
        const size_t at = e.find(", end about ");
        ASSERT_NE(at, std::string::npos) << e;
        const double end = std::stod(e.substr(at + 12));
        const double song = 480 * 2.5 / 60;
        if (c.warns) {
            EXPECT_NEAR(end, 1 + 1.2 * song, 2.0);
        } else {
            EXPECT_GT(end, song);
            EXPECT_LT(end, song + (contains(c.kelvaro, "statements") ? 5.0 : 2.0));
        }
    }
    // Without --interpreted neither the warning nor the XB times.
    std::ostringstream out, err;
    ASSERT_EQ(vgmcomp_run({"--stats", vgm}, nullptr, out, err), VGMCOMP_EXIT_OK);
    EXPECT_FALSE(contains(err.str(), "without the compiler")) << err.str();
}

TEST(TargetProgram, KelvaroPassesItsSettingsAndGetsTheSizeReported)
{
    TempDir dir;
    write_file(dir.file("quick.vgm"), quick_vgm());
    const Words option_sets[] = {{}, {"-d"}, {"-x"}, {"-n"}, {"-x", "-n"}, {"-d", "-n", "-e"}, {"-e"}};
    for (const Words &options : option_sets) {
        Words args = {"quick.vgm", "quick.txt"};
        args.insert(args.end(), options.begin(), options.end());
        SCOPED_TRACE(args.size() > 2 ? args[2] + (args.size() > 3 ? " " + args[3] : "") : "no options");
        const ProcessResult plain = run_process(KELVARO_BIN, args, dir.path);
        ASSERT_EQ(plain.status, 0) << plain.out << plain.err;
        const std::string plain_text = read_text(dir.file("quick.txt"));
        // A user's VGMCOMP_OPTIONS asking for another form does not change
        // what kelvaro's settings say.
        const ProcessResult r = run_process(KELVARO_BIN, args, dir.path, nullptr,
                                            {"VGMCOMP_OPTIONS=--stats --form data --noise --timing emulated"});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out, plain.out) << "kelvaro's console text is its own";
        const std::string text = read_text(dir.file("quick.txt"));
        EXPECT_EQ(text, plain_text) << "--stats changes nothing written";
        int32_t output = OUTPUT_PROGRAM, noise = NOISE_OFF, timing = TIMING_REAL;
        for (const std::string &o : options) {
            if (o == "-d") output = OUTPUT_DATA;
            if (o == "-x") output = OUTPUT_CALLSOUND;
            if (o == "-n") noise = NOISE_ON;
            if (o == "-e") timing = TIMING_EMULATED;
        }
        const std::string what = target_text(target_of_settings(output, noise, timing));
        EXPECT_EQ(reported_size(r.err, what), xb_program_size(text)) << r.err;

        // --fit 24000 --interpreted: a program within 24,000 bytes.
        const ProcessResult fit = run_process(KELVARO_BIN, args, dir.path, nullptr,
                                              {"VGMCOMP_OPTIONS=--fit 24000 --interpreted"});
        ASSERT_EQ(fit.status, 0) << fit.out << fit.err;
        const size_t size = xb_program_size(read_text(dir.file("quick.txt")));
        EXPECT_LE(size, XB_BUDGET);
        EXPECT_TRUE(contains(fit.err, "an XB program of " + std::to_string(size) + " bytes")) << fit.err;
    }
}

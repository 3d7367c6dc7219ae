// The program kelvaro will write, as vgmcomp.x knows it from KELVARO_SETTINGS.
#include <gtest/gtest.h>

#include <sstream>

#include "convert/settings.h"
#include "vgmcomp/cli.h"
#include "xbsound/target.h"
#include "vgm/vgm_writer.h"
#include "tests/test_support.h"
#include "xb/xb_size.h"

namespace {

using Words = std::vector<std::string>;

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// Twenty seconds of a melody changing every two or three frames, with noise hits.
std::vector<uint8_t> quick_vgm()
{
    VgmWriter w;
    const uint16_t notes[] = {428, 339, 285, 214, 254};
    for (int k = 0; k < 480; k++) {
        vgm_tone(w, 0, notes[k % 5]);
        vgm_atten(w, 0, static_cast<uint8_t>(k % 3));
        if (k % 8 == 0) vgm_noise(w, 5);
        if (k % 8 < 2) vgm_atten(w, 3, k % 8 ? 15 : 2);
        vgm_wait_frames(w, 2 + k % 2);
    }
    return vgm_finish(w);
}

}  // namespace

TEST(Target, SettingsOptionsTextAndXbTimes)
{
    const struct {
        int32_t output, noise, timing;
        const char *options, *text;
        uint32_t row_frames;
        double row_ms_short, row_ms_long;  // rows written 20 and 1000 ms long: XB plays max(d, its time per row)
    } cases[] = {
        {OUTPUT_PROGRAM, NOISE_OFF, TIMING_REAL, "--form program --no-noise --timing real",
         "PROGRAM mode, no noise, REAL timing", 16, 260, 1000},
        {OUTPUT_PROGRAM, NOISE_ON, TIMING_EMULATED, "--form program --noise --timing emulated",
         "PROGRAM mode, noise, EMULATED timing", 20, 330, 1000},
        {OUTPUT_CALLSOUND, NOISE_OFF, TIMING_REAL, "--form statements --no-noise --timing real",
         "CALL SOUND mode, no noise", 5, 83, 1000},
        {OUTPUT_CALLSOUND, NOISE_ON, TIMING_EMULATED, "--form statements --noise --timing emulated",
         "CALL SOUND mode, noise", 6, 87, 1000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options);
        const XbTarget t = target_of_settings(c.output, c.noise, c.timing);
        EXPECT_EQ(target_options(t), c.options);
        EXPECT_EQ(target_text(t), c.text);
        EXPECT_EQ(interpreted_row_frames(t), c.row_frames);
        EXPECT_DOUBLE_EQ(interpreted_row_ms(t, 20), c.row_ms_short);
        EXPECT_DOUBLE_EQ(xb_row_ms(t), c.row_ms_short);
        EXPECT_DOUBLE_EQ(interpreted_row_ms(t, 1000), c.row_ms_long);
        // Read back by vgmcomp.x and by the converter: the same target.
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
    EXPECT_DOUBLE_EQ(interpreted_start_ms(XbTarget(), 500), 1000);
    EXPECT_DOUBLE_EQ(interpreted_start_ms(XbTarget{XbForm::statements, false, false}, 343), 343 * 17.0);
}

TEST(Target, KelvaroSettingsWinOverVgmcompOptionsAndTheCommandLineOverBoth)
{
    VgmcompOptions opt;
    std::string error;
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

    // Usage errors name the option, and the variable it came from.
    const struct {
        Words env, kelvaro, args;
        const char *says;
    } bad[] = {
        {{}, {}, {"--form", "compiled", "a.vgm"}, "--form needs program, data or statements"},
        {{"--form", "x"}, {}, {"a.vgm"}, "not 'x' (in VGMCOMP_OPTIONS)"},
        {{}, {"--timing", "slow"}, {"a.vgm"}, "not 'slow' (in KELVARO_SETTINGS)"},
        {{}, {"--fit", "100"}, {"a.vgm"}, "'--fit' is not one of kelvaro's settings"},
    };
    for (const auto &b : bad) {
        EXPECT_FALSE(parse_options(b.env, b.args, opt, error, b.kelvaro)) << b.says;
        EXPECT_TRUE(contains(error, b.says)) << error;
    }
}

// With --interpreted the rows are timed for XB in every form and timing:
// the 20 s song plays 20 s in XB, after XB's start.
TEST(Target, InterpretedRowsPlayTheSongTimeInEveryTiming)
{
    TempDir dir;
    const std::string vgm = dir.file("quick.vgm");
    write_file(vgm, quick_vgm());
    const struct {
        const char *kelvaro;
        const char *xb_line;
    } cases[] = {{"--form program --no-noise --timing real",
                  "the rows play 20.0 s (the song: 20 s); first sound about 1.0 s after RUN, end about 21.0 s after RUN"},
                 {"--form program --no-noise --timing emulated",
                  "the rows play 20.0 s (the song: 20 s); first sound about 1.0 s after RUN, end about 21.0 s after RUN"},
                 {"--form statements --no-noise --timing real",
                  "the rows play 20.0 s (the song: 20 s); first sound about 4.1 s after RUN, end about 24.1 s after RUN"},
                 {"--form data --noise --timing real",
                  "the rows play 20.0 s (the song: 20 s); first sound about 1.0 s after RUN, end about 21.0 s after RUN"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kelvaro);
        std::ostringstream out, err;
        ASSERT_EQ(vgmcomp_run({vgm}, "--interpreted --stats", out, err, c.kelvaro), VGMCOMP_EXIT_OK) << err.str();
        const std::string e = err.str();
        EXPECT_FALSE(contains(e, "too slowly")) << e;
        EXPECT_TRUE(contains(e, "quick.vgm: in XB without the compiler: " + std::string(c.xb_line) + "\n")) << e;
        // No --voices the user never typed.
        EXPECT_TRUE(contains(e, "reductions: --interpreted\n") || contains(c.kelvaro, "--noise ")) << e;
        // The song's own length, in song time.
        EXPECT_TRUE(contains(e, "quick.vgm: frames: 1200 (20 s)\n")) << e;
    }
    // Without --interpreted no XB times.
    std::ostringstream out, err;
    ASSERT_EQ(vgmcomp_run({"--stats", vgm}, nullptr, out, err), VGMCOMP_EXIT_OK);
    EXPECT_FALSE(contains(err.str(), "without the compiler")) << err.str();
}

TEST(TargetProgram, KelvaroPassesItsSettingsAndGetsTheSizeReported)
{
    TempDir dir;
    write_file(dir.file("quick.vgm"), quick_vgm());
    const std::pair<Words, const char *> cases[] = {{{}, "PROGRAM mode, no noise, REAL timing"},
                                                     {{"-x", "-n"}, "CALL SOUND mode, noise"},
                                                     {{"-d", "-n", "-e"}, "DATA mode, noise, EMULATED timing"}};
    for (const auto &[options, what] : cases) {
        SCOPED_TRACE(what);
        Words args = {"quick.vgm", "quick.txt"};
        args.insert(args.end(), options.begin(), options.end());
        const ProcessResult plain = run_process(KELVARO_BIN, args, dir.path);
        ASSERT_EQ(plain.status, 0) << plain.out << plain.err;
        const std::string plain_text = read_text(dir.file("quick.txt"));
        // The user's VGMCOMP_OPTIONS change neither the form nor anything written.
        const ProcessResult r = run_process(KELVARO_BIN, args, dir.path, nullptr,
                                            {"VGMCOMP_OPTIONS=--stats --form data --noise --timing emulated"});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out, plain.out);
        EXPECT_EQ(read_text(dir.file("quick.txt")), plain_text);
        const size_t at = r.err.find(std::string(" bytes (") + what + ")"), start = r.err.rfind(' ', at - 1) + 1;
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(std::stoul(r.err.substr(start, at - start)), xb_program_size(plain_text)) << r.err;

        const ProcessResult fit = run_process(KELVARO_BIN, args, dir.path, nullptr,
                                              {"VGMCOMP_OPTIONS=--fit 24000 --interpreted"});
        ASSERT_EQ(fit.status, 0) << fit.out << fit.err;
        const size_t size = xb_program_size(read_text(dir.file("quick.txt")));
        EXPECT_LE(size, XB_BUDGET);
        EXPECT_TRUE(contains(fit.err, "an XB program of " + std::to_string(size) + " bytes")) << fit.err;
    }
}

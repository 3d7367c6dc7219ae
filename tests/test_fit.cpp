// Fitting songs into the XB program space: the estimate against the real
// conversion, the order in which --fit gives up detail, every real file
// brought within 24,000 bytes, and vgmcomp.x's messages about it.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <sstream>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/tables.h"
#include "xb/xb_size.h"
#include "vgmcomp/cli.h"
#include "compressor/fit.h"
#include "compressor/pitch.h"
#include "compressor/xbtime.h"
#include "vgm/vgm.h"
#include "vgm/vgm_writer.h"
#include "tests/fit_support.h"
#include "tests/test_support.h"

using namespace fittest;

namespace {

using Words = std::vector<std::string>;

// A random song that hits every rule of the streams and the row builder:
// notes inside and outside the converter's table (period 1024 too),
// envelopes, silences long and short, holds of many seconds, noise.
std::vector<Frame> random_song(std::mt19937 &rng)
{
    std::vector<uint16_t> pool = {0, 1, 5, 1000, 1023, 300, 301};
    for (int i = 0; i < NOTE_COUNT; i += 3) pool.push_back(note_period[i]);
    const size_t length = 1 + rng() % 1500;
    std::vector<Frame> frames(length);
    for (int v = 0; v < 4; v++) {
        size_t f = 0;
        while (f < length) {
            const size_t kind = rng() % 10;
            size_t run = kind == 0 ? 200 + rng() % 400 : 1 + rng() % (kind < 5 ? 3 : 40);
            const bool silent = rng() % 3 == 0;
            const uint16_t note = v == 3 ? static_cast<uint16_t>(rng() % 8) : pool[rng() % pool.size()];
            uint8_t atten = static_cast<uint8_t>(rng() % 15);
            const bool envelope = rng() % 2 == 0;
            for (size_t i = 0; i < run && f < length; i++, f++) {
                frames[f].v[v] = VoiceState{silent ? uint8_t{15} : atten, note};
                if (envelope && atten < 14 && rng() % 3 == 0) atten++;
            }
        }
    }
    return frames;
}

// The frames of a VGM file with their pitch on the TI clock, as vgmcomp.x
// reads them.
std::vector<Frame> frames_of_file(const std::string &path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    VgmLog log;
    EXPECT_TRUE(load_vgm_bytes(path, bytes, error)) << error;
    EXPECT_TRUE(parse_vgm(bytes, path, log, error)) << error;
    return ti_frames(log, log.clock, false);
}

// Every form, with and without noise, each timing (CALL SOUND has one).
std::vector<XbTarget> every_target()
{
    std::vector<XbTarget> targets;
    for (XbForm form : {XbForm::program, XbForm::data, XbForm::statements})
        for (bool noise : {false, true})
            for (bool emulated : {false, true})
                if (!(form == XbForm::statements && emulated)) targets.push_back(XbTarget{form, noise, emulated});
    return targets;
}

// The XB frequencies of the first count rows in which tone voice v sounds.
std::vector<int> first_notes(const std::vector<Row> &rows, int v, size_t count)
{
    std::vector<int> notes;
    for (size_t i = 0; i < rows.size() && notes.size() < count; i++)
        if (rows[i][2 + 2 * v] != 30) notes.push_back(rows[i][1 + 2 * v]);
    return notes;
}

// Half a minute of fast music, far more than 24,000 bytes as an XB
// program, in which each step of the search's order saves something: an
// arpeggio on voice 0 whose every note decays after two frames, one-frame
// blips on voice 2 (the voice that sounds least), a bass on voice 1 that
// changes between the arpeggio's notes, noise hits.
Bytes busy_vgm()
{
    VgmWriter w;
    const uint16_t arp[] = {428, 339, 285, 214};
    const uint16_t bass[] = {855, 641, 571, 762};
    for (int bar = 0; bar < 30; bar++) {
        for (int step = 0; step < 15; step++) {
            vgm_tone(w, 0, arp[(step + bar) % 4]);
            vgm_atten(w, 0, 0);
            if (step % 5 == 0) {
                vgm_noise(w, 5);
                vgm_atten(w, 3, 2);
            }
            vgm_wait_frames(w, 1);
            if (step % 2 == 0) {
                vgm_tone(w, 2, arp[(step + 2) % 4] / 2);
                vgm_atten(w, 2, 5);
            }
            vgm_wait_frames(w, 1);
            vgm_atten(w, 0, 4);
            vgm_atten(w, 2, 15);
            vgm_atten(w, 3, 15);
            vgm_wait_frames(w, 1);
            if (step % 4 == 3) {
                vgm_tone(w, 1, bass[(step / 4 + bar) % 4]);
                vgm_atten(w, 1, 3);
            }
            vgm_wait_frames(w, 1);
        }
    }
    return vgm_finish(w);
}

struct RunResult {
    int status;
    std::string out, err;
};

RunResult run(const Words &args, const char *env = nullptr)
{
    std::ostringstream out, err;
    const int status = vgmcomp_run(args, env, out, err);
    return {status, out.str(), err.str()};
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(FitEstimate, EqualsTheRealConversionOnRandomSongs)
{
    const std::vector<XbTarget> targets = every_target();
    std::mt19937 rng(11);
    for (int i = 0; i < 60; i++) {
        SCOPED_TRACE(i);
        const XbTarget target = i < 30 ? XbTarget() : targets[static_cast<size_t>(i) % targets.size()];
        std::vector<Frame> frames = random_song(rng);
        Reductions r;
        if (i % 3 == 1) r.flat = true;
        if (i % 4 == 2) r.min_frames = 1 + static_cast<uint32_t>(rng() % 6);
        if (i % 5 == 3) r.voices = static_cast<uint8_t>(1 + rng() % 15);
        HoldReport holds;
        frames = prepare_frames(frames, r, &holds);
        std::string fast_text;
        const XbEstimate fast = estimate_xb(frames, std::numeric_limits<uint32_t>::max(), &fast_text, target);
        XbEstimate real;
        const std::string text = program_of(song_file_of(frames), &real, target);
        ASSERT_FALSE(fast.over);
        EXPECT_EQ(fast_text, text);
        EXPECT_EQ(fast.rows, real.rows);
        EXPECT_EQ(fast.xb_size, real.xb_size);
        EXPECT_EQ(fast.interpreted_end_ms, real.interpreted_end_ms);
        if (!target.noise) {
            EXPECT_EQ(holds.rows, real.rows);
        }
        // The early stop never gives up on a program that fits.
        EXPECT_LE(real.rows, max_rows_within(real.xb_size, target));
        const XbEstimate stopped = estimate_xb(frames, real.rows / 2, nullptr, target);
        if (real.rows >= 2) {
            EXPECT_TRUE(stopped.over);
        }
        // No row is longer than CALL SOUND accepts, but those of holds that
        // cannot be split.
        size_t too_long = 0;
        if (target == XbTarget())
            for (const Row &row : rows_of(text))
                if (row[0] > static_cast<int>(CALL_SOUND_MAX_MS)) too_long++;
        EXPECT_LE(too_long, holds.unsplittable);
    }
    EXPECT_EQ(smallest_xb_program(), 81u);  // the player line and "1001 DATA 0"
    EXPECT_EQ(estimate_xb({}).rows, 0u);
}

TEST(FitEstimate, LeavesTheConvertersSettingsAsTheyWere)
{
    // kelvaro's own settings (here -d -n -e) are not the defaults that the
    // estimate measures; both measures put them back.
    arg_output = OUTPUT_DATA;
    arg_noise = NOISE_ON;
    arg_timing = TIMING_EMULATED;
    std::vector<Frame> song;
    set(song, 1, 30, 0, 0, 428);
    set(song, 10, 20, 3, 0, 4);
    const XbEstimate fast = estimate_xb(song);
    XbEstimate real;
    program_of(song_file_of(song), &real);
    EXPECT_EQ(arg_output, OUTPUT_DATA);
    EXPECT_EQ(arg_noise, NOISE_ON);
    EXPECT_EQ(arg_timing, TIMING_EMULATED);
    settings_default();
    // Measured with the defaults all the same: no noise, so one row.
    EXPECT_EQ(fast.rows, 1u);
    EXPECT_EQ(real.rows, 1u);
    EXPECT_EQ(fast.xb_size, real.xb_size);
}

TEST(FitSearch, TakesTheFirstFittingStepOfTheLossinessOrder)
{
    VgmLog log;
    std::string error;
    ASSERT_TRUE(parse_vgm(busy_vgm(), "busy.vgm", log, error)) << error;
    std::vector<Frame> base = sample_frames(log);
    apply_pitch(base, log.clock, false);

    // The documented order without --seconds: detail first, then voices,
    // dropping the tone voice that sounds least (voice 2) first.
    std::vector<Reductions> order;
    for (uint8_t voices : {uint8_t{0x0F}, uint8_t{0x0B}, uint8_t{0x09}}) {
        std::vector<std::pair<bool, uint32_t>> details = {{false, 1}, {true, 1}};
        for (uint32_t n = 2; n <= FIT_MAX_MIN_FRAMES; n++) details.push_back({false, n});
        for (uint32_t n = 2; n <= FIT_MAX_MIN_FRAMES; n++) details.push_back({true, n});
        for (const auto &d : details) {
            Reductions r;
            r.voices = voices;
            r.flat = d.first;
            r.min_frames = d.second;
            order.push_back(r);
        }
    }
    std::vector<size_t> sizes;
    for (const Reductions &r : order) sizes.push_back(estimate_xb(prepare_frames(base, r)).xb_size);
    ASSERT_GT(sizes[0], XB_BUDGET);

    // With the budget at the size of step k, the search chooses the first
    // step of that size or less.
    size_t checked = 0;
    for (size_t k = 0; k < order.size(); k++) {
        const size_t first = static_cast<size_t>(
            std::find_if(sizes.begin(), sizes.end(), [&](size_t s) { return s <= sizes[k]; }) - sizes.begin());
        const FitChoice c = fit_search(base, Reductions(), sizes[k]);
        ASSERT_TRUE(c.found);
        EXPECT_EQ(reduction_options(c.chosen), reduction_options(order[first])) << "budget " << sizes[k];
        EXPECT_EQ(c.estimate.xb_size, sizes[first]);
        checked += first == k;
    }
    EXPECT_GE(checked, 5u) << "the song should make most steps count";

    // Below every step: the song is cut, with all its detail, at whole
    // tenths of a second, as long as fits.
    const size_t budget = *std::min_element(sizes.begin(), sizes.end()) - 1;
    const FitChoice cut = fit_search(base, Reductions(), budget);
    ASSERT_TRUE(cut.found);
    EXPECT_FALSE(cut.chosen.flat);
    EXPECT_EQ(cut.chosen.min_frames, 1u);
    EXPECT_EQ(cut.chosen.voices, ALL_VOICES);
    ASSERT_GT(cut.chosen.keep_frames, 0u);
    EXPECT_EQ(cut.chosen.keep_frames % 6, 0u);
    EXPECT_LE(cut.estimate.xb_size, budget);
    Reductions longer = cut.chosen;
    longer.keep_frames += 6;
    EXPECT_GT(estimate_xb(prepare_frames(base, longer)).xb_size, budget);

    // The user's own reductions stay: the search only adds to them.
    Reductions user;
    user.min_frames = 3;
    user.voices = 0x07;
    const FitChoice c = fit_search(base, user, XB_BUDGET);
    ASSERT_TRUE(c.found);
    EXPECT_GE(c.chosen.min_frames, 3u);
    EXPECT_EQ(c.chosen.voices & ~0x07, 0);
    EXPECT_LE(c.estimate.xb_size, XB_BUDGET);

    // Not even a frame fits in fewer bytes than the empty program.
    EXPECT_FALSE(fit_search(base, Reductions(), smallest_xb_program() - 1).found);
    const FitChoice tiny = fit_search(base, Reductions(), 150);
    ASSERT_TRUE(tiny.found);
    EXPECT_LE(tiny.estimate.xb_size, 150u);
}

TEST(FitSearch, DropsTheToneVoiceThatSoundsLeastFirst)
{
    // Notes 20 frames long on voices 0 and 1, 10 frames apart; voice 2
    // sounds 10 frames in every 40. No change comes within 5 frames of
    // another, so neither --flat nor --min-frames up to 4 saves a row.
    const uint16_t notes[] = {428, 339, 285, 214};
    std::vector<Frame> base;
    for (size_t k = 0; k < 60; k++) {
        set(base, 1 + 20 * k, 20 + 20 * k, 0, 2, notes[k % 4]);
        set(base, 11 + 20 * k, 30 + 20 * k, 1, 4, notes[(k + 1) % 4]);
    }
    for (size_t k = 0; k < 30; k++) {
        set(base, 6 + 40 * k, 15 + 40 * k, 2, 6, notes[(k + 2) % 4]);
        set(base, 16 + 40 * k, 45 + 40 * k, 2, 15, 0);
    }
    base.resize(1200);
    auto size_with = [&](uint8_t voices) {
        Reductions r;
        r.voices = voices;
        return estimate_xb(prepare_frames(base, r)).xb_size;
    };
    const size_t all = size_with(0x0F), without2 = size_with(0x0B), only0 = size_with(0x09);
    ASSERT_GT(all, without2);
    ASSERT_GT(without2, only0);

    FitChoice c = fit_search(base, Reductions(), without2);
    ASSERT_TRUE(c.found);
    EXPECT_EQ(reduction_options(c.chosen), "--voices 013");
    // Voices 0 and 1 sound as long as each other: the higher one goes first.
    c = fit_search(base, Reductions(), only0);
    ASSERT_TRUE(c.found);
    EXPECT_EQ(reduction_options(c.chosen), "--voices 03");
    // The user's --voices 12 leaves voice 2 to drop next.
    Reductions user;
    ASSERT_TRUE(parse_voices("12", user.voices));
    c = fit_search(base, user, size_with(0x02));
    ASSERT_TRUE(c.found);
    EXPECT_EQ(reduction_options(c.chosen), "--voices 1");
}

TEST(FitRealFiles, EstimateEqualsTheConversionOfTheWrittenSongFile)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        HoldReport holds;
        const std::vector<Frame> frames = prepare_frames(frames_of_file(path), Reductions(), &holds);
        const Bytes file = build_song_file(build_streams(frames));
        std::string why;
        ASSERT_TRUE(verify_song(file, frames, &why)) << why;
        XbEstimate real;
        const std::string text = program_of(file, &real);
        std::string fast_text;
        const XbEstimate fast = estimate_xb(frames, std::numeric_limits<uint32_t>::max(), &fast_text);
        EXPECT_EQ(fast.rows, real.rows);
        EXPECT_EQ(fast.xb_size, real.xb_size);
        EXPECT_EQ(fast_text, text);
        EXPECT_EQ(xb_program_size(text), real.xb_size);
        EXPECT_EQ(holds.rows, real.rows);
        size_t too_long = 0;
        for (const Row &row : rows_of(text))
            if (row[0] > static_cast<int>(CALL_SOUND_MAX_MS)) too_long++;
        EXPECT_LE(too_long, holds.unsplittable);
    }
}

TEST(FitRealFiles, Fit24000FitsAndStartsWithTheFirstNotes)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        const std::vector<Frame> base = frames_of_file(path);
        const FitChoice c = fit_search(base, Reductions(), XB_BUDGET);
        ASSERT_TRUE(c.found);
        const std::vector<Frame> frames = prepare_frames(base, c.chosen);
        const Bytes file = song_file_of(frames);
        XbEstimate real;
        const std::string text = program_of(file, &real);
        EXPECT_LE(xb_program_size(text), XB_BUDGET);
        EXPECT_EQ(real.xb_size, c.estimate.xb_size);
        EXPECT_EQ(real.rows, c.estimate.rows);

        // The song starts as the whole song does: a cut song row for row,
        // but its last; any other with the first notes of the voices kept.
        std::string whole_text;
        estimate_xb(prepare_frames(base, Reductions()), std::numeric_limits<uint32_t>::max(), &whole_text);
        const std::vector<Row> whole = rows_of(whole_text);
        const std::vector<Row> rows = rows_of(text);
        ASSERT_GE(rows.size(), 2u);
        Reductions only_cut;
        only_cut.keep_frames = c.chosen.keep_frames;
        if (c.chosen == only_cut) {
            for (size_t i = 0; i + 1 < rows.size(); i++) ASSERT_EQ(rows[i], whole[i]) << "row " << i;
        } else {
            // Each kept voice begins with one of its own first 8 notes in the whole song.
            bool sounds = false;
            for (int v = 0; v < 3; v++) {
                const std::vector<int> first = first_notes(rows, v, 1), own = first_notes(whole, v, 8);
                if (!((c.chosen.voices >> v) & 1) || first.empty()) continue;
                sounds = true;
                EXPECT_NE(std::find(own.begin(), own.end(), first[0]), own.end()) << "voice " << v;
            }
            EXPECT_TRUE(sounds) << "no kept voice sounds";
        }
    }
}

TEST(FitRealFiles, EveryFormAndNoiseOptionMeasuresAndFitsTheProgramKelvaroWrites)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    const std::vector<XbTarget> targets = every_target();
    for (size_t k = 0; k < files.size(); k++) {
        const std::string &path = files[k];
        const std::vector<Frame> base = frames_of_file(path);
        const std::vector<Frame> whole = prepare_frames(base, Reductions());
        const Bytes whole_file = song_file_of(whole);
        for (size_t t = 0; t < targets.size(); t++) {
            const XbTarget &target = targets[t];
            SCOPED_TRACE(path + ": " + target_text(target));
            XbEstimate written;
            const std::string text = program_of(whole_file, &written, target);
            const XbEstimate estimate = estimate_xb(whole, std::numeric_limits<uint32_t>::max(), nullptr, target);
            EXPECT_EQ(estimate.xb_size, xb_program_size(text));
            EXPECT_EQ(estimate.rows, written.rows);
            // The searches are slow: each file tries three targets, all files every one.
            if ((t + targets.size() - k % targets.size()) % targets.size() >= 3) continue;

            VgmcompOptions opt;
            std::string error;
            ASSERT_TRUE(parse_options({"--interpreted"}, {path}, opt, error, split_blanks(target_options(target))));
            const Reductions interpreted = opt.reduce;
            for (const Reductions &user : {Reductions(), interpreted}) {
                const FitChoice c = fit_search(base, user, XB_BUDGET, target);
                ASSERT_TRUE(c.found);
                const std::vector<Frame> song = prepare_frames(base, c.chosen);
                const std::vector<Frame> frames = written_frames(song, c.chosen, target);
                XbEstimate fitted;
                const std::string fitted_text = program_of(song_file_of(frames), &fitted, target);
                EXPECT_LE(xb_program_size(fitted_text), XB_BUDGET);
                EXPECT_EQ(fitted.xb_size, c.estimate.xb_size);
                if (user == Reductions()) continue;

                // XB without the compiler plays the rows in the song time kept.
                double played = 0, song_ms = 0;
                for (int d : durations_of(fitted_text, target)) played += interpreted_row_ms(target, d);
                for (uint64_t n : row_song_frames(song, target)) song_ms += n * 1000.0 / 60.0;
                EXPECT_NEAR(played, song_ms, song_ms / 100);
            }
        }
    }
}

TEST(FitProgram, UsageErrorsForReductionOptions)
{
    const std::vector<Words> cases = {
        {"--seconds", "0", "a.vgm"},    {"--seconds", "abc", "a.vgm"},   {"--seconds=-3", "a.vgm"},
        {"--seconds", "0.01", "a.vgm"}, {"a.vgm", "--seconds"},          {"--min-frames", "0", "a.vgm"},
        {"--min-frames", "213", "a.vgm"}, {"--min-frames", "2.5", "a.vgm"}, {"--voices", "4", "a.vgm"},
        {"--voices", "011", "a.vgm"},   {"--voices=", "a.vgm"},          {"--fit", "0", "a.vgm"},
        {"--fit", "24k", "a.vgm"},      {"--fit", "100000001", "a.vgm"}, {"--flat=1", "a.vgm"},
    };
    for (const Words &args : cases) {
        const RunResult r = run(args);
        EXPECT_EQ(r.status, VGMCOMP_EXIT_USAGE) << args[0] << " " << args[1];
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(contains(r.err, "vgmcomp.x: ")) << r.err;
    }
    EXPECT_EQ(run({"a.vgm"}, "--fit nonsense").status, VGMCOMP_EXIT_USAGE);

    VgmcompOptions opt;
    std::string error;
    ASSERT_TRUE(parse_options(split_blanks("--fit 20000 --flat --min-frames 2 --seconds 30"),
                              {"--min-frames=4", "--voices", "012", "--stats", "--fit", "24000", "a.vgm"}, opt, error))
        << error;
    EXPECT_EQ(opt.fit, 24000u);
    EXPECT_TRUE(opt.reduce.flat);
    EXPECT_EQ(opt.reduce.min_frames, 4u);
    EXPECT_EQ(opt.reduce.keep_frames, 1800u);
    EXPECT_EQ(opt.reduce.voices, 0x07);
    EXPECT_TRUE(opt.stats);
    EXPECT_TRUE(contains(vgmcomp_help, "--fit BYTES"));
}

TEST(FitProgram, WarnsWhenTheProgramWillNotFitAndFitsOnRequest)
{
    TempDir dir;
    const std::string vgm = dir.file("busy.vgm"), spf = dir.file("busy.vgm.spf");
    write_file(vgm, busy_vgm());

    // No options: the song file is written, with a warning that gives the
    // size and what --fit 24000 would choose.
    RunResult r = run({vgm});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "busy.vgm: the XB program would take ")) << r.err;
    EXPECT_TRUE(contains(r.err, "try --fit 24000 (through kelvaro: VGMCOMP_OPTIONS=\"--fit 24000\"), which would choose --")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    XbEstimate whole;
    program_of(read_file(spf), &whole);
    EXPECT_TRUE(contains(r.err, std::to_string(whole.xb_size) + " bytes")) << r.err;
    const std::string hint = r.err.substr(r.err.find("would choose ") + 13);
    const std::string chosen = hint.substr(0, hint.find('\n'));

    // The hint through kelvaro keeps the user's own reductions.
    RunResult own = run({"--flat", vgm});
    EXPECT_TRUE(contains(own.err, "(through kelvaro: VGMCOMP_OPTIONS=\"--flat --fit 24000\")")) << own.err;

    // --fit 24000 chooses just that, and the program fits.
    r = run({"--fit", "24000", vgm});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "--fit 24000 chose " + chosen + ":")) << r.err;
    XbEstimate fitted;
    program_of(read_file(spf), &fitted);
    EXPECT_LE(fitted.xb_size, XB_BUDGET);
    EXPECT_TRUE(contains(r.err, std::to_string(fitted.xb_size) + " bytes")) << r.err;

    // The same from the environment, with the figures.
    r = run({vgm}, "--fit 24000 --stats");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    for (const char *part : {"frames: ", "reductions: " , "rows: ", "XB program: ", "fits", "song file: ",
                             "literal-only ", "long holds: "})
        EXPECT_TRUE(contains(r.err, part)) << part << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, "reductions: " + chosen)) << r.err;

    // A budget nothing fits in: an error, and the song file stays as it was.
    write_file(spf, example_song);
    r = run({"--fit", "50", vgm});
    EXPECT_EQ(r.status, VGMCOMP_EXIT_ERROR);
    EXPECT_TRUE(contains(r.err, "busy.vgm")) << r.err;
    EXPECT_TRUE(contains(r.err, "81 bytes")) << r.err;
    EXPECT_EQ(read_file(spf), example_song);

    // A song that fits: no warning; --stats says so; --fit needs nothing.
    VgmWriter w;
    vgm_tone(w, 0, 428);
    vgm_atten(w, 0, 0);
    vgm_wait_frames(w, 30);
    write_file(dir.file("short.vgm"), vgm_finish(w));
    r = run({dir.file("short.vgm")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    r = run({"--stats", "--fit", "24000", dir.file("short.vgm")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "--fit 24000 needs no further reduction")) << r.err;
    EXPECT_TRUE(contains(r.err, "reductions: none")) << r.err;
    EXPECT_TRUE(contains(r.err, "rows: 1\n")) << r.err;
}

TEST(FitProgram, ReportsHoldsThatCannotBeSplit)
{
    // All three tone voices hold a chord for six seconds.
    VgmWriter w;
    for (int v = 0; v < 3; v++) {
        vgm_tone(w, v, note_period[12 + 4 * v]);
        vgm_atten(w, v, 2);
    }
    vgm_wait_frames(w, 360);
    TempDir dir;
    write_file(dir.file("chord.vgm"), vgm_finish(w));
    RunResult r = run({"--stats", dir.file("chord.vgm")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "chord.vgm: 1 state with all three tone voices sounding lasts longer than the 4250 ms "
                                   "that CALL SOUND accepts (from 0 s)")) << r.err;
    EXPECT_TRUE(contains(r.err, "0 split by retuning a silent voice, 1 that cannot be split")) << r.err;

    // With a voice silent the hold is split, and nothing is reported.
    VgmWriter two;
    vgm_tone(two, 0, 428);
    vgm_atten(two, 0, 2);
    vgm_wait_frames(two, 600);
    write_file(dir.file("held.vgm"), vgm_finish(two));
    r = run({"--stats", dir.file("held.vgm")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "2 split by retuning a silent voice, 0 that cannot be split")) << r.err;
    EXPECT_FALSE(contains(r.err, "CALL SOUND accepts")) << r.err;
}

TEST(FitProgram, KelvaroWithFitWritesAProgramThatFits)
{
    TempDir dir;
    write_file(dir.file("busy.vgm"), busy_vgm());
    const ProcessResult r = run_process(KELVARO_BIN, {"busy.vgm", "busy.txt"}, dir.path, nullptr,
                                        {"VGMCOMP_OPTIONS=--fit 24000"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string text = read_text(dir.file("busy.txt"));
    EXPECT_LE(xb_program_size(text), XB_BUDGET);
    EXPECT_GT(xb_program_size(text), XB_BUDGET / 2);
}

// The TI sound model and what play renders: CALL SOUND values to chip
// registers, rows to a timeline under each timing, the timeline to a VGM that
// reads back as the rows, and WAV files through Game_Music_Emu.
#include <gtest/gtest.h>

#include <cmath>

#include "output/listing.h"
#include "preview/render.h"
#include "preview/ti_sound.h"
#include "tests/preview_support.h"
#include "sound/frames.h"

namespace {

Listing must_read(const std::string &text)
{
    Listing l;
    std::string error;
    EXPECT_TRUE(read_listing(text, "t.txt", l, error)) << error;
    return l;
}

TEST(TiSound, CallSoundValuesToRegisters)
{
    const std::pair<int32_t, uint16_t> periods[] = {{110, 1017}, {262, 427}, {440, 254}, {1760, 64}, {44733, 3}};
    for (const auto &p : periods) EXPECT_EQ(ti_period(p.first), p.second) << p.first;
    const std::pair<int32_t, uint8_t> attens[] = {{0, 0}, {1, 0}, {2, 1}, {29, 14}, {30, 15}};
    for (const auto &a : attens) EXPECT_EQ(ti_atten(a.first), a.second) << a.first;
    ListingRow row;
    row.hz[0] = 440;
    row.volume[0] = 4;
    row.noise = 8;  // white noise at the third tone's rate: register 7
    row.noise_volume = 6;
    TiSound s = ti_sound_of_row(row, 2);
    EXPECT_TRUE(s.period[0] == 254 && s.atten[0] == 2 && s.atten[1] == 15 && s.noise == 7 && s.atten[3] == 3);
    row.noise = 0;  // a row without the noise voice keeps the register and silences it
    s = ti_sound_of_row(row, 2);
    EXPECT_TRUE(s.noise == 2 && s.atten[3] == 15);
}

TEST(TiSound, RowTimesUnderEachTiming)
{
    const std::string program = "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c\n";
    struct Case {
        std::string text;
        PlayTiming timing;
        std::vector<uint64_t> starts;  // samples
        uint64_t end;
    } cases[] = {
        // Compiled: whole frames of the written timing (REAL 20 ms, EMULATED 16.7, CALL SOUND 15 a frame).
        {program + "1001 DATA 3,20,440,0,110,30,110,30,40,440,2,110,30,110,30,60,440,4,110,30,110,30\n",
         {PlayOn::compiled, WrittenFor::real}, {0, 735, 2205}, 4410},
        {"\n1000 CALL SOUND(15,440,0)\n1001 CALL SOUND(30,440,2)\n1002 CALL SOUND(104,440,4)\n",
         {PlayOn::compiled, WrittenFor::emulated}, {0, 735, 2205}, 7350},
        // XB without the compiler: 1 s before the first sound, then at least 260 ms a row (330 with noise).
        {program + "1001 DATA 2,20,440,0,110,30,110,30,300,440,2,110,30,110,30\n", {PlayOn::xb, WrittenFor::real},
         {44100, 44100 + 11466}, 44100 + 11466 + 13230},
        {"1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3,s4,v4::call sound(d,s1,v1,s2,v2,s3,v3,-s4,v4)::next c\n"
         "1001 DATA 1,20,440,0,110,30,110,30,1,0\n",
         {PlayOn::xb, WrittenFor::real}, {44100}, 44100 + 14553},
        // The CALL SOUND form: 17 ms a line scanned first, then max(d, 83 ms), 87 ms with noise: a row
        // longer than XB's time per row plays as written, whatever the form's factor.
        {"\n1000 CALL SOUND(15,440,0)\n1001 CALL SOUND(90,440,2)\n1002 CALL SOUND(45,440,2)\n",
         {PlayOn::xb, WrittenFor::real}, {2249, 5909, 9878}, 13539},
        {"\n1000 CALL SOUND(15,440,0,-1,0)\n1001 CALL SOUND(90,440,2)\n", {PlayOn::xb, WrittenFor::real},
         {1499, 5336}, 9305},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const TiTimeline t = listing_timeline(must_read(c.text), c.timing);
        std::vector<uint64_t> starts;
        for (const auto &step : t.steps) starts.push_back(step.sample);
        EXPECT_EQ(starts, c.starts);
        EXPECT_EQ(t.end_sample, c.end);
    }
}

// A listing played to VGM and read back through the compressor's own reader
// gives the rows' states frame by frame, one frame later at most.
TEST(TiSound, ListingToVgmAndBackGivesTheRows)
{
    for (int32_t noise : {NOISE_OFF, NOISE_ON}) {
        for (int32_t output : {OUTPUT_PROGRAM, OUTPUT_CALLSOUND}) {
            SCOPED_TRACE("output " + std::to_string(output) + " noise " + std::to_string(noise));
            const TiTimeline t = listing_timeline(must_read(kelvaro_listing(four_voice_vgm(), output, noise)), PlayTiming());
            const std::vector<Frame> rows = timeline_frames(t);
            const std::vector<uint8_t> vgm = timeline_vgm(t, UINT64_MAX);
            // Version 1.51, SN76489 feedback 0x0003 and shift width 15.
            EXPECT_TRUE(vgm[8] == 0x51 && vgm[9] == 0x01 && vgm[0x28] == 3 && vgm[0x29] == 0 && vgm[0x2A] == 15);
            EXPECT_EQ(vgm_header_samples(vgm), t.end_sample);
            VgmLog log;
            std::string error;
            ASSERT_TRUE(parse_vgm(vgm, "back.vgm", log, error)) << error;
            EXPECT_EQ(log.clock, TI_CLOCK);
            const std::vector<Frame> back = sample_frames(log);
            ASSERT_GE(back.size(), rows.size());
            ASSERT_GT(rows.size(), 60u);
            // The VGM's frame k holds the writes before k / 60 s; the rows' frame k the state at k / 60 s.
            for (size_t k = 1; k + 1 < rows.size(); k++) {
                for (int v = 0; v < 4; v++) {
                    const VoiceState &a = rows[k - 1].v[v], &b = back[k].v[v];
                    ASSERT_TRUE(a.atten == b.atten && (a.atten == 15 || a.note == b.note)) << k << " voice " << v;
                }
            }
        }
    }
}

// The strongest frequency of pcm between lo and hi Hz, by a Goertzel scan.
double strongest_hz(const std::vector<int16_t> &pcm, double lo, double hi, double step)
{
    double best = lo, best_power = -1.0;
    for (double f = lo; f <= hi; f += step) {
        const double c = 2.0 * std::cos(2.0 * M_PI * f / PREVIEW_RATE);
        double s1 = 0.0, s2 = 0.0;
        for (int16_t x : pcm) {
            const double s0 = x + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
        if (power > best_power) best_power = power, best = f;
    }
    return best;
}

TEST(TiSound, WavOfA4IsA4AndSilenceIsSilent)
{
    const std::vector<uint8_t> header = wav_bytes({1, -1});
    ASSERT_EQ(header.size(), 48u);
    EXPECT_EQ(std::string(header.begin(), header.begin() + 16), std::string("RIFF\x28\0\0\0WAVEfmt ", 16));
    EXPECT_TRUE(header[40] == 4 && header[46] == 0xFF);  // data bytes; the last sample
    if (!wav_rendering_available()) GTEST_SKIP() << "built without Game_Music_Emu";
    // One row for a second (the CALL SOUND form: 900 ms written).
    auto render = [](const std::string &sound) {
        const Listing l = must_read("\n1000 CALL SOUND(900," + sound + ")\n");
        const std::vector<uint8_t> vgm = timeline_vgm(listing_timeline(l, PlayTiming()), UINT64_MAX);
        std::vector<int16_t> pcm;
        std::string error;
        EXPECT_TRUE(render_vgm_pcm(vgm, "t.txt", vgm_header_samples(vgm), pcm, error)) << error;
        return pcm;
    };
    std::vector<int16_t> pcm = render("440,0,110,30,110,30");
    EXPECT_NEAR(static_cast<double>(pcm.size()), 44100.0, 735.0);
    const double coarse = strongest_hz(pcm, 50.0, 3000.0, 1.0);
    EXPECT_NEAR(strongest_hz(pcm, coarse - 1.0, coarse + 1.0, 0.05), 440.0, 1.0);
    pcm = render("110,30,110,30,110,30");
    EXPECT_EQ(pcm.size(), 44100u);
    for (int16_t s : pcm) ASSERT_LE(std::abs(static_cast<int>(s)), 1);
}

}  // namespace

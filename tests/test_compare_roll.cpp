// compare and roll: kelvaro's own output of every real VGM keeps nearly all
// of it; what a listing loses shows in the figures; the piano roll is valid
// XML with one bar per note of each side.
#include <gtest/gtest.h>

#include <algorithm>

#include "preview/compare.h"
#include "output/listing.h"
#include "preview/roll.h"
#include "preview/ti_sound.h"
#include "tests/preview_support.h"
#include "tests/test_support.h"
#include "compressor/fidelity.h"
#include "sound/frames.h"

namespace {

struct Pair {
    std::vector<Frame> vgm;
    uint32_t clock = 0;
    std::vector<Frame> listing;
};

Pair song_and_listing(const std::vector<uint8_t> &vgm_bytes)
{
    Pair p;
    VgmLog log;
    std::string error;
    EXPECT_TRUE(parse_vgm(vgm_bytes, "song.vgm", log, error)) << error;
    p.vgm = sample_frames(log);
    p.clock = log.clock;
    Listing l;
    EXPECT_TRUE(read_listing(kelvaro_listing(vgm_bytes), "song.txt", l, error)) << error;
    p.listing = timeline_frames(listing_timeline(l, PlayTiming()));
    return p;
}

// Well-formed XML, enough for this picture: tags nest and close, attribute
// values are quoted and hold no '<', '&' starts a known entity. Returns the
// first problem, or empty.
std::string xml_problem(const std::string &s)
{
    std::vector<std::string> open;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '&') {
            const std::string e = s.substr(i, s.find(';', i) - i + 1);
            if (e != "&amp;" && e != "&lt;" && e != "&gt;" && e != "&quot;") return "entity " + e;
        }
        if (s[i] != '<' || s.compare(i, 2, "<?") == 0) continue;
        const size_t end = s.find('>', i);
        if (end == std::string::npos) return "unclosed tag";
        const std::string tag = s.substr(i + 1, end - i - 1);
        const bool closing = tag[0] == '/';
        if (std::count(tag.begin(), tag.end(), '"') % 2 != 0 || tag.find('<') != std::string::npos)
            return "bad attributes in <" + tag + ">";
        const std::string name = tag.substr(closing, tag.find_first_of(" />", 1) - closing);
        if (closing && (open.empty() || open.back() != name)) return "</" + name + "> closes nothing open";
        if (closing) open.pop_back();
        else if (tag.back() != '/') open.push_back(name);
        i = end;
    }
    return open.empty() ? "" : "unclosed <" + open.back() + ">";
}

// The bars a side should have, counted here on their own: runs of frames in
// which a tone voice sounds one period, or the noise voice one register,
// broken where a 20-second strip ends.
size_t expected_bars(const std::vector<Frame> &frames, uint32_t clock)
{
    size_t bars = 0;
    for (int v = 0; v < 4; v++) {
        int prev = -1;
        for (size_t i = 0; i < frames.size(); i++) {
            const VoiceState &s = frames[i].v[v];
            const int note = (v < 3 ? sounding_hz(s, clock) != 0.0 : s.atten != 15) ? s.note : -1;
            bars += note >= 0 && (note != prev || i % 1200 == 0);
            prev = note;
        }
    }
    return bars;
}

size_t count_bars(const std::string &svg, const std::string &side)
{
    size_t bars = 0;
    const std::string mark = "<path class=\"" + side + " ";
    for (size_t at = svg.find(mark); at != std::string::npos; at = svg.find(mark, at + 1)) {
        const size_t d = svg.find(" d=\"", at) + 4;
        bars += std::count(svg.begin() + d, svg.begin() + svg.find('"', d), 'M');
    }
    return bars;
}

void check_roll(const Pair &p, const Comparison &c)
{
    const std::string svg = roll_svg(p.vgm, p.clock, c, "a&b <song>.vgm", "s\xC3\xA9\xFFng.txt");
    EXPECT_EQ(xml_problem(svg), "");
    EXPECT_NE(svg.find(">a&amp;b &lt;song&gt;.vgm (pale) and s\xC3\xA9?ng.txt (solid), drawn with timing real</text>"),
              std::string::npos);
    // Voices as CALL SOUND numbers them, and the axes' titles.
    for (const char *label : {">tone 1<", ">tone 2<", ">tone 3<", ">noise<", ">note<", ">time (minutes:seconds)<"})
        EXPECT_NE(svg.find(label), std::string::npos) << label;
    // Bars at least 4 pixels high: the listing's 4, the VGM's 6.
    EXPECT_NE(svg.find("v4h-"), std::string::npos);
    EXPECT_NE(svg.find("v6h-"), std::string::npos);
    EXPECT_EQ(svg.find("v2h-"), std::string::npos);
    EXPECT_NE(svg.find(">" + comparison_summary(c) + "</text>"), std::string::npos);
    EXPECT_LT(svg.size(), 2u * 1024 * 1024);
    EXPECT_GT(expected_bars(p.vgm, p.clock), 100u);
    EXPECT_EQ(count_bars(svg, "vgm"), expected_bars(p.vgm, p.clock));
    EXPECT_EQ(count_bars(svg, "listing"), expected_bars(c.aligned, TI_CLOCK));
}

double pct(uint64_t n, uint64_t of)
{
    return fidelity_percent(n, of, 100.0);
}

// kelvaro's default output of each real file against the file: the notes it
// plays are the file's (pitch class and volume), it lasts as long, and it
// sounds nothing the file does not. The octave is lower where the file has
// notes outside C3..A6, which kelvaro moves by whole octaves.
TEST(Compare, KelvaroDefaultOutputKeepsRealSongs)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    size_t rolls = 0;
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(load_vgm_bytes(path, bytes, error)) << error;
        const Pair p = song_and_listing(bytes);
        const Comparison c = compare_song(p.vgm, p.clock, p.listing);
        const FidelityCounts &t = c.fidelity.total;
        EXPECT_EQ(c.shift, 0u);
        EXPECT_EQ(c.covered_frames, c.vgm_frames);
        EXPECT_GE(pct(t.pitch_class, t.sounding), 99.5);
        EXPECT_GE(pct(t.volume, t.sounding), 99.9);
        EXPECT_GE(pct(t.octave, t.sounding), 80.0);
        EXPECT_EQ(t.phantom, 0u);
        if (path.find("150mph") != std::string::npos) {  // the longest file: five minutes
            check_roll(p, c);
            rolls++;
        }
    }
    EXPECT_EQ(rolls, 1u);
}

// Without a timing, compare finds the one each listing was written for and
// gives the figures of that timing given.
TEST(Compare, BestFitIsTheTimingTheListingWasWrittenFor)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> bytes;
        std::string error;
        VgmLog log;
        ASSERT_TRUE(load_vgm_bytes(path, bytes, error)) << error;
        ASSERT_TRUE(parse_vgm(bytes, path, log, error)) << error;
        const std::vector<Frame> vgm = sample_frames(log);
        for (const WrittenFor written : {WrittenFor::real, WrittenFor::emulated}) {
            Listing l;
            const std::string text = kelvaro_listing(bytes, OUTPUT_PROGRAM, NOISE_OFF,
                                                     written == WrittenFor::real ? TIMING_REAL : TIMING_EMULATED);
            ASSERT_TRUE(read_listing(text, "song.txt", l, error)) << error;
            const PlayTiming given{PlayOn::compiled, written};
            Comparison best, as_given;
            ASSERT_TRUE(compare_listing(vgm, log.clock, l, nullptr, best));
            ASSERT_TRUE(compare_listing(vgm, log.clock, l, &given, as_given));
            EXPECT_TRUE(best.best_fit);
            EXPECT_FALSE(as_given.best_fit);
            EXPECT_EQ(timing_name(best), written == WrittenFor::real ? "real" : "emulated");
            EXPECT_EQ(comparison_summary(best), comparison_summary(as_given));
            EXPECT_EQ(format_comparison(best),
                      "timing: " + timing_name(best) + ", the best fit; give --timing and --on to choose\n" +
                          format_comparison(as_given));
        }
    }
}

TEST(Compare, LinesUpALateListingAndShowsWhatIsLost)
{
    const Pair p = song_and_listing(four_voice_vgm());
    // The listing half a second late is moved back and matches whole.
    std::vector<Frame> late(30);
    late.insert(late.end(), p.listing.begin(), p.listing.end());
    const Comparison moved = compare_song(p.vgm, p.clock, late);
    EXPECT_EQ(moved.shift, 30u);
    EXPECT_EQ(moved.fidelity.total.pitch_class, moved.fidelity.total.sounding);
    // Without voice 0, which starts the song: not moved (that would line up
    // worse), and voice 0 is lost.
    std::vector<Frame> without = p.listing;
    for (Frame &f : without) f.v[0].atten = 15;
    const Comparison lost = compare_song(p.vgm, p.clock, without);
    EXPECT_EQ(lost.fidelity.voice[0].pitch_class, 0u);
    EXPECT_EQ(lost.fidelity.voice[1].pitch_class, lost.fidelity.voice[1].sounding);
}

}  // namespace

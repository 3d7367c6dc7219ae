// compare and roll: kelvaro's own output of every real VGM keeps nearly all
// of it; what a listing loses shows in the figures; the piano roll is valid
// XML with one bar per note of each side.
#include <gtest/gtest.h>

#include <cmath>

#include "preview/compare.h"
#include "preview/listing.h"
#include "preview/roll.h"
#include "preview/ti_sound.h"
#include "tests/preview_support.h"
#include "tests/test_support.h"
#include "vgmcomp/fidelity.h"
#include "vgmcomp/frames.h"

namespace {

struct Pair {
    std::vector<Frame> vgm;
    uint32_t clock = 0;
    std::vector<Frame> listing;
};

Pair song_and_listing(const std::vector<uint8_t> &vgm_bytes, const PlayTiming &timing = PlayTiming(),
                      int32_t output = OUTPUT_PROGRAM)
{
    Pair p;
    VgmLog log;
    std::string error;
    EXPECT_TRUE(parse_vgm(vgm_bytes, "song.vgm", log, error)) << error;
    p.vgm = sample_frames(log);
    p.clock = log.clock;
    Listing l;
    EXPECT_TRUE(read_listing(kelvaro_listing(vgm_bytes, output), "song.txt", l, error)) << error;
    p.listing = timeline_frames(listing_timeline(l, timing));
    return p;
}

double pct(uint64_t n, uint64_t of, double none = 100.0)
{
    return fidelity_percent(n, of, none);
}

// kelvaro's default output of each real file against the file: the notes it
// plays are the file's (pitch class and volume), it lasts as long, and it
// sounds nothing the file does not. The octave is lower where the file has
// notes outside C3..A6, which kelvaro moves by whole octaves.
TEST(Compare, KelvaroDefaultOutputKeepsRealSongs)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
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
    }
}

TEST(Compare, LinesUpALateListingAndShowsWhatIsLost)
{
    const std::vector<uint8_t> song = four_voice_vgm();
    const Pair p = song_and_listing(song);
    const Comparison same = compare_song(p.vgm, p.clock, p.listing);
    EXPECT_EQ(same.fidelity.total.pitch_class, same.fidelity.total.sounding);
    EXPECT_EQ(same.fidelity.total.volume, same.fidelity.total.sounding);
    EXPECT_EQ(same.fidelity.total.phantom, 0u);

    // The same listing half a second late is moved back and matches as well.
    std::vector<Frame> late(30);
    late.insert(late.end(), p.listing.begin(), p.listing.end());
    const Comparison moved = compare_song(p.vgm, p.clock, late);
    EXPECT_EQ(moved.shift, 30u);
    EXPECT_EQ(moved.fidelity.total.pitch_class, same.fidelity.total.pitch_class);

    // A listing without voice 0, which starts the song: not moved (that
    // would line up worse), and voice 0 is lost.
    std::vector<Frame> without = p.listing;
    for (Frame &f : without) f.v[0].atten = 15;
    const Comparison lost = compare_song(p.vgm, p.clock, without);
    EXPECT_EQ(lost.fidelity.voice[0].pitch_class, 0u);
    EXPECT_EQ(lost.fidelity.voice[1].pitch_class, lost.fidelity.voice[1].sounding);

    // The first half only: the length shows it.
    const std::vector<Frame> half(p.listing.begin(), p.listing.begin() + 36);
    const Comparison cut = compare_song(p.vgm, p.clock, half);
    EXPECT_EQ(cut.covered_frames, 36u);
    EXPECT_LT(cut.covered_frames, cut.vgm_frames);

    // In XB without the compiler every row takes at least 260 ms: far less matches.
    const Pair xb = song_and_listing(song, PlayTiming{PlayOn::xb, WrittenFor::real});
    const Comparison slow = compare_song(xb.vgm, xb.clock, xb.listing);
    EXPECT_GT(slow.shift, 50u);  // the second before the first sound
    EXPECT_LT(pct(slow.fidelity.total.volume, slow.fidelity.total.sounding), 60.0);
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
        std::string tag = s.substr(i + 1, end - i - 1);
        size_t quotes = 0;
        for (char c : tag) quotes += c == '"';
        if (quotes % 2 != 0 || tag.find('<') != std::string::npos) return "bad attributes in <" + tag + ">";
        const std::string name = tag.substr(tag[0] == '/' ? 1 : 0, tag.find_first_of(" />", 1) - (tag[0] == '/' ? 1 : 0));
        if (tag[0] == '/') {
            if (open.empty() || open.back() != name) return "</" + name + "> closes nothing open";
            open.pop_back();
        } else if (tag.back() != '/') {
            open.push_back(name);
        }
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
            const bool sounds = v < 3 ? sounding_hz(s, clock) != 0.0 : s.atten != 15;
            const int note = sounds ? s.note : -1;
            if (note >= 0 && (note != prev || i % 1200 == 0)) bars++;
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
        const size_t end = svg.find('"', d);
        for (size_t i = d; i < end; i++) bars += svg[i] == 'M';
    }
    return bars;
}

TEST(Roll, RealSongIsXmlWithOneBarPerNote)
{
    std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    // The longest file (five minutes) and a short one.
    std::vector<std::string> chosen;
    for (const std::string &f : files)
        if (f.find("150mph") != std::string::npos || f.find("nd-ui") != std::string::npos) chosen.push_back(f);
    ASSERT_FALSE(chosen.empty());
    EXPECT_NE(xml_problem("<svg><g></svg>"), "");
    EXPECT_NE(xml_problem("<svg><text>a & b</text></svg>"), "");
    for (const std::string &path : chosen) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(load_vgm_bytes(path, bytes, error));
        const Pair p = song_and_listing(bytes);
        const Comparison c = compare_song(p.vgm, p.clock, p.listing);
        const std::string svg = roll_svg(p.vgm, p.clock, c, "a&b <song>.vgm", "s\xC3\xA9\xFFng.txt");
        EXPECT_EQ(xml_problem(svg), "");
        EXPECT_NE(svg.find("viewBox=\"0 0 "), std::string::npos);
        EXPECT_NE(svg.find(">a&amp;b &lt;song&gt;.vgm (pale) and s\xC3\xA9?ng.txt (solid)</text>"), std::string::npos);
        EXPECT_NE(svg.find(">" + comparison_summary(c) + "</text>"), std::string::npos);
        EXPECT_NE(svg.find(">C2</text>"), std::string::npos);
        EXPECT_NE(svg.find(">C8</text>"), std::string::npos);
        EXPECT_LT(svg.size(), 2u * 1024 * 1024);
        const size_t vgm_bars = expected_bars(p.vgm, p.clock), listing_bars = expected_bars(c.aligned, TI_CLOCK);
        EXPECT_GT(vgm_bars, 100u);
        EXPECT_EQ(count_bars(svg, "vgm"), vgm_bars);
        EXPECT_EQ(count_bars(svg, "listing"), listing_bars);
        EXPECT_EQ(roll_bars(p.vgm, p.clock).size(), vgm_bars);
    }
}

}  // namespace

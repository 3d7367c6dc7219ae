// Lining up a listing with its VGM and measuring what it keeps.
#include "preview/compare.h"

#include <cstdio>

namespace {

bool tone_sounds(const Frame &f, uint32_t clock)
{
    for (int v = 0; v < 3; v++)
        if (sounding_hz(f.v[v], clock) != 0.0) return true;
    return false;
}

std::vector<Frame> shifted(const std::vector<Frame> &frames, size_t shift)
{
    if (shift >= frames.size()) return {};
    return std::vector<Frame>(frames.begin() + static_cast<std::ptrdiff_t>(shift), frames.end());
}

// The listing's length after the shift, and the rest of the VGM too when
// nothing sounds in it.
size_t covered(const std::vector<Frame> &vgm, uint32_t clock, size_t listing_frames)
{
    if (listing_frames >= vgm.size()) return vgm.size();
    for (size_t i = listing_frames; i < vgm.size(); i++)
        if (tone_sounds(vgm[i], clock)) return listing_frames;
    return vgm.size();
}

std::string percent(uint64_t count, uint64_t sounding, double if_none = 100.0)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f%%", fidelity_percent(count, sounding, if_none));
    return buf;
}

}  // namespace

size_t first_sounding_frame(const std::vector<Frame> &frames, uint32_t clock)
{
    for (size_t i = 0; i < frames.size(); i++)
        if (tone_sounds(frames[i], clock)) return i;
    return frames.size();
}

Comparison compare_song(const std::vector<Frame> &vgm, uint32_t vgm_clock, const std::vector<Frame> &listing,
                        size_t song_frames)
{
    if (song_frames == SIZE_MAX) song_frames = listing.size();
    Comparison c;
    c.vgm_frames = vgm.size();
    c.aligned = listing;
    c.covered_frames = covered(vgm, vgm_clock, song_frames);
    c.fidelity = measure_fidelity(vgm, vgm_clock, listing, TI_CLOCK, c.covered_frames);
    const size_t first_vgm = first_sounding_frame(vgm, vgm_clock);
    const size_t first_listing = first_sounding_frame(listing, TI_CLOCK);
    if (first_listing > first_vgm && first_listing < listing.size()) {
        Comparison moved;
        moved.vgm_frames = vgm.size();
        moved.shift = first_listing - first_vgm;
        moved.aligned = shifted(listing, moved.shift);
        moved.covered_frames = covered(vgm, vgm_clock, song_frames > moved.shift ? song_frames - moved.shift : 0);
        moved.fidelity = measure_fidelity(vgm, vgm_clock, moved.aligned, TI_CLOCK, moved.covered_frames);
        if (moved.fidelity.total.pitch_class >= c.fidelity.total.pitch_class) return moved;
    }
    return c;
}

namespace {

// The listing played as t and compared. song: the song time it covers, in
// frames; 0: the time it plays (without XB's start), which song_played
// receives. False when it plays for longer than a preview takes.
bool try_timing(const std::vector<Frame> &vgm, uint32_t vgm_clock, const Listing &listing, const PlayTiming &t,
                size_t song, Comparison &c, size_t *song_played = nullptr)
{
    const TiTimeline timeline = listing_timeline(listing, t);
    if (timeline.end_sample > PREVIEW_MAX_SAMPLES) return false;
    const std::vector<Frame> frames = timeline_frames(timeline);
    // In XB the timeline begins with XB's start, which is no song time.
    const size_t start = t.on == PlayOn::xb && !timeline.steps.empty()
                             ? static_cast<size_t>(timeline.steps[0].sample / SAMPLES_PER_FRAME)
                             : 0;
    if (song == 0) song = frames.size() > start ? frames.size() - start : 0;
    if (song_played) *song_played = song;
    c = compare_song(vgm, vgm_clock, frames, song + start);
    c.timing = t;
    c.form = listing.form;
    if (t.on == PlayOn::xb) c.xb_seconds = xb_rows_ms(listing) / 1000.0;
    return true;
}

// How well a comparison lines up: the VGM's voice-frames matched in pitch,
// less those the listing sounds where the VGM is silent (a listing
// stretched over a longer time matches some notes by chance, and sounds
// many where it should not).
int64_t alignment(const Comparison &c)
{
    return static_cast<int64_t>(c.fidelity.total.pitch_class) - static_cast<int64_t>(c.fidelity.total.phantom);
}

// The timing that lines up best: the best alignment wins; among equals
// (rows too short for the factor to show) the compiled timing whose
// durations the rows are written in, then the first tried (REAL, EMULATED,
// XB). song receives the song time it plays, in frames.
bool best_fit(const std::vector<Frame> &vgm, uint32_t vgm_clock, const Listing &listing, Comparison &best,
              size_t &song)
{
    bool found = false;
    size_t best_rows = 0;
    const PlayTiming tries[] = {{PlayOn::compiled, WrittenFor::real},
                                {PlayOn::compiled, WrittenFor::emulated},
                                {PlayOn::xb, WrittenFor::real}};  // XB plays max(d, its time per row), whatever the timing
    for (const PlayTiming &t : tries) {
        // The CALL SOUND form has one timing of its own.
        if (t.timing == WrittenFor::emulated && listing.form == ListingForm::statements) continue;
        Comparison c;
        size_t played = 0;
        if (!try_timing(vgm, vgm_clock, listing, t, 0, c, &played)) continue;
        const size_t rows = t.on == PlayOn::compiled ? rows_written_for(listing, t.timing) : 0;
        const int64_t score = alignment(c), most = alignment(best);
        if (found && (score < most || (score == most && rows <= best_rows))) continue;
        song = played;
        best = std::move(c);
        best_rows = rows;
        found = true;
    }
    return found;
}

}  // namespace

bool compare_listing(const std::vector<Frame> &vgm, uint32_t vgm_clock, const Listing &listing,
                     const PlayTiming *timing, Comparison &result)
{
    Comparison best;
    size_t song = 0;
    const bool found = best_fit(vgm, vgm_clock, listing, best, song);
    if (timing == nullptr) {
        result = std::move(best);
        result.best_fit = found;
        return found;
    }
    // The song time the listing covers is that of the timing that lines up
    // best: a listing timed for XB covers its time in XB, one written for a
    // compiled program the time it plays there.
    return try_timing(vgm, vgm_clock, listing, *timing, found ? song : 0, result);
}

std::string timing_name(const Comparison &c)
{
    if (c.timing.on == PlayOn::xb) return "xb";  // --on xb
    if (c.form == ListingForm::statements) return "CALL SOUND form";
    return c.timing.timing == WrittenFor::emulated ? "emulated" : "real";
}

std::string comparison_summary(const Comparison &c)
{
    const FidelityCounts &t = c.fidelity.total;
    char buf[240];
    std::snprintf(buf, sizeof buf, "compare: pitch %s, octave %s, volume %s, phantom %s, length %.1f s of %.1f s",
                  percent(t.pitch_class, t.sounding).c_str(), percent(t.octave, t.sounding).c_str(),
                  percent(t.volume, t.sounding).c_str(), percent(t.phantom, t.sounding, 0.0).c_str(),
                  c.covered_frames / 60.0, c.vgm_frames / 60.0);
    std::string line = buf;
    if (c.xb_seconds >= 0) {
        std::snprintf(buf, sizeof buf, ", %.1f s in XB", c.xb_seconds);
        line += buf;
    }
    return line;
}
std::string format_comparison(const Comparison &c)
{
    std::string out;
    if (c.best_fit) out += "timing: " + timing_name(c) + ", the best fit; give --timing and --on to choose\n";
    char buf[200];
    std::snprintf(buf, sizeof buf, "%-7s %10s %8s %8s %8s %8s\n", "voice", "sounding", "pitch", "octave", "volume",
                  "phantom");
    out += buf;
    for (int v = 0; v <= 3; v++) {
        const FidelityCounts &f = v < 3 ? c.fidelity.voice[v] : c.fidelity.total;
        const std::string name = v < 3 ? std::to_string(v) : "total";
        std::snprintf(buf, sizeof buf, "%-7s %10llu %8s %8s %8s %8s\n", name.c_str(),
                      static_cast<unsigned long long>(f.sounding), percent(f.pitch_class, f.sounding).c_str(),
                      percent(f.octave, f.sounding).c_str(), percent(f.volume, f.sounding).c_str(),
                      percent(f.phantom, f.sounding, 0.0).c_str());
        out += buf;
    }
    std::snprintf(buf, sizeof buf, "length: the listing plays %.1f s and covers %.1f s of the VGM's %.1f s (%.1f%%)",
                  (c.aligned.size() + c.shift) / 60.0, c.covered_frames / 60.0, c.vgm_frames / 60.0,
                  c.vgm_frames == 0 ? 100.0 : 100.0 * static_cast<double>(c.covered_frames) / c.vgm_frames);
    out += buf;
    if (c.shift > 0) {
        std::snprintf(buf, sizeof buf, "; it starts sounding %.2f s later and is moved earlier to line up",
                      c.shift / 60.0);
        out += buf;
    }
    out += "\n" + comparison_summary(c) + "\n";
    return out;
}

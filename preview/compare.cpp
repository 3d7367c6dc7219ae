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

Comparison compare_song(const std::vector<Frame> &vgm, uint32_t vgm_clock, const std::vector<Frame> &listing)
{
    Comparison c;
    c.vgm_frames = vgm.size();
    c.aligned = listing;
    c.covered_frames = covered(vgm, vgm_clock, listing.size());
    c.fidelity = measure_fidelity(vgm, vgm_clock, listing, TI_CLOCK, c.covered_frames);
    const size_t first_vgm = first_sounding_frame(vgm, vgm_clock);
    const size_t first_listing = first_sounding_frame(listing, TI_CLOCK);
    if (first_listing > first_vgm && first_listing < listing.size()) {
        Comparison moved;
        moved.vgm_frames = vgm.size();
        moved.shift = first_listing - first_vgm;
        moved.aligned = shifted(listing, moved.shift);
        moved.covered_frames = covered(vgm, vgm_clock, moved.aligned.size());
        moved.fidelity = measure_fidelity(vgm, vgm_clock, moved.aligned, TI_CLOCK, moved.covered_frames);
        if (moved.fidelity.total.pitch_class >= c.fidelity.total.pitch_class) return moved;
    }
    return c;
}

std::string comparison_summary(const Comparison &c)
{
    const FidelityCounts &t = c.fidelity.total;
    char buf[200];
    std::snprintf(buf, sizeof buf, "compare: pitch %s, octave %s, volume %s, phantom %s, length %.1f s of %.1f s",
                  percent(t.pitch_class, t.sounding).c_str(), percent(t.octave, t.sounding).c_str(),
                  percent(t.volume, t.sounding).c_str(), percent(t.phantom, t.sounding, 0.0).c_str(),
                  c.covered_frames / 60.0, c.vgm_frames / 60.0);
    return buf;
}

std::string format_comparison(const Comparison &c)
{
    std::string out;
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

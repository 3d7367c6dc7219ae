#include "compressor/xbtime.h"

#include <algorithm>
#include <cmath>

#include "compressor/estimate.h"
#include "xbsound/timing.h"

namespace {

constexpr double MS_PER_FRAME = 1000.0 / 60.0;

double played_ms(uint64_t frames, const XbTarget &target)
{
    return interpreted_row_ms(target, written_ms(static_cast<uint32_t>(frames), target_factor(target)));
}

// Appends count frames of one row: the row's own frames from first, cut
// short or held on with its last state (a retuning belongs to its own
// frame only).
void append_row(std::vector<Frame> &out, const std::vector<Frame> &frames, size_t first, size_t own, uint64_t count)
{
    for (uint64_t k = 0; k < count; k++) {
        if (k < own) {
            out.push_back(frames[first + k]);
        } else {
            out.push_back(out.back());
            out.back().retune = 0;
        }
    }
}

// The rows' lengths from the frames of the changes that end them.
std::vector<uint64_t> lengths(const std::vector<uint64_t> &changes)
{
    std::vector<uint64_t> rows(changes.size());
    for (size_t i = 0; i < changes.size(); i++) rows[i] = changes[i] - (i == 0 ? 0 : changes[i - 1]);
    return rows;
}

}  // namespace

std::vector<uint64_t> row_song_frames(const std::vector<Frame> &frames, const XbTarget &target)
{
    return lengths(row_changes(frames, target));
}

std::vector<uint64_t> xb_row_frames(const std::vector<uint64_t> &song_frames, const XbTarget &target)
{
    const double frame_ms = MS_PER_FRAME * target_factor(target);
    std::vector<uint64_t> out(song_frames.size());
    uint64_t song = 0;  // frames of song time so far
    double played = 0;  // ms played so far
    for (size_t i = 0; i < song_frames.size(); i++) {
        song += song_frames[i];
        const double want = static_cast<double>(song) * MS_PER_FRAME - played;
        const uint64_t least = i == 0 ? 2 : 1;
        const double guess = std::floor(std::max(0.0, want) / frame_ms);
        uint64_t best = 0;
        double best_error = 0;
        for (uint64_t n = static_cast<uint64_t>(std::max(0.0, guess - 1)); n <= static_cast<uint64_t>(guess) + 2; n++) {
            const uint64_t f = std::max(n, least);
            const double error = std::fabs(played_ms(f, target) - want);
            if (best == 0 || error < best_error) {
                best = f;
                best_error = error;
            }
        }
        out[i] = best;
        played += played_ms(best, target);
    }
    return out;
}

std::vector<Frame> time_rows_for_xb(const std::vector<Frame> &frames, const XbTarget &target)
{
    const std::vector<uint64_t> changes = row_changes(frames, target);
    if (changes.empty()) return frames;
    const std::vector<uint64_t> song = lengths(changes);
    const std::vector<uint64_t> timed = xb_row_frames(song, target);

    std::vector<Frame> out;
    // The first row holds frames 1 .. changes[0] - 1: the converter counts
    // one frame more.
    append_row(out, frames, 0, static_cast<size_t>(changes[0] - 1), timed[0] - 1);
    for (size_t i = 1; i < changes.size(); i++)
        append_row(out, frames, static_cast<size_t>(changes[i - 1] - 1), static_cast<size_t>(song[i]), timed[i]);
    // The state after the last change, as long as it was.
    const size_t tail = static_cast<size_t>(changes.back() - 1);
    if (tail < frames.size()) out.insert(out.end(), frames.begin() + static_cast<std::ptrdiff_t>(tail), frames.end());
    return out;
}

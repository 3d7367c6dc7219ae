// How much of a VGM a listing keeps: the VGM's frames against the listing's
// frames, lined up and measured with the project's one fidelity measure, and
// the table and last line that xbtool compare prints.
#ifndef PREVIEW_COMPARE_H
#define PREVIEW_COMPARE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compressor/fidelity.h"

struct Comparison {
    Fidelity fidelity;             // over the covered frames
    size_t shift = 0;              // listing frames dropped at the start to line up
    size_t covered_frames = 0;     // frames of the VGM that the listing covers
    size_t vgm_frames = 0;         // the VGM's length in frames
    std::vector<Frame> aligned;    // the listing's frames after the shift
};

// The first frame in which a tone voice sounds, or frames.size() when none does.
size_t first_sounding_frame(const std::vector<Frame> &frames, uint32_t clock);

// Compares vgm (periods at vgm_clock) with listing (periods at the TI clock).
// When the listing starts sounding later than the VGM, its frames are moved
// earlier by the difference, unless that lines up worse (in matching pitch)
// than leaving them: a listing that dropped the voice that starts the song
// stays where it is. The listing covers its own length, and the rest of the
// VGM as well when no tone sounds there.
Comparison compare_song(const std::vector<Frame> &vgm, uint32_t vgm_clock, const std::vector<Frame> &listing);

// The plain table, per tone voice and in total, and the last line
// "compare: pitch P%, octave O%, volume V%, phantom H%, length L s of T s".
std::string format_comparison(const Comparison &c);

// The last line alone (also the roll's title line).
std::string comparison_summary(const Comparison &c);

#endif

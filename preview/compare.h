// How much of a VGM a listing keeps: the VGM's frames against the listing's
// frames, lined up and measured with the project's one fidelity measure, and
// the table and last line that xbtool compare prints.
#ifndef PREVIEW_COMPARE_H
#define PREVIEW_COMPARE_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "compressor/fidelity.h"
#include "output/listing.h"
#include "preview/ti_sound.h"

struct Comparison {
    Fidelity fidelity;             // over the covered frames
    size_t shift = 0;              // listing frames dropped at the start to line up
    size_t covered_frames = 0;     // frames of the VGM that the listing covers
    size_t vgm_frames = 0;         // the VGM's length in frames
    std::vector<Frame> aligned;    // the listing's frames after the shift
    // Set by compare_listing: how the listing was played, whether that was
    // the best fit rather than given, and with --on xb the seconds XB takes
    // to play its rows (else negative).
    PlayTiming timing;
    ListingForm form = ListingForm::program;
    bool best_fit = false;
    double xb_seconds = -1.0;
};

// The first frame in which a tone voice sounds, or frames.size() when none does.
size_t first_sounding_frame(const std::vector<Frame> &frames, uint32_t clock);

// Compares vgm (periods at vgm_clock) with listing (periods at the TI clock).
// When the listing starts sounding later than the VGM, its frames are moved
// earlier by the difference, unless that lines up worse (in matching pitch)
// than leaving them: a listing that dropped the voice that starts the song
// stays where it is. The listing covers the song time it stands for
// (song_frames, counted on the listing's timeline from its start, the time
// before its first row included; by default its own length), less the
// frames moved away, and the rest of the VGM as well when no tone sounds
// there.
Comparison compare_song(const std::vector<Frame> &vgm, uint32_t vgm_clock, const std::vector<Frame> &listing,
                        size_t song_frames = SIZE_MAX);

// The listing played as timing says and compared with vgm; without a
// timing (null) each one there is (REAL and EMULATED compiled, XB without
// the compiler; the CALL SOUND form has one compiled timing) is tried and
// the one that lines up best is kept: the most voice-frames matched in
// pitch less those sounding where the VGM is silent, then the compiled
// timing whose durations the rows are written in, then the first.
// The song time the listing covers is always the time it plays in that best
// timing (a listing timed for XB covers its time in XB, one written for a
// compiled program the time it plays there). Timings that play for longer
// than a preview takes are not tried; false when none is left (or the one
// given is such).
bool compare_listing(const std::vector<Frame> &vgm, uint32_t vgm_clock, const Listing &listing,
                     const PlayTiming *timing, Comparison &result);

// The timing a comparison used, as its line names it: "real", "emulated",
// "CALL SOUND form", "xb".
std::string timing_name(const Comparison &c);

// The plain table, per tone voice and in total, and the last line
// "compare: pitch P%, octave O%, volume V%, phantom H%, length L s of T s"
// (with ", P s in XB" for --on xb). A best fit is named on a line of its own
// before the table: "timing: emulated, the best fit; give --timing and --on
// to choose".
std::string format_comparison(const Comparison &c);

// The last line alone (also the roll's title line).
std::string comparison_summary(const Comparison &c);

#endif

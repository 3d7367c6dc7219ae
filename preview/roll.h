// A piano roll of a VGM and a listing as an SVG picture: time across in
// strips of 20 seconds, pitch up from C2 to C8 (the 46 notes XB plays, C3 to
// A6, shaded), the VGM's notes as pale bars and the listing's as solid bars
// over them (bars 4 and 6 pixels high), one colour per voice, named as
// CALL SOUND numbers them (tone 1 to 3, noise), volume as opacity, the noise
// voice in a strip of its own below, axes titled time and note; a title with
// both names, the timing the listing was drawn with and the compare
// figures, and a legend. Each bar is one rectangle ("M" command) of a
// path: one path per side, voice, strip and volume.
#ifndef PREVIEW_ROLL_H
#define PREVIEW_ROLL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/compare.h"
#include "sound/frames.h"

constexpr size_t ROLL_STRIP_FRAMES = 20 * 60;

// One bar: a voice sounding one note (the same period or noise register)
// over consecutive frames within one strip; atten is its loudest.
struct RollBar {
    int voice = 0;       // 0-2 tone, 3 noise
    size_t start = 0;    // first frame
    size_t frames = 0;
    int lane = 0;        // semitones above C2 (clamped to C2..C8), or the noise register
    uint8_t atten = 15;
};

// The bars of frames (periods at clock), in time order per voice.
std::vector<RollBar> roll_bars(const std::vector<Frame> &frames, uint32_t clock);

// The picture: vgm (at vgm_clock) against the comparison's lined-up listing.
std::string roll_svg(const std::vector<Frame> &vgm, uint32_t vgm_clock, const Comparison &comparison,
                     const std::string &vgm_name, const std::string &listing_name);

#endif

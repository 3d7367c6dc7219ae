// The XB program that the converter writes from a song file for a target
// (output form, noise voice, timing; by default PROGRAM mode, no noise
// voice, REAL timing): its rows and its size, measured with the converter's
// own row builder, output writer and size count.
#ifndef VGMCOMP_ESTIMATE_H
#define VGMCOMP_ESTIMATE_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "sound/frames.h"
#include "xbsound/target.h"

struct XbEstimate {
    uint32_t rows = 0;     // rows of the program
    size_t xb_size = 0;    // bytes of program by xb_program_size; 0 when over
    bool over = false;     // stopped early: more rows than max_rows
    // In XB without the compiler (see xbsound/target.h): milliseconds from
    // RUN to the first row that sounds, and to the end of the last row.
    double interpreted_first_sound_ms = 0;
    double interpreted_end_ms = 0;
};

// The program written from the song file built of frames (reductions and
// retunings included), without building or playing the song file: the
// player reproduces frames exactly, so the chip state the row builder sees
// after each frame is set straight from them. Stops early, with over set,
// once there are more than max_rows rows. text, when given, receives the
// program's text (empty when over).
XbEstimate estimate_xb(const std::vector<Frame> &frames,
                       uint32_t max_rows = std::numeric_limits<uint32_t>::max(), std::string *text = nullptr,
                       const XbTarget &target = XbTarget());

// The frames (1-based; frames.size() + 1 is the silence after the song) at
// which the converter, writing for target, sees a change and ends a row:
// row i lasts from changes[i - 1] (0 for the first row) to changes[i].
std::vector<uint64_t> row_changes(const std::vector<Frame> &frames, const XbTarget &target = XbTarget());

// The most rows a program for target within budget bytes can have: beyond
// the smallest program, every row takes 7 values (9 with noise) of 1
// character or more, each at least 4 bytes in a DATA line; a CALL SOUND
// statement takes 15 bytes more. Any more rows cannot fit.
uint32_t max_rows_within(size_t budget, const XbTarget &target = XbTarget());

// The smallest program there is for target: the one without rows (the
// player line and a row count of 0 in the PROGRAM form).
size_t smallest_xb_program(const XbTarget &target = XbTarget());

// The program the converter really writes from song_file: its rows, size
// and (when text is given) its text. False when the converter refuses the
// song (it would play for more than its frame limit).
bool convert_song_file(const std::vector<uint8_t> &song_file, XbEstimate &result, std::string *text = nullptr,
                       const XbTarget &target = XbTarget());

#endif

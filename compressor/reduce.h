// Options that trade detail for size: each one changes the song's frames
// (after pitch, before streams) and keeps the rest of the song as it was.
#ifndef VGMCOMP_REDUCE_H
#define VGMCOMP_REDUCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sound/frames.h"

constexpr uint32_t FRAMES_PER_SECOND = 60;
constexpr uint8_t ALL_VOICES = 0x0F;

struct Reductions {
    uint64_t keep_frames = 0;    // --seconds: keep frames 1..keep_frames only; 0 keeps them all
    uint32_t min_frames = 1;     // --min-frames: rows of at least this many frames (compressor/rowchoose.h)
    bool flat = false;           // --flat: each note keeps its first volume
    uint8_t voices = ALL_VOICES; // --voices: bit v set keeps voice v
    // --interpreted: every row the converter writes lasts at least this
    // many frames, the last one and those beside a split hold too, and the
    // song keeps its length; 1: no such minimum.
    uint32_t min_row_frames = 1;
    bool count_noise = false;    // the row chooser counts the noise voice: kelvaro writes it
};

bool operator==(const Reductions &a, const Reductions &b);
bool operator!=(const Reductions &a, const Reductions &b);

// True when r changes nothing.
bool no_reduction(const Reductions &r);

// The fewest frames a state is held under r: the larger of --min-frames
// and the row minimum of --interpreted.
uint32_t row_minimum(const Reductions &r);

// The options that give r, as a user types them ("--flat --min-frames 3",
// "--interpreted" for a row minimum); empty when r changes nothing.
std::string reduction_options(const Reductions &r);

// A frame count as seconds the way --seconds reads them back to the same
// count: whole tenths where the count is a multiple of 6 frames ("21.5"),
// else hundredths rounded up.
std::string seconds_text(uint64_t frames);

// Reads the value of --seconds, a decimal number of seconds ("30", "12.5"),
// into the number of frames it keeps: floor(S * 60), the frames that end
// within S seconds. False when the text is not such a number or keeps no
// frame.
bool parse_seconds(const std::string &text, uint64_t &frames);

// Reads the value of --voices: digits 0 to 3, each at most once, into a mask.
bool parse_voices(const std::string &text, uint8_t &mask);

// --seconds: keeps frames 1..count (all of them when there are fewer). The
// song then ends with silence: every voice still sounding is silenced after
// the last frame kept.
void keep_first_frames(std::vector<Frame> &frames, uint64_t count);

// --voices: the voices not in mask are silent in every frame.
void keep_voices(std::vector<Frame> &frames, uint8_t mask);

// --flat: each voice holds a note at the volume of the note's first frame
// until the note changes or the voice falls silent. Notes, silences and
// their timing stay as they were.
void flatten_volumes(std::vector<Frame> &frames);

// Holds every state for at least n frames, the simplest way to rows of n
// frames (a row minimum chooses its rows instead, compressor/rowchoose.h, and
// writes no more rows than this): a change of the whole state (any voice's
// volume, or its note while it sounds) is adopted only when at least n
// frames have passed since the last adopted change; until then the adopted
// state goes on. A change that is undone before it is adopted is dropped;
// one that lasts is adopted late, at the first frame allowed. whole_rows:
// the song's end counts as a change too: its last change (the song's
// length) stays where it was, the silence that ends the song begins on
// time, and no change is adopted less than n frames before either, so that
// the last row is whole as well.
void hold_min_frames(std::vector<Frame> &frames, uint32_t n, bool whole_rows = false);

// All of r, in the order: seconds, voices, flat, the row minimum of
// --min-frames and --interpreted (rows chosen by choose_rows in
// compressor/rowchoose.h, which writes no more rows than holding as above).
std::vector<Frame> apply_reductions(const std::vector<Frame> &frames, const Reductions &r);

#endif

// The fewest rows the row chooser can write, found without choosing them:
// the --fit search passes over a set of reductions whose rows certainly
// outnumber what fits, at a cost linear in the song rather than that of
// the chooser (frames x longest row).
//
// Why it holds. The chooser's rows (compressor/rowchoose.h) score at least
// as much as any other division into rows, for instance rows of exactly the
// row minimum: so the voice-frames its k rows lose, plus k row costs, are
// at most what that grid loses plus its row costs. Rows that few lose at
// least what each voice alone loses when it may divide itself into that
// many parts wherever it likes (a relaxation computed over the voice's runs
// of equal state, with every division priced by a Lagrange multiplier). When
// even that loses more than the grid, the chooser writes more rows.
#ifndef VGMCOMP_ROWBOUND_H
#define VGMCOMP_ROWBOUND_H

#include <cstdint>
#include <vector>

#include "compressor/rowchoose.h"
#include "sound/frames.h"

// A voice's state in each frame as the chooser tells them apart: 0 for
// silence (whatever note), else the volume and note numbered as first met.
struct VoiceIds {
    std::vector<uint32_t> id;  // per frame
    uint32_t states = 1;       // ids in use
};
VoiceIds voice_ids(const std::vector<Frame> &frames, int v);

// At least how much the voice loses (in the chooser's scores: MATCH_SOUNDING
// per sounding voice-frame, silent_match per silent one) when its frames
// are divided into at most `parts` parts, each playing one state, every
// part but the last spanning at most LONGEST_ROW_FRAMES frames besides its
// first and last runs of equal state. A lower bound, 0 at worst.
int64_t least_voice_loss(const VoiceIds &voice, int64_t silent_match, uint64_t parts);

// Divisions of frames 0..total-1 into rows the chooser may write (rows of
// min_frames to LONGEST_ROW_FRAMES frames, the first one less), as the
// index of each row's first frame; empty when there is none such.
// The grid: rows of exactly min_frames frames, the last taking what is left.
std::vector<size_t> grid_division(size_t total, uint32_t min_frames);
// Held: a row at each change that held frames (hold_min_frames) make in the
// voices that count (the noise voice too when noise), rows too long cut.
std::vector<size_t> held_division(const std::vector<Frame> &held, size_t total, uint32_t min_frames, bool noise);
// The same from the frames at which held changes (change_frames).
std::vector<size_t> held_division(const std::vector<size_t> &changes, size_t total, uint32_t min_frames);

// What the voice loses over a division (starts, ending at total) when each
// row plays the voice's state that scores most in it.
int64_t division_voice_loss(const VoiceIds &voice, int64_t silent_match, const std::vector<size_t> &starts,
                            size_t total);

// The rows of changes that frames write over the voices the converter
// plays (the tone voices, and the noise voice when noise): a lower bound
// on the converter's rows of them.
uint64_t changes_written(const std::vector<Frame> &frames, bool noise);
// The frames (from 1) at which those changes are: as many as changes_written.
std::vector<size_t> change_frames(const std::vector<Frame> &frames, bool noise);

// The most chooser rows (row_cost, frames of length total before their final
// silence) that may still write rows_limit or fewer rows of changes: a row
// between two of the same state must be too long to join its neighbour.
uint64_t rows_allowed(uint64_t rows_limit, size_t total);

#endif

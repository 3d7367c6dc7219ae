// Choosing the rows of a song that is played in rows longer than its own
// changes (--min-frames, and every step of --fit that holds rows). Holding
// the state that starts each row lets a one-frame drum hit or grace note
// stand for the whole row and loses the note that fills it. Instead the rows
// are chosen over the whole song at once: where each begins, and per voice
// the note and volume that the voice holds for most of the row's frames
// (silence being one such state), so that as many voice-frames as possible
// play at their own note and volume, and no more rows than holding writes.
#ifndef VGMCOMP_ROWCHOOSE_H
#define VGMCOMP_ROWCHOOSE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/frames.h"

// What a row choice scores. A voice-frame played at its own note and volume
// scores MATCH_SOUNDING while the song sounds there and MATCH_SILENT while
// it is silent: a note heard through part of a row is more of the song than
// the rest around it, so a row plays a voice's most frequent note unless the
// voice is silent more than four times as long. Each row costs ROW_COST, as
// much as one silent voice-frame: a row is added only where it plays more
// of the song.
constexpr int64_t MATCH_SOUNDING = 4;
constexpr int64_t MATCH_SILENT = 1;
constexpr int64_t ROW_COST = 1;

struct RowChoiceOptions {
    uint32_t min_frames = 1;              // no row shorter (see choose_row_starts for the last)
    bool count_noise = false;             // the noise voice counts too: kelvaro writes it (-n)
    int64_t silent_match = MATCH_SILENT;  // the score of a silent voice-frame kept silent
    int64_t row_cost = ROW_COST;          // the cost of a row
};

// The chooser's work over a song, which serves every song that begins with
// the same frames under the same options (the --fit search's cuts of one
// song with --seconds): per frame e, the highest score of whole rows
// covering the frames before e and where the last of them begins. Only the
// last row of a shorter song, which ends at its own final silence, is
// chosen anew. choose_row_starts(frames, options, &table) gives what it
// gives without the table when frames begin the table's song; a table made
// with other options is not used.
struct RowTable {
    RowChoiceOptions options;
    size_t frames = 0;           // of the song the table was made for
    std::vector<int> voices;     // the voices that take part (count and change)
    std::vector<int64_t> best;   // per frame, up to the song's final silence
    std::vector<uint32_t> start;  // where the last of those rows begins
};
RowTable row_table(const std::vector<Frame> &frames, const RowChoiceOptions &options);

// The rows of frames that score most: the index of each row's first frame,
// from 0, in order. The silence that ends the song (every voice that counts
// silent to the last frame) is one row that begins where it did, so the
// song's last change keeps its frame. Every other row has min_frames to
// LONGEST_ROW_FRAMES frames (the first one frame less, since the converter
// counts it from frame 0), but the last before that silence (or the end),
// which is shorter than min_frames only when the length before it allows no
// other division.
std::vector<size_t> choose_row_starts(const std::vector<Frame> &frames, const RowChoiceOptions &options,
                                      const RowTable *table = nullptr);

// Sets every frame of each row (starts as above) to the row's state: per
// voice the state scoring most over the row's frames, among equals the
// previous row's (one change less), else the first to reach that score;
// the last row before the song's final silence sounds in one voice at least
// (the sounding state that scores most), so that the song keeps its length.
// Retunings are dropped; the long holds are split afterwards.
void play_rows(std::vector<Frame> &frames, const std::vector<size_t> &starts, const RowChoiceOptions &options);

// A row minimum (--min-frames, --interpreted) through the row chooser:
// frames become rows chosen as above, never more rows in the converter's
// program (long holds split; the noise voice's rows too when it counts)
// than holding gives (hold_min_frames with whole rows, which keeps the
// song's length too): where the choice would write more, rows are chosen
// again at dearest_row_cost, and where that still writes more, holding is
// used. (Two costs, not more: the real songs never need a third, and the
// --fit search can then see cheaply that a song's rows outnumber its budget
// at either cost, compressor/rowbound.h.) min_frames of 1 or less changes
// nothing; the song's length is unchanged.
// row_limit: the frames chosen are wanted only if they change the tone
// voices (which the converter always writes) at most that many times. When
// they certainly change them more often, at whichever cost, and so does
// holding, the choice may stop early and return false, frames unchanged
// (the --fit search: a song's start can show that it has too many rows).
// Otherwise true, with frames as without a limit.
bool choose_rows(std::vector<Frame> &frames, const RowChoiceOptions &options, const RowTable *table = nullptr,
                 uint64_t row_limit = UINT64_MAX);

// The dearer row cost choose_rows tries second: 4 times options' (at least 1).
int64_t dearest_row_cost(const RowChoiceOptions &options);

#endif

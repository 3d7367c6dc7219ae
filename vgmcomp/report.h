// What vgmcomp.x reports about a run: the hint that names the options that
// would make a song fit, the warnings after writing, and the figures of
// --stats. Every line goes to err, prefixed "vgmcomp.x: " and the input.
#ifndef VGMCOMP_REPORT_H
#define VGMCOMP_REPORT_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "compressor/estimate.h"
#include "compressor/holds.h"
#include "compressor/pitch.h"
#include "compressor/reduce.h"
#include "songfile/streams.h"
#include "sound/frames.h"
#include "vgmcomp/options.h"
#include "xbsound/target.h"

// The start of every message.
constexpr char VGMCOMP_PREFIX[] = "vgmcomp.x: ";

// What --stats measures the song file against: the VGM's own frames at its
// own clock, before any change of pitch; and what the pitch step did.
struct Original {
    std::vector<Frame> frames;
    uint32_t clock = 0;
    PitchReport pitch;
};

// "the options that would make it fit" for a song whose program is over
// budget: what the search would choose, as a hint for the user.
std::string fit_hint(const std::vector<Frame> &base, const Reductions &user, size_t budget, const XbTarget &target);

// The figures of --stats once the song file is built: frames, reductions in
// force, rows and size of the XB program (when converted), song file, timing
// without the compiler (with --interpreted) and long holds.
void print_stats(const VgmcompOptions &opt, size_t base_frames, const std::vector<Frame> &frames,
                 const Reductions &in_force, const HoldReport &holds, bool converted, const XbEstimate &program,
                 const SongStreams &streams, const std::vector<uint8_t> &file, std::ostream &err);

// The song's tuning, the tones silenced as too high to hear, and how closely
// the song as kept (what the song file plays, in the song's own time) plays
// the VGM's tone voices, frame by frame over the frames it holds.
void print_fidelity(const VgmcompOptions &opt, const std::string &at, const Original &original,
                    const std::vector<Frame> &song, std::ostream &err);

// What a written song file leaves to say: the reductions --fit chose, tones
// the converter does not play, holds too long for CALL SOUND, a program the
// converter refuses or that is over budget, and --interpreted with REAL
// timing. at: the prefix with the input.
void report_written(const VgmcompOptions &opt, const std::string &at, const std::vector<Frame> &base,
                    const std::vector<Frame> &frames, const Reductions &in_force, const HoldReport &holds,
                    bool converted, const XbEstimate &program, std::ostream &err);

#endif

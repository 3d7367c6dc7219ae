#include "vgmcomp/report.h"

#include <cstdio>
#include <ostream>

#include "compressor/fidelity.h"
#include "compressor/fit.h"
#include "compressor/playable.h"
#include "convert/song.h"
#include "songfile/pack.h"
#include "songfile/songfile.h"
#include "songfile/verify.h"
#include "xb/xb_size.h"

namespace {

const char *const prefix = VGMCOMP_PREFIX;

// The size of the song file if every stream were stored as literal runs.
size_t literal_only_file_size(const SongStreams &streams)
{
    size_t size = 4 + 24 + 2 * streams.tones.size();
    for (int v = 0; v < 4; v++)
        if (streams.used[v])
            size += literal_only_size(streams.note[v], false) + literal_only_size(streams.vol[v], false) +
                    literal_only_size(streams.time[v], true);
    return size;
}

std::string seconds_of(uint64_t frames)
{
    return seconds_text(frames) + " s";
}

// Milliseconds as seconds to a tenth ("12.3 s").
std::string seconds_ms(double ms)
{
    const long long tenths = static_cast<long long>(ms / 100 + 0.5);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

// After writing: a song whose tone voices never sound plays only with
// kelvaro -n (unless that is the program it writes); with --exact, tones the converter writes as silence.
// The song's own noise voice counts (base: before reductions), since
// --interpreted without -n leaves it out of the frames written.
void warn_tones_unplayed(const VgmcompOptions &opt, const std::string &at, const std::vector<Frame> &base,
                         const std::vector<Frame> &frames, std::ostream &err)
{
    const PlayableCount tones = count_playable(frames);
    bool noise = false;
    for (const Frame &f : base) noise = noise || (f.v[3].atten & 0x0F) != 15;
    if (tones.sounding == 0 && noise && !opt.target.noise)
        err << at << "no tone voice sounds in this song, only the noise voice: only kelvaro -n will play it\n";
    if (!opt.exact || tones.unplayed == 0) return;
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%",
                  100.0 * static_cast<double>(tones.unplayed) / static_cast<double>(tones.sounding));
    err << at << tones.unplayed << " of " << tones.sounding << " sounding voice-frames (" << share
        << ") use tone periods that kelvaro does not play, and it writes them as silence; without --exact they "
           "are snapped to the nearest note it plays\n";
}

}  // namespace

std::string fit_hint(const std::vector<Frame> &base, const Reductions &user, size_t budget, const XbTarget &target)
{
    const FitChoice c = fit_search(base, user, budget, target);
    const std::string fit = "--fit " + std::to_string(budget);
    // Through kelvaro the variable carries every option, so it names the
    // user's own reductions too (--interpreted, say) beside --fit.
    const std::string own = reduction_options(user);
    std::string hint = "try " + fit + " (through kelvaro: VGMCOMP_OPTIONS=\"" + (own.empty() ? "" : own + " ") + fit + "\")";
    if (c.found && c.chosen != user) hint += ", which would choose " + reduction_options(c.chosen);
    return hint;
}

void print_stats(const VgmcompOptions &opt, size_t base_frames, const std::vector<Frame> &frames,
                 const Reductions &in_force, const HoldReport &holds, bool converted, const XbEstimate &program,
                 const SongStreams &streams, const std::vector<uint8_t> &file, std::ostream &err)
{
    const std::string at = std::string(prefix) + opt.input + ": ";
    err << at << "frames: " << frames.size() << " (" << seconds_of(frames.size()) << ")";
    if (frames.size() != base_frames) err << " of " << base_frames << " (" << seconds_of(base_frames) << ")";
    err << '\n';
    err << at << "reductions: " << (no_reduction(in_force) ? std::string("none") : reduction_options(in_force))
        << '\n';
    if (converted) {
        err << at << "rows: " << program.rows << '\n';
        err << at << "XB program: " << program.xb_size
            << " bytes (" << target_text(opt.target) << "); budget " << XB_BUDGET << ", program space "
            << XB_PROGRAM_SPACE << ": " << (program.xb_size <= XB_BUDGET ? "fits" : "does not fit") << '\n';
    }
    // Past SONG_FILE_MAX packing stops early: the size is then a lower bound.
    err << at << "song file: " << (file.size() > SONG_FILE_MAX ? "at least " : "") << file.size()
        << " bytes; literal-only " << literal_only_file_size(streams)
        << " bytes\n";
    if (converted && opt.interpreted) {
        // The rows are timed for XB (compressor/xbtime.h): they play for
        // the song's time, after XB's start.
        const double start = interpreted_start_ms(opt.target, program.rows);
        err << at << "in XB without the compiler: the rows play " << seconds_ms(program.interpreted_end_ms - start)
            << " (the song: " << seconds_of(frames.size()) << "); first sound about "
            << seconds_ms(program.interpreted_first_sound_ms) << " after RUN, end about "
            << seconds_ms(program.interpreted_end_ms) << " after RUN\n";
    }
    err << at << "long holds: " << holds.splits << " split by retuning a silent voice, " << holds.unsplittable
        << " that cannot be split\n";
}

void print_fidelity(const VgmcompOptions &opt, const std::string &at, const Original &original,
                    const std::vector<Frame> &song, std::ostream &err)
{
    char text[320];
    std::snprintf(text, sizeof text, "tuning: %+.1f cents from standard pitch (A4 = 440 Hz); %s\n",
                  original.pitch.tuning_cents,
                  opt.exact                ? "periods kept as they are (--exact)"
                  : original.pitch.relative ? "notes snapped relative to it, keeping every interval"
                                            : "within 15 cents, notes snapped to standard pitch");
    err << at << text;
    err << at << "ultrasonic: " << original.pitch.ultrasonic << " tone voice-frames above "
        << static_cast<int>(ULTRASONIC_HZ / 1000) << " kHz written as silence\n";

    const FidelityCounts c =
        measure_fidelity(original.frames, original.clock, song, TI_CLOCK, song.size()).total;
    std::snprintf(text, sizeof text,
                  "fidelity: of %llu sounding tone voice-frames the song file plays %.2f%% at the same pitch "
                  "class, %.2f%% in the same octave, %.2f%% at the same volume\n",
                  static_cast<unsigned long long>(c.sounding), fidelity_percent(c.pitch_class, c.sounding),
                  fidelity_percent(c.octave, c.sounding), fidelity_percent(c.volume, c.sounding));
    err << at << text;
    std::snprintf(text, sizeof text, "note and volume: %.2f%% of them at the same note in the same octave and volume\n",
                  fidelity_percent(c.note_volume, c.sounding));
    err << at << text;
    std::snprintf(text, sizeof text,
                  "phantom: %.2f%% (%llu tone voice-frames sound where the VGM is silent or ultrasonic)\n",
                  fidelity_percent(c.phantom, c.sounding, 0.0), static_cast<unsigned long long>(c.phantom));
    err << at << text;
}

void report_written(const VgmcompOptions &opt, const std::string &at, const std::vector<Frame> &base,
                    const std::vector<Frame> &frames, const Reductions &in_force, const HoldReport &holds,
                    bool converted, const XbEstimate &program, std::ostream &err)
{
    if (opt.fit != 0) {
        err << at << "--fit " << opt.fit << " ";
        if (in_force == opt.reduce)
            err << "needs no further reduction";
        else
            err << "chose " << reduction_options(in_force);
        err << ": an XB program of " << program.xb_size << " bytes, " << program.rows << " rows\n";
    }
    warn_tones_unplayed(opt, at, base, frames, err);
    if (holds.unsplittable > 0) {
        const bool one = holds.unsplittable == 1;
        err << at << holds.unsplittable << (one ? " state" : " states")
            << " with all three tone voices sounding" << (one ? " lasts" : " last") << " longer than the "
            << CALL_SOUND_MAX_MS << " ms that CALL SOUND accepts (" << (one ? "" : "the first ") << "from "
            << seconds_of(holds.first_unsplittable - 1) << "); no silent voice can split "
            << (one ? "it, so its row" : "them, so their rows") << " in the XB program "
            << (one ? "is" : "are") << " too long to play\n";
    }
    if (!converted)
        err << at << "the converter would refuse this song: it plays for more than " << MAX_FRAMES << " frames\n";
    else if (opt.fit == 0 && program.xb_size > XB_BUDGET)
        err << at << "the XB program would take " << program.xb_size << " bytes (" << program.rows
            << " rows), more than fits in XB with the 32K memory expansion (" << XB_PROGRAM_SPACE
            << " bytes of program space; aim at " << XB_BUDGET << " to leave room for the variables); "
            << fit_hint(base, opt.reduce, XB_BUDGET, opt.target) << '\n';
}

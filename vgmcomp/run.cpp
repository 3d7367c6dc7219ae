// vgmcomp.x's run, step by step: options, VGM file, frames, reductions,
// song file, checks, writing and the report.
#include "vgmcomp/cli.h"

#include <limits>
#include <ostream>

#include "base/file_write.h"
#include "compressor/estimate.h"
#include "compressor/fit.h"
#include "compressor/holds.h"
#include "compressor/pitch.h"
#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "songfile/verify.h"
#include "sound/frames.h"
#include "vgm/vgm.h"
#include "vgmcomp/report.h"
#include "xb/xb_size.h"

namespace {

const char *const prefix = VGMCOMP_PREFIX;

// The options of the three sources; -1 to go on, else the exit status (a
// usage error, or --help or --version done).
int read_options(const std::vector<std::string> &args, const char *env_options, const char *kelvaro_settings,
                 VgmcompOptions &opt, std::ostream &out, std::ostream &err)
{
    std::string error;
    const std::vector<std::string> env_words = env_options ? split_blanks(env_options) : std::vector<std::string>();
    const std::vector<std::string> kelvaro_words =
        kelvaro_settings ? split_blanks(kelvaro_settings) : std::vector<std::string>();
    if (!parse_options(env_words, args, opt, error, kelvaro_words)) {
        err << prefix << error << "\n" << "Try 'vgmcomp.x --help' for more information.\n";
        return VGMCOMP_EXIT_USAGE;
    }
    if (opt.help) {
        out << vgmcomp_help;
        return VGMCOMP_EXIT_OK;
    }
    if (opt.version) {
        out << vgmcomp_version;
        return VGMCOMP_EXIT_OK;
    }
    return -1;
}

// Reads the input into frames with their pitch on the TI clock, and into
// original when given.
bool read_frames(const VgmcompOptions &opt, std::vector<Frame> &frames, std::ostream &err, Original *original)
{
    std::vector<uint8_t> bytes;
    std::string error;
    if (!load_vgm_bytes(opt.input, bytes, error)) {
        err << prefix << error << '\n';
        return false;
    }
    VgmLog log;
    if (!parse_vgm(bytes, opt.input, log, error)) {
        err << prefix << error << '\n';
        return false;
    }
    for (const std::string &w : log.warnings) err << prefix << w << '\n';

    int merged = 0;
    const uint32_t clock = opt.clock != 0 ? opt.clock : log.clock;
    frames = ti_frames(log, clock, opt.exact, &merged, original ? &original->pitch : nullptr);
    if (original) {
        original->frames = sample_frames(log);
        original->clock = clock;
    }
    if (merged > 0)
        err << prefix << opt.input << ": the song uses " << (256 + merged)
            << " distinct tone periods, more than the 256 a song file holds; the " << merged
            << " rarest were merged into their nearest neighbours\n";
    return true;
}

bool any_sound(const std::vector<Frame> &frames)
{
    for (const Frame &f : frames)
        for (const VoiceState &s : f.v)
            if ((s.atten & 0x0F) != 15) return true;
    return false;
}

// The reductions in force: those given, or those --fit chooses.
bool choose_reductions(const VgmcompOptions &opt, const std::vector<Frame> &base, Reductions &in_force,
                       std::ostream &err)
{
    in_force = opt.reduce;
    if (opt.fit == 0) return true;
    const FitChoice choice = fit_search(base, opt.reduce, opt.fit, opt.target);
    if (!choice.found) {
        err << prefix << opt.input << ": no part of the song fits in " << opt.fit
            << " bytes (an XB program without a single row takes " << smallest_xb_program(opt.target)
            << " bytes); nothing was written\n";
        return false;
    }
    in_force = choice.chosen;
    return true;
}

// Builds the song file of frames and checks it. A song file too large names
// the options that shorten the song, with what --fit would choose.
bool make_song_file(const VgmcompOptions &opt, const std::vector<Frame> &base, const std::vector<Frame> &frames,
                    const Reductions &in_force, SongStreams &streams, std::vector<uint8_t> &file, std::ostream &err)
{
    std::string why;
    const SongCheck check = make_checked_song(frames, streams, file, &why);
    if (check == SongCheck::too_large) {
        err << prefix << opt.input << ": the song file would take at least " << file.size()
            << " bytes, more than the " << SONG_FILE_MAX
            << " a song file can hold; shorten the song with --seconds, --min-frames, --flat or --voices ("
            << fit_hint(base, in_force, XB_BUDGET, opt.target) << ")\n";
        return false;
    }
    if (check == SongCheck::wrong_playback) {
        err << prefix << opt.input << ": internal error: the song file does not play back as the song goes (" << why
            << "); nothing was written\n";
        return false;
    }
    return true;
}

}  // namespace

int vgmcomp_run(const std::vector<std::string> &args, const char *env_options, std::ostream &out,
                std::ostream &err, const char *kelvaro_settings)
{
    VgmcompOptions opt;
    const int done = read_options(args, env_options, kelvaro_settings, opt, out, err);
    if (done >= 0) return done;

    const std::string target = song_file_path(opt);
    if (same_file(opt.input, target)) {
        err << prefix << opt.input << ": the song file " << target
            << " would replace the input file itself; choose another path with -o\n";
        return VGMCOMP_EXIT_ERROR;
    }

    std::vector<Frame> base;
    Original original;
    if (!read_frames(opt, base, err, opt.stats ? &original : nullptr)) return VGMCOMP_EXIT_ERROR;
    if (!any_sound(base))
        err << prefix << opt.input << ": no voice sounds in this song; the song file is silent\n";
    const std::string at = std::string(prefix) + opt.input + ": ";

    Reductions in_force;
    if (!choose_reductions(opt, base, in_force, err)) return VGMCOMP_EXIT_ERROR;

    HoldReport holds;
    // The song as kept, and the frames written for kelvaro's program (rows
    // timed for XB with --interpreted).
    const std::vector<Frame> song = prepare_frames(base, in_force, &holds);
    const std::vector<Frame> frames = written_frames(song, in_force, opt.target);
    SongStreams streams;
    std::vector<uint8_t> file;
    if (!make_song_file(opt, base, frames, in_force, streams, file, err)) {
        // The figures still tell how far over the song is: the program as
        // the frames would give it.
        if (opt.stats && !file.empty())
            print_stats(opt, base.size(), song, in_force, holds, true,
                        estimate_xb(frames, std::numeric_limits<uint32_t>::max(), nullptr, opt.target), streams, file,
                        err);
        return VGMCOMP_EXIT_ERROR;
    }

    // The program the converter writes from this very song file.
    XbEstimate program;
    const bool converted = convert_song_file(file, program, nullptr, opt.target);
    if (opt.fit != 0 && (!converted || program.xb_size > opt.fit)) {
        err << at << "internal error: the XB program from the song file takes " << program.xb_size
            << " bytes, more than --fit " << opt.fit << " allows; nothing was written\n";
        return VGMCOMP_EXIT_ERROR;
    }

    std::string error;
    if (!write_file_atomic(target, file, error)) {
        err << prefix << error << '\n';
        return VGMCOMP_EXIT_ERROR;
    }

    report_written(opt, at, base, frames, in_force, holds, converted, program, err);
    if (opt.stats) {
        print_stats(opt, base.size(), song, in_force, holds, converted, program, streams, file, err);
        print_fidelity(opt, at, original, song, err);
    }
    return VGMCOMP_EXIT_OK;
}

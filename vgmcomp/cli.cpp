#include "vgmcomp/cli.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <ostream>

#include "convert/song.h"
#include "base/file_write.h"
#include "compressor/estimate.h"
#include "compressor/fidelity.h"
#include "compressor/fit.h"
#include "sound/frames.h"
#include "compressor/holds.h"
#include "songfile/pack.h"
#include "compressor/pitch.h"
#include "compressor/playable.h"
#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "songfile/verify.h"
#include "vgm/vgm.h"
#include "xb/xb_size.h"

const char vgmcomp_help[] =
    "Usage: vgmcomp.x [options] <input.vgm | input.vgz>\n"
    "\n"
    "Turns a VGM file for the SN76489 into a song file for kelvaro, written\n"
    "beside the input as <input>.spf.\n"
    "\n"
    "Options:\n"
    "  -o PATH      write the song file to PATH instead\n"
    "  --clock HZ   the input's chip clock in Hz (default: the one in its header)\n"
    "  --exact      keep each tone period as moved to the TI-99/4A clock instead of\n"
    "               setting it to the nearest note of the converter's note table\n"
    "  --stats      print the rows and size of the XB program kelvaro will write\n"
    "               (for the program below), the song file's packing figures, the\n"
    "               song's tuning, and how closely the song file plays the VGM's tones\n"
    "  -h, --help   show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "The program kelvaro will write, which the size, --fit and --stats measure\n"
    "(kelvaro passes its own settings; see below):\n"
    "  --form F         program, data or statements: kelvaro's -p, -d, -x\n"
    "                   (default program)\n"
    "  --noise          kelvaro plays the noise voice (-n); --no-noise: it does not\n"
    "                   (default)\n"
    "  --timing T       real or emulated: kelvaro's -r, -e (default real)\n"
    "  --interpreted    hold every row as long as XB without the compiler needs for\n"
    "                   it, so that the song keeps its tempo there: 16 frames in\n"
    "                   the program and data forms (20 with noise), 5 in the\n"
    "                   statements form (6 with noise), each row written as long\n"
    "                   as the song time it stands for in the form and timing\n"
    "                   above; with --min-frames the larger wins, --fit fits the\n"
    "                   held song; without --noise the noise voice (not played)\n"
    "                   is left out as --voices 012\n"
    "\n"
    "Making the XB program smaller (each keeps the rest of the song as it is):\n"
    "  --seconds S      keep only the first S seconds (for example 30 or 12.5)\n"
    "  --min-frames N   rows of at least N frames of 1/60 s (1-212), chosen over\n"
    "                   the whole song: each plays the note and volume that each\n"
    "                   voice holds for most of the row\n"
    "  --flat           hold each note at its first volume (no volume envelopes)\n"
    "  --voices LIST    keep only the listed voices, digits 0-3 (3 is the noise),\n"
    "                   for example 012\n"
    "  --fit BYTES      choose the least lossy of the above that brings the XB\n"
    "                   program within BYTES, and report the choice; XB with the\n"
    "                   32K memory expansion holds 24488 bytes of program, and\n"
    "                   --fit 24000 leaves room for its variables\n"
    "\n"
    "Options may also come from the environment variable VGMCOMP_OPTIONS (split\n"
    "on blanks, read first). kelvaro puts its settings (--form, --noise or\n"
    "--no-noise, --timing) in KELVARO_SETTINGS, read next, so they win over\n"
    "VGMCOMP_OPTIONS; the command line is read last and wins over both.\n"
    "Exit status: 0 success, 1 error, 2 usage error.\n";

const char vgmcomp_version[] = "vgmcomp.x (kelvaro) 1.1\n";

namespace {

const char prefix[] = "vgmcomp.x: ";
const char env_name[] = "VGMCOMP_OPTIONS";

// The largest --fit: well past any memory an XB program could have.
constexpr uint32_t FIT_MAX = 100000000;

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A positive decimal number that fits 32 bits.
bool parse_u32(const std::string &text, uint32_t &value)
{
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v == 0 || v > 0xFFFFFFFFu) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool is_target_option(const std::string &w)
{
    for (const char *name : {"--form", "--timing"})
        if (w == name || w.rfind(std::string(name) + "=", 0) == 0) return true;
    return w == "--noise" || w == "--no-noise";
}

// Reads one list of words into opt. env: the variable the words come from
// (options only; KELVARO_SETTINGS holds the target options only), or null
// for the command line.
bool parse_words(const std::vector<std::string> &words, const char *env, VgmcompOptions &opt, std::string &error)
{
    const bool from_env = env != nullptr;
    const std::string where = from_env ? std::string(" (in ") + env + ")" : std::string();
    bool only_inputs = false;
    for (size_t i = 0; i < words.size(); i++) {
        const std::string &w = words[i];
        // The value of an option: "--name=VALUE" or the next word.
        auto value = [&](const std::string &name, std::string &out) {
            if (w.size() > name.size() && w.compare(0, name.size() + 1, name + "=") == 0) {
                out = w.substr(name.size() + 1);
                return true;
            }
            if (i + 1 < words.size()) {
                out = words[++i];
                return true;
            }
            error = "option " + name + " needs a value" + where;
            return false;
        };
        auto is = [&](const std::string &name) {
            return w == name || (w.size() > name.size() && w.compare(0, name.size() + 1, name + "=") == 0);
        };

        if (from_env && env == std::string(kelvaro_settings_env) && !is_target_option(w)) {
            error = "'" + w + "' is not one of kelvaro's settings --form, --noise, --no-noise, --timing" + where;
            return false;
        }
        if (only_inputs || w.empty() || w[0] != '-' || w == "-") {
            if (from_env) {
                error = "'" + w + "' is not an option" + where + "; give the input file on the command line";
                return false;
            }
            if (!opt.input.empty()) {
                error = "more than one input file: '" + opt.input + "' and '" + w + "'";
                return false;
            }
            opt.input = w;
        } else if (w == "--") {
            only_inputs = true;
        } else if (w == "--help" || w == "-h") {
            opt.help = true;
        } else if (w == "--version") {
            opt.version = true;
        } else if (w == "--exact") {
            opt.exact = true;
        } else if (w == "--stats") {
            opt.stats = true;
        } else if (w == "--flat") {
            opt.reduce.flat = true;
        } else if (w == "--noise" || w == "--no-noise") {
            opt.target.noise = w == "--noise";
        } else if (w == "--interpreted") {
            opt.interpreted = true;
        } else if (is("--form")) {
            std::string text;
            if (!value("--form", text)) return false;
            if (!parse_form(text, opt.target.form)) {
                error = "--form needs program, data or statements (kelvaro's -p, -d, -x), not '" + text + "'" + where;
                return false;
            }
        } else if (is("--timing")) {
            std::string text;
            if (!value("--timing", text)) return false;
            if (!parse_timing(text, opt.target.emulated)) {
                error = "--timing needs real or emulated (kelvaro's -r, -e), not '" + text + "'" + where;
                return false;
            }
        } else if (is("--seconds")) {
            std::string text;
            if (!value("--seconds", text)) return false;
            if (!parse_seconds(text, opt.reduce.keep_frames)) {
                error = "--seconds needs a number of seconds of at least 1/60, such as 30 or 12.5, not '" + text +
                        "'" + where;
                return false;
            }
        } else if (is("--min-frames")) {
            std::string text;
            if (!value("--min-frames", text)) return false;
            uint32_t n = 0;
            if (!parse_u32(text, n) || n > MIN_FRAMES_MAX) {
                error = "--min-frames needs a whole number of frames from 1 to " + std::to_string(MIN_FRAMES_MAX) +
                        ", not '" + text + "'" + where;
                return false;
            }
            opt.reduce.min_frames = n;
        } else if (is("--voices")) {
            std::string text;
            if (!value("--voices", text)) return false;
            if (!parse_voices(text, opt.reduce.voices)) {
                error = "--voices needs the voices to keep as digits 0 to 3, each at most once (for example 012), "
                        "not '" + text + "'" + where;
                return false;
            }
        } else if (is("--fit")) {
            std::string text;
            if (!value("--fit", text)) return false;
            if (!parse_u32(text, opt.fit) || opt.fit > FIT_MAX) {
                error = "--fit needs a size in bytes, a whole number from 1 to " + std::to_string(FIT_MAX) +
                        " (24000 for XB with the 32K memory expansion), not '" + text + "'" + where;
                return false;
            }
        } else if (is("--clock")) {
            std::string text;
            if (!value("--clock", text)) return false;
            if (!parse_u32(text, opt.clock)) {
                error = "--clock needs a clock in Hz, a whole number from 1 to 4294967295, not '" + text + "'" + where;
                return false;
            }
        } else if (w == "-o" || w.compare(0, 2, "-o") == 0) {
            std::string path = w.size() > 2 ? w.substr(2) : std::string();
            if (w.size() == 2) {
                if (i + 1 >= words.size()) {
                    error = "option -o needs a path" + where;
                    return false;
                }
                path = words[++i];
            }
            if (path.empty()) {
                error = "option -o needs a path, not an empty one" + where;
                return false;
            }
            opt.output = path;
        } else {
            error = "unknown option '" + w + "'" + where;
            return false;
        }
    }
    return true;
}

// What --stats measures the song file against: the VGM's own frames at its
// own clock, before any change of pitch; and what the pitch step did.
struct Original {
    std::vector<Frame> frames;
    uint32_t clock = 0;
    PitchReport pitch;
};

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

// "the options that would make it fit" for a song whose program is over
// budget: what the search would choose, as a hint for the user.
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

// The song's tuning, the tones silenced as too high to hear, and how closely
// the song as kept (what the song file plays, in the song's own time) plays
// the VGM's tone voices, frame by frame over the frames
// it holds.
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

}  // namespace

std::vector<std::string> split_blanks(const std::string &text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (is_blank(c)) {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

bool parse_options(const std::vector<std::string> &env_words, const std::vector<std::string> &args,
                   VgmcompOptions &opt, std::string &error, const std::vector<std::string> &kelvaro_words)
{
    opt = VgmcompOptions();
    if (!parse_words(env_words, env_name, opt, error)) return false;
    if (!parse_words(kelvaro_words, kelvaro_settings_env, opt, error)) return false;
    if (!parse_words(args, nullptr, opt, error)) return false;
    // The rows chosen for a row minimum count the noise voice where kelvaro
    // plays it.
    opt.reduce.count_noise = opt.target.noise;
    if (opt.interpreted) {
        opt.reduce.min_row_frames = interpreted_row_frames(opt.target);
        // Rows are held on the voices kelvaro plays: a noise voice that it
        // leaves out would only hold back the changes of the others.
        if (!opt.target.noise) opt.reduce.voices = static_cast<uint8_t>(opt.reduce.voices & ~(1u << 3));
    }
    if (!opt.help && !opt.version && opt.input.empty()) {
        error = "no input file given";
        return false;
    }
    return true;
}

std::string song_file_path(const VgmcompOptions &opt)
{
    return opt.output.empty() ? opt.input + ".spf" : opt.output;
}

int vgmcomp_run(const std::vector<std::string> &args, const char *env_options, std::ostream &out,
                std::ostream &err, const char *kelvaro_settings)
{
    VgmcompOptions opt;
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

    Reductions in_force = opt.reduce;
    if (opt.fit != 0) {
        const FitChoice choice = fit_search(base, opt.reduce, opt.fit, opt.target);
        if (!choice.found) {
            err << at << "no part of the song fits in " << opt.fit
                << " bytes (an XB program without a single row takes " << smallest_xb_program(opt.target)
                << " bytes); nothing was written\n";
            return VGMCOMP_EXIT_ERROR;
        }
        in_force = choice.chosen;
    }

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

    if (!write_file_atomic(target, file, error)) {
        err << prefix << error << '\n';
        return VGMCOMP_EXIT_ERROR;
    }

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
    if (opt.stats) {
        print_stats(opt, base.size(), song, in_force, holds, converted, program, streams, file, err);
        print_fidelity(opt, at, original, song, err);
    }
    return VGMCOMP_EXIT_OK;
}

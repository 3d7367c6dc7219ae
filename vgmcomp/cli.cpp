#include "vgmcomp/cli.h"

#include <sys/stat.h>

#include <ostream>

#include "vgmcomp/frames.h"
#include "vgmcomp/pitch.h"
#include "vgmcomp/songfile.h"
#include "vgmcomp/streams.h"
#include "vgmcomp/verify.h"
#include "vgmcomp/vgm.h"

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
    "  -h, --help   show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Options may also come from the environment variable VGMCOMP_OPTIONS (split\n"
    "on blanks, read before the command line, which wins).\n"
    "Exit status: 0 success, 1 error, 2 usage error.\n";

const char vgmcomp_version[] = "vgmcomp.x (kelvaro) 1.1\n";

namespace {

const char prefix[] = "vgmcomp.x: ";
const char env_name[] = "VGMCOMP_OPTIONS";

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

// Reads one list of words into opt. from_env: the words of VGMCOMP_OPTIONS,
// which hold options only.
bool parse_words(const std::vector<std::string> &words, bool from_env, VgmcompOptions &opt, std::string &error)
{
    const std::string where = from_env ? std::string(" (in ") + env_name + ")" : std::string();
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

bool same_file(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Reads the input into frames with their pitch on the TI clock.
bool read_frames(const VgmcompOptions &opt, std::vector<Frame> &frames, std::ostream &err)
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

    frames = sample_frames(log);
    apply_pitch(frames, opt.clock != 0 ? opt.clock : log.clock, opt.exact);
    if (opt.exact) {
        const int merged = merge_periods(frames);
        if (merged > 0)
            err << prefix << opt.input << ": the song uses " << (256 + merged)
                << " distinct tone periods, more than the 256 a song file holds; the " << merged
                << " rarest were merged into their nearest neighbours\n";
    }
    return true;
}

bool any_sound(const std::vector<Frame> &frames)
{
    for (const Frame &f : frames)
        for (const VoiceState &s : f.v)
            if ((s.atten & 0x0F) != 15) return true;
    return false;
}

// Builds the song file of frames and checks it.
bool make_song_file(const VgmcompOptions &opt, const std::vector<Frame> &frames, std::vector<uint8_t> &file,
                    std::ostream &err)
{
    file = build_song_file(build_streams(frames));
    if (file.size() > SONG_FILE_MAX) {
        err << prefix << opt.input << ": the song file would take " << file.size() << " bytes, more than the "
            << SONG_FILE_MAX
            << " a song file can hold; shorten the song with --seconds, --min-frames, --flat or --voices\n";
        return false;
    }
    std::string why;
    if (!verify_song(file, frames, &why)) {
        err << prefix << opt.input << ": internal error: the song file does not play back as the song goes (" << why
            << "); nothing was written\n";
        return false;
    }
    return true;
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
                   VgmcompOptions &opt, std::string &error)
{
    opt = VgmcompOptions();
    if (!parse_words(env_words, true, opt, error)) return false;
    if (!parse_words(args, false, opt, error)) return false;
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
                std::ostream &err)
{
    VgmcompOptions opt;
    std::string error;
    const std::vector<std::string> env_words = env_options ? split_blanks(env_options) : std::vector<std::string>();
    if (!parse_options(env_words, args, opt, error)) {
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

    std::vector<Frame> frames;
    if (!read_frames(opt, frames, err)) return VGMCOMP_EXIT_ERROR;
    if (!any_sound(frames))
        err << prefix << opt.input << ": no voice sounds in this song; the song file is silent\n";

    std::vector<uint8_t> file;
    if (!make_song_file(opt, frames, file, err)) return VGMCOMP_EXIT_ERROR;
    if (!write_file_atomic(target, file, error)) {
        err << prefix << error << '\n';
        return VGMCOMP_EXIT_ERROR;
    }
    return VGMCOMP_EXIT_OK;
}

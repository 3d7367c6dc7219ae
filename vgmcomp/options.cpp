// Reading vgmcomp.x's options, and its help.
#include "vgmcomp/options.h"

#include "base/options.h"

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

// The options vgmcomp.x knows.
const std::vector<OptionName> vgmcomp_names = {
    {"--help"}, {"-h"}, {"--version"}, {"--exact"}, {"--stats"}, {"--flat"}, {"--noise"}, {"--no-noise"},
    {"--interpreted"}, {"--form", true}, {"--timing", true}, {"--seconds", true}, {"--min-frames", true},
    {"--voices", true}, {"--fit", true}, {"--clock", true}, {"-o", true, true},
};

bool takes_value(const std::string &name)
{
    for (const OptionName &n : vgmcomp_names)
        if (n.name == name) return n.value;
    return false;
}

// An option without a value.
void take_flag(const std::string &name, VgmcompOptions &opt)
{
    if (name == "--help" || name == "-h") opt.help = true;
    else if (name == "--version") opt.version = true;
    else if (name == "--exact") opt.exact = true;
    else if (name == "--stats") opt.stats = true;
    else if (name == "--flat") opt.reduce.flat = true;
    else if (name == "--noise" || name == "--no-noise") opt.target.noise = name == "--noise";
    else if (name == "--interpreted") opt.interpreted = true;
}

// An option with its value; what is wrong with the value, or empty.
std::string take_value(const std::string &name, const std::string &text, VgmcompOptions &opt)
{
    const std::string not_text = ", not '" + text + "'";
    uint32_t n = 0;
    if (name == "--form" && !parse_form(text, opt.target.form))
        return "--form needs program, data or statements (kelvaro's -p, -d, -x)" + not_text;
    if (name == "--timing" && !parse_timing(text, opt.target.emulated))
        return "--timing needs real or emulated (kelvaro's -r, -e)" + not_text;
    if (name == "--seconds" && !parse_seconds(text, opt.reduce.keep_frames))
        return "--seconds needs a number of seconds of at least 1/60, such as 30 or 12.5" + not_text;
    if (name == "--min-frames") {
        if (!parse_u32(text, n) || n > MIN_FRAMES_MAX)
            return "--min-frames needs a whole number of frames from 1 to " + std::to_string(MIN_FRAMES_MAX) +
                   not_text;
        opt.reduce.min_frames = n;
    }
    if (name == "--voices" && !parse_voices(text, opt.reduce.voices))
        return "--voices needs the voices to keep as digits 0 to 3, each at most once (for example 012)" + not_text;
    if (name == "--fit" && (!parse_u32(text, opt.fit) || opt.fit > FIT_MAX))
        return "--fit needs a size in bytes, a whole number from 1 to " + std::to_string(FIT_MAX) +
               " (24000 for XB with the 32K memory expansion)" + not_text;
    if (name == "--clock" && !parse_u32(text, opt.clock))
        return "--clock needs a clock in Hz, a whole number from 1 to 4294967295" + not_text;
    if (name == "-o") {
        if (text.empty()) return "option -o needs a path, not an empty one";
        opt.output = text;
    }
    return std::string();
}

// Takes one word of the command line (env null) or of a variable (env: its
// name) into opt; what is wrong with it, or empty.
std::string take_word(const OptionWord &w, const char *env, VgmcompOptions &opt)
{
    const std::string where = env ? std::string(" (in ") + env + ")" : std::string();
    if (env && env == std::string(kelvaro_settings_env) && !is_target_option(w.word))
        return "'" + w.word + "' is not one of kelvaro's settings --form, --noise, --no-noise, --timing" + where;
    switch (w.kind) {
    case OptionKind::operand:
        if (env) return "'" + w.word + "' is not an option" + where + "; give the input file on the command line";
        if (!opt.input.empty()) return "more than one input file: '" + opt.input + "' and '" + w.word + "'";
        opt.input = w.word;
        return std::string();
    case OptionKind::end:
        return std::string();
    case OptionKind::unknown:
        return "unknown option '" + w.word + "'" + where;
    case OptionKind::no_value:
        return (w.name == "-o" ? "option -o needs a path" : "option " + w.name + " needs a value") + where;
    case OptionKind::option:
        break;
    }
    if (!takes_value(w.name)) {
        take_flag(w.name, opt);
        return std::string();
    }
    const std::string problem = take_value(w.name, w.value, opt);
    return problem.empty() ? problem : problem + where;
}

// Reads one list of words into opt. env: the variable the words come from
// (options only; KELVARO_SETTINGS holds the target options only), or null
// for the command line.
bool parse_words(const std::vector<std::string> &words, const char *env, VgmcompOptions &opt, std::string &error)
{
    for (const OptionWord &w : read_options(words, vgmcomp_names)) {
        const std::string problem = take_word(w, env, opt);
        if (!problem.empty()) {
            error = problem;
            return false;
        }
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

// Hearing and seeing a song before loading it into the TI: play renders a
// listing (or a VGM) as VGM or WAV, compare measures how much of a VGM a
// listing keeps, roll draws both as a piano roll. Thin layers over preview/.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "disk/disk_image.h"
#include "disk/program_file.h"
#include "disk/tifiles.h"
#include "base/file_write.h"
#include "preview/compare.h"
#include "output/listing.h"
#include "preview/render.h"
#include "preview/roll.h"
#include "preview/ti_sound.h"
#include "sound/frames.h"
#include "vgm/vgm.h"
#include "vgm/vgm_file.h"
#include "xbtool/args.h"
#include "xbtool/commands.h"

namespace {

const char *const play_help =
    "Usage: xbtool play INPUT [NAME] -o OUT [--timing real|emulated] [--on compiled|xb] [--seconds S] [--force]\n"
    "Renders what the TI will play. INPUT is a listing kelvaro wrote (PROGRAM, DATA or CALL SOUND\n"
    "form, with or without the noise voice), a program file made of one (TIFILES or plain), a disk\n"
    "image holding one (NAME picks it when the disk has several) or a VGM/VGZ file. OUT ending in\n"
    ".vgm: a VGM 1.51 file of the TI's sound chip; ending in .wav: 44,100 Hz 16-bit PCM rendered\n"
    "with Game_Music_Emu.\n\n"
    "  -o OUT            the file to write (.vgm or .wav)\n"
    "  --timing real     the listing was written for real hardware (kelvaro -r, the default)\n"
    "  --timing emulated the listing was written for Classic99 in CPU Overdrive (kelvaro -e)\n"
    "  --on compiled     the program runs compiled: the song's own speed (default)\n"
    "  --on xb           the program runs in Extended BASIC without the compiler, which plays\n"
    "                    a row for its written duration but at least about 0.26 s (0.083 s in\n"
    "                    the CALL SOUND form), and starts late\n"
    "  --seconds S       render the first S seconds only\n"
    "  --force           replace OUT even when it is a VGM file (never INPUT itself)\n"
    "A CALL SOUND form listing is always timed as kelvaro -x writes it. An option's value\n"
    "may also follow it after '=' (--seconds=5).\n";

const char *const compare_help =
    "Usage: xbtool compare VGM LISTING [NAME] [--timing real|emulated] [--on compiled|xb]\n"
    "Measures how much of the VGM the listing keeps, frame by frame (1/60 s), per tone voice and in\n"
    "total: the length it covers; of the VGM's sounding voice-frames, those with the same pitch\n"
    "class (within half a semitone, any octave), the same octave, the same volume; and phantoms,\n"
    "voice-frames the listing sounds where the VGM is silent or ultrasonic. The last line reads\n"
    "  compare: pitch P%, octave O%, volume V%, phantom H%, length L s of T s\n"
    "L is the song time the listing covers; with --on xb the line goes on \", P s in XB\", the time\n"
    "XB takes to play the rows. Without --timing and --on each timing is tried, compiled and in\n"
    "XB, and the one that lines up best is kept and named on the first line.\n"
    "LISTING, NAME, --timing and --on as for xbtool play's INPUT.\n";

const char *const roll_help =
    "Usage: xbtool roll VGM LISTING [NAME] -o ROLL.svg [--timing real|emulated] [--on compiled|xb] [--force]\n"
    "Draws the VGM (pale bars) and the listing (solid bars) as a piano roll, an SVG picture: 20 s\n"
    "a strip, C2 to C8 with the notes XB plays shaded, one colour per voice, volume as opacity,\n"
    "the noise voice below, and the compare figures and the timing drawn with in the title.\n"
    "Without --timing and --on the timing that lines up best, as for xbtool compare. A VGM file\n"
    "at ROLL.svg is replaced only with --force, and never one of the inputs.\n"
    "LISTING, NAME, --timing and --on as for xbtool play's INPUT.\n";

struct Options {
    std::vector<std::string> inputs;
    std::string output;
    PlayTiming timing;
    bool timing_given = false;  // --timing or --on
    double seconds = 0.0;       // 0: all
    bool force = false;         // --force: OUT may be a VGM file
};

// The options' meanings, into o; what is wrong with a value, or empty.
std::string take_options(const Parsed &p, Options &o)
{
    for (const auto &opt : p.options) {
        const std::string &v = opt.second;
        if (opt.first == "-o") {
            o.output = v;
        } else if (opt.first == "--force") {
            o.force = true;
        } else if (opt.first == "--timing") {
            o.timing_given = true;
            if (v == "real") o.timing.timing = WrittenFor::real;
            else if (v == "emulated") o.timing.timing = WrittenFor::emulated;
            else return "--timing takes real or emulated, not '" + v + "'";
        } else if (opt.first == "--on") {
            o.timing_given = true;
            if (v == "compiled") o.timing.on = PlayOn::compiled;
            else if (v == "xb") o.timing.on = PlayOn::xb;
            else return "--on takes compiled or xb, not '" + v + "'";
        } else if (opt.first == "--seconds") {
            char *end = nullptr;
            o.seconds = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(o.seconds > 0.0) || o.seconds > 7200.0)
                return "--seconds takes a number of seconds above 0 up to 7200, not '" + v + "'";
        }
    }
    return std::string();
}

// Parses the words of one subcommand (play takes --seconds, play and roll
// --force); returns -1 to go on, else the exit status.
int parse_options(const XbtoolArgs &args, const char *command, const char *help, Options &o, std::ostream &out,
                  std::ostream &err)
{
    const bool play = std::string(command) == "play";
    const bool writes = play || std::string(command) == "roll";
    std::vector<ValueOption> values = {
        {"-o", "a file name"}, {"--timing", "real or emulated"}, {"--on", "compiled or xb"}};
    if (play) values.push_back({"--seconds", "a number"});
    Parsed p;
    if (!parse_args(args, writes ? std::vector<std::string>{"--force"} : std::vector<std::string>(), values, command,
                    p, err))
        return XBTOOL_EXIT_USAGE;
    if (p.help) {
        out << help;
        return XBTOOL_EXIT_OK;
    }
    const std::string problem = take_options(p, o);
    if (!problem.empty()) return usage(err, command, problem);
    o.inputs = p.positional;
    return -1;
}

bool ends_with(const std::string &s, const char *suffix)
{
    const std::string x(suffix);
    if (s.size() < x.size()) return false;
    for (size_t i = 0; i < x.size(); i++)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - x.size() + i])) != x[i]) return false;
    return true;
}

// A song given on the command line: a VGM file, or a listing (as text, or
// read from a program file or a program on a disk image).
struct SongInput {
    bool is_vgm = false;
    std::vector<uint8_t> bytes;  // the file, unpacked when it was gzip-compressed
    VgmLog log;
    Listing listing;
};

// The listing of a file that is not a VGM file: its text, or the program of
// a program file or disk image (name picks it); false with the reason.
bool read_song_listing(const std::string &path, const std::string &name, SongInput &in, const char *command,
                       std::string &error, std::ostream &err)
{
    std::string text(in.bytes.begin(), in.bytes.end());
    const bool program = disk_detect(in.bytes) || tifiles_detect(in.bytes) || !name.empty();
    bool ok = true;
    if (program || !looks_like_text(in.bytes)) {
        std::string why;
        ok = read_program_listing(in.bytes, name, text, why);
        if (!ok) error = path + ": " + (program ? why : "neither a listing, a program file nor a VGM file");
    }
    if (ok) ok = read_listing(text, path, in.listing, error);
    for (const std::string &w : in.listing.warnings) say(err, command) << w << '\n';
    return ok;
}

// name picks the program on a disk image (empty: its only program).
bool load_song(const std::string &path, const std::string &name, SongInput &in, const char *command,
               std::ostream &err)
{
    std::string error;
    if (!load_vgm_bytes(path, in.bytes, error)) {
        say(err, command) << error << '\n';
        return false;
    }
    in.is_vgm = in.bytes.size() >= 4 && in.bytes[0] == 'V' && in.bytes[1] == 'g' && in.bytes[2] == 'm' &&
                in.bytes[3] == ' ';
    bool ok = true;
    if (in.is_vgm) {
        ok = parse_vgm(in.bytes, path, in.log, error);
        for (const std::string &w : in.log.warnings) say(err, command) << w << '\n';
        if (ok && !name.empty()) {
            error = path + ": a VGM file, not a disk image: it holds no program " + name;
            ok = false;
        }
    } else if (in.bytes.empty()) {
        error = path + ": empty file: neither a listing, a program file nor a VGM file";
        ok = false;
    } else {
        ok = read_song_listing(path, name, in, command, error, err);
    }
    if (!ok) say(err, command) << error << '\n';
    return ok;
}

// Whether the command may write its output: never over one of its first
// `files` inputs, and over a VGM file only with --force.
bool output_allowed(const Options &o, size_t files, const char *command, std::ostream &err)
{
    for (size_t i = 0; i < files && i < o.inputs.size(); i++)
        if (same_file(o.inputs[i], o.output)) {
            say(err, command) << o.output << ": the output would replace " << (files == 1 ? "the input" : "an input")
                              << '\n';
            return false;
        }
    if (!o.force && is_vgm_file(o.output)) {
        say(err, command) << o.output << " is a VGM file; give --force to replace it\n";
        return false;
    }
    return true;
}

bool write_out(const std::string &path, const std::vector<uint8_t> &bytes, const char *command, std::ostream &err)
{
    std::string error;
    if (write_file_atomic(path, bytes, error)) return true;
    say(err, command) << error << '\n';
    return false;
}

// False, with a message, when a listing plays for longer than a preview
// takes (and longer than limit, the part asked for).
bool short_enough(const TiTimeline &t, const std::string &name, uint64_t limit, const char *command,
                  std::ostream &err)
{
    if (t.end_sample <= PREVIEW_MAX_SAMPLES || limit <= PREVIEW_MAX_SAMPLES) return true;
    char hours[32];
    std::snprintf(hours, sizeof hours, "%.1f", static_cast<double>(t.end_sample) / PREVIEW_RATE / 3600.0);
    say(err, command) << name << ": plays for " << hours << " hours, more than the two hours a preview takes\n";
    return false;
}

// The VGM and the listing compared, as compare and roll need them: played
// as --timing and --on say, or without them the timing that fits best.
bool load_pair(const Options &o, const char *command, SongInput &vgm, std::vector<Frame> &vgm_frames,
               Comparison &c, std::ostream &err)
{
    SongInput listing;
    const std::string name = o.inputs.size() > 2 ? o.inputs[2] : std::string();
    if (!load_song(o.inputs[0], "", vgm, command, err) || !load_song(o.inputs[1], name, listing, command, err))
        return false;
    if (!vgm.is_vgm) {
        say(err, command) << o.inputs[0] << ": not a VGM file (give the VGM first, then the listing)\n";
        return false;
    }
    if (listing.is_vgm) {
        say(err, command) << o.inputs[1] << ": a VGM file, not a listing\n";
        return false;
    }
    vgm_frames = sample_frames(vgm.log);
    if (compare_listing(vgm_frames, vgm.log.clock, listing.listing, o.timing_given ? &o.timing : nullptr, c))
        return true;
    short_enough(listing_timeline(listing.listing, o.timing), o.inputs[1], UINT64_MAX, command, err);
    return false;
}

// The VGM file that play renders of its input, and its length in samples.
bool play_vgm(const Options &o, const SongInput &in, std::vector<uint8_t> &vgm, uint64_t &samples,
              std::ostream &err)
{
    const uint64_t limit =
        o.seconds > 0.0 ? static_cast<uint64_t>(o.seconds * PREVIEW_RATE + 0.5) : UINT64_C(0xFFFFFFFFFFFF);
    if (in.is_vgm) {
        if (o.timing_given)
            say(err, "play") << o.inputs[0] << " is a VGM file: --timing and --on apply to listings only\n";
        vgm = o.seconds > 0.0 ? log_vgm(in.log, in.bytes, limit) : in.bytes;
        samples = vgm_header_samples(vgm);
        if (samples == 0) samples = in.log.end_sample;
        if (samples > limit) samples = limit;
        return true;
    }
    const TiTimeline timeline = listing_timeline(in.listing, o.timing);
    if (!short_enough(timeline, o.inputs[0], limit, "play", err)) return false;
    vgm = timeline_vgm(timeline, limit);
    samples = vgm_header_samples(vgm);
    return true;
}

}  // namespace

int xbtool_play(const XbtoolArgs &args, std::ostream &out, std::ostream &err)
{
    Options o;
    const int done = parse_options(args, "play", play_help, o, out, err);
    if (done >= 0) return done;
    if (o.inputs.empty() || o.inputs.size() > 2)
        return usage(err, "play", o.inputs.empty() ? "no INPUT given" : "one INPUT only (and the name of a program on a disk image)");
    if (o.output.empty()) return usage(err, "play", "no output file given (-o OUT.vgm or -o OUT.wav)");
    const bool wav = ends_with(o.output, ".wav");
    if (!wav && !ends_with(o.output, ".vgm")) return usage(err, "play", "OUT must end in .vgm or .wav: " + o.output);
    if (wav && !wav_rendering_available()) {
        say(err, "play") << "this build has no WAV rendering (it was built without Game_Music_Emu): install "
                            "libgme-dev (Debian: apt-get install libgme-dev) and rebuild; .vgm works without it\n";
        return XBTOOL_EXIT_ERROR;
    }
    if (!output_allowed(o, 1, "play", err)) return XBTOOL_EXIT_ERROR;
    SongInput in;
    if (!load_song(o.inputs[0], o.inputs.size() > 1 ? o.inputs[1] : "", in, "play", err)) return XBTOOL_EXIT_ERROR;
    std::vector<uint8_t> vgm;
    uint64_t samples = 0;
    if (!play_vgm(o, in, vgm, samples, err)) return XBTOOL_EXIT_ERROR;
    std::vector<uint8_t> file;
    if (wav) {
        std::vector<int16_t> pcm;
        std::string error;
        if (!render_vgm_pcm(vgm, o.inputs[0], samples, pcm, error)) {
            say(err, "play") << error << '\n';
            return XBTOOL_EXIT_ERROR;
        }
        file = wav_bytes(pcm);
    }
    if (!write_out(o.output, wav ? file : vgm, "play", err)) return XBTOOL_EXIT_ERROR;
    char length[32];
    std::snprintf(length, sizeof length, "%.1f", static_cast<double>(samples) / PREVIEW_RATE);
    say(err, "play") << "wrote " << o.output << ", " << length << " s\n";
    return XBTOOL_EXIT_OK;
}

int xbtool_compare(const XbtoolArgs &args, std::ostream &out, std::ostream &err)
{
    Options o;
    const int done = parse_options(args, "compare", compare_help, o, out, err);
    if (done >= 0) return done;
    if (o.inputs.size() < 2 || o.inputs.size() > 3) return usage(err, "compare", "give a VGM file and a listing");
    if (!o.output.empty()) return usage(err, "compare", "writes to standard output; -o is not taken");
    SongInput vgm;
    std::vector<Frame> vgm_frames;
    Comparison c;
    if (!load_pair(o, "compare", vgm, vgm_frames, c, err)) return XBTOOL_EXIT_ERROR;
    out << format_comparison(c);
    return XBTOOL_EXIT_OK;
}

int xbtool_roll(const XbtoolArgs &args, std::ostream &out, std::ostream &err)
{
    Options o;
    const int done = parse_options(args, "roll", roll_help, o, out, err);
    if (done >= 0) return done;
    if (o.inputs.size() < 2 || o.inputs.size() > 3) return usage(err, "roll", "give a VGM file and a listing");
    if (o.output.empty()) return usage(err, "roll", "no output file given (-o ROLL.svg)");
    if (!output_allowed(o, 2, "roll", err)) return XBTOOL_EXIT_ERROR;
    SongInput vgm;
    std::vector<Frame> vgm_frames;
    Comparison c;
    if (!load_pair(o, "roll", vgm, vgm_frames, c, err)) return XBTOOL_EXIT_ERROR;
    const std::string svg = roll_svg(vgm_frames, vgm.log.clock, c, o.inputs[0], o.inputs[1]);
    return write_out(o.output, std::vector<uint8_t>(svg.begin(), svg.end()), "roll", err) ? XBTOOL_EXIT_OK
                                                                                           : XBTOOL_EXIT_ERROR;
}

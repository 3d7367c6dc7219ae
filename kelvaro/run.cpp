// kelvaro's whole run: converts a VGM song for the SN76489 into TI
// Extended BASIC text. Runs the compressor vgmcomp.x on the input, loads the song file it leaves
// beside the input (input path + ".spf"), plays song 0 frame by frame into
// the row builder and writes the rows as an XB program, DATA lines or
// CALL SOUND statements.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>


#include "kelvaro/run.h"

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "base/file_write.h"
#include "base/process.h"
#include "output/output.h"
#include "vgm/vgm_file.h"
#include "xbsound/target.h"

namespace {

const char *const usage_texts[13] = {
    "\nKELVARO converter by Dorimund - v1.1\n",
    "Syntax: KELVARO.EXE <input.vgm> <output.txt> [options]\n",
    "Options are as follows:\n",
    "  -p or -d or -x : select output mode between:",
    "                   - full XB PROGRAM [-p]",
    "                   - DATA statements [-d]",
    "                   - non-compiled XB SOUND statements [-x]",
    "                   (default is [-p] PROGRAM)\n",
    "  -n             : include noise channel, experimental (default is excluded)\n",
    "  -r or -e       : change timing and output type for playing in:",
    "                   - Real hardware (as a compiled XB program) [-r]",
    "                   - in emulated Classic99 CPU Overdrive [-e]",
    "                   (Default is Real hardware. Does not apply to \"XB SOUND Statements\" output type [-x]).\n",
};

const char compressor_name[] = "vgmcomp.x";
const char version_text[] = "kelvaro (kelvaro) 1.1\n";

// Runs the compressor with the input path as its single argument, without a
// shell, and waits for it; the settings go in its environment (see
// xbsound/target.h), so that it measures the program written from them.
// kelvaro's own environment stays as it was. What counts is the song file
// it leaves. Returns its exit status (non-zero also when a signal ended
// it), or -1 when it could not be started at all.
int run_compressor(const std::string &program, const char *input)
{
    const std::string settings = std::string(kelvaro_settings_env) + "=" +
                                 target_options(target_of_settings(arg_output, arg_noise, arg_timing));
    return run_program(program, compressor_name, {input}, {settings}, "");
}

// Whether the file at path is still the one seen in before: same file, size
// and modification time.
bool unchanged(const std::string &path, const struct stat &before)
{
    struct stat now;
    return stat(path.c_str(), &now) == 0 && now.st_dev == before.st_dev && now.st_ino == before.st_ino &&
           now.st_size == before.st_size && now.st_mtim.tv_sec == before.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
}

// Why the output path may not be written: it names the input or the song
// file (as a path, or as the same file by device and inode), or a VGM file,
// which XB text would replace. Null when not.
const char *output_clash(const char *output, const std::string &input, const std::string &song)
{
    if (output == nullptr) return nullptr;
    if (output == input || same_file(output, input)) return "The OUTPUT file is the INPUT file.";
    if (output == song || same_file(output, song)) return "The OUTPUT file is the song file.";
    if (is_vgm_file(output)) return "The OUTPUT file is a VGM file; kelvaro writes XB text.";
    return nullptr;
}

// Length in bytes of the named file, or -1 when it cannot be opened.
long FileSize(const char *nomefile)
{
    FILE *f = std::fopen(nomefile, "rb");
    if (f == nullptr) return -1;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fclose(f);
    return size;
}

// Reads the whole named file into dest; false when it cannot be read whole.
bool ReadFileFull(const char *nome, std::vector<uint8_t> &dest)
{
    long size = FileSize(nome);
    if (size < 0 || size > INT32_MAX) return false;
    FILE *f = std::fopen(nome, "rb");
    if (f == nullptr) return false;
    dest.assign(static_cast<size_t>(size), 0);
    bool ok = std::fread(dest.data(), 1, dest.size(), f) == dest.size();
    std::fclose(f);
    return ok;
}

// An argument that can only be meant as an option: one of kelvaro's option
// letters alone, -h, or a long option. Any other one starting with "-" may
// be a path ("-d.vgm").
bool option_word(const char *arg)
{
    static const char *const words[] = {"-p", "-d", "-x", "-n", "-r", "-e", "-h"};
    if (std::strncmp(arg, "--", 2) == 0) return true;
    for (const char *word : words)
        if (std::strcmp(arg, word) == 0) return true;
    return false;
}

bool not_understood(const char *arg)
{
    std::printf("\nERROR with supplied arguments.\nNot understood: %s (usage: kelvaro INPUT OUTPUT [options])\n",
                arg);
    return false;
}

// Sets the settings from the command line: the input and output paths,
// then options from the third argument on, up to the first argument that
// does not start with "-". False, after the message, on an argument that
// kelvaro does not understand; then nothing has run.
bool read_arguments(int argc, char **argv)
{
    settings_default();
    for (int i = 1; i < argc && i < 3; i++)
        if (option_word(argv[i])) return not_understood(argv[i]);
    for (int i = 3; i < argc && argv[i][0] == '-'; i++) {
        switch (argv[i][1]) {
        case 'p': arg_output = OUTPUT_PROGRAM; break;
        case 'd': arg_output = OUTPUT_DATA; break;
        case 'x': arg_output = OUTPUT_CALLSOUND; break;
        case 'n': arg_noise = NOISE_ON; break;
        case 'r': arg_timing = TIMING_REAL; break;
        case 'e': arg_timing = TIMING_EMULATED; break;
        default: return not_understood(argv[i]);
        }
    }
    return true;
}

// The compressor's run on the input.
struct Compression {
    std::string program;  // the vgmcomp.x run, empty when none was found
    int status = -1;      // its exit status, -1 when it was not started
};

// Runs the compressor on input, whose song file is song. False, after the
// message, when it ran on an input that exists, failed and left the song
// file of an earlier run as it was: that song file may be another song's.
bool compress(const char *input, const std::string &song, Compression &run)
{
    run.program = find_program(compressor_name);
    struct stat earlier, st;
    const bool had_song = stat(song.c_str(), &earlier) == 0;
    const bool input_exists = stat(input, &st) == 0;
    // An input such as "-d.vgm" reaches the compressor as "./-d.vgm", not
    // as an option.
    const std::string arg = input[0] == '-' ? std::string("./") + input : std::string(input);
    run.status = run.program.empty() ? -1 : run_compressor(run.program, arg.c_str());
    if (run.status <= 0 || !had_song || !unchanged(song, earlier)) return true;
    if (input_exists) {
        std::printf("\nERROR: vgmcomp.x failed; the song file left by an earlier run was not converted.\n");
        return false;
    }
    std::printf("\nWARNING: vgmcomp.x failed; the song file was left by an earlier run and may not match "
                "the INPUT file.\n");
    return true;
}

// Loads the song file into packed. False, after the message, when it
// cannot be read or is shorter than its header.
bool load_song(const std::string &song, const Compression &run)
{
    std::printf("\nOpening INPUT file: %s\n", song.c_str());
    if (ReadFileFull(song.c_str(), packed) && packed.size() >= 4) {
        packed_size = static_cast<int32_t>(packed.size());
        return true;
    }
    std::printf("\nERROR: Can't open INPUT file.\n");
    if (run.program.empty())
        std::printf("The song file is written by vgmcomp.x from the VGM input, and no vgmcomp.x was found "
                    "on PATH or beside kelvaro.\n");
    else if (run.status < 0)
        std::printf("The song file is written by vgmcomp.x from the VGM input, and %s could not be "
                    "started.\n", run.program.c_str());
    else
        std::printf("The song file is written by vgmcomp.x from the VGM input: see its messages above.\n");
    return false;
}

bool is(const char *arg, const char *word)
{
    return std::strcmp(arg, word) == 0;
}

}  // namespace

int kelvaro_run(int argc, char **argv)
{
    if (argc == 2 && is(argv[1], "--version")) {
        std::printf("%s", version_text);
        return 0;
    }
    for (const char *text : usage_texts) std::printf("%s\n", text);
    if (argc < 2) return 1;
    if (argc == 2 && (is(argv[1], "--help") || is(argv[1], "-h"))) return 0;
    if (!read_arguments(argc, argv)) return 1;

    const std::string song = std::string(argv[1]) + ".spf";
    Compression run;
    if (!compress(argv[1], song, run) || !load_song(song, run)) return 1;

    std::printf("\nConverting using the following options:\n  Output: %s\n  Noise:%s\n  Timing:%s\n",
                arg_output == OUTPUT_DATA ? "DATA" : "PROGRAM", arg_noise == NOISE_ON ? "ON" : "OFF",
                arg_timing == TIMING_REAL ? "REAL" : "EMULATED");

    if (!convert_rows(packed.data(), static_cast<uint32_t>(packed_size))) {
        std::printf("\nERROR: The song runs past %u frames (over 77 hours): the song file is damaged.\n",
                    static_cast<unsigned>(MAX_FRAMES));
        return 1;
    }
    const char *output = argc > 2 ? argv[2] : nullptr;
    return write_output(output, output_clash(output, argv[1], song));
}

// Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/:
// small VGM files made with the project's VGM writer, the song files the
// compressor makes of them, the example song, a few byte streams, and XB
// program files and disk images.
//
//     build-fuzz/fuzz/make_corpus fuzz/corpus
//
// The files are kept in the repository; run this again only to renew them.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disk/disk_image.h"
#include "disk/tifiles.h"
#include "sound/frames.h"
#include "compressor/pitch.h"
#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "vgm/vgm.h"
#include "vgm/vgm_writer.h"
#include "xb/image.h"
#include "xb/tokenize.h"

namespace {

// The 45-byte example song: voice 0 waits one frame, plays C4 for three
// frames and E4 for two, then falls silent.
const std::vector<uint8_t> example_song = {
    0x00, 0x04, 0x00, 0x1C, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x23, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x27, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x1A,
    0x03, 0x15, 0x02, 0x00, 0x01, 0x03, 0x00, 0x00, 0x0F, 0x04, 0x01, 0xC3, 0xC2, 0x41, 0x00,
};

bool save(const std::string &dir, const std::string &name, const std::vector<uint8_t> &bytes)
{
    mkdir(dir.c_str(), 0777);
    const std::string path = dir + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::perror(path.c_str());
    return ok;
}

void put32(std::vector<uint8_t> &b, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; i++) b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A short three-voice phrase with a noise hit, volume envelopes and every
// kind of wait command.
std::vector<uint8_t> phrase_vgm(uint32_t clock, uint32_t version)
{
    VgmWriter w;
    w.clock = clock;
    w.version = version;
    const uint16_t periods[3][4] = {{428, 381, 339, 320}, {214, 190, 170, 160}, {855, 762, 679, 641}};
    for (int step = 0; step < 4; step++) {
        for (int v = 0; v < 3; v++) {
            vgm_tone(w, v, periods[v][step]);
            vgm_atten(w, v, static_cast<uint8_t>(2 * v + step));
        }
        if (step == 2) {
            vgm_noise(w, 5);
            vgm_atten(w, 3, 3);
        }
        vgm_wait_frames(w, 1);
        vgm_atten(w, 0, 8);        // a short envelope step
        vgm_wait(w, 882);          // 0x63
        vgm_wait(w, 16);           // 0x7F
        vgm_wait(w, 200);          // 0x61
        if (step == 2) vgm_atten(w, 3, 15);
    }
    for (int v = 0; v < 3; v++) vgm_atten(w, v, 15);
    vgm_wait_frames(w, 2);
    return vgm_finish(w, true);
}

// Writes to other chips, a data block, a second chip and a GD3 tag around a
// few SN76489 writes.
std::vector<uint8_t> mixed_vgm()
{
    VgmWriter w;
    vgm_tone(w, 0, 254);
    vgm_atten(w, 0, 0);
    w.data.insert(w.data.end(), {0x52, 0x28, 0x00});                    // another chip
    w.data.insert(w.data.end(), {0x67, 0x66, 0x00, 0x03, 0, 0, 0, 1, 2, 3});  // data block
    w.data.insert(w.data.end(), {0x30, 0x9F});                          // second chip
    w.data.insert(w.data.end(), {0x4F, 0xFF, 0x80});                    // stereo, then a sample wait
    vgm_wait_frames(w, 3);
    vgm_write(w, 0x85);  // latch voice 0 tone, low bits
    vgm_write(w, 0x0F);  // data byte: high bits
    vgm_wait_frames(w, 2);
    w.clock |= 0x80000000u;  // two chips
    std::vector<uint8_t> file = vgm_finish(w, false);
    const size_t gd3 = file.size();
    const uint8_t tag[] = {'G', 'd', '3', ' ', 0, 1, 0, 0, 4, 0, 0, 0, 'x', 0, 0, 0};
    file.insert(file.end(), tag, tag + sizeof tag);
    put32(file, 0x14, static_cast<uint32_t>(gd3 - 0x14));
    put32(file, 0x04, static_cast<uint32_t>(file.size() - 4));
    return file;
}

// A slow sweep over many periods: more than 256 distinct ones with exact
// pitches, so that rare periods get merged.
std::vector<uint8_t> sweep_vgm()
{
    VgmWriter w;
    vgm_atten(w, 1, 4);
    for (uint16_t p = 100; p < 400; p++) {
        vgm_tone(w, 1, p);
        vgm_wait(w, 735);
    }
    return vgm_finish(w, true);
}

// A VGM cut short inside a command, with an unknown command earlier on.
std::vector<uint8_t> damaged_vgm()
{
    VgmWriter w;
    w.version = 0x110;
    vgm_tone(w, 2, 500);
    vgm_atten(w, 2, 1);
    vgm_wait_frames(w, 4);
    std::vector<uint8_t> file = vgm_finish(w, false);
    file.push_back(0x61);
    file.push_back(0x10);
    return file;
}

// The compressor's song file for a VGM, as the command-line program makes it.
std::vector<uint8_t> song_file_of(const std::vector<uint8_t> &vgm, bool exact)
{
    VgmLog log;
    std::string error;
    if (!parse_vgm(vgm, "seed.vgm", log, error)) return {};
    std::vector<Frame> frames = sample_frames(log);
    apply_pitch(frames, log.clock, exact);
    if (exact) merge_periods(frames);
    return build_song_file(build_streams(frames));
}

std::vector<uint8_t> with_prefix(std::vector<uint8_t> prefix, const std::vector<uint8_t> &rest)
{
    prefix.insert(prefix.end(), rest.begin(), rest.end());
    return prefix;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus CORPUS_FOLDER\n");
        return 2;
    }
    const std::string root = argv[1];
    mkdir(root.c_str(), 0777);
    bool ok = true;

    const std::string vgm_dir = root + "/fuzz_vgm";
    const std::vector<uint8_t> phrase = phrase_vgm(3579545, 0x151);
    ok = save(vgm_dir, "phrase-ntsc.vgm", phrase) && ok;
    ok = save(vgm_dir, "phrase-pal-v110.vgm", phrase_vgm(3546893, 0x110)) && ok;
    ok = save(vgm_dir, "phrase-bbc-v172.vgm", phrase_vgm(4000000, 0x172)) && ok;
    ok = save(vgm_dir, "mixed-commands.vgm", mixed_vgm()) && ok;
    ok = save(vgm_dir, "sweep.vgm", sweep_vgm()) && ok;
    ok = save(vgm_dir, "damaged.vgm", damaged_vgm()) && ok;
    // Header bytes 0x3C-0x3F ask fuzz_vgm for compressor options (see
    // fuzzcheck::run_options in checks.h).
    auto with_options = [](std::vector<uint8_t> vgm, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
        vgm[0x3C] = a;
        vgm[0x3D] = b;
        vgm[0x3E] = c;
        vgm[0x3F] = d;
        return vgm;
    };
    ok = save(vgm_dir, "phrase-flat-min3-fit.vgm", with_options(phrase, 0x06, 0, 1, 5)) && ok;
    ok = save(vgm_dir, "phrase-without-voice1.vgm", with_options(phrase, 0x18, 0, 0, 0)) && ok;
    ok = save(vgm_dir, "sweep-exact-2s.vgm", with_options(sweep_vgm(), 0xC0, 30, 0, 0)) && ok;

    // Converter seeds: byte 0 picks the settings (output form, noise voice,
    // timing), the rest is the song file.
    const std::string conv_dir = root + "/fuzz_convert";
    ok = save(conv_dir, "example-program", with_prefix({0}, example_song)) && ok;
    ok = save(conv_dir, "example-data-noise", with_prefix({4}, example_song)) && ok;
    ok = save(conv_dir, "example-callsound-emulated", with_prefix({9}, example_song)) && ok;
    ok = save(conv_dir, "phrase-noise", with_prefix({3}, song_file_of(phrase, false))) && ok;
    ok = save(conv_dir, "sweep-exact", with_prefix({6}, song_file_of(sweep_vgm(), true))) && ok;
    ok = save(conv_dir, "mixed", with_prefix({1}, song_file_of(mixed_vgm(), false))) && ok;

    // Packer seeds: byte 0 flags the end markers, byte 1 splits the rest
    // into two streams.
    const std::string pack_dir = root + "/fuzz_pack";
    VgmLog log;
    std::string error;
    parse_vgm(phrase, "seed.vgm", log, error);
    std::vector<Frame> frames = sample_frames(log);
    apply_pitch(frames, log.clock, false);
    const SongStreams s = build_streams(frames);
    ok = save(pack_dir, "time-and-volume", with_prefix({1, 128}, with_prefix(s.time[0], s.vol[0]))) && ok;
    ok = save(pack_dir, "notes", with_prefix({0, 100}, with_prefix(s.note[0], s.note[1]))) && ok;
    std::vector<uint8_t> runs;
    for (int i = 0; i < 300; i++) runs.push_back(static_cast<uint8_t>(i < 100 ? 0x3F : i < 200 ? i % 4 : 7));
    ok = save(pack_dir, "runs", with_prefix({3, 60}, runs)) && ok;
    std::vector<uint8_t> pattern;
    for (int i = 0; i < 200; i++) pattern.push_back(static_cast<uint8_t>("abcabdabcabe"[i % 12]));
    ok = save(pack_dir, "pattern", with_prefix({2, 128}, pattern)) && ok;

    // Program file and disk image seeds: a song and a program with every
    // construct, as plain files (short and long), TIFILES files and disk
    // images (a small one and a whole single-sided one).
    const std::string xb_dir = root + "/fuzz_xbfiles";
    const char *const listings[] = {
        "100 CALL SOUND(500,440,0)\n110 DATA 1,2,3\n",
        "10 REM every construct\n20 DIM A(10),B$(3)::OPTION BASE 1\n30 FOR I=1 TO 10 STEP 2::A(I)=-I*1.5E-3::NEXT I\n"
        "40 IF A(1)<>0 THEN 100 ELSE 200\n50 ON I GOTO 100,200,300::ON I GO SUB 300\n60 PRINT \"SAY \"\"HI\"\"\";TAB(5);B$(1)&CHR$(65)\n"
        "70 DATA \"A,B\",-2,HELLO WORLD,,3.5\n80 CALL CLEAR::CALL HCHAR(1,1,42,32) ! a tail remark\n"
        "100 RESTORE 70::READ X$::GOSUB 300::RETURN\n200 BREAK 100,300::UNBREAK::RUN 10\n"
        "300 DISPLAY AT(1,1):X$::ACCEPT AT(2,1)VALIDATE(DIGIT)BEEP:N$::RETURN\n",
    };
    std::vector<uint8_t> small = disk_create(DiskGeometry{"SMALL", 48, 9, 1, 1}, "SEEDS");
    std::vector<uint8_t> sssd = disk_create(DiskGeometry{"SSSD", 360, 9, 1, 1}, "SONGS");
    for (size_t k = 0; k < 2; k++) {
        std::vector<XbLine> lines;
        std::vector<std::string> warnings;
        for (XbFormat f : {XbFormat::Short, XbFormat::Long}) {
            XbProgram program;
            if (!xb_parse_listing(listings[k], lines, warnings, error) || !xb_build_program(lines, f, program, error)) {
                std::fprintf(stderr, "make_corpus: seed listing %zu: %s\n", k, error.c_str());
                return 1;
            }
            const std::string name = std::string(k ? "every" : "song") + (f == XbFormat::Short ? "-short" : "-long");
            if (f == XbFormat::Short) ok = save(xb_dir, std::string(k ? "every" : "song") + ".txt", std::vector<uint8_t>(listings[k], listings[k] + std::strlen(listings[k]))) && ok;
            const TiFile file = ti_program_file(k ? "EVERY" : "SONG", program, TiStamp{0x6000, 0x5A47});
            ok = save(xb_dir, name + ".raw", xb_raw_file(program)) && ok;
            ok = save(xb_dir, name + ".tfi", tifiles_encode(file)) && ok;
            TiFile named = file;
            named.info.name += f == XbFormat::Short ? "S" : "L";
            ok = disk_put_file(small, named, error) && disk_put_file(sssd, named, error) && ok;
        }
    }
    ok = save(xb_dir, "small.dsk", small) && ok;
    ok = save(xb_dir, "sssd.dsk", sssd) && ok;
    return ok ? 0 : 1;
}

// What the fuzz targets check, one function per target, shared with the
// test suite (tests/test_fuzz_regressions.cpp replays seeds and findings
// through the same code). Each returns an empty string when every check
// holds, else the first failed check with its line.
#ifndef KELVARO_FUZZ_CHECKS_H
#define KELVARO_FUZZ_CHECKS_H

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "disk/disk_image.h"
#include "disk/program_file.h"
#include "disk/tifiles.h"
#include "output/output.h"
#include "compressor/estimate.h"
#include "compressor/fit.h"
#include "sound/frames.h"
#include "songfile/pack.h"
#include "compressor/pitch.h"
#include "compressor/reduce.h"
#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "xbsound/target.h"
#include "songfile/verify.h"
#include "vgm/vgm.h"
#include "xb/image.h"
#include "xb/tokenize.h"

#define FUZZ_REQUIRE(cond)                                                                 \
    do {                                                                                   \
        if (!(cond)) return std::string(__FILE__ ":") + std::to_string(__LINE__) + ": " #cond; \
    } while (0)

namespace fuzzcheck {

// Any song file through the converter's whole conversion into memory. Byte 0
// picks the settings (output form, noise voice, timing), the rest is the
// song file, copied into a buffer of exactly its size so that any read past
// its end is caught. The conversion ends within the frame cap; the integer
// list holds the row count and whole rows of plausible numbers; the text has
// one line per statement.
inline std::string convert_input(const uint8_t *data, size_t size)
{
    if (size < 1) return std::string();
    const uint8_t pick = data[0];
    arg_output = 1 + pick % 3;
    arg_noise = (pick / 3) % 2 ? NOISE_ON : NOISE_OFF;
    arg_timing = (pick / 6) % 2 ? TIMING_EMULATED : TIMING_REAL;

    const size_t song_size = size - 1;
    std::unique_ptr<uint8_t[]> song(new uint8_t[song_size ? song_size : 1]);
    if (song_size) std::memcpy(song.get(), data + 1, song_size);

    uint32_t frames = 0;
    const bool ok = convert_rows(song.get(), static_cast<uint32_t>(song_size), &frames);
    FUZZ_REQUIRE(frames >= 1 && frames <= MAX_FRAMES);
    FUZZ_REQUIRE(ok == (frames < MAX_FRAMES));
    if (!ok) return std::string();
    build_int_list();
    const std::string text = format_output();

    const size_t per_row = arg_noise == NOISE_ON ? 9 : 7;
    FUZZ_REQUIRE(tot_notes >= 0);
    FUZZ_REQUIRE(static_cast<size_t>(out_data_size) == out_data_int.size());
    FUZZ_REQUIRE(out_data_int.size() == 1 + per_row * static_cast<size_t>(tot_notes));
    FUZZ_REQUIRE(out_data_int[0] == tot_notes);
    FUZZ_REQUIRE(static_cast<uint32_t>(tot_notes) < frames);  // a row ends at a frame after the first
    for (size_t i = 1; i < out_data_int.size(); i++) {
        const size_t field = (i - 1) % per_row;
        const int32_t x = out_data_int[i];
        if (field == 0)
            FUZZ_REQUIRE(x >= 0);  // duration
        else if (field == 7)
            FUZZ_REQUIRE(x >= 1 && x <= 8);  // noise type, written without its sign
        else if (field % 2 == 1)
            FUZZ_REQUIRE(x >= 110 && x <= 1760);  // frequency in hertz
        else
            FUZZ_REQUIRE(x >= 0 && x <= 30);  // XB volume
    }

    FUZZ_REQUIRE(!text.empty() && text.back() == '\n');
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    if (arg_output == OUTPUT_CALLSOUND)
        FUZZ_REQUIRE(lines == 1 + static_cast<size_t>(tot_notes));
    else  // the player line or an empty first line, then DATA lines of 26
        FUZZ_REQUIRE(lines == 1 + (out_data_int.size() + 25) / 26);
    return std::string();
}

// The options of a compressor run that a VGM input asks for, read from
// header bytes 0x3C to 0x3F, which no SN76489 reader looks at (they are
// commands only when the data offset points below them).
//   0x3C bits 0-1: --min-frames 1 to 4; bit 2: --flat; bit 3: drop the voice
//        in bits 4-5 (--voices); bit 6: --seconds, frames from 0x3D;
//        bit 7: --exact
//   0x3E bit 0: --fit, the budget from 0x3F; bits 1-2: the form kelvaro
//        writes (1 data, 2 statements, else program); bit 3: with noise;
//        bit 4: emulated timing; bit 5: the row minimum of --interpreted
struct RunOptions {
    bool exact = false;
    Reductions reduce;
    size_t fit = 0;
    XbTarget target;
};

inline RunOptions run_options(const std::vector<uint8_t> &vgm)
{
    RunOptions o;
    auto at = [&vgm](size_t i) { return i < vgm.size() ? vgm[i] : uint8_t(0); };
    const uint8_t s = at(0x3C);
    o.reduce.min_frames = 1u + (s & 3u);
    o.reduce.flat = (s & 4) != 0;
    if (s & 8) o.reduce.voices = static_cast<uint8_t>(ALL_VOICES & ~(1u << ((s >> 4) & 3u)));
    if (s & 0x40) o.reduce.keep_frames = 1 + 4 * static_cast<uint64_t>(at(0x3D));
    o.exact = (s & 0x80) != 0;
    const uint8_t t = at(0x3E);
    if (t & 1) o.fit = 60 + 100 * static_cast<size_t>(at(0x3F));
    const uint8_t form = (t >> 1) & 3u;
    o.target = XbTarget{form == 1 ? XbForm::data : form == 2 ? XbForm::statements : XbForm::program, (t & 8) != 0,
                        (t & 16) != 0};
    if (t & 32) o.reduce.min_row_frames = interpreted_row_frames(o.target);
    o.reduce.count_noise = o.target.noise;  // as vgmcomp.x sets it
    return o;
}

// The song file of frames with reductions r, as the compressor writes it,
// checked: it plays back as intended, and the converter's program from it is
// the one the compressor estimates. Sets file (empty when it is too large).
inline std::string song_file_of(const std::vector<Frame> &base, const Reductions &r, std::vector<uint8_t> &file,
                                XbEstimate &program, const XbTarget &target = XbTarget())
{
    file.clear();
    const std::vector<Frame> frames = written_frames(prepare_frames(base, r), r, target);
    SongStreams streams;
    std::vector<uint8_t> built;
    std::string why;
    const SongCheck check = make_checked_song(frames, streams, built, &why);
    FUZZ_REQUIRE(streams.tones.size() <= 256);
    if (check == SongCheck::too_large) return std::string();  // refused by the program
    if (check != SongCheck::ok) return "the song file does not play back as intended: " + why;
    const XbEstimate estimate = estimate_xb(frames, std::numeric_limits<uint32_t>::max(), nullptr, target);
    if (!convert_song_file(built, program, nullptr, target)) return "the converter refuses the song file";
    FUZZ_REQUIRE(program.rows == estimate.rows);
    FUZZ_REQUIRE(program.xb_size == estimate.xb_size);
    file.swap(built);
    return std::string();
}

// Any bytes as a VGM file through the compressor's reader and writer, in
// memory, with the options that the input asks for (see run_options).
inline std::string vgm_input(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    VgmLog log;
    std::string error;
    if (!parse_vgm(bytes, "fuzz.vgm", log, error)) {
        FUZZ_REQUIRE(error.rfind("fuzz.vgm: ", 0) == 0);
        return std::string();
    }
    FUZZ_REQUIRE(log.clock != 0);
    for (const std::string &w : log.warnings) FUZZ_REQUIRE(w.rfind("fuzz.vgm: ", 0) == 0);
    // As many frames as the timeline reaches; a write at its very end adds
    // the frame that holds it.
    const uint64_t reach = (log.end_sample + SAMPLES_PER_FRAME - 1) / SAMPLES_PER_FRAME;
    FUZZ_REQUIRE(log.frames.size() == reach || (log.write_count > 0 && log.frames.size() == reach + 1));

    const RunOptions o = run_options(bytes);
    const std::vector<Frame> base = ti_frames(log, log.clock, o.exact);
    FUZZ_REQUIRE(base.size() == log.frames.size());

    std::vector<uint8_t> file;
    XbEstimate program;
    std::string failed = song_file_of(base, o.reduce, file, program, o.target);
    if (!failed.empty()) return failed;
    if (o.fit != 0) {
        const FitChoice choice = fit_search(base, o.reduce, o.fit, o.target);
        if (choice.found) {
            failed = song_file_of(base, choice.chosen, file, program, o.target);
            if (!failed.empty()) return "--fit " + std::to_string(o.fit) + ": " + failed;
            FUZZ_REQUIRE(file.empty() || program.xb_size <= o.fit);
        }
    }
    return std::string();
}

// Pack then unpack any byte streams. Byte 0 flags end markers (bit 0 after
// the first stream, bit 1 after the second), byte 1 splits the rest into two
// streams, packed one after the other into one file so that the second may
// refer back to the first.
inline std::string pack_input(const uint8_t *data, size_t size)
{
    if (size < 2) return std::string();
    const bool end_a = data[0] & 1, end_b = data[0] & 2;
    const size_t rest = size - 2;
    const size_t split = rest == 0 ? 0 : (static_cast<size_t>(data[1]) * rest) / 255;
    const std::vector<uint8_t> a(data + 2, data + 2 + split);
    const std::vector<uint8_t> b(data + 2 + split, data + size);

    std::vector<uint8_t> file;
    const uint32_t start_a = pack_stream(file, a, end_a);
    FUZZ_REQUIRE(start_a == 0);
    const size_t size_a = file.size();
    const uint32_t start_b = pack_stream(file, b, end_b);
    FUZZ_REQUIRE(start_b == size_a);
    const size_t size_b = file.size() - size_a;

    // Never worse than literal runs alone, and better as soon as a repeat
    // run pays: four equal bytes cost two as a repeat run where a literal
    // run costs them four, and splitting the literal run around it costs at
    // most one more count byte. (The packer falls back to literal runs when
    // its own parse does not unpack right; this also catches that.)
    auto longest_run = [](const std::vector<uint8_t> &d) {
        size_t best = 0, run = 0;
        for (size_t i = 0; i < d.size(); i++) {
            run = i > 0 && d[i] == d[i - 1] ? run + 1 : 1;
            if (run > best) best = run;
        }
        return best;
    };
    FUZZ_REQUIRE(size_a <= literal_only_size(a, end_a));
    FUZZ_REQUIRE(size_b <= literal_only_size(b, end_b));
    if (longest_run(a) >= 4) FUZZ_REQUIRE(size_a < literal_only_size(a, end_a));
    if (longest_run(b) >= 4) FUZZ_REQUIRE(size_b < literal_only_size(b, end_b));

    // Each stream reads back whole; after it, a stream with an end marker
    // gives the end-of-stream byte 0.
    std::vector<uint8_t> got_a = unpack_stream(file, start_a, a.size() + (end_a ? 1 : 0));
    std::vector<uint8_t> got_b = unpack_stream(file, start_b, b.size() + (end_b ? 1 : 0));
    if (end_a) {
        FUZZ_REQUIRE(got_a.back() == 0);
        got_a.pop_back();
    }
    if (end_b) {
        FUZZ_REQUIRE(got_b.back() == 0);
        got_b.pop_back();
    }
    FUZZ_REQUIRE(got_a == a);
    FUZZ_REQUIRE(got_b == b);
    return std::string();
}

// A disk image as the TI's disk system expects it: the catalog reads, the
// index is sorted by name, no sector belongs to two files (descriptors
// included) and every sector of a file is marked in use.
inline std::string disk_consistent(const std::vector<uint8_t> &image)
{
    DiskCatalog catalog;
    std::string error;
    if (!disk_read_catalog(image, catalog, error)) return "the catalog does not read: " + error;
    std::vector<int> owner(catalog.sectors, -1);
    owner[0] = owner[1] = static_cast<int>(catalog.files.size());
    for (size_t f = 0; f < catalog.files.size(); f++) {
        const DiskEntry &e = catalog.files[f];
        if (f > 0) FUZZ_REQUIRE(catalog.files[f - 1].info.name < e.info.name);
        std::vector<uint16_t> sectors = e.data_sectors;
        sectors.push_back(e.descriptor);
        for (uint16_t s : sectors) {
            FUZZ_REQUIRE(owner[s] == -1);
            owner[s] = static_cast<int>(f);
            FUZZ_REQUIRE(image[0x38 + s / 8] >> (s % 8) & 1);
        }
    }
    return std::string();
}

// Any text as an XB listing: what the tokenizer takes lists as text that
// tokenizes to the same bytes, and makes a program in the format it fits
// that reads back as the same lines.
inline std::string listing_input(const std::string &text)
{
    std::vector<XbLine> lines, again, back;
    std::vector<std::string> warnings;
    std::string error;
    if (!xb_parse_listing(text, lines, warnings, error)) return std::string();
    for (const XbLine &line : lines) {
        FUZZ_REQUIRE(line.number >= 1 && line.number <= XB_LINE_MAX);
        FUZZ_REQUIRE(!line.tokens.empty() && line.tokens.size() <= XB_MAX_LINE_TOKENS);
    }
    FUZZ_REQUIRE(xb_parse_listing(xb_listing_text(lines), again, warnings, error));
    FUZZ_REQUIRE(again.size() == lines.size());
    for (size_t i = 0; i < lines.size(); i++) {
        FUZZ_REQUIRE(again[i].number == lines[i].number);
        FUZZ_REQUIRE(again[i].tokens == lines[i].tokens);
    }
    XbProgram program;
    if (!xb_build_program(lines, xb_default_format(lines), program, error)) return std::string();
    FUZZ_REQUIRE(xb_read_program(program, back, error));
    FUZZ_REQUIRE(back.size() == lines.size());
    for (size_t i = 0; i < lines.size(); i++) FUZZ_REQUIRE(back[i].tokens == lines[i].tokens);
    return std::string();
}

// Any bytes as a listing (listing_input), then through the readers of
// program files and disk images: a plain program file, a TIFILES file or a
// disk image and the programs on it. What
// reads as a program lists; a disk image whose catalog reads takes a new
// program (a short and a long one, by turns) and stays consistent, with the
// new file readable and every other file unchanged.
inline std::string xbfile_input(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    const std::string relisted = listing_input(std::string(bytes.begin(), bytes.end()));
    if (!relisted.empty()) return relisted;
    std::string listing, error;
    XbProgram program;
    std::vector<XbLine> lines;
    if (read_program(bytes, "", program, error) && xb_read_program(program, lines, error)) {
        for (const XbLine &line : lines) {
            FUZZ_REQUIRE(line.number >= 0 && line.number <= 0xFFFF);
            FUZZ_REQUIRE(line.tokens.size() <= 255);
        }
        listing = xb_listing_text(lines);
        FUZZ_REQUIRE(!lines.empty() || listing.empty());
    }
    if (!disk_detect(bytes)) return std::string();
    DiskCatalog catalog;
    if (!disk_read_catalog(bytes, catalog, error)) return std::string();
    FUZZ_REQUIRE(catalog.files.size() <= 127);
    const std::string text = disk_catalog_text(bytes, catalog);
    FUZZ_REQUIRE(!text.empty());
    for (const DiskEntry &e : catalog.files) read_program_listing(bytes, e.info.name, listing, error);

    std::vector<XbLine> song;
    std::vector<std::string> warnings;
    const std::string source = size % 2 ? "100 CALL SOUND(500,440,0)\n110 DATA 1,2,3\n" : "1 REM X\n";
    FUZZ_REQUIRE(xb_parse_listing(source, song, warnings, error));
    FUZZ_REQUIRE(xb_build_program(song, size % 2 ? XbFormat::Short : XbFormat::Long, program, error));
    const TiFile added = ti_program_file("FUZZ", program, TiStamp());
    std::vector<uint8_t> image = bytes;
    if (!disk_put_file(image, added, error)) {
        FUZZ_REQUIRE(image == bytes);
        return std::string();
    }
    DiskCatalog after;
    FUZZ_REQUIRE(disk_read_catalog(image, after, error));
    TiFile back;
    FUZZ_REQUIRE(disk_read_file(image, "FUZZ", back, error));
    FUZZ_REQUIRE(back.data == added.data);
    // Consistency holds when it held before the file was added.
    if (disk_consistent(bytes).empty()) {
        const std::string failed = disk_consistent(image);
        if (!failed.empty()) return failed;
        for (const DiskEntry &e : catalog.files) {
            if (e.info.name == "FUZZ") continue;
            TiFile now;
            FUZZ_REQUIRE(disk_read_file(image, e.info.name, now, error));
            FUZZ_REQUIRE(now.data == disk_entry_file(bytes, e).data);
        }
    }
    return std::string();
}

}  // namespace fuzzcheck

#endif

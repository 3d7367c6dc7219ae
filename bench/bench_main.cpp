// Benchmarks of both programs' parts, in process:
//
//   player      frames per second of the song player (stplay)
//   rows        rows per second of the row builder (convert_rows: player and
//               row builder together, as the converter runs them)
//   pack        bytes per second of the packer at 1x, 4x and 16x a stream
//               length, with the fitted growth of its cost
//   parse_vgm   bytes per second of the VGM reader
//   min_frames  --min-frames 4 and 16 on the longest song: the rows chosen
//               (and held, for the row budget) on the frames after pitch,
//               with the song's length in seconds as a counter
//   compress    each file of ../shared/vgm (KELVARO_VGM_DIR overrides) to
//               song file bytes as vgmcomp.x makes them with its default
//               options: read, frames, pitch, long holds split, streams,
//               pack, and the check that the song file plays back as
//               intended (not the XB size estimate that follows)
//   convert     each of those song files to XB text (convert_to_text)
//   compare     xbtool compare of the longest song against kelvaro's listing
//               of it: VGM bytes and listing text to the printed table
//   roll        xbtool roll of the same: to the SVG text
//   play_wav    xbtool play of that listing to WAV: listing text to WAV
//               bytes, as a multiple of real time (x_real_time)
//   vgmcomp     vgmcomp.x's whole run (vgmcomp_run) on the longest song:
//               plain (its hint runs the --fit search), --fit 24000 and
//               --interpreted --fit 24000 (bench/vs_gzip.sh times the same
//               as processes beside gzip -9)
//   large       vgmcomp.x's whole run (vgmcomp_run) on two generated files
//               at its limits: 60 MB of writes all at time 0, and two hours
//               in which every voice changes every frame (9 MB, refused as
//               too large for a song file). Their peak memory is a process
//               figure: bench/time_programs.sh measures it, on the files
//               that `kelvaro_bench --write-large-vgm FOLDER` writes.
//
// Without the VGM folder a generated song stands in for the player, row
// builder and reader benchmarks, and the per-file ones are left out.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "output/output.h"
#include "player/player.h"
#include "preview/compare.h"
#include "output/listing.h"
#include "preview/render.h"
#include "preview/roll.h"
#include "preview/ti_sound.h"
#include "tests/test_support.h"
#include "vgmcomp/cli.h"
#include "compressor/fit.h"
#include "sound/frames.h"
#include "songfile/pack.h"
#include "compressor/pitch.h"
#include "compressor/reduce.h"
#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "songfile/verify.h"
#include "vgm/vgm.h"
#include "vgm/vgm_writer.h"

namespace {

std::string base_name(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The compressor's work on the bytes of a VGM file, short of writing the
// file: the song file bytes, or empty on an error.
std::vector<uint8_t> compress(const std::vector<uint8_t> &vgm)
{
    VgmLog log;
    std::string error;
    if (!parse_vgm(vgm, "bench.vgm", log, error)) return {};
    const std::vector<Frame> frames = prepare_frames(ti_frames(log, log.clock, false), Reductions());
    SongStreams streams;
    std::vector<uint8_t> file;
    if (make_checked_song(frames, streams, file, nullptr) != SongCheck::ok) return {};
    return file;
}

// A generated stand-in song: three voices stepping through a melody with
// volume envelopes for about two minutes, and noise hits.
std::vector<uint8_t> generated_vgm()
{
    static const uint16_t notes[] = {428, 381, 339, 320, 285, 254, 226, 214, 254, 285, 320, 381};
    VgmWriter w;
    uint32_t seed = 12345;
    for (int beat = 0; beat < 480; beat++) {
        for (int v = 0; v < 3; v++) {
            seed = seed * 1103515245u + 12345u;
            vgm_tone(w, v, static_cast<uint16_t>(notes[(seed >> 16) % 12] << (v == 2 ? 1 : 0)));
        }
        if (beat % 4 == 0) vgm_noise(w, static_cast<uint8_t>(4 + beat % 3));
        for (int step = 0; step < 15; step++) {
            for (int v = 0; v < 3; v++) vgm_atten(w, v, static_cast<uint8_t>(std::min(15, v * 2 + step / 2)));
            vgm_atten(w, 3, static_cast<uint8_t>(beat % 4 == 0 ? std::min(15, step * 3) : 15));
            vgm_wait_frames(w, 1);
        }
    }
    return vgm_finish(w, true);
}

// 60 MB of writes, all at time 0: one frame of song, thirty million writes.
std::vector<uint8_t> writes_at_time_zero_vgm()
{
    VgmWriter w;
    w.data.reserve(60000000);
    for (uint32_t i = 0; w.data.size() + 0x40 + 2 <= 60000000; i++)
        vgm_atten(w, static_cast<int>(i % 4), static_cast<uint8_t>(i % 16));
    return vgm_finish(w, false);
}

// Two hours in which every voice changes note and volume every frame: 21
// bytes a frame, 9 MB.
std::vector<uint8_t> busy_two_hours_vgm()
{
    VgmWriter w;
    uint32_t seed = 99;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int frame = 0; frame < 2 * 60 * 60 * 60; frame++) {
        for (int v = 0; v < 3; v++) vgm_tone(w, v, static_cast<uint16_t>(60 + next(940)));
        for (int v = 0; v < 4; v++) vgm_atten(w, v, static_cast<uint8_t>(next(15)));
        vgm_wait_frames(w, 1);
    }
    return vgm_finish(w, false);
}

struct LargeFile {
    const char *name;
    std::vector<uint8_t> (*make)();
};
const LargeFile large_files[] = {
    {"writes-at-time-zero-60mb.vgm", writes_at_time_zero_vgm},
    {"busy-two-hours-9mb.vgm", busy_two_hours_vgm},
};

bool write_bytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

struct Song {
    std::string name;
    std::vector<uint8_t> vgm;   // the VGM file's bytes (unpacked)
    std::vector<uint8_t> file;  // the song file made of it
};

std::vector<Song> &songs()
{
    static std::vector<Song> all;
    return all;
}

// The song the single-song benchmarks use: the longest VGM file, or the
// generated one.
const Song &main_song()
{
    static Song song = [] {
        Song best;
        for (const Song &s : songs())
            if (s.vgm.size() > best.vgm.size()) best = s;
        if (best.vgm.empty()) {
            best.name = "generated";
            best.vgm = generated_vgm();
            best.file = compress(best.vgm);
        }
        return best;
    }();
    return song;
}

void BM_Player(benchmark::State &state)
{
    const std::vector<uint8_t> &file = main_song().file;
    uint64_t frames = 0;
    for (auto _ : state) {
        playmask = 0;
        stinit(file.data(), 0, static_cast<uint32_t>(file.size()));
        do {
            stplay();
            frames++;
        } while (playmask & 0xFF00);
        benchmark::DoNotOptimize(musicout);
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.SetLabel(main_song().name);
}

void BM_Rows(benchmark::State &state)
{
    const std::vector<uint8_t> &file = main_song().file;
    settings_default();
    uint64_t rows = 0, frames = 0;
    for (auto _ : state) {
        uint32_t f = 0;
        convert_rows(file.data(), static_cast<uint32_t>(file.size()), &f);
        rows += static_cast<uint64_t>(tot_notes);
        frames += f;
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.SetLabel(main_song().name);
}

// A stream of length n shaped like the streams of a song: phrases of a
// small alphabet that come back, now exactly, now changed, now as a run.
std::vector<uint8_t> song_like_stream(size_t n)
{
    std::vector<uint8_t> out;
    std::vector<std::vector<uint8_t>> phrases;
    uint32_t seed = 2024;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    while (out.size() < n) {
        uint32_t pick = next(10);
        if (pick < 5 && !phrases.empty()) {
            std::vector<uint8_t> p = phrases[next(static_cast<uint32_t>(phrases.size()))];
            if (pick == 0) p[next(static_cast<uint32_t>(p.size()))] ^= 1;  // a changed return
            out.insert(out.end(), p.begin(), p.end());
        } else if (pick < 7) {
            out.insert(out.end(), 2 + next(40), static_cast<uint8_t>(0x40 + next(4)));
        } else {
            std::vector<uint8_t> p(4 + next(28));
            for (uint8_t &b : p) b = static_cast<uint8_t>(next(24));
            phrases.push_back(p);
            out.insert(out.end(), p.begin(), p.end());
        }
    }
    out.resize(n);
    return out;
}

void BM_Pack(benchmark::State &state)
{
    const std::vector<uint8_t> data = song_like_stream(static_cast<size_t>(state.range(0)));
    size_t packed = 0;
    for (auto _ : state) {
        std::vector<uint8_t> file;
        pack_stream(file, data, true);
        packed = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.SetComplexityN(state.range(0));
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(data.size());
}

void BM_ParseVgm(benchmark::State &state)
{
    const std::vector<uint8_t> &vgm = main_song().vgm;
    for (auto _ : state) {
        VgmLog log;
        std::string error;
        benchmark::DoNotOptimize(parse_vgm(vgm, "bench.vgm", log, error));
        benchmark::DoNotOptimize(log.frames.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * vgm.size()));
    state.SetLabel(main_song().name);
}

void BM_MinFrames(benchmark::State &state)
{
    VgmLog log;
    std::string error;
    if (!parse_vgm(main_song().vgm, "bench.vgm", log, error)) {
        state.SkipWithError("the compressor rejects the song");
        return;
    }
    const std::vector<Frame> base = ti_frames(log, log.clock, false);
    Reductions r;
    r.min_frames = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        std::vector<Frame> frames = apply_reductions(base, r);
        benchmark::DoNotOptimize(frames.data());
    }
    state.SetLabel(main_song().name);
    state.counters["song_seconds"] = static_cast<double>(base.size()) / FRAMES_PER_SECOND;
}

void BM_Compress(benchmark::State &state, const Song *song)
{
    size_t size = 0;
    for (auto _ : state) {
        std::vector<uint8_t> file = compress(song->vgm);
        size = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    if (size == 0) state.SkipWithError("the compressor rejects this file");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * song->vgm.size()));
    state.counters["song_file_bytes"] = static_cast<double>(size);
}

void BM_Convert(benchmark::State &state, const Song *song)
{
    settings_default();
    std::string text;
    for (auto _ : state) {
        convert_to_text(song->file.data(), static_cast<uint32_t>(song->file.size()), text);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["rows"] = static_cast<double>(tot_notes);
    state.counters["text_bytes"] = static_cast<double>(text.size());
}

// kelvaro's default listing of the main song.
const std::string &main_listing()
{
    static const std::string text = [] {
        settings_default();
        std::string t;
        const std::vector<uint8_t> &file = main_song().file;
        convert_to_text(file.data(), static_cast<uint32_t>(file.size()), t);
        return t;
    }();
    return text;
}

// What compare and roll share: the VGM's frames, and the listing's lined up.
Comparison compare_main(std::vector<Frame> &vgm_frames, uint32_t &clock)
{
    VgmLog log;
    std::string error;
    parse_vgm(main_song().vgm, "bench.vgm", log, error);
    vgm_frames = sample_frames(log);
    clock = log.clock;
    Listing listing;
    read_listing(main_listing(), "bench.txt", listing, error);
    return compare_song(vgm_frames, clock, timeline_frames(listing_timeline(listing, PlayTiming())));
}

void BM_Compare(benchmark::State &state)
{
    for (auto _ : state) {
        std::vector<Frame> frames;
        uint32_t clock = 0;
        const std::string table = format_comparison(compare_main(frames, clock));
        benchmark::DoNotOptimize(table.data());
    }
    state.SetLabel(main_song().name);
}

void BM_Roll(benchmark::State &state)
{
    size_t size = 0;
    for (auto _ : state) {
        std::vector<Frame> frames;
        uint32_t clock = 0;
        const Comparison c = compare_main(frames, clock);
        const std::string svg = roll_svg(frames, clock, c, "bench.vgm", "bench.txt");
        size = svg.size();
        benchmark::DoNotOptimize(svg.data());
    }
    state.counters["svg_bytes"] = static_cast<double>(size);
    state.SetLabel(main_song().name);
}

void BM_PlayWav(benchmark::State &state)
{
    if (!wav_rendering_available()) {
        state.SkipWithError("built without Game_Music_Emu");
        return;
    }
    double seconds = 0.0;
    for (auto _ : state) {
        Listing listing;
        std::string error;
        read_listing(main_listing(), "bench.txt", listing, error);
        const std::vector<uint8_t> vgm = timeline_vgm(listing_timeline(listing, PlayTiming()), UINT64_MAX);
        std::vector<int16_t> pcm;
        render_vgm_pcm(vgm, "bench.txt", vgm_header_samples(vgm), pcm, error);
        const std::vector<uint8_t> wav = wav_bytes(pcm);
        seconds += static_cast<double>(pcm.size()) / PREVIEW_RATE;
        benchmark::DoNotOptimize(wav.data());
    }
    state.counters["x_real_time"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.SetLabel(main_song().name);
}

// vgmcomp.x's whole run on a file, its song file written into the same
// folder: the exit status counts (0 written, 1 refused).
void BM_Large(benchmark::State &state, const std::string *path)
{
    int status = -1;
    for (auto _ : state) {
        std::ostringstream out, err;
        status = vgmcomp_run({"-o", *path + ".spf", *path}, nullptr, out, err);
    }
    state.counters["exit_status"] = status;
}

// vgmcomp.x's whole run on the longest song with the options of
// vgmcomp_modes[state.range(0)], its song file written into a temporary
// folder.
const std::vector<std::string> vgmcomp_modes[] = {{}, {"--fit", "24000"}, {"--interpreted", "--fit", "24000"}};
void BM_Vgmcomp(benchmark::State &state)
{
    if (main_song().name == "generated") {
        state.SkipWithError("no real VGM files");
        return;
    }
    TempDir dir;
    const std::string vgm = dir.file(main_song().name);
    if (!write_bytes(vgm, main_song().vgm)) {
        state.SkipWithError("cannot write the song");
        return;
    }
    std::vector<std::string> args = vgmcomp_modes[state.range(0)];
    args.insert(args.end(), {"-o", vgm + ".spf", vgm});
    int status = -1;
    for (auto _ : state) {
        std::ostringstream out, err;
        status = vgmcomp_run(args, nullptr, out, err);
    }
    state.counters["exit_status"] = status;
    state.SetLabel(main_song().name + (state.range(0) == 0 ? " plain" : state.range(0) == 1 ? " --fit 24000"
                                                                                           : " --interpreted --fit 24000"));
}

}  // namespace

BENCHMARK(BM_Vgmcomp)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Roll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayWav)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Player)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pack)->RangeMultiplier(4)->Range(4096, 65536)->Complexity(benchmark::oNLogN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseVgm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MinFrames)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--write-large-vgm") {
        for (const LargeFile &l : large_files)
            if (!write_bytes(std::string(argv[2]) + "/" + l.name, l.make())) {
                std::fprintf(stderr, "kelvaro_bench: cannot write %s/%s\n", argv[2], l.name);
                return 1;
            }
        return 0;
    }
    TempDir large_dir;
    std::vector<std::string> large_paths;
    for (const LargeFile &l : large_files) {
        large_paths.push_back(large_dir.file(l.name));
        if (!write_bytes(large_paths.back(), l.make())) large_paths.pop_back();
    }
    for (const std::string &path : large_paths)
        benchmark::RegisterBenchmark(("BM_Large/" + base_name(path)).c_str(), BM_Large, &path)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    for (const std::string &path : shared_vgm_files()) {
        Song s;
        s.name = base_name(path);
        std::string error;
        if (!load_vgm_bytes(path, s.vgm, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            continue;
        }
        s.file = compress(s.vgm);
        if (s.file.empty()) std::fprintf(stderr, "%s: the compressor rejects this file\n", path.c_str());
        songs().push_back(s);
    }
    for (const Song &s : songs()) {
        if (s.file.empty()) continue;
        benchmark::RegisterBenchmark(("BM_Compress/" + s.name).c_str(), BM_Compress, &s)
            ->Unit(benchmark::kMillisecond);
    }
    for (const Song &s : songs()) {
        if (s.file.empty()) continue;
        benchmark::RegisterBenchmark(("BM_Convert/" + s.name).c_str(), BM_Convert, &s)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

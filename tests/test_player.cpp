// The frame player: the example song frame by frame with the bytes sent to
// the sound port, time codes (waits, repeats, end), the chip bytes of each
// voice, mute bits, lock, stop and restart, and damaged song files.
#include <gtest/gtest.h>

#include <cstring>

#include "player/player.h"
#include "tests/song_builder.h"
#include "tests/test_support.h"

using namespace songtest;

namespace {

using Bytes = std::vector<uint8_t>;

class Player : public ConverterTest {
protected:
    Bytes song;
    Bytes sent;

    void SetUp() override
    {
        playmask = 0;
        lock = 0;
        sound_log = &sent;
    }
    void TearDown() override
    {
        sound_log = nullptr;
        playmask = 0;
        lock = 0;
    }

    void start(Bytes data, uint8_t num = 0)
    {
        song = std::move(data);
        stinit(song.data(), num, static_cast<uint32_t>(song.size()));
    }

    // One frame step; returns the bytes sent to SOUND during it.
    Bytes frame()
    {
        sent.clear();
        stplay();
        return sent;
    }

    uint32_t running() const { return playmask & 0xFF00; }

    void expect_silent_voices(int from)
    {
        for (int v = from; v < 4; v++) {
            EXPECT_EQ(musicout.vol[v], 0x9F + 32 * v) << "voice " << v;
            EXPECT_EQ(musicout.tone[v], 0u) << "voice " << v;
        }
    }
};

// One voice v with the given time, note and volume streams (packed bytes).
Song one_voice(int v, Bytes time, Bytes notes = {}, Bytes volumes = {})
{
    Song s;
    s.set(time_stream(v), std::move(time));
    if (!notes.empty()) s.set(note_stream(v), std::move(notes));
    if (!volumes.empty()) s.set(volume_stream(v), std::move(volumes));
    return s;
}

}  // namespace

TEST_F(Player, ExampleSongFrameByFrame)
{
    start(example_song);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(running(), 0xFF00u);
    expect_silent_voices(0);

    struct Frame {
        Bytes sent;
        uint8_t vol0;
        uint32_t tone0;
    };
    const Frame frames[8] = {
        {{}, 0x9F, 0},                   // 1: wait code 0x01
        {{0x8C, 0x1A, 0x90}, 0x90, 0x1A8C},  // 2: 0xC3, C4 at full volume
        {{}, 0x90, 0x1A8C},              // 3
        {{}, 0x90, 0x1A8C},              // 4
        {{0x83, 0x15, 0x90}, 0x90, 0x1583},  // 5: 0xC2, E4
        {{}, 0x90, 0x1583},              // 6
        {{0x9F}, 0x9F, 0x1583},          // 7: 0x41, silent
        {{}, 0x9F, 0x1583},              // 8: end marker
    };
    for (int i = 0; i < 8; i++) {
        SCOPED_TRACE("frame " + std::to_string(i + 1));
        EXPECT_EQ(frame(), frames[i].sent);
        EXPECT_EQ(musicout.vol[0], frames[i].vol0);
        EXPECT_EQ(musicout.tone[0], frames[i].tone0);
        EXPECT_EQ(running(), 0x100u);  // voice 0 only, also in the frame of its end
        expect_silent_voices(1);
    }
    EXPECT_EQ(music.streampos[8], 0u);
    EXPECT_TRUE(frame().empty());  // frame 9
    EXPECT_EQ(running(), 0u);
    EXPECT_EQ(musicout.vol[0], 0x9F);
    EXPECT_EQ(musicout.tone[0], 0x1583u);
    EXPECT_TRUE(frame().empty());
    EXPECT_EQ(running(), 0u);
}

TEST_F(Player, RepeatCodes)
{
    struct Case {
        uint8_t code;
        int spacing;      // frames between the volume changes
        int occurrences;  // volume changes in all
    };
    const Case cases[] = {{0x7A, 3, 2}, {0x7B, 2, 2}, {0x7C, 2, 3}, {0x7D, 1, 2}, {0x7E, 1, 3}, {0x7F, 1, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << int(c.code));
        start(build(one_voice(0, {0x01, c.code, 0x00}, {0x01, 0x05}, {0x04, 0x01, 0x02, 0x03, 0x04, 0x00}),
                    {428}));
        const uint32_t time_start = music.streambase[8];
        const int end_frame = 1 + c.occurrences * c.spacing;
        int changes = 0;
        for (int f = 1; f <= end_frame; f++) {
            Bytes b = frame();
            if ((f - 1) % c.spacing == 0 && changes < c.occurrences) {
                changes++;
                EXPECT_EQ(b, Bytes{static_cast<uint8_t>(0x90 | changes)}) << "frame " << f;
            } else {
                EXPECT_TRUE(b.empty()) << "frame " << f;
            }
            EXPECT_EQ(musicout.tone[0], 0u) << "no note is read";
            if (f < end_frame) {  // the time stream is read once for all occurrences
                EXPECT_EQ(music.streampos[8], time_start + 2) << "frame " << f;
            }
        }
        EXPECT_EQ(changes, c.occurrences);
        EXPECT_EQ(musicout.vol[0], 0x90 | c.occurrences);
        EXPECT_EQ(music.streampos[8], 0u) << "the end marker is read at frame " << end_frame;
        EXPECT_EQ(running(), 0x100u);
        frame();
        EXPECT_EQ(running(), 0u);
    }
}

TEST_F(Player, WaitsZeroAndOneTakeTheNextCodeInTheNextFrame)
{
    for (uint8_t wait : {0x40, 0x41}) {
        SCOPED_TRACE(int(wait));
        start(build(one_voice(1, {0x03, wait, wait, 0x41, 0x00}, {}, {0x03, 0x01, 0x02, 0x03, 0x00}), {}));
        EXPECT_EQ(frame(), Bytes{0xB1});
        EXPECT_EQ(frame(), Bytes{0xB2});
        EXPECT_EQ(frame(), Bytes{0xB3});
        frame();
        EXPECT_EQ(music.streampos[9], 0u);
    }
    // A bare wait of one frame (0x01) sends nothing and reads no other stream.
    start(build(one_voice(0, {0x02, 0x01, 0x41, 0x00}, {}, {0x01, 0x07, 0x00}), {}));
    EXPECT_TRUE(frame().empty());
    EXPECT_EQ(frame(), Bytes{0x97});
}

TEST_F(Player, WaitCodeReadsOnlyTheTimeStream)
{
    start(build(one_voice(2, {0x02, 0x05, 0xC1, 0x00}, {0x01, 0x00}, {0x01, 0x03}), {0x3FF}));
    const SPF before_state = music;
    EXPECT_TRUE(frame().empty());
    for (int i = 0; i < 12; i++) {
        if (i == 10) continue;
        EXPECT_EQ(music.streampos[i], before_state.streampos[i]) << "stream " << i;
    }
    for (int f = 2; f <= 5; f++) EXPECT_TRUE(frame().empty()) << "frame " << f;
    expect_silent_voices(0);
    EXPECT_EQ(frame(), (Bytes{0xCF, 0x3F, 0xD3}));  // five frames after the wait code
    EXPECT_EQ(musicout.tone[2], 0x3FCFu);
    EXPECT_EQ(musicout.vol[2], 0xD3);
}

TEST_F(Player, VoiceEndingInItsFirstFrame)
{
    start(build(one_voice(2, {0x00}), {}));
    EXPECT_TRUE(frame().empty());
    EXPECT_EQ(running(), 0x400u);
    EXPECT_EQ(music.streampos[10], 0u);
    EXPECT_TRUE(frame().empty());
    EXPECT_EQ(running(), 0u);
    expect_silent_voices(0);
}

TEST_F(Player, AllVoicesUnused)
{
    start(build(Song{}, {428}));
    EXPECT_EQ(running(), 0xFF00u);
    EXPECT_TRUE(frame().empty());
    EXPECT_EQ(running(), 0u);
    expect_silent_voices(0);
}

TEST_F(Player, ChipBytesOfEachVoice)
{
    Song s;
    // Voice 1: note byte 3, tone table entry 3 holding 0x07 0x35.
    s.set(time_stream(1), {0x01, 0x80, 0x00});
    s.set(note_stream(1), {0x01, 0x03});
    // Voice 2: volume byte 4.
    s.set(time_stream(2), {0x01, 0x40, 0x00});
    s.set(volume_stream(2), {0x01, 0x04});
    // Voice 3: note byte 5 and volume byte 2.
    s.set(time_stream(3), {0x01, 0xC0, 0x00});
    s.set(note_stream(3), {0x01, 0x05});
    s.set(volume_stream(3), {0x01, 0x02});
    start(build(s, {100, 200, 300, 0x357}));
    EXPECT_EQ(frame(), (Bytes{0xA7, 0x35, 0xD4, 0xE5, 0xF2}));
    EXPECT_EQ(musicout.tone[1], 0x35A7u);
    EXPECT_EQ(musicout.vol[1], 0xBF);
    EXPECT_EQ(musicout.vol[2], 0xD4);
    EXPECT_EQ(musicout.tone[2], 0u);
    EXPECT_EQ(musicout.tone[3], 0xE5u);
    EXPECT_EQ(musicout.vol[3], 0xF2);
    EXPECT_EQ(running(), 0xE00u);
}

TEST_F(Player, VoicesInOrderToneBeforeVolume)
{
    Song s;
    for (int v = 0; v < 4; v++) {
        s.set(time_stream(v), {0x01, 0xC1, 0x00});
        s.set(note_stream(v), {0x01, static_cast<uint8_t>(v)});
        s.set(volume_stream(v), {0x01, static_cast<uint8_t>(v + 8)});
    }
    start(build(s, {0x123, 0x045, 0x3F6}));
    EXPECT_EQ(frame(), (Bytes{0x83, 0x12, 0x98, 0xA5, 0x04, 0xB9, 0xC6, 0x3F, 0xDA, 0xE3, 0xFB}));
    EXPECT_EQ(running(), 0xF00u);
}

TEST_F(Player, ToneTableOffsetIsReadAtEachNote)
{
    start(build(one_voice(0, {0x02, 0x81, 0x81, 0x00}, {0x02, 0x00, 0x00}), {428, 339}));
    EXPECT_EQ(frame(), (Bytes{0x8C, 0x1A}));
    song[3] += 2;  // the table now starts at the entry of E4
    EXPECT_EQ(frame(), (Bytes{0x83, 0x15}));
}

TEST_F(Player, PlaysTheSongAskedFor)
{
    std::vector<Song> songs(2);
    songs[0] = one_voice(0, {0x01, 0x40, 0x00}, {}, {0x01, 0x01});
    songs[1] = one_voice(1, {0x01, 0x40, 0x00}, {}, {0x01, 0x02});
    Bytes data = build(songs, {});
    start(data, 1);
    EXPECT_EQ(frame(), Bytes{0xB2});
    EXPECT_EQ(running(), 0x200u);
    start(data, 0);
    EXPECT_EQ(frame(), Bytes{0x91});
    EXPECT_EQ(running(), 0x100u);
}

TEST_F(Player, MuteBitsHoldBackOnlyTheSoundBytes)
{
    Song s;
    for (int v = 0; v < 2; v++) {
        s.set(time_stream(v), {0x01, 0xC1, 0x00});
        s.set(note_stream(v), {0x01, 0x00});
        s.set(volume_stream(v), {0x01, 0x03});
    }
    playmask = 0x01;  // mute voice 0
    start(build(s, {428}));
    EXPECT_EQ(playmask, 0xFF01u);  // stinit keeps the mute bits
    EXPECT_EQ(frame(), (Bytes{0xAC, 0x1A, 0xB3}));
    EXPECT_EQ(musicout.tone[0], 0x1A8Cu);
    EXPECT_EQ(musicout.vol[0], 0x93);
    EXPECT_EQ(playmask, 0x301u);
    frame();
    frame();
    EXPECT_EQ(playmask, 0x01u);

    playmask = 0x0F;
    start(build(s, {428}));
    EXPECT_TRUE(frame().empty());
    EXPECT_EQ(musicout.tone[1], 0x1AACu);
    EXPECT_EQ(musicout.vol[1], 0xB3);
    ststop();
    EXPECT_EQ(playmask, 0x0Fu);  // ststop keeps them too
}

TEST_F(Player, LockMakesAFrameStepDoNothing)
{
    start(example_song);
    frame();
    frame();
    const SPF music_before = music;
    const OUTPUT out_before = musicout;
    const uint32_t mask_before = playmask;
    lock = 1;
    for (int i = 0; i < 5; i++) EXPECT_TRUE(frame().empty());
    EXPECT_EQ(playmask, mask_before);
    EXPECT_EQ(std::memcmp(&music, &music_before, sizeof music), 0);
    EXPECT_EQ(std::memcmp(&musicout, &out_before, sizeof musicout), 0);
    lock = 0;
    frame();
    frame();
    EXPECT_EQ(frame(), (Bytes{0x83, 0x15, 0x90}));  // frame 5 of the song
}

TEST_F(Player, StinitAndStstopLeaveLockDown)
{
    start(example_song);
    EXPECT_EQ(lock, 0);
    ststop();
    EXPECT_EQ(lock, 0);
    allstop();
    EXPECT_EQ(lock, 0);
}

TEST_F(Player, StstopAndAllstopSilenceEverything)
{
    for (int which = 0; which < 2; which++) {
        start(example_song);
        for (int f = 0; f < 5; f++) frame();
        EXPECT_EQ(musicout.vol[0], 0x90);
        sent.clear();
        if (which == 0)
            ststop();
        else
            allstop();
        EXPECT_TRUE(sent.empty());
        EXPECT_EQ(running(), 0u);
        expect_silent_voices(0);
        for (int i = 0; i < 12; i++) {
            EXPECT_EQ(music.streampos[i], 0u);
            EXPECT_EQ(music.streamref[i], 0u);
            EXPECT_EQ(music.streambase[i], 0u);
            EXPECT_EQ(music.streamcnt[i], 0);
        }
        for (int v = 0; v < 4; v++) {
            EXPECT_EQ(music.tmcnt[v], 0);
            EXPECT_EQ(music.tmocnt[v], 0);
            EXPECT_EQ(music.tmovr[v], 0);
        }
        EXPECT_TRUE(frame().empty());
        EXPECT_EQ(running(), 0u);
    }
}

TEST_F(Player, RestartInTheMiddleOfARepeatPlaysFromTheStart)
{
    Bytes data = build(one_voice(0, {0x01, 0x7F, 0x00}, {}, {0x04, 0x01, 0x02, 0x03, 0x04, 0x00}), {});
    start(data);
    frame();
    frame();
    start(data);
    EXPECT_EQ(running(), 0xFF00u);
    expect_silent_voices(0);
    for (uint8_t b : {0x91, 0x92, 0x93, 0x94}) EXPECT_EQ(frame(), Bytes{b});
    frame();
    EXPECT_EQ(music.streampos[8], 0u);
}

TEST_F(Player, ReadsOutsideTheSongYieldZero)
{
    // Tone table offset past the data: the note's tone bytes are 0.
    Bytes data = build(one_voice(0, {0x01, 0x80, 0x00}, {0x01, 0x07}), {});
    data[2] = 0xF0;
    start(data);
    EXPECT_EQ(frame(), (Bytes{0x80, 0x00}));
    EXPECT_EQ(musicout.tone[0], 0x80u);

    // Time stream past the data: the voice ends at once.
    data = build(one_voice(1, {0x00}), {});
    data[4 + 2 * 9] = 0x7F;
    start(data);
    frame();
    EXPECT_EQ(music.streampos[9], 0u);
    frame();
    EXPECT_EQ(running(), 0u);

    // Song table past the data: every voice unused.
    data = example_song;
    data[0] = 0x40;
    start(data);
    frame();
    EXPECT_EQ(running(), 0u);

    // Header only, and fewer bytes than the header.
    start(Bytes{0x00, 0x04, 0x00, 0x04});
    frame();
    EXPECT_EQ(running(), 0u);
    start(Bytes{0x00});
    frame();
    EXPECT_EQ(running(), 0u);
}

TEST_F(Player, TruncatedAndDamagedSongsStillEnd)
{
    // The example cut short at every length, then pseudo-random files.
    for (size_t n = 0; n <= example_song.size(); n++) {
        start(Bytes(example_song.begin(), example_song.begin() + static_cast<std::ptrdiff_t>(n)));
        int frames = 0;
        do {
            stplay();
            frames++;
        } while (running() != 0 && frames < 100);
        EXPECT_LT(frames, 100) << "cut at " << n;
    }
    sound_log = nullptr;
    uint32_t seed = 12345;
    uint64_t total_frames = 0;
    for (int round = 0; round < 50; round++) {
        Bytes data(64 + static_cast<size_t>(round) * 4);
        for (uint8_t &b : data) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<uint8_t>(seed >> 16);
        }
        // Song table at 4, tone table and streams somewhere inside the data.
        data[0] = 0x00;
        data[1] = 0x04;
        for (size_t i = 1; i < 14; i++) {
            seed = seed * 1103515245u + 12345u;
            uint32_t off = 28 + (seed >> 8) % static_cast<uint32_t>(data.size() - 28);
            size_t at = i == 1 ? 2 : 4 + 2 * (i - 2);
            data[at] = static_cast<uint8_t>(off >> 8);
            data[at + 1] = static_cast<uint8_t>(off & 0xFF);
        }
        start(data);
        uint32_t frames = 0;
        do {
            stplay();
            frames++;
        } while (running() != 0 && frames < 5000000);
        EXPECT_LT(frames, 5000000u) << "round " << round;
        total_frames += frames;
    }
    EXPECT_GT(total_frames, 50u * 10);  // the songs did play for a while
}

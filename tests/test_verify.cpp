// Checking a song file by playing it back with the converter's player.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "songfile/verify.h"
#include "sound/frames.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Sets voice v to atten and note for frames first..last (1-based, inclusive).
void set(std::vector<Frame> &frames, size_t first, size_t last, int v, uint8_t atten, uint16_t note)
{
    if (frames.size() < last) frames.resize(last);
    for (size_t f = first; f <= last; f++) frames[f - 1].v[v] = VoiceState{atten, note};
}

TEST(Verify, NamesTheFirstDifferingFrameAndVoice)
{
    std::vector<Frame> frames(30);
    set(frames, 5, 20, 1, 3, 400);
    set(frames, 8, 25, 3, 7, 2);
    Bytes file = build_song_file(build_streams(frames));
    std::string why;
    ASSERT_TRUE(verify_song(file, frames, &why)) << why;

    std::vector<Frame> louder = frames;
    louder[11].v[1].atten = 2;
    EXPECT_FALSE(verify_song(file, louder, &why));
    EXPECT_NE(why.find("frame 12, voice 1"), std::string::npos) << why;

    std::vector<Frame> retuned = frames;
    retuned[9].v[1].note = 401;
    EXPECT_FALSE(verify_song(file, retuned, &why));
    EXPECT_NE(why.find("frame 10, voice 1"), std::string::npos) << why;

    std::vector<Frame> noise = frames;
    noise[14].v[3].note = 3;
    EXPECT_FALSE(verify_song(file, noise, &why));
    EXPECT_NE(why.find("frame 15, voice 3"), std::string::npos) << why;

    // A song that runs longer than intended, or ends too early.
    std::vector<Frame> shorter(frames.begin(), frames.begin() + 20);
    EXPECT_FALSE(verify_song(file, shorter, &why));
    std::vector<Frame> longer = frames;
    longer.resize(60);
    EXPECT_FALSE(verify_song(file, longer, &why));
    EXPECT_NE(why.find("ended"), std::string::npos) << why;

    // A damaged file fails rather than crashing.
    Bytes cut(file.begin(), file.begin() + 30);
    EXPECT_FALSE(verify_song(cut, frames, &why));
    EXPECT_FALSE(verify_song({}, frames, &why));
    EXPECT_TRUE(verify_song(file, frames, nullptr));

    // Played into frames: the song, then silence; nothing from no file.
    const std::vector<Frame> played = play_song(file, 32);
    ASSERT_EQ(played.size(), 32u);
    for (size_t f = 0; f < played.size(); f++)
        for (int v = 0; v < 4; v++) {
            const VoiceState want = f < frames.size() ? frames[f].v[v] : VoiceState();
            EXPECT_EQ(played[f].v[v].atten, want.atten) << f << " " << v;
            if (want.atten != 15) {
                EXPECT_EQ(played[f].v[v].note, want.note) << f << " " << v;
            }
        }
    for (const Frame &f : play_song({}, 3))
        for (const VoiceState &s : f.v) EXPECT_EQ(s.atten, 15);
}

}  // namespace

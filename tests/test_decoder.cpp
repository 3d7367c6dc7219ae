// The stream decoder getbyte(): every command kind, 256-byte runs,
// back-references over stored bytes, the stream position around copies and
// end markers, and reads that reach past the loaded data.
#include <gtest/gtest.h>

#include <cstring>

#include "player/player.h"

namespace {

// A song buffer with one stream under test (stream index idx) starting at
// offset start.
struct Decoder {
    std::vector<uint8_t> data;
    SPF spf;
    int idx;

    Decoder(std::vector<uint8_t> bytes, uint32_t start, int index = 0) : data(std::move(bytes)), idx(index)
    {
        std::memset(&spf, 0, sizeof spf);
        spf.songad = data.data();
        spf.songsize = static_cast<uint32_t>(data.size());
        spf.streampos[idx] = start;
        spf.streambase[idx] = start;
    }

    uint8_t next() { return getbyte(&spf, idx); }

    std::vector<int> take(size_t n)
    {
        std::vector<int> out;
        for (size_t i = 0; i < n; i++) out.push_back(next());
        return out;
    }
};

// Song bytes: a filler of 0xEE up to offset start, then the stream.
std::vector<uint8_t> at(uint32_t start, std::vector<uint8_t> stream)
{
    std::vector<uint8_t> bytes(start, 0xEE);
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    return bytes;
}

}  // namespace

TEST(Decoder, LiteralRunThenEnd)
{
    Decoder d(at(8, {0x03, 0x0A, 0x0B, 0x0C, 0x00}), 8);
    EXPECT_EQ(d.take(4), (std::vector<int>{10, 11, 12, 0}));
    EXPECT_EQ(d.spf.streampos[0], 13u);  // past the end marker
}

TEST(Decoder, LiteralRunOfSixtyThree)
{
    std::vector<uint8_t> s = {0x3F};
    for (int i = 0; i < 63; i++) s.push_back(static_cast<uint8_t>(i + 1));
    s.push_back(0x00);
    Decoder d(at(4, s), 4);
    for (int i = 0; i < 63; i++) ASSERT_EQ(d.next(), i + 1) << "byte " << i;
    EXPECT_EQ(d.next(), 0);
}

TEST(Decoder, RepeatRunThenLiteral)
{
    Decoder d(at(4, {0x44, 0x07, 0x01, 0x09}), 4);
    EXPECT_EQ(d.take(5), (std::vector<int>{7, 7, 7, 7, 9}));
}

TEST(Decoder, RepeatRunOfOneStepsPastItsByteAtOnce)
{
    Decoder d(at(4, {0x41, 0x07, 0x01, 0x09}), 4);
    EXPECT_EQ(d.next(), 7);
    EXPECT_EQ(d.spf.streamcnt[0], 0);
    EXPECT_EQ(d.spf.streampos[0], 6u);  // at the literal command, not at the 7
    EXPECT_EQ(d.next(), 9);
}

TEST(Decoder, RepeatRunKeepsPositionOnItsByteUntilDone)
{
    Decoder d(at(4, {0x43, 0x07, 0x00}), 4);
    EXPECT_EQ(d.next(), 7);
    EXPECT_EQ(d.spf.streamref[0], 0xFFFFu);
    EXPECT_EQ(d.spf.streampos[0], 5u);
    EXPECT_EQ(d.next(), 7);
    EXPECT_EQ(d.spf.streampos[0], 5u);
    EXPECT_EQ(d.next(), 7);
    EXPECT_EQ(d.spf.streampos[0], 6u);
    EXPECT_EQ(d.next(), 0);
}

TEST(Decoder, RepeatRunOfZeroGives256Bytes)
{
    Decoder d(at(4, {0x40, 0x05, 0x01, 0x09, 0x00}), 4);
    for (int i = 0; i < 256; i++) ASSERT_EQ(d.next(), 5) << "byte " << i;
    EXPECT_EQ(d.next(), 9);
    EXPECT_EQ(d.next(), 0);
}

TEST(Decoder, ShortBackReferenceReadsStoredBytesFromStreamStart)
{
    // Stream at 0x10: literal 0A 0B 0C, then a copy of 2 from start + 1.
    Decoder d(at(0x10, {0x03, 0x0A, 0x0B, 0x0C, 0x82, 0x01, 0x00}), 0x10);
    EXPECT_EQ(d.take(3), (std::vector<int>{0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(d.take(2), (std::vector<int>{0x0A, 0x0B}));
    EXPECT_EQ(d.spf.streamref[0], 0u);  // the copy is over
    EXPECT_EQ(d.next(), 0);
}

TEST(Decoder, ShortBackReferenceOverCommandBytes)
{
    // A copy from the stream start yields the stored command byte 0x03 too.
    Decoder d(at(0x10, {0x03, 0x0A, 0x0B, 0x0C, 0x84, 0x00, 0x00}), 0x10);
    d.take(3);
    EXPECT_EQ(d.take(4), (std::vector<int>{0x03, 0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(d.next(), 0);
}

TEST(Decoder, ShortBackReferenceUsesTheStreamsOwnBase)
{
    // Two streams with their own starts: the same copy command reads from
    // each stream's start.
    std::vector<uint8_t> bytes = {0x02, 0x11, 0x12, 0x82, 0x01, 0x00,   // stream A at 0
                                  0x02, 0x21, 0x22, 0x82, 0x01, 0x00};  // stream B at 6
    Decoder d(bytes, 0, 3);
    d.spf.streampos[7] = d.spf.streambase[7] = 6;
    EXPECT_EQ(getbyte(&d.spf, 3), 0x11);
    EXPECT_EQ(getbyte(&d.spf, 7), 0x21);
    EXPECT_EQ(getbyte(&d.spf, 3), 0x12);
    EXPECT_EQ(getbyte(&d.spf, 7), 0x22);
    EXPECT_EQ(getbyte(&d.spf, 3), 0x11);
    EXPECT_EQ(getbyte(&d.spf, 7), 0x21);
    EXPECT_EQ(getbyte(&d.spf, 3), 0x12);
    EXPECT_EQ(getbyte(&d.spf, 7), 0x22);
    EXPECT_EQ(getbyte(&d.spf, 3), 0);
    EXPECT_EQ(getbyte(&d.spf, 7), 0);
}

TEST(Decoder, LongBackReferenceReadsAnyStoredBytes)
{
    // Offsets 0x10..0x12 hold a command byte and its data; the copy yields
    // them as they are stored.
    std::vector<uint8_t> bytes(0x20, 0xEE);
    bytes[0x10] = 0x41;
    bytes[0x11] = 0x99;
    bytes[0x12] = 0xC0;
    std::vector<uint8_t> stream = {0xC3, 0x00, 0x10, 0x01, 0x55, 0x00};
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    Decoder d(bytes, 0x20);
    EXPECT_EQ(d.take(3), (std::vector<int>{0x41, 0x99, 0xC0}));
    EXPECT_EQ(d.next(), 0x55);
    EXPECT_EQ(d.next(), 0);
}

TEST(Decoder, LongBackReferenceWithHighOffsetByte)
{
    std::vector<uint8_t> bytes(0x130, 0xEE);
    bytes[0x123] = 0x31;
    bytes[0x124] = 0x32;
    std::vector<uint8_t> stream = {0xC2, 0x01, 0x23, 0x00};
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    Decoder d(bytes, 0x130);
    EXPECT_EQ(d.take(3), (std::vector<int>{0x31, 0x32, 0}));
}

TEST(Decoder, BackReferencesOfZeroGive256Bytes)
{
    std::vector<uint8_t> bytes(0x104, 0);
    for (int i = 0; i < 256; i++) bytes[4 + i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> stream = {0x80, 0x00, 0xC0, 0x00, 0x04, 0x01, 0x77, 0x00};
    uint32_t start = static_cast<uint32_t>(bytes.size());
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    Decoder d(bytes, start);
    // The short copy starts at the stream's own start: its stored bytes,
    // then whatever lies after them (here past the end: 0).
    for (int i = 0; i < 256; i++) {
        int want = i < static_cast<int>(stream.size()) ? stream[static_cast<size_t>(i)] : 0;
        ASSERT_EQ(d.next(), want) << "short copy byte " << i;
    }
    for (int i = 0; i < 256; i++) ASSERT_EQ(d.next(), i) << "long copy byte " << i;
    EXPECT_EQ(d.next(), 0x77);
    EXPECT_EQ(d.next(), 0);
}

TEST(Decoder, PositionDoesNotMoveDuringACopy)
{
    Decoder d(at(0x10, {0x03, 0x0A, 0x0B, 0x0C, 0x83, 0x00, 0x02, 0x21, 0x22, 0x00}), 0x10);
    d.take(3);
    EXPECT_EQ(d.next(), 0x03);
    EXPECT_EQ(d.spf.streampos[0], 0x16u);  // past 0x83 0x00
    EXPECT_EQ(d.next(), 0x0A);
    EXPECT_EQ(d.spf.streampos[0], 0x16u);
    EXPECT_EQ(d.next(), 0x0B);
    EXPECT_EQ(d.spf.streampos[0], 0x16u);
    EXPECT_EQ(d.spf.streamref[0], 0u);
    EXPECT_EQ(d.take(3), (std::vector<int>{0x21, 0x22, 0}));
}

TEST(Decoder, ReadingOnAfterAnEndMarker)
{
    // The decoder keeps no end state: the next call reads the byte after
    // the marker as a new command.
    Decoder d(at(4, {0x01, 0x07, 0x00, 0x42, 0x05, 0x00, 0x00}), 4);
    EXPECT_EQ(d.take(2), (std::vector<int>{7, 0}));
    EXPECT_EQ(d.take(3), (std::vector<int>{5, 5, 0}));
    EXPECT_EQ(d.next(), 0);
}

TEST(Decoder, ReadsPastTheEndOfTheDataYieldZero)
{
    // Literal run of 5 with only 2 bytes left in the data.
    Decoder lit(at(4, {0x05, 0x11, 0x12}), 4);
    EXPECT_EQ(lit.take(5), (std::vector<int>{0x11, 0x12, 0, 0, 0}));
    EXPECT_EQ(lit.next(), 0);  // command byte outside: end of stream

    // A repeat run whose byte lies outside.
    Decoder rep(at(4, {0x43}), 4);
    EXPECT_EQ(rep.take(4), (std::vector<int>{0, 0, 0, 0}));

    // Back-references whose targets lie outside, or run out of the data.
    Decoder lng(at(4, {0xC4, 0xFF, 0xF0, 0x00}), 4);
    EXPECT_EQ(lng.take(5), (std::vector<int>{0, 0, 0, 0, 0}));
    Decoder crossing(at(4, {0xC3, 0x00, 0x06, 0x00}), 4);
    EXPECT_EQ(crossing.take(4), (std::vector<int>{0x06, 0x00, 0, 0}));
    Decoder shrt(at(4, {0x82, 0xFF, 0x00}), 4);
    EXPECT_EQ(shrt.take(3), (std::vector<int>{0, 0, 0}));

    // A stream that starts outside the data, and a command cut short.
    Decoder outside(at(4, {0x01}), 0x9000);
    EXPECT_EQ(outside.take(3), (std::vector<int>{0, 0, 0}));
    Decoder cut(at(4, {0xC2, 0x00}), 4);
    EXPECT_EQ(cut.take(3), (std::vector<int>{0xEE, 0xEE, 0}));  // lo outside: copy from 0x0000
}

TEST(Decoder, NoReadBeyondTheGivenSize)
{
    // The buffer holds more than the size given: bytes past the size are
    // never read.
    std::vector<uint8_t> bytes = {0x00, 0x00, 0x00, 0x00, 0x03, 0x0A, 0x0B, 0x0C};
    Decoder d(bytes, 4);
    d.spf.songsize = 6;
    EXPECT_EQ(d.take(3), (std::vector<int>{0x0A, 0, 0}));
}

TEST(Decoder, SongbyteBoundsEveryRead)
{
    std::vector<uint8_t> bytes = {1, 2, 3};
    SPF spf;
    std::memset(&spf, 0, sizeof spf);
    spf.songad = bytes.data();
    spf.songsize = 3;
    EXPECT_EQ(songbyte(&spf, 0), 1);
    EXPECT_EQ(songbyte(&spf, 2), 3);
    EXPECT_EQ(songbyte(&spf, 3), 0);
    EXPECT_EQ(songbyte(&spf, 0xFFFFFFFFu), 0);
}

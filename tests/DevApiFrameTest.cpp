// Tests of the protocol's frames and payload fields: what a parser accepts,
// what it waits for and what it refuses at once.
#include <gtest/gtest.h>

#include <vector>

#include "FrameCodec.h"

namespace {

using orxproto::Frame;
using orxproto::FrameFault;
using orxproto::ParseFrame;
using orxproto::ParseStatus;
using Bytes = std::vector<uint8_t>;

Bytes Encode(uint8_t kind, uint8_t sequence, const Bytes& payload,
             uint8_t start = orxproto::kAnswerStart) {
    Bytes out;
    orxproto::AppendFrame(out, start, kind, sequence, payload.data(), payload.size());
    return out;
}

orxproto::ParseResult Parse(const Bytes& bytes, Frame& frame, size_t max = 64) {
    return ParseFrame(bytes.data(), bytes.size(), orxproto::kAnswerStart, max, frame);
}

TEST(FrameCodecTest, EncodedFrameParsesBackWhole) {
    Bytes bytes = Encode(0x87, 42, {1, 2, 3, 4, 5});
    Frame frame;

    orxproto::ParseResult result = Parse(bytes, frame);

    EXPECT_EQ(result.status, ParseStatus::Complete);
    EXPECT_EQ(result.consumed, bytes.size());
    EXPECT_EQ(frame.kind, 0x87);
    EXPECT_EQ(frame.sequence, 42);
    EXPECT_EQ(frame.payload, (Bytes{1, 2, 3, 4, 5}));
    // Header and trailer around the payload, as the protocol lays them out.
    EXPECT_EQ(bytes.size(), orxproto::kHeaderSize + 5 + orxproto::kCrcSize);
    EXPECT_EQ((Bytes{bytes[3], bytes[4], bytes[5], bytes[6]}), (Bytes{5, 0, 0, 0}));
}

TEST(FrameCodecTest, Crc16IsTheCcittCheckValue) {
    const char* text = "123456789";
    EXPECT_EQ(orxproto::Crc16(reinterpret_cast<const uint8_t*>(text), 9), 0x29B1);
}

// The bit-at-a-time definition, against which the fast path is held for every
// length around its eight-byte steps, split or whole.
uint16_t BitwiseCrc16(const uint8_t* data, size_t size, uint16_t crc = 0xFFFF) {
    for (size_t i = 0; i < size; ++i) {
        crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

TEST(FrameCodecTest, Crc16MatchesTheBitwiseDefinitionForAnyLengthAndSplit) {
    Bytes data(200);
    uint32_t state = 12345;
    for (uint8_t& byte : data) {
        state = state * 1103515245 + 12345;
        byte = static_cast<uint8_t>(state >> 16);
    }
    for (size_t size = 0; size <= data.size(); ++size) {
        uint16_t expected = BitwiseCrc16(data.data(), size);
        ASSERT_EQ(orxproto::Crc16(data.data(), size), expected) << size;
        size_t half = size / 3;
        uint16_t first = orxproto::Crc16(data.data(), half);
        ASSERT_EQ(orxproto::Crc16(data.data() + half, size - half, first), expected) << size;
    }
}

TEST(FrameCodecTest, EveryPrefixOfAFrameIsIncomplete) {
    Bytes bytes = Encode(0x81, 1, {9, 8, 7});
    for (size_t size = 0; size < bytes.size(); ++size) {
        Frame frame;
        orxproto::ParseResult result =
            ParseFrame(bytes.data(), size, orxproto::kAnswerStart, 64, frame);
        EXPECT_EQ(result.status, ParseStatus::Incomplete) << size;
    }
}

TEST(FrameCodecTest, TrailingBytesAreLeftForTheNextFrame) {
    Bytes first = Encode(0x81, 1, {1});
    Bytes both = first;
    Bytes second = Encode(0x82, 2, {2});
    both.insert(both.end(), second.begin(), second.end());
    Frame frame;

    EXPECT_EQ(Parse(both, frame).consumed, first.size());
    EXPECT_EQ(frame.sequence, 1);
}

// Faults: each bad frame is refused as soon as the bytes show it.
TEST(FrameFaultTest, WrongStartByteIsRefusedAtOnce) {
    Bytes bytes = Encode(0x81, 1, {1}, orxproto::kRequestStart);
    Frame frame;

    orxproto::ParseResult result = Parse(Bytes{bytes[0]}, frame);

    EXPECT_EQ(result.status, ParseStatus::Bad);
    EXPECT_EQ(result.fault, FrameFault::BadStart);
}

TEST(FrameFaultTest, ChecksumMismatchIsRefused) {
    Bytes bytes = Encode(0x81, 1, {1, 2, 3});
    bytes[8] ^= 0x40;
    Frame frame;

    orxproto::ParseResult result = Parse(bytes, frame);

    EXPECT_EQ(result.status, ParseStatus::Bad);
    EXPECT_EQ(result.fault, FrameFault::BadCrc);
    EXPECT_TRUE(frame.payload.empty());
}

TEST(FrameFaultTest, OversizedLengthIsRefusedWithoutWaitingForTheBytes) {
    Bytes header = {orxproto::kAnswerStart, 0x81, 1, 0xFF, 0xFF, 0xFF, 0xFF};
    Frame frame;

    orxproto::ParseResult result = Parse(header, frame);

    EXPECT_EQ(result.status, ParseStatus::Bad);
    EXPECT_EQ(result.fault, FrameFault::TooLong);
}

TEST(FrameFaultTest, LengthJustAboveTheLimitIsRefused) {
    Bytes bytes = Encode(0x81, 1, Bytes(65, 0));
    Frame frame;

    EXPECT_EQ(Parse(bytes, frame, 64).fault, FrameFault::TooLong);
    EXPECT_EQ(Parse(bytes, frame, 65).status, ParseStatus::Complete);
}

TEST(PayloadReaderTest, ReadingPastTheEndFailsAndYieldsZeros) {
    Bytes bytes = {0x01, 0x02, 0x03};
    orxproto::PayloadReader reader(bytes.data(), bytes.size());

    EXPECT_EQ(reader.U16(), 0x0201);
    EXPECT_EQ(reader.U32(), 0u);
    EXPECT_TRUE(reader.Failed());
    EXPECT_EQ(reader.U8(), 0);
    size_t count = 99;
    EXPECT_EQ(reader.Rest(count), nullptr);
    EXPECT_EQ(count, 0u);
}

TEST(CommandNamesTest, NamesAndCodesMatchBothWays) {
    for (uint8_t code = orxproto::kFirstCommand; code <= orxproto::kLastCommand; ++code) {
        orxproto::Command command{};
        ASSERT_TRUE(orxproto::CommandByName(orxproto::CommandName(code), command));
        EXPECT_EQ(static_cast<uint8_t>(command), code);
    }
    orxproto::Command ignored{};
    EXPECT_FALSE(orxproto::CommandByName("Progam", ignored));
    EXPECT_STREQ(orxproto::CommandName(0x7F), "?");
}

}  // namespace

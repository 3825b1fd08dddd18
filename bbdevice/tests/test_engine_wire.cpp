// The engine message framer and the receive parser, fed with byte streams
// built here by hand rather than by the framer under test.
#include <bbdevice/wire/engine_message.h>
#include <bbdevice/wire/engine_parser.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace bbdev::wire;
using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A message as the card sends it: sequence 0, check word 0.
Bytes HandMessage(unsigned module, unsigned op, const Bytes& payload) {
    Bytes b;
    Put32(b, 0x57FA5E26);
    Put32(b, 0x01000000u | (module << 8) | op);
    Put32(b, static_cast<std::uint32_t>(payload.size() - 1) << 12);
    b.insert(b.end(), payload.begin(), payload.end());
    while (b.size() % 4) b.push_back(0);
    Put32(b, 0);
    return b;
}

Bytes Pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 13);
    return b;
}

struct Seen {
    unsigned module, op;
    Bytes payload;
};

struct Collector {
    std::vector<Seen> seen;
    void operator()(const MessageView& m) {
        seen.push_back({m.module(), m.operation(), Bytes(m.payload.begin(), m.payload.end())});
    }
};

void FeedAll(ReceiveAssembler& rx, const Bytes& stream, std::size_t chunk, Collector& out) {
    for (std::size_t i = 0; i < stream.size(); i += chunk) {
        std::size_t n = std::min(chunk, stream.size() - i);
        rx.Feed({stream.data() + i, n}, out);
    }
}

TEST(EngineFramer, MessageLengthPadsPayloadToWholeWords) {
    std::uint8_t out[64];
    const std::uint8_t payload[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(BuildMessage(out, MakeCommand(1, 7), {payload, 1}), 20u);
    EXPECT_EQ(BuildMessage(out, MakeCommand(1, 7), {payload, 4}), 20u);
    std::memset(out, 0xAA, sizeof out);
    ASSERT_EQ(BuildMessage(out, MakeCommand(1, 7), {payload, 5}), 24u);
    const Bytes expected = HandMessage(1, 7, {1, 2, 3, 4, 5});
    EXPECT_EQ(Bytes(out, out + 24), expected);  // padding and check word are zero
}

TEST(EngineFramer, CommandAndLengthFieldsOfATimeCodeRecord) {
    std::uint8_t out[128];
    const Bytes payload = Pattern(72, 1);
    ASSERT_EQ(BuildMessage(out, MakeCommand(5, 3), payload), 88u);
    const std::uint8_t header[12] = {0x26, 0x5E, 0xFA, 0x57, 0x03, 0x05,
                                     0x00, 0x01, 0x00, 0x70, 0x04, 0x00};
    EXPECT_EQ(0, std::memcmp(out, header, 12));
    EXPECT_EQ(MakeCommand(5, 3), 0x01000503u);
    EXPECT_EQ(MakeLengthAndSeq(72, 0), 0x00047000u);
}

TEST(EngineFramer, CheckWordIsXorOfAllPrecedingWordsWhenOn) {
    std::uint8_t out[32];
    const std::uint8_t payload[2] = {0x12, 0x34};
    ASSERT_EQ(BuildMessage(out, 0x01000506, payload, 5, true), 20u);
    const std::uint32_t expected = 0x57FA5E26u ^ 0x01000506u ^ ((1u << 12) | 5u) ^ 0x3412u;
    EXPECT_EQ(LoadLe32(out + 16), expected);
}

TEST(EngineFramer, RefusesEmptyOversizeAndUnfittingPayloads) {
    std::vector<std::uint8_t> out(MessageBytes(kMaxPayloadBytes) + 8);
    std::vector<std::uint8_t> big(kMaxPayloadBytes + 1);
    EXPECT_EQ(BuildMessage(out, 0x01000203, {big.data(), 0}), 0u);
    EXPECT_EQ(BuildMessage(out, 0x01000203, big), 0u);
    EXPECT_EQ(BuildMessage(out, 0x01000203, {big.data(), kMaxPayloadBytes}),
              MessageBytes(kMaxPayloadBytes));
    EXPECT_EQ(BuildMessage({out.data(), 23}, 0x01000203, {big.data(), 5}), 0u);
}

TEST(EngineParser, GarbageBeforeMagicIsSkippedAndOneCorruptByteLosesOnlyThatMessage) {
    Bytes stream = {0x00, 0x26, 0x5E, 0x11, 0xFF, 0x57};  // includes a near-magic
    Bytes good = HandMessage(1, 7, {9, 0, 0, 0});
    stream.insert(stream.end(), good.begin(), good.end());
    Bytes broken = HandMessage(2, 8, Pattern(272, 3));
    broken[2] ^= 0x01;  // one byte of the magic corrupted
    stream.insert(stream.end(), broken.begin(), broken.end());
    Bytes last = HandMessage(5, 7, Pattern(32, 7));
    stream.insert(stream.end(), last.begin(), last.end());

    ReceiveAssembler rx(4096);
    Collector c;
    rx.Feed(stream, c);
    ASSERT_EQ(c.seen.size(), 2u);
    EXPECT_EQ(c.seen[0].module, 1u);
    EXPECT_EQ(c.seen[0].op, 7u);
    EXPECT_EQ(c.seen[0].payload, (Bytes{9, 0, 0, 0}));
    EXPECT_EQ(c.seen[1].module, 5u);
    EXPECT_EQ(c.seen[1].payload, Pattern(32, 7));
    EXPECT_EQ(rx.pending(), 0u);
    EXPECT_EQ(rx.discardedBytes(), 6u + broken.size());
}

TEST(EngineParser, FortyBytesWithoutMagicAreDiscardedWhole) {
    ReceiveAssembler rx(4096);
    Collector c;
    rx.Feed(Pattern(40, 0x30), c);
    EXPECT_TRUE(c.seen.empty());
    EXPECT_EQ(rx.pending(), 0u);
    EXPECT_EQ(rx.discardedBytes(), 40u);
}

TEST(EngineParser, MessageSplitAtEveryPointIsAssembledOnce) {
    const Bytes message = HandMessage(2, 4, Pattern(61, 5));
    for (std::size_t chunk = 1; chunk <= message.size(); ++chunk) {
        ReceiveAssembler rx(4096);
        Collector c;
        FeedAll(rx, message, chunk, c);
        ASSERT_EQ(c.seen.size(), 1u) << "chunk " << chunk;
        EXPECT_EQ(c.seen[0].payload, Pattern(61, 5));
        EXPECT_EQ(rx.pending(), 0u);
    }
}

TEST(EngineParser, MagicSplitAfterGarbageIsKeptForTheNextReceive) {
    Bytes first = Pattern(40, 0x30);
    const Bytes message = HandMessage(1, 6, Pattern(9, 1));
    first.insert(first.end(), message.begin(), message.begin() + 3);  // 26 5E FA
    ReceiveAssembler rx(4096);
    Collector c;
    rx.Feed(first, c);
    EXPECT_EQ(rx.pending(), 3u);
    rx.Feed({message.data() + 3, message.size() - 3}, c);
    ASSERT_EQ(c.seen.size(), 1u);
    EXPECT_EQ(c.seen[0].payload, Pattern(9, 1));
}

TEST(EngineParser, HeaderLargerThanTheBufferIsDroppedAndTheNextMessageFound) {
    // With room for 64 bytes, a header announcing 1000 could never complete.
    Bytes stream;
    Put32(stream, 0x57FA5E26);
    Put32(stream, 0x01000204);
    Put32(stream, 999u << 12);
    const Bytes good = HandMessage(1, 7, {1, 2, 3, 4});
    stream.insert(stream.end(), good.begin(), good.end());
    for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, stream.size()}) {
        ReceiveAssembler rx(64);
        Collector c;
        FeedAll(rx, stream, chunk, c);
        ASSERT_EQ(c.seen.size(), 1u) << "chunk " << chunk;
        EXPECT_EQ(c.seen[0].payload, (Bytes{1, 2, 3, 4}));
        EXPECT_EQ(rx.pending(), 0u);
    }
}

TEST(EngineParser, LargestMessageFitsTheReceiveBufferAndWaitsForItsBytes) {
    Bytes header;
    Put32(header, 0x57FA5E26);
    Put32(header, 0x01000204);
    Put32(header, 0xFFFFF000u);
    const ParseStep step = ParseNext(header, kReceiveBufferBytes);
    EXPECT_EQ(step.kind, ParseStep::Kind::NeedMore);
    EXPECT_EQ(step.discard, 0u);
    EXPECT_EQ(AnnouncedMessageBytes(0xFFFFF000u), kMaxPayloadBytes + 16);
}

TEST(EngineParser, ManyMessagesInOneReceiveArriveInOrder) {
    Bytes stream;
    for (unsigned i = 1; i <= 50; ++i) {
        Bytes m = HandMessage(i % 16, i % 11, Pattern(i * 3, static_cast<std::uint8_t>(i)));
        stream.insert(stream.end(), m.begin(), m.end());
    }
    ReceiveAssembler rx(1024);  // smaller than the stream: compaction between feeds
    Collector c;
    FeedAll(rx, stream, 300, c);
    ASSERT_EQ(c.seen.size(), 50u);
    for (unsigned i = 1; i <= 50; ++i) {
        EXPECT_EQ(c.seen[i - 1].module, i % 16);
        EXPECT_EQ(c.seen[i - 1].op, i % 11);
        EXPECT_EQ(c.seen[i - 1].payload, Pattern(i * 3, static_cast<std::uint8_t>(i)));
    }
}

TEST(EngineParser, WithCheckingOnAMessageWithAWrongCheckWordIsDropped) {
    std::uint8_t good[32];
    const std::uint8_t payload[6] = {1, 2, 3, 4, 5, 6};
    const std::size_t n = BuildMessage(good, 0x01000E07, payload, 0, true);
    Bytes stream(good, good + n);
    Bytes bad = stream;
    bad[13] ^= 0x40;
    stream.insert(stream.end(), bad.begin(), bad.end());
    ReceiveAssembler rx(4096, true);
    Collector c;
    rx.Feed(stream, c);
    ASSERT_EQ(c.seen.size(), 1u);
    EXPECT_EQ(c.seen[0].payload, Bytes(payload, payload + 6));
    EXPECT_EQ(rx.checkFailures(), 1u);
}

}  // namespace

#include <gtest/gtest.h>
#include <stats/frame_checks.h>

#include <string>
#include <vector>

#include "record_bytes.h"

namespace {

using stats::BlockShape;
using stats_test::BcdTag;
using stats_test::BinaryTag;
using stats_test::Records;

std::string Gbk(std::initializer_list<unsigned> bytes) {
    std::string s;
    for (unsigned b : bytes) s.push_back(char(b));
    return s;
}

// Subframes of 4 one-byte words, N = 4.
constexpr BlockShape kByteWords{.words = 4, .subframes = 4, .headerBytes = 8, .wordBytes = 1};

Records CounterRecords(std::initializer_list<std::uint8_t> counters) {
    Records r;
    unsigned i = 0;
    for (std::uint8_t c : counters) r.Add(BcdTag(1, 2, 3, i++, 0), {0xEB, c, 0x00, 0x55});
    return r;
}

TEST(FrameCountCheckTest, EightBitCounterWrapsWithoutALine) {
    stats::FrameCountCheck check;
    check.Start();
    const Records r = CounterRecords({0xFE, 0xFF, 0x00, 0x01});
    EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), kByteWords, 0, 2), 0u);
    EXPECT_TRUE(check.Text().empty());
}

TEST(FrameCountCheckTest, JumpGivesOneGoldenLineAndTheNewValueIsFollowed) {
    stats::FrameCountCheck check;
    check.Start();
    Records r;
    r.Add(BcdTag(12, 34, 56, 6, 0), {0x00, 0x05});
    r.Add(BcdTag(12, 34, 56, 7, 5), {0x00, 0x09});  // the jump
    r.Add(BcdTag(12, 34, 56, 8, 0), {0x00, 0x0A});
    r.Add(BcdTag(12, 34, 56, 9, 0), {0x00, 0x0B});
    const BlockShape shape{.words = 2, .subframes = 4, .headerBytes = 8, .wordBytes = 1};
    ASSERT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), shape, 0, 2), 1u);
    // "在时间为12:34:056:007.5时，帧计数从0x06跃变到了0x09,\r\n " in GBK.
    const std::string golden =
        Gbk({0xd4, 0xda, 0xca, 0xb1, 0xbc, 0xe4, 0xce, 0xaa, 0x31, 0x32, 0x3a, 0x33, 0x34, 0x3a,
             0x30, 0x35, 0x36, 0x3a, 0x30, 0x30, 0x37, 0x2e, 0x35, 0xca, 0xb1, 0xa3, 0xac, 0xd6,
             0xa1, 0xbc, 0xc6, 0xca, 0xfd, 0xb4, 0xd3, 0x30, 0x78, 0x30, 0x36, 0xd4, 0xbe, 0xb1,
             0xe4, 0xb5, 0xbd, 0xc1, 0xcb, 0x30, 0x78, 0x30, 0x39, 0x2c, 0x0d, 0x0a, 0x20});
    EXPECT_EQ(std::string(check.Text()), golden);

    // The next block continues from 0x0B.
    Records next;
    for (std::uint8_t c : {0x0C, 0x0D, 0x0E, 0x0F}) next.Add(BcdTag(12, 34, 57, 0, 0), {0, c});
    EXPECT_EQ(check.CheckBlock(next.bytes.data(), next.bytes.size(), shape, 0, 2), 0u);
    EXPECT_TRUE(check.Text().empty()) << "the text holds one block's lines only";
    Records skipped;
    for (std::uint8_t c : {0x11, 0x12, 0x13, 0x14}) skipped.Add(BcdTag(12, 34, 58, 0, 0), {0, c});
    EXPECT_EQ(check.CheckBlock(skipped.bytes.data(), skipped.bytes.size(), shape, 0, 2), 1u);
}

TEST(FrameCountCheckTest, SixteenBitWordsWithHighWordFormOneThirtyTwoBitCounter) {
    const BlockShape shape{.words = 3, .subframes = 2, .headerBytes = 8, .wordBytes = 2};
    auto block = [](std::uint8_t highAfter) {
        Records r;
        r.Add(BcdTag(0, 0, 1, 0, 0), {0x00, 0x01, 0xEB, 0x90, 0xFF, 0xFF});  // high 1, low FFFF
        r.Add(BcdTag(0, 0, 1, 1, 0), {0x00, highAfter, 0xEB, 0x90, 0x00, 0x00});
        return r;
    };
    {
        stats::FrameCountCheck check;
        check.Start();
        const Records r = block(0x02);
        EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), shape, 1, 3), 0u);
    }
    {
        stats::FrameCountCheck check;
        check.Start();
        const Records r = block(0x01);  // high word not carried
        ASSERT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), shape, 1, 3), 1u);
        const std::string text(check.Text());
        EXPECT_NE(text.find("0x00020000"), std::string::npos) << text;
        EXPECT_NE(text.find("0x00010000"), std::string::npos) << text;
        EXPECT_LT(text.find("0x00020000"), text.find("0x00010000")) << "expected value first";
    }
}

TEST(FrameCountCheckTest, OneByteWordsWithHighByteFormASixteenBitCounter) {
    stats::FrameCountCheck check;
    check.Start();
    Records r;
    r.Add(BcdTag(0, 0, 0, 0, 0), {0x01, 0xFF, 0, 0});
    r.Add(BcdTag(0, 0, 0, 1, 0), {0x02, 0x00, 0, 0});
    r.Add(BcdTag(0, 0, 0, 2, 0), {0x02, 0x01, 0, 0});
    r.Add(BcdTag(0, 0, 0, 3, 0), {0x02, 0x03, 0, 0});
    ASSERT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), kByteWords, 1, 2), 1u);
    EXPECT_NE(std::string(check.Text()).find("0x0202"), std::string::npos);
    EXPECT_NE(std::string(check.Text()).find("0x0203"), std::string::npos);
}

TEST(FrameCountCheckTest, OnlyWholeGroupsAreExamined) {
    const BlockShape pairs{.words = 4, .subframes = 2, .headerBytes = 8, .wordBytes = 1};
    {
        // 2.5 groups: the jump in the fifth record is not examined.
        stats::FrameCountCheck check;
        check.Start();
        const Records r = CounterRecords({1, 2, 3, 4, 9});
        EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), pairs, 0, 2), 0u);
    }
    {
        stats::FrameCountCheck check;
        check.Start();
        const Records r = CounterRecords({1, 2, 3, 9, 10});
        EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), pairs, 0, 2), 1u);
    }
    {
        // Shorter than one group: nothing, and the next block starts the counter.
        stats::FrameCountCheck check;
        check.Start();
        const Records one = CounterRecords({7});
        EXPECT_EQ(check.CheckBlock(one.bytes.data(), one.bytes.size(), pairs, 0, 2), 0u);
        const Records r = CounterRecords({20, 21});
        EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), pairs, 0, 2), 0u);
    }
}

TEST(FrameCountCheckTest, StartForgetsTheExpectedCounter) {
    stats::FrameCountCheck check;
    check.Start();
    const Records a = CounterRecords({1, 2, 3, 4});
    EXPECT_EQ(check.CheckBlock(a.bytes.data(), a.bytes.size(), kByteWords, 0, 2), 0u);
    check.Start();
    const Records b = CounterRecords({40, 41, 42, 43});
    EXPECT_EQ(check.CheckBlock(b.bytes.data(), b.bytes.size(), kByteWords, 0, 2), 0u);
}

TEST(FrameCountCheckTest, PositionBeyondTheSubframeOrWideWordsAreNeverRead) {
    // Exactly one group, so that a read of position 5 would leave the block.
    const Records r = CounterRecords({1, 2, 3, 4});
    std::vector<std::uint8_t> exact(r.bytes);
    stats::FrameCountCheck check;
    check.Start();
    EXPECT_EQ(check.CheckBlock(exact.data(), exact.size(), kByteWords, 0, 5), 0u);
    EXPECT_EQ(check.CheckBlock(exact.data(), exact.size(), kByteWords, 5, 2), 0u);
    EXPECT_EQ(check.CheckBlock(exact.data(), exact.size(), kByteWords, 0, 0), 0u);
    const BlockShape wide{.words = 1, .subframes = 4, .headerBytes = 8, .wordBytes = 3};
    EXPECT_EQ(check.CheckBlock(exact.data(), exact.size(), wide, 0, 1), 0u);
    BlockShape none = kByteWords;
    none.subframes = 0;
    EXPECT_EQ(check.CheckBlock(exact.data(), exact.size(), none, 0, 2), 0u);
    // After all those refusals the counter still starts from the first real block.
    const Records ok = CounterRecords({9, 10, 11, 12});
    EXPECT_EQ(check.CheckBlock(ok.bytes.data(), ok.bytes.size(), kByteWords, 0, 2), 0u);
}

TEST(FrameCountCheckTest, ABlockFullOfJumpsKeepsEveryLine) {
    // Every record breaks the sequence: far more text than the first buffer.
    Records r;
    const unsigned n = 4000;
    for (unsigned i = 0; i < n; ++i)
        r.Add(BcdTag(1, 2, 3, 4, 5), {0, std::uint8_t(i % 2 == 0 ? 0x10 : 0x30), 0, 0});
    stats::FrameCountCheck check;
    check.Start();
    const std::size_t lines = check.CheckBlock(r.bytes.data(), r.bytes.size(), kByteWords, 0, 2);
    EXPECT_EQ(lines, n - 1);
    const std::string text(check.Text());
    EXPECT_GT(text.size(), stats::kInitialReportBytes);
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find("\r\n ", at)) != std::string::npos; at += 3) ++count;
    EXPECT_EQ(count, n - 1);
    EXPECT_EQ(text.substr(text.size() - 3), "\r\n ");
}

TEST(IdCountCheckTest, IdsRunningThroughTheFrameGiveNoLine) {
    stats::IdCountCheck check;
    check.Start();
    Records r;
    for (std::uint8_t id : {0, 1, 2, 3, 0, 1, 2, 3}) r.Add(BcdTag(0, 0, 0, 0, 0), {0xEB, id});
    const BlockShape shape{.words = 2, .subframes = 4, .headerBytes = 8, .wordBytes = 1};
    EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), shape, 2), 0u);
}

TEST(IdCountCheckTest, SkippedIdIsReportedOnceAndTheFollowingIdPasses) {
    stats::IdCountCheck check;
    check.Start();
    Records r;
    for (std::uint8_t id : {0, 1, 3, 0}) r.Add(BcdTag(0, 0, 0, 0, 0), {0xEB, id});
    const BlockShape shape{.words = 2, .subframes = 4, .headerBytes = 8, .wordBytes = 1};
    ASSERT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), shape, 2), 1u);
    const std::string text(check.Text());
    // "ID计数从0x02跃变到了0x03"
    EXPECT_NE(text.find("ID" + Gbk({0xbc, 0xc6, 0xca, 0xfd, 0xb4, 0xd3}) + "0x02" +
                        Gbk({0xd4, 0xbe, 0xb1, 0xe4, 0xb5, 0xbd, 0xc1, 0xcb}) + "0x03,\r\n "),
              std::string::npos);
}

TEST(IdCountCheckTest, SixteenBitIdsUseTheFourDigitFormat) {
    stats::IdCountCheck check;
    check.Start();
    Records r;
    for (std::uint8_t id : {0, 2}) r.Add(BcdTag(0, 0, 0, 0, 0), {0x00, id});
    const BlockShape shape{.words = 1, .subframes = 2, .headerBytes = 8, .wordBytes = 2};
    ASSERT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), shape, 1), 1u);
    EXPECT_NE(std::string(check.Text()).find("0x0001"), std::string::npos);
    EXPECT_NE(std::string(check.Text()).find("0x0002"), std::string::npos);
}

// Subframes of 24 one-byte words at 1 Mbit/s: P = 0.192 ms.
constexpr BlockShape kTimed{.words = 24, .subframes = 2, .headerBytes = 8, .wordBytes = 1};

Records Timed(std::initializer_list<std::vector<std::uint8_t>> tags) {
    Records r;
    for (const auto& t : tags) {
        r.Add(t, {});
        r.bytes.insert(r.bytes.end(), 24, 0x55);
    }
    return r;
}

TEST(TimeContinuityCheckTest, MidnightWithOnePeriodBetweenGivesNoLine) {
    stats::TimeContinuityCheck check;
    check.Start();
    const Records r = Timed({BcdTag(23, 59, 59, 999, 8), BcdTag(0, 0, 0, 0, 0)});
    EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), kTimed, 1000000), 0u);
}

TEST(TimeContinuityCheckTest, GapIsReportedWithBothTimesAndTheHourTwentyOne) {
    stats::TimeContinuityCheck check;
    check.Start();
    const Records a = Timed({BcdTag(21, 5, 9, 100, 0), BcdTag(21, 5, 9, 100, 2)});
    EXPECT_EQ(check.CheckBlock(a.bytes.data(), a.bytes.size(), kTimed, 1000000), 0u);
    // The gap lies between the blocks: the line takes the previous block's time.
    const Records b = Timed({BcdTag(21, 5, 9, 110, 0), BcdTag(21, 5, 9, 110, 2)});
    ASSERT_EQ(check.CheckBlock(b.bytes.data(), b.bytes.size(), kTimed, 1000000), 1u);
    // "时间从21:05:009:100.2跃变到了21:05:009:110.0,\r\n "
    const std::string expected = Gbk({0xca, 0xb1, 0xbc, 0xe4, 0xb4, 0xd3}) + "21:05:009:100.2" +
                                 Gbk({0xd4, 0xbe, 0xb1, 0xe4, 0xb5, 0xbd, 0xc1, 0xcb}) +
                                 "21:05:009:110.0,\r\n ";
    EXPECT_EQ(std::string(check.Text()), expected);
}

TEST(TimeContinuityCheckTest, TimeGoingBackIsAJumpAndTheFirstRecordPasses) {
    stats::TimeContinuityCheck check;
    check.Start();
    const Records r = Timed({BcdTag(10, 0, 0, 500, 0), BcdTag(10, 0, 0, 400, 0)});
    // Back by 100 ms is a day less 100 ms forward.
    EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), kTimed, 1000000), 1u);
}

TEST(TimeContinuityCheckTest, BinaryTagsAreComparedInMicroseconds) {
    const std::uint32_t rate = 1000000;  // 2P = 0.384 ms
    stats::TimeContinuityCheck check;
    check.Start();
    BlockShape shape = kTimed;
    shape.tagFormat = 1;
    const Records within = Timed({BinaryTag(100, 0), BinaryTag(100, 380)});
    EXPECT_EQ(check.CheckBlock(within.bytes.data(), within.bytes.size(), shape, rate), 0u);
    // 0.42 ms after the last one, then 0.3 ms: the first is a gap.
    const Records beyond = Timed({BinaryTag(100, 800), BinaryTag(100, 1100)});
    EXPECT_EQ(check.CheckBlock(beyond.bytes.data(), beyond.bytes.size(), shape, rate), 1u);
}

TEST(TimeContinuityCheckTest, ZeroBitRateOrNoSubframesExamineNothing) {
    stats::TimeContinuityCheck check;
    check.Start();
    const Records r = Timed({BcdTag(1, 0, 0, 0, 0), BcdTag(2, 0, 0, 0, 0)});
    EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), kTimed, 0), 0u);
    BlockShape none = kTimed;
    none.subframes = 0;
    EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), none, 1000000), 0u);
    EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), kTimed, 1000000), 1u);
}

TEST(SubframePeriodTest, PeriodOfTheWordsAtTheBitRate) {
    EXPECT_DOUBLE_EQ(stats::SubframePeriodMs(24, 1, 1000000), 0.192);
    EXPECT_DOUBLE_EQ(stats::SubframePeriodMs(24, 2, 2000000), 0.192);
    EXPECT_EQ(stats::SubframePeriodMs(24, 1, 0), 0.0);
}

}  // namespace

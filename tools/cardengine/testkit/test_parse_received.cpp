// Reading the commands out of a cardengine log, as the engine tests rely on.
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>

namespace {

using cardengine::testkit::ParseReceived;

const std::vector<std::string> kLog = {
    "listen 40000",
    "accept 1",
    "rx 2 3 6 78563412cdab",
    "rx 1 9 0",
    "close 1 peer",
    "accept 2",
    "rx 5 3 2 0A0b",
    "rx 4 3 3 0102",  // payload shorter than its length
    "rx 4 3 1 zz",    // not hex
    "rx 4 3 18446744073709551615 00",
    "rx 6 1 1 ff",
};

TEST(ParseReceived, ReadsEveryCommandWithItsPayloadAndSkipsMalformedLines) {
    const auto all = ParseReceived(kLog);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].module, 2u);
    EXPECT_EQ(all[0].operation, 3u);
    EXPECT_EQ(all[0].length, 6u);
    EXPECT_EQ(all[0].payload, (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12, 0xcd, 0xab}));
    EXPECT_TRUE(all[1].payload.empty());
    EXPECT_EQ(all[2].payload, (std::vector<std::uint8_t>{0x0a, 0x0b}));
    EXPECT_EQ(all[3].module, 6u);
}

TEST(ParseReceived, KeepsOnlyTheCommandsOfTheConnectionAsked) {
    const auto first = ParseReceived(kLog, 1);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1].module, 1u);
    const auto second = ParseReceived(kLog, 2);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].module, 5u);
    EXPECT_TRUE(ParseReceived(kLog, 3).empty());
}

TEST(ParseReceived, WordAndHalfAreLittleEndianAndZeroPastTheEnd) {
    const auto c = ParseReceived(kLog)[0];
    EXPECT_EQ(c.Word(0), 0x12345678u);
    EXPECT_EQ(c.Half(4), 0xabcd);
    EXPECT_EQ(c.Half(5), 0);
    EXPECT_EQ(c.Word(3), 0u);
    EXPECT_EQ(c.Word(2), 0xabcd1234u);
}

}  // namespace

// The exclusion-list builders behind the bit-error dialog: byte numbers,
// the refusal texts and the lists that used to break the skipping.
#include <gtest/gtest.h>
#include <stats/bit_error_lists.h>

#include <string>
#include <vector>

namespace {

using stats::ChannelGeometry;
using V = std::vector<int>;

constexpr ChannelGeometry kSmall{.subframeWords = 4, .subframes = 2, .wordBytes = 1};
constexpr ChannelGeometry kWide{.subframeWords = 4, .subframes = 2, .wordBytes = 2};

TEST(BitErrorRangeList, ChannelsBecomeTheirByteNumbers) {
    EXPECT_EQ(stats::BuildRangeList(2, 3, kSmall).bytes, (V{2, 3}));
    EXPECT_EQ(stats::BuildRangeList(2, 3, kWide).bytes, (V{3, 4, 5, 6}));
    const ChannelGeometry three{.subframeWords = 4, .subframes = 2, .wordBytes = 3};
    EXPECT_EQ(stats::BuildRangeList(2, 2, three).bytes, (V{4, 5, 6}));
    EXPECT_TRUE(stats::BuildRangeList(1, 7, kSmall).ok());
}

TEST(BitErrorRangeList, EveryApplicableMessageInOneText) {
    EXPECT_EQ(stats::BuildRangeList(1, 8, kSmall).error, "不能剔除所有波道！\n");
    EXPECT_EQ(stats::BuildRangeList(0, 0, kSmall).error, "起始波道下越界！\n结束波道下越界！\n");
    EXPECT_EQ(stats::BuildRangeList(9, 3, kSmall).error,
              "起始波道大于结束波道！\n起始波道上越界！\n");
    EXPECT_EQ(stats::BuildRangeList(3, 9, kSmall).error, "结束波道上越界！\n");
    EXPECT_TRUE(stats::BuildRangeList(1, 8, kSmall).bytes.empty());
}

TEST(BitErrorRangeList, ListBeyondCapacityIsRefused) {
    // 200,000 channels of 24-bit words: 600,000 byte numbers.
    const ChannelGeometry big{.subframeWords = 100000, .subframes = 4, .wordBytes = 3};
    const stats::ListResult r = stats::BuildRangeList(1, 200000, big);
    EXPECT_EQ(r.error, stats::kListOverflowText);
    EXPECT_TRUE(r.bytes.empty());
    // 131,071 16-bit words just fit.
    const ChannelGeometry full{.subframeWords = 32768, .subframes = 4, .wordBytes = 2};
    EXPECT_EQ(stats::BuildRangeList(1, 131071, full).bytes.size(), 262142u);
}

TEST(BitErrorManualList, SortedChannelsWithoutRepeats) {
    EXPECT_EQ(stats::BuildManualList("5,3", kSmall).bytes, (V{3, 5}));
    EXPECT_EQ(stats::BuildManualList("5,3", kWide).bytes, (V{5, 6, 9, 10}));
    EXPECT_EQ(stats::BuildManualList("1,1,3", kSmall).bytes, (V{1, 3}));
    EXPECT_EQ(stats::BuildManualList("1,2,", kSmall).bytes, (V{1, 2}));
    EXPECT_EQ(stats::BuildManualList(" 4 ,\r\n 2 , ", kSmall).bytes, (V{2, 4}));
    EXPECT_EQ(stats::BuildManualList("8", kSmall).bytes, (V{8}));
}

TEST(BitErrorManualList, ZeroEmptyAndJunkItemsAreOutOfRange) {
    for (const char* text : {"0,2", "1,,2", "-1,2", "x,2", "2,9", "1，2", "99999999999999999999"})
        EXPECT_EQ(stats::BuildManualList(text, kSmall).error, stats::kManualOutOfRangeText) << text;
    EXPECT_EQ(stats::BuildManualList("", kSmall).error, stats::kNoChannelText);
    EXPECT_EQ(stats::BuildManualList(" \n", kSmall).error, stats::kNoChannelText);
}

TEST(BitErrorManualList, LongTextWithinCapacityAndBeyond) {
    const ChannelGeometry g{.subframeWords = 40000, .subframes = 4, .wordBytes = 2};
    std::string text;
    for (int c = 1; c <= 131071; ++c) text += std::to_string(c) + ",";
    const stats::ListResult fits = stats::BuildManualList(text, g);
    ASSERT_TRUE(fits.ok());
    EXPECT_EQ(fits.bytes.size(), 262142u);
    EXPECT_EQ(fits.bytes.back(), 262142);
    text += "131072,131073,";
    EXPECT_EQ(stats::BuildManualList(text, g).error, stats::kListOverflowText);
}

TEST(BitErrorDerive, FirstSubframeRepeatedInEverySubframe) {
    const ChannelGeometry g{.subframeWords = 10, .subframes = 3, .wordBytes = 1};
    EXPECT_EQ(stats::DeriveFullFrameText("1,4", g).text, "1,4,11,14,21,24,");
    EXPECT_EQ(stats::DeriveFullFrameText("4,1,", g).text, "4,1,14,11,24,21,");
    EXPECT_EQ(stats::DeriveFullFrameText("10", g).text, "10,20,30,");
}

TEST(BitErrorDerive, Refusals) {
    const ChannelGeometry g{.subframeWords = 10, .subframes = 3, .wordBytes = 1};
    const ChannelGeometry single{.subframeWords = 10, .subframes = 1, .wordBytes = 1};
    EXPECT_EQ(stats::DeriveFullFrameText("1", single).error, stats::kSingleSubframeText);
    EXPECT_EQ(stats::DeriveFullFrameText("", g).error, stats::kDeriveEmptyText);
    for (const char* text : {"11", "0,3", "1,,3", "a"})
        EXPECT_EQ(stats::DeriveFullFrameText(text, g).error, stats::kDeriveTooLongText) << text;
}

TEST(BitErrorList, HandTypedListIsSortedAtLoad) {
    V list{9, 3, 3, 0, -1, 7};
    stats::NormaliseList(list);
    EXPECT_EQ(list, (V{3, 7, 9}));
}

}  // namespace

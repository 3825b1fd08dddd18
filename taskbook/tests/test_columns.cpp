// Column encodings: expected codes are written out here, not taken from the
// tables under test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "columns.h"

namespace taskbook {
namespace {

TEST(YesNoColumn, OnlyMinusOneIsTrue) {
    EXPECT_EQ(DecodeYesNo("-1"), 1u);
    for (const char* t : {"0", "", "1", " -1", "-1 ", "true", "是"})
        EXPECT_EQ(DecodeYesNo(t), 0u) << t;
    EXPECT_EQ(EncodeYesNo(1), "-1");
    EXPECT_EQ(EncodeYesNo(7), "-1");
    EXPECT_EQ(EncodeYesNo(0), "0");
}

TEST(LabelColumns, KnownLabelsGiveTheirCodes) {
    EXPECT_EQ(DecodeLabel(kDataSourceLabels, "外部PCM-422"), 3u);
    EXPECT_EQ(DecodeLabel(kLineCodeLabels, "BIφ-S"), 5u);
    EXPECT_EQ(DecodeLabel(kLineCodeLabels, "RNRZ-L"), 6u);
    EXPECT_EQ(DecodeLabel(kSubframeTypeLabels, "循环副帧"), 3u);
    EXPECT_EQ(DecodeLabel(kEmuSubframeTypeLabels, "循环副帧"), 0u);  // the emulator has three
    EXPECT_EQ(DecodeLabel(kModulationLabels, "PCM-FM(TPC)"), 1u);
    EXPECT_EQ(DecodeLabel(kModulationLabels, "PCM-CDMA-QPSK"), 6u);
    EXPECT_EQ(DecodeLabel(kEmuModulationLabels, "PCM-CDMA-QPSK"), 5u);
    EXPECT_EQ(DecodeLabel(kEmuModulationLabels, "关闭"), 0u);
    EXPECT_EQ(DecodeLabel(kPnLengthLabels, "2047"), 7u);
    EXPECT_EQ(DecodeLabel(kPnSourceLabels, "临时加载"), 2u);
    EXPECT_EQ(DecodeLabel(kChannelCodingLabels, "RS-卷积级联码"), 4u);
    EXPECT_EQ(DecodeLabel(kIfBandwidthLabels, "12.5KHz"), 1u);
    EXPECT_EQ(DecodeLabel(kIfBandwidthLabels, "35MHz"), 17u);
    EXPECT_EQ(DecodeLabel(kReceiverInputLabels, "第2路(右旋)"), 2u);
    EXPECT_EQ(DecodeLabel(kLoopBandwidthLabels, "0.5%"), 1u);
    EXPECT_EQ(DecodeLabel(kIdCountLabels, "减计数"), 1u);
    EXPECT_EQ(DecodeLabel(kKeyLengthLabels, "184Bit"), 1u);
    EXPECT_EQ(DecodeLabel(kTimeModeLabels, "GNSS时统"), 2u);
    EXPECT_EQ(DecodeLabel(kTimeSyncLabels, "由外时统同步"), 1u);
    EXPECT_EQ(DecodeLabel(kSafetyRateLabels, "9.6"), 3u);
}

TEST(LabelColumns, OtherTextsTakeTheFallbackCode) {
    EXPECT_EQ(DecodeLabel(kChannelCodingLabels, "无"), 0u);
    EXPECT_EQ(DecodeLabel(kQpskPolarityLabels, ""), 0u);
    EXPECT_EQ(DecodeLabel(kConvPolarityLabels, "正向"), 0u);
    EXPECT_EQ(DecodeLabel(kReceiverInputLabels, "第4路"), 3u);
    EXPECT_EQ(DecodeLabel(kIfBandwidthLabels, "40MHz"), 0u);
    EXPECT_EQ(DecodeLabel(kModControlLabels, "开"), 1u);
    EXPECT_EQ(DecodeLabel(kModControlLabels, "关闭"), 0u);
    EXPECT_EQ(DecodeLabel(kTimeBaseLabels, "GNSS"), 1u);
    EXPECT_EQ(DecodeLabel(kTimeBaseLabels, "系统时间"), 0u);
    EXPECT_EQ(DecodeLabel(kTimeSyncLabels, "未知"), 2u);
    EXPECT_EQ(DecodeLabel(kSourceLabels, "外部输入"), 1u);
}

TEST(LabelColumns, EveryListRoundTripsBothWays) {
    for (const LabelList* list : AllLabelLists()) {
        SCOPED_TRACE(std::string(list->columns));
        for (const Label& l : list->labels) {
            EXPECT_EQ(EncodeLabel(*list, DecodeLabel(*list, l.text)), l.text);
            EXPECT_EQ(DecodeLabel(*list, EncodeLabel(*list, l.code)), l.code);
        }
        // The fallback code is written as a text that reads back as it.
        EXPECT_EQ(DecodeLabel(*list, EncodeLabel(*list, list->fallbackCode)), list->fallbackCode);
    }
}

TEST(DateTimeColumn, TextToDayOfYearAndBack) {
    DayTime t = DecodeDayTime("2026-12-8 13:5:9");
    EXPECT_EQ(t.day, 342u);
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 5);
    EXPECT_EQ(t.second, 9);
    EXPECT_EQ(EncodeDayTime(t, 2026), "2026-12-8 13:5:9");
    EXPECT_EQ(DecodeDayTime("2024-3-1 0:0:0").day, 61u);  // leap year
    EXPECT_EQ(DecodeDayTime("2023-3-1 0:0:0").day, 60u);
    EXPECT_EQ(DecodeDayTime("2000-12-31 0:0:0").day, 366u);
    EXPECT_EQ(DecodeDayTime("1900-12-31 0:0:0").day, 365u);
    EXPECT_EQ(DecodeDayTime(" 2026-1- 2   3: 4: 5").day, 2u);  // blanks where scanf allows them
    EXPECT_EQ(DecodeDayTime("2026 -1-2 3:4:5").day, 0u);
    for (int year : {2023, 2024}) {
        int days = year == 2024 ? 366 : 365;
        for (int d = 1; d <= days; ++d) {
            DayTime in{static_cast<std::uint32_t>(d), 1, 2, 3, 0};
            DayTime out = DecodeDayTime(EncodeDayTime(in, year));
            ASSERT_EQ(std::memcmp(&in, &out, sizeof in), 0) << year << " day " << d;
        }
    }
}

TEST(DateTimeColumn, InvalidTextsGiveZeroDay) {
    EXPECT_EQ(DecodeDayTime("2023-2-29 1:2:3").day, 0u);
    EXPECT_EQ(DecodeDayTime("2023-2-29 1:2:3").hour, 1);  // the time of day still counts
    EXPECT_EQ(DecodeDayTime("2023-13-1 1:2:3").day, 0u);
    EXPECT_EQ(DecodeDayTime("2023-1-1 24:0:0").hour, 0);
    EXPECT_EQ(DecodeDayTime("2023-1-1").day, 0u);
    EXPECT_EQ(DecodeDayTime("99999999999-1-1 0:0:0").day, 0u);
    EXPECT_EQ(DecodeDayTime("").day, 0u);
    EXPECT_EQ(EncodeDayTime({0, 4, 5, 6, 0}, 2026), "0-0-0 4:5:6");
    EXPECT_EQ(EncodeDayTime({367, 0, 0, 0, 0}, 2026), "0-0-0 0:0:0");
    // Day 366 of a common year is written in the latest leap year.
    EXPECT_EQ(EncodeDayTime({366, 0, 0, 0, 0}, 2026), "2024-12-31 0:0:0");
}

TEST(ChannelListColumn, ParsesAndFormats) {
    EXPECT_EQ(ParseChannelList("1,2,"), (std::vector<int>{1, 2}));
    EXPECT_EQ(ParseChannelList("1,2"), (std::vector<int>{1, 2}));
    EXPECT_EQ(ParseChannelList(" 3 , 4 ,"), (std::vector<int>{3, 4}));
    EXPECT_EQ(ParseChannelList(""), std::vector<int>{});
    for (const char* bad : {"1,,2", ",", "a,", "-1,", "1;2", "99999999999,", "1 2,"})
        EXPECT_FALSE(ParseChannelList(bad)) << bad;
    EXPECT_EQ(FormatChannelList(std::vector<int>{1, 23, 456}), "1,23,456,");
}

TEST(ChannelListColumn, LongListIsCutAfterAWholeChannel) {
    char dest[8];
    CopyChannelList("12,345,6789,", dest, sizeof dest);
    EXPECT_STREQ(dest, "12,345,");
    CopyChannelList("123456789,", dest, sizeof dest);
    EXPECT_STREQ(dest, "");
}

TEST(TextColumn, CutNeverSplitsACharacter) {
    char dest[6];
    std::memset(dest, 'x', sizeof dest);
    CopyText("任务名", dest, sizeof dest);  // 9 bytes: only one character fits in 5
    EXPECT_STREQ(dest, "任");
    EXPECT_EQ(dest[4], 0);
    EXPECT_EQ(ArrayText("abc", 2), "ab");  // no NUL inside the array
}

TEST(HexColumn, PatternsBothWays) {
    EXPECT_EQ(ParseHex("EB90"), 0xEB90u);
    EXPECT_EQ(ParseHex("0x1acffc1d"), 0x1ACFFC1Du);
    EXPECT_EQ(ParseHex(" FFFFFFFFFFFFFFFF "), 0xFFFFFFFFFFFFFFFFull);
    for (const char* bad : {"", "0x", "G1", "1 2", "10000000000000000"})
        EXPECT_FALSE(ParseHex(bad)) << bad;
    EXPECT_EQ(FormatHex(0xFAF320), "FAF320");
    EXPECT_EQ(FormatHex(0), "0");
}

TEST(NumberColumn, WholeTextMustBeANumber) {
    EXPECT_EQ(ParseInteger("4000000"), 4000000);
    EXPECT_EQ(ParseInteger(" -30 "), -30);
    EXPECT_EQ(ParseInteger("24.0"), 24);
    EXPECT_FALSE(ParseInteger("24.5"));
    EXPECT_FALSE(ParseInteger("12abc"));
    EXPECT_FALSE(ParseInteger(""));
    EXPECT_EQ(ParseReal("2300.5"), 2300.5);
    EXPECT_FALSE(ParseReal("nan"));
    EXPECT_FALSE(ParseReal("1e999"));
}

}  // namespace
}  // namespace taskbook

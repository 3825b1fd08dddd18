#include <datapath/frame_geometry.h>
#include <datapath/time_tag.h>
#include <gtest/gtest.h>

#include <cstring>

#include "record_bytes.h"

namespace {

using datapath::DecodeTimeTag;

TEST(TimeTagTest, BcdTagDecodesEveryDigitAndKeepsTheDayBitsOutOfTheHour) {
    // 21:47:59, 123.5 ms; byte 4 also carries day bits 6-7.
    const std::uint8_t tag[8] = {0x35, 0x12, 0x59, 0x47, 0xE1, 0x01, 0x02, 0x00};
    const auto t = DecodeTimeTag(tag, 0);
    EXPECT_EQ(t.hours, 21);
    EXPECT_EQ(t.minutes, 47);
    EXPECT_EQ(t.seconds, 59);
    EXPECT_DOUBLE_EQ(t.ms, 123.5);
    EXPECT_DOUBLE_EQ(t.DayMs(), (21 * 3600 + 47 * 60 + 59) * 1000.0 + 123.5);
}

TEST(TimeTagTest, BcdNibblesAboveNineAreTakenAtTheirValue) {
    const std::uint8_t tag[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0};
    const auto t = DecodeTimeTag(tag, 0);
    EXPECT_EQ(t.hours, 45);  // tens are two bits only
    EXPECT_EQ(t.minutes, 165);
    EXPECT_EQ(t.seconds, 165);
    EXPECT_DOUBLE_EQ(t.ms, 1666.5);
}

TEST(TimeTagTest, BinaryTagSplitsTheSecondOfDayAndKeepsMicroseconds) {
    const auto tag = stats_test::BinaryTag(86399, 999999);
    const auto t = DecodeTimeTag(tag.data(), 1);
    EXPECT_EQ(t.hours, 23);
    EXPECT_EQ(t.minutes, 59);
    EXPECT_EQ(t.seconds, 59);
    EXPECT_DOUBLE_EQ(t.ms, 999.999);
    // Any nonzero format is binary; bits above 36 are not the time.
    std::uint8_t noisy[8];
    std::memcpy(noisy, tag.data(), 8);
    noisy[4] |= 0xE0;
    const auto n = DecodeTimeTag(noisy, 7);
    EXPECT_EQ(n.hours, 23);
    EXPECT_DOUBLE_EQ(n.ms, 999.999);
}

TEST(TimeTagTest, GeometryCarriesTheTagFormatOfTheDemodulatorRecord) {
    DemParam dem{};
    dem.字长 = 8;
    dem.子帧长 = 24;
    dem.副帧长 = 4;
    EXPECT_EQ(datapath::GeometryOf(dem).tagFormat, 0u);
    dem.配时精度 = 1;
    EXPECT_EQ(datapath::GeometryOf(dem).tagFormat, 1u);
}

}  // namespace

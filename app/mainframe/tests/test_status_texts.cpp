// The status view's texts: unit boundaries of the byte counts, the time
// formats and the demodulator texts.
#include <gtest/gtest.h>

#include <string>

#include "status_texts.h"

using namespace mainframe;

namespace {

std::string S(const StatusText& t) {
    return t.c_str();
}

TEST(StatusTexts, ByteCountsChangeUnitAtEachPowerOf1024) {
    EXPECT_EQ(S(ByteCountText(0)), "0B");
    EXPECT_EQ(S(ByteCountText(1023)), "1023B");
    EXPECT_EQ(S(ByteCountText(1024)), "1.000KB");
    EXPECT_EQ(S(ByteCountText(1048575)), "1023.999KB");
    EXPECT_EQ(S(ByteCountText(1048576)), "1.000MB");
    EXPECT_EQ(S(ByteCountText(1073741823)), "1024.000MB");  // rounds, still below the limit
    EXPECT_EQ(S(ByteCountText(1073741824)), "1.000GB");
    EXPECT_EQ(S(ByteCountText(5.5 * 1073741824.0)), "5.500GB");
}

TEST(StatusTexts, CardAndPacketTimes) {
    EXPECT_EQ(S(CardTimeText(45, 7, 5, 9, 3)), "45-07:05:09.003");
    EXPECT_EQ(S(CardTimeText(366, 23, 59, 59, 999)), "366-23:59:59.999");
    // 13:02:03.456 in 0.1 ms, unpadded fields and "::" before the milliseconds.
    const std::uint32_t t = ((13u * 3600u + 2u * 60u + 3u) * 1000u + 456u) * 10u + 7u;
    EXPECT_EQ(S(PacketTimeText(9131, t)), "9131-13:2:3::456");
    EXPECT_EQ(S(PacketTimeText(1, 0)), "1-0:0:0::0");
}

TEST(StatusTexts, ReplayRangeShowsBothEndsAsClockTimes) {
    const double start = ((1 * 60 + 2) * 60 + 3) * 1000.0 + 45.0;
    const double end = ((23 * 60 + 59) * 60 + 58) * 1000.0 + 7.0;
    EXPECT_EQ(S(ReplayRangeText(start, end)), "01:02:03:45-23:59:58:7");
    EXPECT_EQ(S(ReplayRangeText(-5, 0)), "00:00:00:0-00:00:00:0");
}

TEST(StatusTexts, DemodulatorTexts) {
    EXPECT_EQ(S(DataSourceText(0)), "接收机");
    EXPECT_EQ(S(DataSourceText(1)), "外部PCM-TTL");
    EXPECT_EQ(S(DataSourceText(2)), "PCM自检");
    EXPECT_EQ(S(DataSourceText(3)), "外部PCM-422");
    EXPECT_EQ(S(DataSourceText(4)), "未知");
    EXPECT_EQ(S(RadioFrequencyText(2300500000.0)), "2300.50MHz");
    EXPECT_EQ(S(IntermediateFrequencyText(70.0)), "70.000000MHz");
    EXPECT_EQ(S(SignalToNoiseText(18.5)), "18.50dB");
    EXPECT_EQ(S(SignalToNoiseText(0.0)), "0.00dB");
    EXPECT_EQ(S(SignalToNoiseText(-1.0)), " ---- ");
    EXPECT_EQ(S(PercentText(37.126)), "37.13%");
}

TEST(StatusTexts, BitErrorRateIsZeroBeforeAnyComparedBit) {
    EXPECT_EQ(S(ComparedBitsText(0)), "比对位数:0.000000E+00");
    EXPECT_EQ(S(BitErrorText(0, 0, false)), "误码率:0.000000E+00");
    EXPECT_EQ(S(BitErrorText(5, 1000, false)), "误码率:5.000000E-03");
    EXPECT_EQ(S(BitErrorText(5, 1000, true)), "误码位:5.000000E+00");
}

TEST(StatusTexts, TextLongerThanTheBufferIsCutNotOverrun) {
    StatusText t;
    t.Format("%s", std::string(500, 'x').c_str());
    EXPECT_EQ(std::string(t.c_str()).size(), kStatusTextBytes - 1);
    EXPECT_TRUE(StatusText("a") == StatusText("a"));
    EXPECT_FALSE(StatusText("a") == StatusText("b"));
    EXPECT_TRUE(StatusText(nullptr).empty());
}

}  // namespace

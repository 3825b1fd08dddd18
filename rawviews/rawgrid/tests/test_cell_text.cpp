#include <gtest/gtest.h>
#include <rawgrid/cell_text.h>

#include <string>

namespace rawgrid {
namespace {

std::string Cell(std::uint32_t v, int mode, int wordBytes, double volts = 5.0) {
    char buf[kCellTextMax];
    const std::size_t n = FormatCell(buf, v, mode, wordBytes, volts);
    return std::string(buf, n);
}

std::string Time(std::initializer_list<std::uint8_t> tag) {
    std::uint8_t t[8] = {};
    std::size_t i = 0;
    for (std::uint8_t b : tag) t[i++] = b;
    char buf[kCellTextMax];
    return std::string(buf, FormatTimeCode(buf, t));
}

TEST(CellText, HexWidthFollowsWordBytes) {
    EXPECT_EQ(Cell(0x05, kHex, 1), "05");
    EXPECT_EQ(Cell(0x0A5B, kHex, 2), "0A5B");
    EXPECT_EQ(Cell(0x00F, kHex, 2), "000F");
    EXPECT_EQ(Cell(0x0012AB, kHex, 3), "0012AB");
    EXPECT_EQ(Cell(0xDEADBEEF, kHex, 4), "DEADBEEF");
}

TEST(CellText, DecimalShowsRawCodeUnsigned) {
    EXPECT_EQ(Cell(1234, kDecimal, 2), "1234");
    EXPECT_EQ(Cell(0, kDecimal, 1), "0");
    // A 32-bit raw code with the top bit set is a large count, not a negative one.
    EXPECT_EQ(Cell(0xFFFFFFFFu, kDecimal, 4), "4294967295");
}

TEST(CellText, PercentOfFullScaleOfTheWordBytes) {
    EXPECT_EQ(Cell(0x8000, kPercent, 2), "50.00%");
    EXPECT_EQ(Cell(0xFF, kPercent, 1), "100.00%");
    EXPECT_EQ(Cell(0, kPercent, 4), "0.00%");
    EXPECT_EQ(Cell(0xFFFFFFFFu, kPercent, 4), "100.00%");
}

TEST(CellText, VoltageScalesByFullScaleVolts) {
    EXPECT_EQ(Cell(0xFFFF, kVoltage, 2, 5.0), "5.000");
    EXPECT_EQ(Cell(0x8000, kVoltage, 2, 5.0), "2.500");
    EXPECT_EQ(Cell(0x80, kVoltage, 1, 10.0), "5.020");
}

TEST(CellText, WordsAreReadFirstByteMostSignificantAndMasked) {
    const std::uint8_t bytes[] = {0xF1, 0x23, 0x45, 0x67};
    EXPECT_EQ(ReadWord(bytes, 1), 0xF1u);
    EXPECT_EQ(ReadWord(bytes, 2), 0xF123u);
    EXPECT_EQ(ReadWord(bytes, 3), 0xF12345u);
    EXPECT_EQ(ReadWord(bytes, 4), 0xF1234567u);

    EXPECT_EQ(MaskWord(0xF123, 12), 0x0123u);
    EXPECT_EQ(MaskWord(0xF123, 16), 0xF123u);
    EXPECT_EQ(MaskWord(0xF1234567u, 32), 0xF1234567u);
    EXPECT_EQ(MaskWord(0xF1234567u, 0), 0xF1234567u);  // unknown width: left alone
    // Masked, a 12-bit word still counts against the 16-bit full scale.
    EXPECT_EQ(Cell(MaskWord(0xF800, 12), kPercent, 2), "3.13%");
}

TEST(TimeCode, DigitsFromBinaryCodedDecimal) {
    // 23:59:58, 987.6 ms; the day bits in byte 4 and byte 5 are not shown.
    EXPECT_EQ(Time({0x76, 0x98, 0x58, 0x59, 0x23, 0x01}), "23:59:58:987.6");
    EXPECT_EQ(Time({0x76, 0x98, 0x58, 0x59, 0xE3, 0xFF}), "23:59:58:987.6");
    // Bit 7 of the seconds and minutes bytes is not part of the tens.
    EXPECT_EQ(Time({0x00, 0x00, 0xD8, 0xD9, 0x00}), "00:59:58:000.0");
    EXPECT_EQ(Time({0x50, 0x00, 0x01, 0x02, 0x03}), "03:02:01:005.0");
    EXPECT_EQ(Time({0x03, 0x10, 0x00, 0x00, 0x10}), "10:00:00:100.3");
}

TEST(TimeCode, InvalidDigitsStayWithinTheText) {
    char buf[kCellTextMax];
    const std::uint8_t all[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::string(buf, FormatTimeCode(buf, all)), "45:85:85:1666.5");
}

TEST(Title, DescribesTheFrame) {
    _FRAME_STRUCT_PARAM f{};
    f.nWordsPerSubframe = 128;
    f.nSubframes = 32;
    f.nFrameWords = 4096;
    f.nWordBytes = 1;
    f.nWordBits = 8;
    f.nBitRate = 1000000;
    f.fFramePeriod = 4096 * 1000.0f * 8 / 1000000;
    EXPECT_EQ(TitleText(-1, f),
              "源码表格显示：码速率1000000bps，字长8, 帧格式128×32，帧长4096，帧周期32.768ms ");
    EXPECT_EQ(
        TitleText(1, f),
        "遥测流2源码表格显示：码速率1000000bps，字长8, 帧格式128×32，帧长4096，帧周期32.768ms ");
    EXPECT_EQ(BaseTitle(0), "遥测流1源码表格显示");
}

}  // namespace
}  // namespace rawgrid

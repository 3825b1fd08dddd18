// Tag and code texts of the PCM plots, from tag bytes written out by hand.
#include <gtest/gtest.h>
#include <pcmplot/pcm_format.h>

#include <string>

namespace pcmplot {
namespace {

std::string Host(std::initializer_list<std::uint8_t> b) {
    std::uint8_t tag[8] = {};
    std::copy(b.begin(), b.end(), tag);
    char out[kTagTextBytes];
    FormatHostTag(tag, out);
    return out;
}

std::string Card(std::initializer_list<std::uint8_t> b) {
    std::uint8_t tag[8] = {};
    std::copy(b.begin(), b.end(), tag);
    char out[kTagTextBytes];
    FormatCardTag(tag, out);
    return out;
}

TEST(PcmTagText, HostTagGivesDaySecondAndMicroseconds) {
    EXPECT_EQ(Host({0x14, 0x0A, 0x0C, 0x0F, 0x6B, 0x0F, 0x5A, 0x40}), "5A-123:45296:789012");
    // The largest fields of the layout.
    EXPECT_EQ(Host({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x3F, 0x00, 0x40}), "00-511:131071:1048575");
}

TEST(PcmTagText, CardTagKeepsTheDayBitsOutOfTheHours) {
    EXPECT_EQ(Card({0x76, 0x98, 0x59, 0x34, 0xE3, 0x7B, 0xC3, 0x00}), "C3-23 :34 :59: 987.6");
    EXPECT_EQ(Card({0x76, 0x98, 0x59, 0x34, 0x23, 0x7B, 0xC3, 0x00}), "C3-23 :34 :59: 987.6");
    EXPECT_EQ(Card({0x05, 0x00}), "00-0 :00 :00: 000.5");
    EXPECT_EQ(Card({0x00, 0x00, 0x07, 0x08, 0x49, 0, 0x01}), "01-9 :08 :07: 000.0");
}

TEST(PcmTagText, NonBcdNibblesStayInTheirFieldsAndTheMillisecondsAreHeld) {
    // Every nibble 0xF: hours (3*10+15), 165 minutes and seconds, 0.1-ms held at 9999.
    const std::string s = Card({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(s, "FF-45 :165 :165: 999.9");
    EXPECT_LT(s.size(), kTagTextBytes);
}

TEST(PcmCodeText, DigitsFollowTheWordLength) {
    struct Case {
        std::uint32_t bits, value;
        const char* text;
    } cases[] = {{4, 0xA, "A"},
                 {8, 0xEB, "EB"},
                 {10, 0x3FF, "3FF"},
                 {12, 0x5, "005"},
                 {16, 0xEB90, "EB90"},
                 {24, 0xEB9000, "EB9000"},
                 {32, 0xDEADBEEF, "DEADBEEF"},
                 {1, 1, "1"},
                 {8, 0x1EB, "EB"}};
    for (const Case& c : cases) {
        char out[16];
        FormatCode(c.value, c.bits, out);
        EXPECT_STREQ(out, c.text) << c.bits;
        EXPECT_EQ(CodeDigits(c.bits), int(std::string(c.text).size())) << c.bits;
    }
}

TEST(PcmCodeText, WordsAreReadHighByteFirstAndCutToTheirBits) {
    const std::uint8_t b[4] = {0x03, 0xFF, 0x12, 0x34};
    EXPECT_EQ(ReadWord(b, 2, 10), 0x3FFu);
    EXPECT_EQ(ReadWord(b, 2, 9), 0x1FFu);
    EXPECT_EQ(ReadWord(b, 3, 24), 0x03FF12u);
    EXPECT_EQ(ReadWord(b, 4, 32), 0x03FF1234u);
    EXPECT_EQ(ReadWord(b + 1, 1, 8), 0xFFu);
}

}  // namespace
}  // namespace pcmplot

#include <bbdevice/bbdevice.h>
#include <gtest/gtest.h>
#include <platform/notify.h>

#include <cstring>
#include <string>

namespace {

TEST(Conversions, StrToUint64ReadsHexAndRejectsOtherCharacters) {
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    EXPECT_EQ(StrToUint64("EB90"), 60304u);
    EXPECT_EQ(StrToUint64("eb90"), 60304u);
    EXPECT_EQ(StrToUint64(""), 0u);
    EXPECT_EQ(StrToUint64("1ACFFC1DFACE0000F"),
              0xACFFC1DFACE0000Fu);  // the 17th digit shifts the first out
    EXPECT_TRUE(sink->Shown().empty());
    EXPECT_EQ(StrToUint64("EB9G"), 0u);
    EXPECT_EQ(StrToUint64("0x10"), 0u);
    plat::SetNotifySink(nullptr);
    const auto shown = sink->Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "StrToUint64()函数输入字符串“EB9G”中存在非十六进制字符");
}

TEST(Conversions, SyncCodeTextHasTheDigitsOfItsBitLength) {
    std::string text;
    EXPECT_STREQ(TransSynCodeToString(&text, 60304, 0, 16), "EB90");
    EXPECT_EQ(text, "EB90");
    EXPECT_STREQ(TransSynCodeToString(&text, 0x12345, 0, 12), "345");
    EXPECT_STREQ(TransSynCodeToString(&text, 0x1ACFFC1D, 0xFACE, 48), "FACE1ACFFC1D");
    EXPECT_STREQ(TransSynCodeToString(&text, 0x5, 0, 10), "005");
    EXPECT_STREQ(TransSynCodeToString(&text, 0xFFFFFFFF, 0, 32), "FFFFFFFF");
    EXPECT_STREQ(TransSynCodeToString(&text, 0x1, 0xFFFFFFFF, 33),
                 "1"
                 "00000001");
    EXPECT_STREQ(TransSynCodeToString(&text, 0x0, 0xABCDEF12, 64), "ABCDEF1200000000");
}

TEST(Conversions, PseudoCodeIsPackedLeastSignificantBitFirst) {
    std::uint8_t bits[2047];
    for (std::size_t i = 0; i < sizeof bits; ++i) bits[i] = (i % 3 == 0) ? 1 : (i % 3 == 1 ? 0 : 7);
    std::uint8_t out[4] = {0x00, 0x80, 0xEE, 0xEE};
    ASSERT_TRUE(BB_TransCdmaTempPseudocode(out, 0, bits));
    // Bits 0, 3, 6, 9, 12 set; bit 15 (the top of byte 1) untouched.
    EXPECT_EQ(out[0], 0b01001001);
    EXPECT_EQ(out[1], 0b10010010);
    EXPECT_EQ(out[2], 0xEE);
    std::uint8_t again[4] = {0x00, 0x00, 0xEE, 0xEE};
    ASSERT_TRUE(BB_TransCdmaTempPseudocode(again, 8, bits));  // index 8 is index 0
    EXPECT_EQ(again[0], out[0]);
    EXPECT_EQ(again[1], 0b00010010);
    EXPECT_EQ(again[2], 0xEE);

    std::uint8_t longOut[256];
    std::memset(longOut, 0xFF, sizeof longOut);
    ASSERT_TRUE(BB_TransCdmaTempPseudocode(longOut, 7, bits));  // 2047 chips
    // Byte 255 holds chips 2040..2046 (2040, 2043, 2046 set); its top bit is
    // beyond the sequence and stays.
    EXPECT_EQ(longOut[255], 0xC9);
}

}  // namespace

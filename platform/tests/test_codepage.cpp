#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace plat {
namespace {

TEST(Codepage, ChineseTextHasTheGbkBytesAndRoundTrips) {
    const std::string utf8 = "中文 abc";
    const std::string gbk = "\xD6\xD0\xCE\xC4 abc";
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
    EXPECT_EQ(Utf8ToGbk(""), "");
    EXPECT_EQ(GbkToUtf8(""), "");
}

TEST(Codepage, UnmappableCharacterKeepsTheRestOfTheText) {
    // An emoji has no GBK form; a lone 0xFF is not UTF-8.
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80"
                        "b中"),
              "a?b\xD6\xD0");
    EXPECT_EQ(Utf8ToGbk("a\xFF"
                        "b"),
              "a?b");
    EXPECT_EQ(Utf8ToGbk("ab\xE4\xB8"), "ab?");  // truncated at the end
}

TEST(Codepage, InvalidGbkKeepsTheRestOfTheText) {
    EXPECT_EQ(GbkToUtf8("a\xFF"
                        "b\xD6\xD0"),
              "a?b中");
    EXPECT_EQ(GbkToUtf8("ab\xD6"), "ab?");  // lead byte without trail
}

TEST(Codepage, LongTextGrowsTheBuffer) {
    std::string utf8;
    for (int i = 0; i < 5000; ++i) utf8 += "文x";
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(utf8)), utf8);
}

}  // namespace
}  // namespace plat

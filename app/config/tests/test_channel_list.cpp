#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/channel_list.h"

using cfg::FormatChannelList;
using cfg::ParseChannelList;
using V = std::vector<int>;

TEST(ChannelList, TakesTheNumberBeforeEachCommaAndIgnoresTheTail) {
    EXPECT_EQ(ParseChannelList("1,2,"), (V{1, 2}));
    EXPECT_EQ(ParseChannelList("1,2,3"), (V{1, 2}));
    EXPECT_EQ(ParseChannelList("17"), V{});
    EXPECT_EQ(ParseChannelList(""), V{});
    EXPECT_EQ(ParseChannelList(" 4 , 9,"), (V{4, 9}));
}

TEST(ChannelList, DropsJunkZeroNegativeAndHugeItemsKeepingTheRest) {
    EXPECT_EQ(ParseChannelList("5,x,7,,0,-3,3a,16777216,16777215,"), (V{5, 7, 16777215}));
    EXPECT_EQ(ParseChannelList("99999999999999999999999,8,"), V{8});
}

TEST(ChannelList, KeepsOrderAndDuplicatesAsStored) {
    EXPECT_EQ(ParseChannelList("9,3,3,"), (V{9, 3, 3}));
}

TEST(ChannelList, CapsTheNumberOfEntries) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "1,";
    EXPECT_EQ(ParseChannelList(text).size(), cfg::kMaxListEntries);
}

TEST(ChannelList, FormatsEachEntryWithATrailingCommaAndParsesBack) {
    const V v{1, 4, 11, 14, 21, 24};
    EXPECT_EQ(FormatChannelList(v), "1,4,11,14,21,24,");
    EXPECT_EQ(ParseChannelList(FormatChannelList(v)), v);
    EXPECT_EQ(FormatChannelList(V{}), "");
}

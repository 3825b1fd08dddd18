// The stream description file: a good file, its one-line-corrupted copies.
#include <gtest/gtest.h>

#include <string>

#include "stream_file.h"

using namespace prefs;

namespace {

// Lines 1..13 and one special group, with comments after the values.
std::string GoodFile() {
    return "8 time code bytes\r\n"
           "128\n"
           "2000000\n"
           "\n"
           "0.512 ms\n"
           "2\n"
           "EB90 sync\n"
           "32\n"
           "16.384\n"
           "1\n"
           "BC\n"
           "3\n"
           "5 9 12\n"
           "1\n"
           "64\n"
           "8.0\n"
           "2\n"
           "Aa55zz\n"
           "3\n"
           "20 0 21\n"
           "0\n";
}

int MalformedLine(const std::string& text) {
    auto r = ParseStreamDescription(text);
    if (auto* m = std::get_if<StreamMalformed>(&r)) return m->line;
    return 0;
}

std::string ReplaceLine(std::string text, int line, const std::string& with) {
    std::size_t start = 0;
    for (int i = 1; i < line; ++i) start = text.find('\n', start) + 1;
    std::size_t end = text.find('\n', start);
    return text.replace(start, end - start, with);
}

}  // namespace

TEST(StreamFile, GoodFileGivesEveryLine) {
    auto r = ParseStreamDescription(GoodFile());
    ASSERT_TRUE(std::holds_alternative<StreamDescription>(r));
    const auto& d = std::get<StreamDescription>(r);
    EXPECT_EQ(d.timeCodeWidth, 8);
    EXPECT_EQ(d.subframeLen, 128);
    EXPECT_EQ(d.bitRate, 2000000);
    EXPECT_DOUBLE_EQ(d.subframePeriod, 0.512);
    EXPECT_EQ(d.syncBytes, 2);
    EXPECT_EQ(d.syncCode, "EB90");
    EXPECT_EQ(d.superframeLen, 32);
    EXPECT_EQ(d.superSyncCode, "BC");
    EXPECT_EQ(d.superColumns[0], 5);
    EXPECT_EQ(d.superColumns[2], 12);
    EXPECT_EQ(d.superColumns[3], 0);
    ASSERT_EQ(d.specials.size(), 1u);
    const SpecialDescription& s = d.specials[0];
    EXPECT_EQ(s.length, 64);
    EXPECT_EQ(s.syncLen, 2);
    EXPECT_EQ(s.syncHex, "aa55");  // hex run folded to lower case
    EXPECT_EQ(s.wordPositions, (std::vector<std::int64_t>{20, 21}));
    EXPECT_EQ(s.orderFlag, 0);
}

TEST(StreamFile, EachBrokenLineIsReportedByItsNumber) {
    EXPECT_EQ(MalformedLine(GoodFile()), 0);
    EXPECT_EQ(MalformedLine(ReplaceLine(GoodFile(), 2, "abc")), 2);
    EXPECT_EQ(MalformedLine(ReplaceLine(GoodFile(), 3, "4294967296")), 3);  // beyond int
    EXPECT_EQ(MalformedLine(ReplaceLine(GoodFile(), 5, "x.5")), 5);
    EXPECT_EQ(MalformedLine(ReplaceLine(GoodFile(), 12, "33")), 12);   // N above 32
    EXPECT_EQ(MalformedLine(ReplaceLine(GoodFile(), 13, "5 9")), 13);  // N values
    EXPECT_EQ(MalformedLine(ReplaceLine(GoodFile(), 13, "5 x9 12")), 13);
    EXPECT_EQ(MalformedLine(ReplaceLine(GoodFile(), 20, "20 0")), 20);  // C values
    EXPECT_EQ(MalformedLine(ReplaceLine(GoodFile(), 21, "-1")), 21);
    // A missing line: the file ends inside the group.
    std::string cut = GoodFile();
    cut.resize(cut.rfind("0\n"));
    EXPECT_EQ(MalformedLine(cut), 21);
}

TEST(StreamFile, TokensReadByTheirOwnLeadingRun) {
    auto r = ParseStreamDescription(ReplaceLine(GoodFile(), 13, "5;a  9  12,13 comment"));
    ASSERT_TRUE(std::holds_alternative<StreamDescription>(r));
    const auto& d = std::get<StreamDescription>(r);
    EXPECT_EQ(d.superColumns[0], 5);
    EXPECT_EQ(d.superColumns[1], 9);
    EXPECT_EQ(d.superColumns[2], 12);
}

TEST(StreamFile, LongLineIsCutNeverSplit) {
    // The tail beyond 2000 characters would be a line of its own if split.
    std::string line = "128" + std::string(1997, ' ') + "999";
    auto r = ParseStreamDescription(ReplaceLine(GoodFile(), 2, line));
    ASSERT_TRUE(std::holds_alternative<StreamDescription>(r));
    EXPECT_EQ(std::get<StreamDescription>(r).subframeLen, 128);
    EXPECT_EQ(std::get<StreamDescription>(r).bitRate, 2000000);
}

TEST(StreamFile, EmptyInput) {
    EXPECT_EQ(MalformedLine(""), 1);
    EXPECT_EQ(MalformedLine("\n\n"), 1);
}

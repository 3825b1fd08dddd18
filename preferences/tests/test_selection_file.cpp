// Selection files: records built byte by byte, matched to parameter lists.
#include <gtest/gtest.h>

#include <cstring>

#include "selection_file.h"

using namespace prefs;

namespace {

std::vector<std::uint8_t> File(std::uint32_t count,
                               std::vector<std::pair<std::string, std::uint8_t>> records) {
    std::vector<std::uint8_t> f(16, 0);
    f[0] = std::uint8_t(count);
    f[1] = std::uint8_t(count >> 8);
    f[2] = std::uint8_t(count >> 16);
    f[3] = std::uint8_t(count >> 24);
    for (auto& [name, flags] : records) {
        std::uint8_t rec[16] = {};
        std::memcpy(rec, name.data(), std::min<std::size_t>(name.size(), 15));
        rec[15] = flags;
        f.insert(f.end(), rec, rec + 16);
    }
    return f;
}

std::vector<ParamRecord> Params(std::vector<std::string> names) {
    std::vector<ParamRecord> out;
    for (auto& n : names) {
        ParamRecord r;
        r.name = n;
        out.push_back(r);
    }
    return out;
}

}  // namespace

TEST(SelectionFile, TableOnlyIsWrittenAs0x82) {
    auto params = Params({"A", "B", "温度"});
    params[0].nSelTable = params[0].nSelected = 1;
    params[2].nSelStripe = params[2].nSelCurve = params[2].nSelReply = params[2].nSelected = 1;
    auto f = FormatSelectionFile(params);
    ASSERT_EQ(f.size(), 64u);
    EXPECT_EQ(f[0], 3);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(f[i], 0);
    EXPECT_EQ(f[16], 'A');
    EXPECT_EQ(f[31], 0x82);
    EXPECT_EQ(f[47], 0x00);
    // The name in GBK: 温 = CE C2, 度 = B6 C8.
    EXPECT_EQ((std::vector<std::uint8_t>(f.begin() + 48, f.begin() + 52)),
              (std::vector<std::uint8_t>{0xCE, 0xC2, 0xB6, 0xC8}));
    EXPECT_EQ(f[63], 0x80 | 0x04 | 0x01 | 0x08);
}

TEST(SelectionFile, RecordWithout0x80SelectsNothing) {
    auto params = Params({"A", "B"});
    ApplySelection(ParseSelectionFile(File(2, {{"A", 0x04}, {"B", 0x84}})), params);
    EXPECT_EQ(params[0].nSelected, 0);
    EXPECT_EQ(params[0].nSelStripe, 0);
    EXPECT_EQ(params[1].nSelected, 1);
    EXPECT_EQ(params[1].nSelStripe, 1);
    EXPECT_EQ(params[1].nSelTable, 0);
}

TEST(SelectionFile, ShortFileGivesTheRecordsPresentAndCountsAreCapped) {
    auto f = File(10, {{"A", 0x81}, {"B", 0x82}});
    f.resize(f.size() - 3);  // the second record is cut
    auto records = ParseSelectionFile(f);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "A");
    EXPECT_EQ(records[0].flags, 0x81);

    std::vector<std::pair<std::string, std::uint8_t>> many(5000, {"X", 0x82});
    EXPECT_EQ(ParseSelectionFile(File(0xFFFFFFFF, many)).size(), 4095u);
    EXPECT_TRUE(ParseSelectionFile(File(0, {})).empty());
    EXPECT_TRUE(ParseSelectionFile({}).empty());
}

TEST(SelectionFile, LongNamesMatchByTheirFirstFifteenBytes) {
    // 20-character names that share their first 15 bytes keep their order.
    auto params =
        Params({"ABCDEFGHIJKLMNOPQRST", "Other", "ABCDEFGHIJKLMNOxxxxx", "ABCDEFGHIJKLMNO"});
    auto records = ParseSelectionFile(
        File(3, {{"ABCDEFGHIJKLMNO", 0x82}, {"Other", 0x81}, {"ABCDEFGHIJKLMNO", 0x84}}));
    ApplySelection(records, params);
    EXPECT_EQ(params[0].nSelTable, 1);
    EXPECT_EQ(params[1].nSelCurve, 1);
    EXPECT_EQ(params[2].nSelStripe, 1);
    EXPECT_EQ(params[2].nSelTable, 0);
    EXPECT_EQ(params[3].nSelected, 0);  // no third record of that field
}

TEST(SelectionFile, WrittenListReadsBackOntoTheSameList) {
    auto params = Params({"温度传感器一号通道的测量值", "B", "B"});
    params[0].nSelCurve = params[0].nSelected = 1;
    params[2].nSelTable = params[2].nSelected = 1;
    const auto bytes = FormatSelectionFile(params);
    auto fresh = Params({"温度传感器一号通道的测量值", "B", "B"});
    ApplySelection(ParseSelectionFile(bytes), fresh);
    EXPECT_EQ(fresh[0].nSelCurve, 1);
    EXPECT_EQ(fresh[1].nSelected, 0);
    EXPECT_EQ(fresh[2].nSelTable, 1);
}

// Rows to parameter records, limits, positions and the frame layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "param_model.h"

using namespace prefs;

namespace {

FrameStructure Frame(int wordBits, int T, int L, int superLen, std::int64_t rate = 4000000) {
    FrameStructure f;
    f.wordBitsDb = wordBits;
    f.timeCodeWidth = T;
    f.subframeLen = L;
    f.superframeLen = superLen;
    f.bitRate = rate;
    return f;
}

ParamRow Row(std::vector<std::int64_t> routes, bool isSigned = false) {
    ParamRow r;
    r.name = "P";
    r.dataType = isSigned ? "有符号数" : "无符号数";
    r.processType = "公式法";
    r.wordCount = std::int64_t(routes.size());
    for (std::size_t i = 0; i < routes.size(); ++i) r.routes[i] = routes[i];
    return r;
}

}  // namespace

TEST(NormalizeLimits, EmptyLimitsTakeFullScaleOfTheRawWidth) {
    double c[6] = {kEmptyMarker, kEmptyMarker, 3, kEmptyMarker, kEmptyMarker, kEmptyMarker};
    double max = kEmptyMarker, min = kEmptyMarker, up = kEmptyMarker, lo = kEmptyMarker;
    NormalizeLimits(c, max, min, up, lo, true, 2);
    EXPECT_EQ(max, 32767);
    EXPECT_EQ(min, -32767);
    EXPECT_EQ(up, 32767);
    EXPECT_EQ(lo, -32767);
    EXPECT_EQ(c[0], 0.0);
    EXPECT_EQ(c[1], 1.0);
    EXPECT_EQ(c[2], 3.0);
    EXPECT_EQ(c[5], 1.0);

    max = min = up = lo = kEmptyMarker;
    NormalizeLimits(c, max, min, up, lo, false, 2);
    EXPECT_EQ(max, 65535);
    EXPECT_EQ(min, 0);

    // Eight bytes overflow an integer shift; 16 bytes (16-bit words) as well.
    max = min = up = lo = kEmptyMarker;
    NormalizeLimits(c, max, min, up, lo, false, 8);
    EXPECT_EQ(max, 1.8446744073709552e19);
    max = min = up = lo = kEmptyMarker;
    NormalizeLimits(c, max, min, up, lo, true, 16);
    EXPECT_EQ(max, std::ldexp(1.0, 127));
    EXPECT_TRUE(std::isfinite(min));
}

TEST(NormalizeLimits, LimitsAreKeptInsideTheRange) {
    double c[6] = {0, 1, 1, 1, 1, 1};
    double max = 10, min = -10, up = 12, lo = -11;
    NormalizeLimits(c, max, min, up, lo, false, 1);
    EXPECT_EQ(up, 10);
    EXPECT_EQ(lo, -10);
    // Only the empty one is filled; the given ones stay.
    max = 5, min = kEmptyMarker, up = 4, lo = kEmptyMarker;
    NormalizeLimits(c, max, min, up, lo, false, 1);
    EXPECT_EQ(max, 5);
    EXPECT_EQ(min, 0);
    EXPECT_EQ(up, 4);
    EXPECT_EQ(lo, 0);
}

TEST(ConvertRow, TextsLoseBlanksAndFlagsCompareExactly) {
    ParamRow row = Row({1});
    row.name = "A B";
    row.meaning = " 温 度 ";
    row.dataType = "有符号数 ";
    row.processType = "公式法";
    ParamRecord r = ConvertRow(row, Level::Subframe, Frame(8, 0, 16, 1));
    EXPECT_EQ(r.name, "AB");
    EXPECT_EQ(r.meaning, "温度");
    EXPECT_EQ(r.bSigned, 0);
    EXPECT_EQ(r.bFormula, 1);
    row.processType = "开关量";
    EXPECT_EQ(ConvertRow(row, Level::Subframe, Frame(8, 0, 16, 1)).bFormula, 0);
}

TEST(ConvertRow, BitIndexOutsideTheRawValueBecomesZero) {
    ParamRow row = Row({1});
    row.bit = 7;
    EXPECT_EQ(ConvertRow(row, Level::Subframe, Frame(8, 0, 16, 1)).nBit, 7);
    row.bit = 8;
    EXPECT_EQ(ConvertRow(row, Level::Subframe, Frame(8, 0, 16, 1)).nBit, 0);
    row.bit = -1;
    EXPECT_EQ(ConvertRow(row, Level::Subframe, Frame(8, 0, 16, 1)).nBit, 0);
}

TEST(ConvertRow, BytePositionsOfEachLevelAndWordSize) {
    // Subframe, 8-bit words after an 8-byte tag.
    ParamRecord r = ConvertRow(Row({3, 4, 5}), Level::Subframe, Frame(8, 8, 24, 4));
    EXPECT_EQ(r.nBytes, 3);
    EXPECT_EQ(std::vector<int>(r.nBytePos, r.nBytePos + 3), (std::vector<int>{10, 11, 12}));
    // Subframe, 16-bit words: two bytes per word, high first.
    r = ConvertRow(Row({2, 5}), Level::Subframe, Frame(16, 4, 24, 4));
    EXPECT_EQ(r.nBytes, 4);
    EXPECT_EQ(std::vector<int>(r.nBytePos, r.nBytePos + 4), (std::vector<int>{6, 7, 12, 13}));
    // Superframe 1 carried in word 8; word of subframe 2.
    FrameStructure f = Frame(8, 8, 24, 4);
    f.superColumns[0] = 8;
    ParamRow row = Row({2});
    row.frameNo = 1;
    r = ConvertRow(row, Level::Superframe, f);
    EXPECT_EQ(r.nBytePos[0], 47);
    // The same with 16-bit words: stride T + 2L.
    f.wordBitsDb = 16;
    r = ConvertRow(row, Level::Superframe, f);
    EXPECT_EQ(r.nBytePos[0], (2 - 1) * (8 + 48) + 2 * 8 - 2 + 8);
    EXPECT_EQ(r.nBytePos[1], r.nBytePos[0] + 1);
    // Special: positions inside the reassembled frame.
    row = Row({3, 4});
    row.frameNo = 1;
    r = ConvertRow(row, Level::Special, Frame(8, 8, 24, 4));
    EXPECT_EQ(r.nBytePos[0], 2);
    EXPECT_EQ(r.nBytePos[1], 3);
    EXPECT_EQ(r.nFrameNo, 1);
}

TEST(ConvertRow, ThreeSixteenBitWordsUseOnlyTheirOwnPositions) {
    ParamRow row = Row({1, 2, 3});
    row.routes[4] = 9;  // beyond the counted words: ignored
    ParamRecord r = ConvertRow(row, Level::Subframe, Frame(16, 0, 8, 1));
    EXPECT_EQ(r.nBytes, 6);
    EXPECT_EQ(std::vector<int>(r.nBytePos, r.nBytePos + 6), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    std::vector<ParamRecord> list{r};
    FrameStructure f = Frame(16, 0, 8, 1);
    CheckPositions(list, Level::Subframe, f, BuildLayout(f, {}));
    EXPECT_TRUE(list[0].solvable);
}

TEST(ConvertRow, EmptyIntegerColumnsReadAsZero) {
    ParamRow row;  // every column empty
    ParamRecord r = ConvertRow(row, Level::Subframe, Frame(8, 0, 8, 1));
    EXPECT_EQ(r.nBytes, 0);
    EXPECT_EQ(r.nBit, 0);
    EXPECT_EQ(r.routes[0], 0);
    EXPECT_EQ(r.dCoef[0], 0.0);
    EXPECT_EQ(r.dCoef[1], 1.0);
}

TEST(ToParStructEx, LongTextsAreCutAtACharacterBoundary) {
    ParamRecord r;
    r.name.clear();
    for (int i = 0; i < 300; ++i) r.name += "中";  // 3 bytes each
    r.name = CutChars(r.name, kMaxTextChars);
    EXPECT_EQ(r.name.size(), 255u * 3);
    ParStructEx out;
    std::memset(&out, 0x55, sizeof out);
    ToParStructEx(r, out);
    const std::size_t len = strnlen(out.strName, sizeof out.strName);
    ASSERT_LT(len, sizeof out.strName);
    EXPECT_EQ(len, 198u);  // 66 whole characters fit in 199 bytes
    EXPECT_EQ(std::string(out.strName), r.name.substr(0, 198));
    EXPECT_EQ(out.strMeaning[0], '\0');
    EXPECT_EQ(out.reserved604, 0);
}

TEST(CheckPositions, PositionsOutsideTheirFrameAreNotSolvable) {
    FrameStructure f = Frame(8, 8, 24, 4);
    f.superColumns[0] = 8;
    f.superColumns[1] = 25;  // beyond the subframe
    const FrameLayout layout = BuildLayout(f, {});
    auto solvable = [&](ParamRow row, Level level) {
        std::vector<ParamRecord> list{ConvertRow(row, level, f)};
        CheckPositions(list, level, f, layout);
        return list[0].solvable;
    };
    EXPECT_TRUE(solvable(Row({24}), Level::Subframe));
    EXPECT_FALSE(solvable(Row({25}), Level::Subframe));
    EXPECT_FALSE(solvable(Row({0}), Level::Subframe));
    EXPECT_FALSE(solvable(Row({1, -3}), Level::Subframe));
    EXPECT_FALSE(solvable(Row({}), Level::Subframe));  // no bytes
    ParamRow super = Row({4});
    super.frameNo = 1;
    EXPECT_TRUE(solvable(super, Level::Superframe));
    super.routes[0] = 5;  // only 4 subframes
    EXPECT_FALSE(solvable(super, Level::Superframe));
    super.routes[0] = 1;
    super.frameNo = 33;
    EXPECT_FALSE(solvable(super, Level::Superframe));
    super.frameNo = 0;
    EXPECT_FALSE(solvable(super, Level::Superframe));
    super.frameNo = 2;  // its column lies outside the subframe
    EXPECT_FALSE(solvable(super, Level::Superframe));
    super.frameNo = 3;  // column 0
    EXPECT_FALSE(solvable(super, Level::Superframe));
    ParamRow nine = Row({1, 2, 3, 4, 5, 6, 7, 8});
    nine.wordCount = 9;
    EXPECT_FALSE(solvable(nine, Level::Subframe));
}

TEST(CheckPositions, SpecialParametersStayInsideTheirFrame) {
    FrameStructure f = Frame(8, 8, 24, 4);
    SpecialDescription s;
    s.length = 16;
    s.syncLen = 1;
    s.syncHex = "55";
    s.wordPositions = {8};
    const FrameLayout layout = BuildLayout(f, {s});
    ASSERT_TRUE(layout.specials[0].solvable);
    auto solvable = [&](std::vector<std::int64_t> routes, std::int64_t frameNo) {
        ParamRow row = Row(routes);
        row.frameNo = frameNo;
        std::vector<ParamRecord> list{ConvertRow(row, Level::Special, f)};
        CheckPositions(list, Level::Special, f, layout);
        return list[0].solvable;
    };
    EXPECT_TRUE(solvable({16}, 1));
    EXPECT_FALSE(solvable({17}, 1));
    EXPECT_FALSE(solvable({2}, 2));  // no second special frame
    EXPECT_FALSE(solvable({2}, 0));
}

TEST(BuildLayout, SizesAndSpecialFrames) {
    FrameStructure f = Frame(16, 4, 10, 3);
    SpecialDescription s;
    s.length = 8;
    s.syncLen = 2;
    s.syncHex = "eB 90";
    s.wordPositions = {2, 10};
    FrameLayout l = BuildLayout(f, {s});
    ASSERT_TRUE(l.solvable);
    EXPECT_EQ(l.wordBytes, 2);
    EXPECT_EQ(l.subframeRecordBytes, 24);
    EXPECT_EQ(l.superframeBytes, 72);
    const SpecialFrameRecord& r = l.specials[0];
    EXPECT_TRUE(r.solvable);
    EXPECT_EQ(r.sync, (std::vector<std::uint8_t>{0xEB, 0x90}));
    EXPECT_EQ(r.bytePositions, (std::vector<std::int32_t>{6, 7, 22, 23}));
    EXPECT_EQ(r.bytesPerSubframe, 4);
}

TEST(BuildLayout, SpecialFramesThatCouldNeverCompleteAreNotSolvable) {
    FrameStructure f = Frame(8, 0, 10, 2);
    auto solvable = [&](std::int64_t length, std::int64_t k, std::string sync,
                        std::vector<std::int64_t> words) {
        SpecialDescription s;
        s.length = length;
        s.syncLen = k;
        s.syncHex = sync;
        s.wordPositions = words;
        return BuildLayout(f, {s}).specials[0].solvable;
    };
    EXPECT_TRUE(solvable(4, 1, "55", {3}));
    EXPECT_FALSE(solvable(1, 1, "55", {3}));  // K = length
    EXPECT_FALSE(solvable(2, 3, "555555", {3}));
    EXPECT_FALSE(solvable(1048577, 1, "55", {3}));
    EXPECT_TRUE(solvable(1048576, 1, "55", {3}));
    EXPECT_FALSE(solvable(4, 1, "55", {11}));  // outside the subframe
    EXPECT_FALSE(solvable(4, 1, "55", {0}));
    EXPECT_FALSE(solvable(4, 2, "55", {3}));  // sync text too short
    EXPECT_FALSE(solvable(4, 1, "55", {}));
}

TEST(HandOffSize, WholeSuperframesOfAboutTwentyFiveMilliseconds) {
    FrameStructure f = Frame(8, 0, 128, 32, 2000000);
    EXPECT_EQ(HandOffSize(f, BuildLayout(f, {})), 4096);
    f = Frame(8, 8, 24, 4, 4000000);
    EXPECT_EQ(HandOffSize(f, BuildLayout(f, {})), 16640);
    f = Frame(16, 8, 1 << 20, 1 << 10, 4000000);
    EXPECT_EQ(HandOffSize(f, BuildLayout(f, {})), 2048000);
    f = Frame(8, 0, 100, 2, 1LL << 40);
    EXPECT_EQ(HandOffSize(f, BuildLayout(f, {})), 2048000);
}

TEST(HandOffSize, EmptySizesMarkTheLayoutNotSolvable) {
    for (FrameStructure f :
         {Frame(0, 8, 24, 4), Frame(8, 8, 0, 4), Frame(8, 8, 24, 0), Frame(24, 8, 24, 4)}) {
        const FrameLayout l = BuildLayout(f, {});
        EXPECT_FALSE(l.solvable);
        EXPECT_EQ(HandOffSize(f, l), 2048000);
    }
}

// The histogram's data side: channel settings, refused shapes, byte order,
// bar heights, labels and whole-frame positions.
#include <gtest/gtest.h>
#include <histview/hist_data.h>
#include <platform/profile.h>

#include <vector>

#include "testsupport/temp_home.h"

namespace histview {
namespace {

_FRAME_STRUCT_PARAM Shape(int words, int subframes, int wordBits) {
    _FRAME_STRUCT_PARAM f{};
    f.nWordsPerSubframe = std::uint16_t(words);
    f.nSubframes = std::uint16_t(subframes);
    f.nFrameWords = std::int32_t(std::uint32_t(words) * std::uint32_t(subframes));
    f.nWordBits = std::uint8_t(wordBits);
    f.nWordBytes = std::uint8_t((wordBits + 7) / 8);
    f.nTimeBytes = 8;
    f.nBitRate = 4000000;
    return f;
}

TEST(HistogramSettings, ChannelKeysTwoDigitsDefaultsAndBadValues) {
    talvora::test::TempHome home;
    const std::string file = HistogramSettingsPath();
    EXPECT_EQ(file, home.path() + "/HistogramChannel.ini");
    HistogramSettings s = LoadHistogramSettings(file);
    for (int k = 0; k < kChannels; ++k) EXPECT_EQ(s.channel[k], k + 1);
    s.channel[0] = 40;
    s.channel[23] = 7;
    ASSERT_TRUE(SaveHistogramSettings(file, s));
    EXPECT_EQ(plat::GetPrivateProfileString("HISTOGRAM_CHANNEL", "CHANNEL01", "", 64, file), "40");
    EXPECT_EQ(plat::GetPrivateProfileString("HISTOGRAM_CHANNEL", "CHANNEL24", "", 64, file), "7");
    ASSERT_TRUE(plat::WritePrivateProfileString("HISTOGRAM_CHANNEL", "CHANNEL02", "x9", file));
    s = LoadHistogramSettings(file);
    EXPECT_EQ(s.channel[0], 40);
    EXPECT_EQ(s.channel[1], 2);
    EXPECT_EQ(s.channel[23], 7);
}

TEST(HistData, ByteOrderBarRatioAndLabels) {
    const std::uint8_t w[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(AssembleWord(w, 2, 0), 0x3412u);
    EXPECT_EQ(AssembleWord(w, 2, 1), 0x1234u);
    EXPECT_EQ(AssembleWord(w, 4, 0), 0x78563412u);
    EXPECT_EQ(AssembleWord(w, 3, 5), 0x123456u);
    EXPECT_DOUBLE_EQ(BarRatio(235, 8), 235.0 / 255.0);
    EXPECT_DOUBLE_EQ(BarRatio(0xFFFFFFFF, 32), 1.0);
    EXPECT_DOUBLE_EQ(BarRatio(0x1FF, 8), 1.0);  // more bits than the word has
    EXPECT_LT(BarRatio(5, 0), 0.0);
    EXPECT_LT(BarRatio(5, 33), 0.0);
    EXPECT_EQ(HexLabel(0xEB, 1), "EB");
    EXPECT_EQ(HexLabel(0x1234, 2), "1234");
    EXPECT_EQ(HexLabel(0x12, 3), "000012");
    EXPECT_EQ(PercentLabel(0.5), "50.00%");
    EXPECT_EQ(PercentLabel(0.0), "0.00%");
    EXPECT_EQ(NumberLabel(0.92156), "0.922");
}

TEST(HistStore, RefusesZeroSizesAndHugeFramesAndCopiesNothing) {
    HistStore store;
    std::vector<std::uint8_t> data(4 * 32, 0x55);
    _FRAME_STRUCT_PARAM f = Shape(24, 4, 8);
    _FRAME_STRUCT_PARAM g = f;
    g.nWordBytes = 0;
    EXPECT_EQ(store.SetData(&g, data.data()), 0);
    g = f;
    g.nWordsPerSubframe = 0;
    EXPECT_EQ(store.SetData(&g, data.data()), 0);
    g = f;
    g.nSubframes = 0;
    EXPECT_EQ(store.SetData(&g, data.data()), 0);
    g = Shape(65535, 65535, 32);
    EXPECT_EQ(store.SetData(&g, data.data()), 0);
    EXPECT_EQ(store.SetData(nullptr, data.data()), 0);
    EXPECT_EQ(store.SetData(&f, nullptr), 0);
    HistSnapshot s;
    store.Read(HistogramSettings{}, s);
    EXPECT_FALSE(s.hasData);
    EXPECT_EQ(store.Version(), 0u);
    EXPECT_EQ(store.SetData(&f, data.data()), 1);
    EXPECT_EQ(store.Version(), 1u);
}

TEST(HistStore, BarsPerRowAndChannelInBothModes) {
    HistStore store;
    _FRAME_STRUCT_PARAM f = Shape(4, 3, 16);
    f.nByteOrder = 1;
    // Word w of row r = 0x0100 * r + w, high byte first.
    std::vector<std::uint8_t> data;
    for (int r = 0; r < 3; ++r) {
        for (int t = 0; t < 8; ++t) data.push_back(std::uint8_t(0x70 + t));
        for (int w = 0; w < 4; ++w) {
            data.push_back(std::uint8_t(r));
            data.push_back(std::uint8_t(w));
        }
    }
    ASSERT_EQ(store.SetData(&f, data.data()), 1);
    HistogramSettings s;
    s.channel[0] = 2;
    s.channel[1] = 5;  // beyond a subframe
    s.channel[2] = 0;
    HistSnapshot snap;
    store.Read(s, snap);
    ASSERT_EQ(snap.rows, 3);
    EXPECT_EQ(snap.bars[0 * kChannels + 0].value, 0x0001u);
    EXPECT_EQ(snap.bars[2 * kChannels + 0].value, 0x0201u);
    EXPECT_FALSE(snap.bars[0 * kChannels + 1].valid);
    EXPECT_FALSE(snap.bars[0 * kChannels + 2].valid);
    EXPECT_EQ(snap.frameCode, "帧码: 70 71 72 73 74 75 76 77 00 00 00 01 00 02 00 03");

    f.nShowWholeFrame = 1;
    ASSERT_EQ(store.SetData(&f, data.data()), 1);
    s.channel[3] = 12;
    s.channel[4] = 13;
    store.Read(s, snap);
    ASSERT_EQ(snap.rows, 1);
    EXPECT_EQ(snap.bars[1].value, 0x0100u);  // position 5: row 1, word 0
    EXPECT_EQ(snap.bars[3].value, 0x0203u);
    EXPECT_FALSE(snap.bars[4].valid);
}

}  // namespace
}  // namespace histview

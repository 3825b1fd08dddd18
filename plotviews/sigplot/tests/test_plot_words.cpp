// The plot-word decoder against card words as the engine writes them and
// against counts and edges no card should send.
#include <bbdevice/bbdevice.h>
#include <bbdevice/card_plot_words.h>
#include <gtest/gtest.h>
#include <sigplot/plot_words.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace sigplot {
namespace {

namespace plot = bbdev::plot;

void PutF64(std::uint32_t* w, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    w[0] = static_cast<std::uint32_t>(bits);
    w[1] = static_cast<std::uint32_t>(bits >> 32);
}

std::vector<std::uint32_t> SpectrumBlock(std::uint32_t bins) {
    std::vector<std::uint32_t> w(BB_SPECTRUM_PLOT_WORDS, 0);
    w[plot::kAttrBlockCounter] = 17;
    w[plot::kAttrBinCount] = bins;
    w[plot::kAttrBinSpacingHz] = 156250;
    w[plot::kAttrCentreKHz] = 2300500;
    w[plot::kAttrMode] = 3;
    w[plot::kAttrBitRate] = 1000000;
    w[plot::kAttrStatusSlot] = 10;
    for (std::size_t b = 0; b < plot::kSpectrumWords; ++b)
        w[plot::kAttributeWords + b] = plot::LevelWord(-80.0 + 0.25 * static_cast<double>(b));
    return w;
}

TEST(PlotWords, SpectrumBlockGivesItsAttributesAndSignedLevels) {
    const auto w = SpectrumBlock(256);
    SpectrumFrame f;
    ASSERT_TRUE(DecodeSpectrum(w.data(), f));
    EXPECT_EQ(f.counter, 17u);
    EXPECT_EQ(f.bins, 256u);
    EXPECT_DOUBLE_EQ(f.centreHz, 2300.5e6);
    EXPECT_DOUBLE_EQ(f.SpanHz(), 40e6);
    EXPECT_EQ(f.mode, 3u);
    EXPECT_EQ(f.statusWord, 10u);
    EXPECT_FLOAT_EQ(f.dBm[0], -80.f);
    EXPECT_FLOAT_EQ(f.dBm[255], -80.f + 0.25f * 255);
    EXPECT_TRUE(f.valid[255]);
}

TEST(PlotWords, CountsBeyondTheBlockAreBoundedAndNullInputRefused) {
    SpectrumFrame f;
    auto w = SpectrumBlock(0xFFFFFFFFu);
    ASSERT_TRUE(DecodeSpectrum(w.data(), f));
    EXPECT_EQ(f.bins, kMaxBins);
    w = SpectrumBlock(265);
    ASSERT_TRUE(DecodeSpectrum(w.data(), f));
    EXPECT_EQ(f.bins, 264u);
    EXPECT_FALSE(DecodeSpectrum(nullptr, f));
    EXPECT_EQ(f.bins, 0u);

    std::vector<std::uint32_t> v(BB_VECTOR_PLOT_WORDS, 0);
    v[plot::kVecBlockCounter] = 5;
    v[plot::kVecPointCount] = 100000;
    v[plot::kVecMode] = 2;
    v[plot::kVectorHeaderWords] = plot::PackIq(-200, 150);
    v.back() = plot::PackIq(7, -7);
    auto vf = std::make_unique<VectorFrame>();
    ASSERT_TRUE(DecodeVector(v.data(), *vf));
    EXPECT_EQ(vf->points, kMaxPoints);
    EXPECT_EQ(vf->i[0], -200);
    EXPECT_EQ(vf->q[0], 150);
    EXPECT_EQ(vf->i[kMaxPoints - 1], 7);
    EXPECT_EQ(vf->q[kMaxPoints - 1], -7);
    EXPECT_FALSE(DecodeVector(nullptr, *vf));
    EXPECT_EQ(vf->points, 0u);
}

TEST(PlotWords, InnateEdgesThatAreNotANumberOrReversedAreNotUsed) {
    std::uint32_t w[BB_SPECTRUM_INNATE_WORDS] = {};
    PutF64(w, 2280.5e6);
    PutF64(w + 2, 2320.5e6);
    InnateAttrib a = DecodeInnate(w);
    EXPECT_TRUE(a.valid);
    EXPECT_DOUBLE_EQ(a.upperHz - a.lowerHz, 40e6);
    PutF64(w + 2, std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(DecodeInnate(w).valid);
    PutF64(w, std::numeric_limits<double>::infinity());
    EXPECT_FALSE(DecodeInnate(w).valid);
    PutF64(w, 2320.5e6);
    PutF64(w + 2, 2280.5e6);
    EXPECT_FALSE(DecodeInnate(w).valid);
    EXPECT_FALSE(DecodeInnate(nullptr).valid);
}

TEST(PlotWords, AmassKeepsMaxAverageMinPerBinUntilReset) {
    SpectrumAmass m;
    EXPECT_FALSE(m.Has(0));
    SpectrumFrame a, b;
    a.bins = b.bins = 2;
    a.dBm = {-10.f, -50.f};
    b.dBm = {-30.f, -40.f};
    a.valid = {true, true};
    b.valid = {true, false};  // a skipped level does not count
    m.Add(a);
    m.Add(b);
    EXPECT_EQ(m.Count(), 2u);
    EXPECT_FLOAT_EQ(m.Max(0), -10.f);
    EXPECT_FLOAT_EQ(m.Min(0), -30.f);
    EXPECT_FLOAT_EQ(m.Average(0), -20.f);
    EXPECT_FLOAT_EQ(m.Average(1), -50.f);
    EXPECT_FLOAT_EQ(m.Min(1), -50.f);
    EXPECT_FALSE(m.Has(2));
    EXPECT_FALSE(m.Has(100000));
    m.Reset();
    EXPECT_EQ(m.Count(), 0u);
    EXPECT_FALSE(m.Has(0));
    m.Add(b);
    EXPECT_FLOAT_EQ(m.Max(0), -30.f);
}

TEST(PlotWords, ModulationNamesOfTheModeCodes) {
    EXPECT_STREQ(ModulationName(2), "BPSK");
    EXPECT_STREQ(ModulationName(3), "QPSK");
    EXPECT_STREQ(ModulationName(0), "DPSKFM");
    EXPECT_STREQ(ModulationName(9), "CDMA-QPSK");
    EXPECT_STREQ(ModulationName(10), "");
    EXPECT_STREQ(ModulationName(0xFFFFFFFFu), "");
}

}  // namespace
}  // namespace sigplot

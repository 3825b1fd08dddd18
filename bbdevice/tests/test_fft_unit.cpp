// A spectrum unit's message handling on a card that is not connected: block
// sizes, the I/Q samples through the FFT worker, and the signal-to-noise
// values it writes into the demodulator status.
#include <bbdevice/card_plot_words.h>
#include <gtest/gtest.h>
#include <testsupport/wait.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "card_device.h"
#include "unit_demodulator.h"
#include "unit_fft.h"

namespace {

using namespace bbdev;
using namespace std::chrono_literals;
using talvora::test::WaitUntil;

std::vector<std::uint8_t> LeWords(const std::vector<std::uint32_t>& words, std::size_t extra = 0) {
    std::vector<std::uint8_t> out(words.size() * 4 + extra, 0xEE);
    for (std::size_t i = 0; i < words.size(); ++i)
        for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<std::uint8_t>(words[i] >> (8 * b));
    return out;
}

std::uint32_t Pack(double i, double q) {
    const auto si = static_cast<std::int16_t>(std::lround(i));
    const auto sq = static_cast<std::int16_t>(std::lround(q));
    return (std::uint32_t{static_cast<std::uint16_t>(si)} << 16) | static_cast<std::uint16_t>(sq);
}

// A tone `bins` above the centre plus white noise of the given amplitude.
std::vector<std::uint32_t> Block(int bins, double tone, double noise, unsigned seed = 1) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> g(0.0, noise > 0 ? noise : 1.0);
    std::vector<std::uint32_t> words(1024);
    for (std::size_t n = 0; n < words.size(); ++n) {
        const double a = 2.0 * std::numbers::pi * bins * static_cast<double>(n) / 1024.0;
        const double ni = noise > 0 ? g(gen) : 0.0, nq = noise > 0 ? g(gen) : 0.0;
        words[n] = Pack(tone * std::cos(a) + ni, tone * std::sin(a) + nq);
    }
    return words;
}

void Feed(CSpectrumUnit& unit, const std::vector<std::uint8_t>& bytes) {
    unit.OnEngineMessage(plot::kOpIqSamples, {bytes.data(), bytes.size()});
}

bool Transformed(const CSpectrumUnit& unit, std::uint64_t count) {
    return WaitUntil([&] { return unit.transforms() >= count; }, 10s);
}

// The card's own status: half h word 6-7 = value in dB.
void CardStatus(CCardDevice& card, double half0Db, double half1Db) {
    std::uint8_t status[272] = {};
    for (int h = 0; h < 2; ++h) {
        const double v = h == 0 ? half0Db : half1Db;
        std::memcpy(status + 4 * (34 * h + 6), &v, 8);  // little-endian host
    }
    card.demodulator().OnEngineMessage(8, {status, sizeof status});
}

double ReportedDb(CCardDevice& card, unsigned half) {
    DemStatus s{};
    EXPECT_TRUE(card.demodulator().GetDemStatus(half, &s));
    return s.信噪比;
}

TEST(SpectrumUnit, BlocksOfTheWrongSizeKeepThePreviousDataAndAreCounted) {
    CCardDevice card(0);
    CSpectrumUnit& unit = card.spectrum(0);
    std::vector<std::uint32_t> words(336);
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = 0xA0000000u + i;
    const auto good = LeWords(words);
    unit.OnEngineMessage(plot::kOpSpectrum, {good.data(), good.size()});
    std::uint32_t out[336];
    unit.CopySpectrumBlock(out);
    EXPECT_EQ(out[0], 0xA0000000u);
    EXPECT_EQ(out[72], 0xA0000048u);  // the first spectrum word
    EXPECT_EQ(out[335], 0xA000014Fu);

    words[0] = 1;
    const auto shorter = LeWords(std::vector<std::uint32_t>(words.begin(), words.end() - 1), 3);
    const auto longer = LeWords(words, 1);
    ASSERT_EQ(shorter.size(), 1343u);
    ASSERT_EQ(longer.size(), 1345u);
    unit.OnEngineMessage(plot::kOpSpectrum, {shorter.data(), shorter.size()});
    unit.OnEngineMessage(plot::kOpSpectrum, {longer.data(), longer.size()});
    unit.CopySpectrumBlock(out);
    EXPECT_EQ(out[0], 0xA0000000u);
    EXPECT_EQ(unit.badMessages(), 2u);

    // Vector blocks: unit 3 only, and exactly 8202 words.
    std::vector<std::uint32_t> points(8202, 0x00640064u);
    const auto vector = LeWords(points);
    unit.OnEngineMessage(plot::kOpVector, {vector.data(), vector.size()});
    EXPECT_EQ(unit.badMessages(), 3u);
    std::vector<std::uint32_t> vout(8202, 0);
    EXPECT_FALSE(unit.CopyVectorBlock(vout.data()));

    CSpectrumUnit& demod = card.spectrum(3);
    demod.OnEngineMessage(plot::kOpVector, {vector.data(), vector.size() - 1});
    ASSERT_TRUE(demod.CopyVectorBlock(vout.data()));
    EXPECT_EQ(vout[100], 0u);
    demod.OnEngineMessage(plot::kOpVector, {vector.data(), vector.size()});
    ASSERT_TRUE(demod.CopyVectorBlock(vout.data()));
    EXPECT_EQ(vout[100], 0x00640064u);
    EXPECT_EQ(demod.badMessages(), 1u);

    // The acknowledgement is no fault.
    const std::uint8_t ack[4] = {};
    unit.OnEngineMessage(2, {ack, 4});
    EXPECT_EQ(unit.badMessages(), 3u);
}

TEST(SpectrumUnit, SampleBlocksUnderABlockAreDroppedAndLongerOnesUseTheFirst1024Words) {
    CCardDevice card(0);
    CSpectrumUnit& unit = card.spectrum(0);
    const auto tone = LeWords(Block(100, 8000, 0));
    Feed(unit, {tone.begin(), tone.end() - 1});
    EXPECT_EQ(unit.badMessages(), 1u);
    EXPECT_EQ(unit.sampleBlocks(), 0u);

    // Words past the block (a tone elsewhere) are not used.
    auto longer = tone;
    const auto other = LeWords(Block(-300, 8000, 0));
    longer.insert(longer.end(), other.begin(), other.end());
    Feed(unit, longer);
    ASSERT_TRUE(Transformed(unit, 1));
    std::vector<double> max(1024);
    EXPECT_EQ(unit.CopyAccumulation(nullptr, max.data(), nullptr), 1u);
    EXPECT_EQ(std::max_element(max.begin(), max.end()) - max.begin(), 612);
    EXPECT_LT(max[212], max[612] * 1e-3);
}

TEST(SpectrumUnit, QIsNegatedForTheSignalSourceAndDemodulatedUnits) {
    CCardDevice card(0);
    const auto tone = LeWords(Block(100, 8000, 0));
    for (unsigned u = 0; u < 4; ++u) {
        CSpectrumUnit& unit = card.spectrum(u);
        Feed(unit, tone);
        ASSERT_TRUE(Transformed(unit, 1));
        std::vector<double> sum(1024);
        unit.CopyAccumulation(sum.data(), nullptr, nullptr);
        EXPECT_EQ(std::max_element(sum.begin(), sum.end()) - sum.begin(), u >= 2 ? 412 : 612)
            << "unit " << u;
    }
}

TEST(SpectrumUnit, EveryBlockOfABurstIsTransformedUpToTheQueue) {
    CCardDevice card(0);
    CSpectrumUnit& unit = card.spectrum(2);
    const auto tone = LeWords(Block(100, 8000, 0));
    for (int k = 0; k < 5; ++k) Feed(unit, tone);
    ASSERT_TRUE(Transformed(unit, 5));
    EXPECT_EQ(unit.accumulated(), 5u);
    EXPECT_EQ(unit.overrun(), 0u);
    // Past the queue the oldest give way; none is lost unaccounted.
    for (int k = 0; k < 80; ++k) Feed(unit, tone);
    ASSERT_TRUE(WaitUntil([&] { return unit.transforms() + unit.overrun() >= 85; }, 10s));
    EXPECT_EQ(unit.transforms() + unit.overrun(), 85u);
    EXPECT_EQ(unit.sampleBlocks(), 85u);
}

TEST(SpectrumUnit, AccumulationAddsEveryBlockAndResets) {
    CCardDevice card(0);
    CSpectrumUnit& unit = card.spectrum(1);
    const auto loud = LeWords(Block(10, 8000, 0));
    const auto quiet = LeWords(Block(10, 2000, 0));
    Feed(unit, loud);
    ASSERT_TRUE(Transformed(unit, 1));
    Feed(unit, quiet);
    ASSERT_TRUE(Transformed(unit, 2));
    std::vector<double> sum(1024), max(1024), min(1024);
    EXPECT_EQ(unit.CopyAccumulation(sum.data(), max.data(), min.data()), 2u);
    EXPECT_NEAR(max[522], 8000.0 * 1024, 8000.0);
    EXPECT_NEAR(min[522], 2000.0 * 1024, 2000.0);
    EXPECT_NEAR(sum[522], 10000.0 * 1024, 10000.0);

    unit.ResetAccumulation();
    EXPECT_EQ(unit.CopyAccumulation(sum.data(), max.data(), min.data()), 0u);
    EXPECT_EQ(sum[522], 0.0);
    EXPECT_EQ(max[0], std::numeric_limits<double>::lowest());
    EXPECT_EQ(min[0], std::numeric_limits<double>::max());
}

TEST(SpectrumUnit, WithItsOwnBandSettingsTheCardsValueStays) {
    CCardDevice card(0);
    card.demodulator().SetEnabled(true);
    CardStatus(card, 18.5, 17.5);
    const auto block = LeWords(Block(0, 8000, 300));
    for (unsigned u : {0u, 1u}) {
        CSpectrumUnit& unit = card.spectrum(u);
        Feed(unit, block);
        ASSERT_TRUE(Transformed(unit, 1));
        Feed(unit, block);  // would write the first block's values
        EXPECT_FALSE(unit.LatestDb(nullptr, nullptr));
    }
    EXPECT_EQ(ReportedDb(card, 0), 18.5);
    EXPECT_EQ(ReportedDb(card, 1), 17.5);
}

TEST(SpectrumUnit, AnEstimateReplacesTheCardsValueInItsOwnHalfFromTheNextBlock) {
    CCardDevice card(0);
    card.demodulator().SetEnabled(true);
    CardStatus(card, 18.5, 17.5);
    CSpectrumUnit& unit = card.spectrum(1);
    unit.SetSignalBand(20e6, 4e6);
    // A tone in the band, well above the noise.
    const auto block = LeWords(Block(3, 8000, 300));
    Feed(unit, block);
    ASSERT_TRUE(Transformed(unit, 1));
    EXPECT_EQ(ReportedDb(card, 1), 17.5);  // nothing before the first estimate
    double instant = 0, averaged = 0;
    ASSERT_TRUE(unit.LatestDb(&instant, &averaged));
    // Tone power (8000 * 1024)^2 over half the block's noise, 1024 bins of
    // 1024 * 2 * 300^2 each: a ratio of about 711, written as 28.5 dB.
    EXPECT_NEAR(averaged, 28.5, 1.0);
    EXPECT_EQ(instant, averaged);  // one entry so far

    Feed(unit, block);
    EXPECT_EQ(ReportedDb(card, 1), averaged);
    EXPECT_EQ(ReportedDb(card, 0), 18.5);
    double word4 = 0;
    const std::uint32_t lo = card.demodulator().StatusWord(1, 4);
    const std::uint32_t hi = card.demodulator().StatusWord(1, 5);
    const std::uint64_t bits = std::uint64_t{lo} | (std::uint64_t{hi} << 32);
    std::memcpy(&word4, &bits, 8);
    EXPECT_EQ(word4, instant);

    // A silent block gives no estimate: the next block writes nothing, and
    // the card's value that came meanwhile stays.
    ASSERT_TRUE(Transformed(unit, 2));
    const auto silent = LeWords(std::vector<std::uint32_t>(1024, 0));
    Feed(unit, silent);
    ASSERT_TRUE(Transformed(unit, 3));
    CardStatus(card, 18.5, 16.0);
    Feed(unit, silent);
    EXPECT_EQ(ReportedDb(card, 1), 16.0);
    EXPECT_FALSE(std::isnan(ReportedDb(card, 1)));
}

TEST(SpectrumUnit, TheSignalSourceAndDemodulatedUnitsWriteNoStatus) {
    CCardDevice card(0);
    card.demodulator().SetEnabled(true);
    CardStatus(card, 18.5, 17.5);
    const auto block = LeWords(Block(3, 8000, 300));
    for (unsigned u : {2u, 3u}) {
        CSpectrumUnit& unit = card.spectrum(u);
        unit.SetSignalBand(20e6, 4e6);
        Feed(unit, block);
        ASSERT_TRUE(Transformed(unit, 1));
        Feed(unit, block);
        ASSERT_TRUE(Transformed(unit, 2));
        EXPECT_TRUE(unit.LatestDb(nullptr, nullptr));
    }
    EXPECT_EQ(ReportedDb(card, 0), 18.5);
    EXPECT_EQ(ReportedDb(card, 1), 17.5);
}

}  // namespace

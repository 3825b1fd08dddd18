// The FFT against a direct DFT, the sample words, and the signal-to-noise
// estimate on magnitudes worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "fft_estimate.h"

namespace {

using namespace bbdev::spectrum;

constexpr std::size_t N = kBlockSamples;

std::vector<std::complex<double>> DirectDft(const std::vector<double>& re,
                                            const std::vector<double>& im) {
    std::vector<std::complex<double>> out(re.size());
    const std::size_t n = re.size();
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (std::size_t t = 0; t < n; ++t) {
            const double a =
                -2.0 * std::numbers::pi * static_cast<double>((k * t) % n) / static_cast<double>(n);
            sum += std::complex<double>(re[t], im[t]) * std::polar(1.0, a);
        }
        out[k] = sum;
    }
    return out;
}

TEST(SpectrumFft, MatchesADirectDftOnRandomInput) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-32768.0, 32767.0);
    for (std::size_t n : {std::size_t{2}, std::size_t{8}, N}) {
        std::vector<double> re(n), im(n);
        for (std::size_t i = 0; i < n; ++i) re[i] = u(gen), im[i] = u(gen);
        const auto expected = DirectDft(re, im);
        FftTable fft(n);
        fft.Forward(re.data(), im.data());
        double worst = 0, largest = 0;
        for (std::size_t k = 0; k < n; ++k) {
            worst = std::max(worst, std::abs(std::complex<double>(re[k], im[k]) - expected[k]));
            largest = std::max(largest, std::abs(expected[k]));
        }
        EXPECT_LT(worst / largest, 1e-9) << "n = " << n;
    }
}

// A tone at +100 bins as sample words: I = A cos, Q = A sin.
std::vector<std::uint32_t> ToneWords(int bins) {
    std::vector<std::uint32_t> words(N);
    for (std::size_t n = 0; n < N; ++n) {
        const double a = 2.0 * std::numbers::pi * bins * static_cast<double>(n) / N;
        const auto i = static_cast<std::int16_t>(std::lround(10000 * std::cos(a)));
        const auto q = static_cast<std::int16_t>(std::lround(10000 * std::sin(a)));
        words[n] =
            (std::uint32_t{static_cast<std::uint16_t>(i)} << 16) | static_cast<std::uint16_t>(q);
    }
    return words;
}

std::size_t PeakOf(const std::vector<std::uint32_t>& words, bool negateQ) {
    std::vector<double> re(N), im(N), mag(N);
    for (std::size_t n = 0; n < N; ++n) SplitSample(words[n], negateQ, &re[n], &im[n]);
    FftTable(N).Forward(re.data(), im.data());
    CentredMagnitudes(re.data(), im.data(), N, mag.data());
    return static_cast<std::size_t>(std::max_element(mag.begin(), mag.end()) - mag.begin());
}

TEST(SpectrumFft, APositiveToneLandsAboveTheCentreAndNegatedQMirrorsIt) {
    const auto words = ToneWords(100);
    EXPECT_EQ(PeakOf(words, false), 612u);
    EXPECT_EQ(PeakOf(words, true), 412u);
    const auto dc = std::vector<std::uint32_t>(N, 0x10000000u);  // I = 4096, Q = 0
    EXPECT_EQ(PeakOf(dc, false), 512u);
}

TEST(SpectrumSamples, HighHalfIsIAndLowHalfIsQSigned) {
    double i = 0, q = 0;
    SplitSample(0x7FFF8000u, false, &i, &q);
    EXPECT_EQ(i, 32767.0);
    EXPECT_EQ(q, -32768.0);
    SplitSample(0x7FFF8000u, true, &i, &q);
    EXPECT_EQ(i, 32767.0);
    EXPECT_EQ(q, 32768.0);
    SplitSample(0x80000001u, false, &i, &q);
    EXPECT_EQ(i, -32768.0);
    EXPECT_EQ(q, 1.0);
}

std::vector<double> Flat(double level) {
    return std::vector<double>(N, level);
}

TEST(SpectrumEstimate, WorkedExample) {
    auto mag = Flat(1.0);
    for (std::size_t i = 460; i <= 562; ++i) mag[i] = 10.0;
    // lo = floor(18e6 * 2.56e-5) = 460, hi = floor(22e6 * 2.56e-5) = 563.
    const SnrEstimate e = EstimateSnr(mag.data(), N, 20e6, 4e6);
    ASSERT_TRUE(e.valid);
    EXPECT_DOUBLE_EQ(e.noise, 1.0);         // 921 / 921
    EXPECT_DOUBLE_EQ(e.signal, 10196.0);    // 10300 - 104
    EXPECT_DOUBLE_EQ(e.ratio, 19.9140625);  // 10196 / 512
    EXPECT_NEAR(RatioDb(e.ratio), 12.99, 0.005);
}

TEST(SpectrumEstimate, ABandCoveringEveryBinGivesNoEstimate) {
    auto mag = Flat(1.0);
    mag[512] = 100;
    // The unit settings: centre 20 MHz with a band of 160 MHz (types 0 to 2)
    // reaches 1536 bins past each end; 40 MHz (type 3) covers all 1024.
    EXPECT_FALSE(EstimateSnr(mag.data(), N, 20e6, 160e6).valid);
    EXPECT_FALSE(EstimateSnr(mag.data(), N, 20e6, 40e6).valid);
    // One bin left outside is enough.
    EXPECT_TRUE(EstimateSnr(mag.data(), N, 20e6 - 1e3, 40e6 - 40e3).valid);
}

TEST(SpectrumEstimate, SilenceAndNonsenseGiveNoEstimateNeverNaN) {
    const auto zero = Flat(0.0);
    EXPECT_FALSE(EstimateSnr(zero.data(), N, 20e6, 4e6).valid);
    auto onlyInBand = Flat(0.0);
    onlyInBand[512] = 5;
    EXPECT_FALSE(EstimateSnr(onlyInBand.data(), N, 20e6, 4e6).valid);
    const auto flat = Flat(1.0);
    EXPECT_FALSE(EstimateSnr(flat.data(), N, std::nan(""), 4e6).valid);
    EXPECT_FALSE(EstimateSnr(flat.data(), N, 20e6, INFINITY).valid);
}

TEST(SpectrumEstimate, ABandWithLessThanTheNoiseIsFlooredAndReadsAsNoMeasurement) {
    auto mag = Flat(1.0);
    for (std::size_t i = 460; i < 563; ++i) mag[i] = 0.5;
    const SnrEstimate e = EstimateSnr(mag.data(), N, 20e6, 4e6);
    ASSERT_TRUE(e.valid);
    EXPECT_LT(e.signal, 0);
    EXPECT_EQ(e.ratio, 0.0001);
    EXPECT_LT(RatioDb(e.ratio), 0);  // shown as no measurement
}

TEST(SpectrumHistory, AveragesTheEntriesWrittenAtMostTheLastEight) {
    SnrHistory h;
    EXPECT_EQ(h.Averaged(N), 1e-8);
    h.Add(512.0, 1.0);  // 512 / (1024 * 1 * 0.5)
    EXPECT_DOUBLE_EQ(h.Averaged(N), 1.0);
    for (int k = 1; k < 8; ++k) h.Add(512.0 * 3, 1.0);
    // mean signal (512 + 7 * 1536) / 8 = 1408 over 512
    EXPECT_DOUBLE_EQ(h.Averaged(N), 1408.0 / 512.0);
    h.Add(512.0 * 3, 1.0);  // replaces the first: all eight are 1536
    EXPECT_DOUBLE_EQ(h.Averaged(N), 3.0);
    SnrHistory low;
    low.Add(-5.0, 1.0);
    EXPECT_EQ(low.Averaged(N), 1e-8);
}

}  // namespace

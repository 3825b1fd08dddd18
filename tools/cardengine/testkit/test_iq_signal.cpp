// The simulated signal of the spectrum modules, measured with a direct DFT:
// the ratio it was given, the band it keeps, noise alone before a record,
// and the blocks' header words.
#include <bbdevice/card_plot_words.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "iq_signal.h"

namespace {

using cardengine::SignalRecord;
using cardengine::SpectrumSignal;
namespace plot = bbdev::plot;

constexpr std::size_t N = 1024;
constexpr double kBinHz = 40e6 / N;

// Mean power per DFT bin over `blocks` sample blocks; bin k at k - N/2.
std::vector<double> PowerPerBin(SpectrumSignal& s, int blocks, bool negateQ = false) {
    std::vector<double> power(N, 0.0);
    std::vector<std::uint32_t> words(N);
    std::vector<std::complex<double>> x(N);
    for (int b = 0; b < blocks; ++b) {
        s.FillSamples(words.data(), negateQ);
        for (std::size_t n = 0; n < N; ++n)
            x[n] = {double(plot::WordI(words[n])), double(plot::WordQ(words[n]))};
        for (std::size_t k = 0; k < N; ++k) {
            std::complex<double> sum = 0;
            const double f = static_cast<double>(k) - N / 2.0;
            for (std::size_t n = 0; n < N; ++n)
                sum += x[n] * std::polar(1.0, -2.0 * std::numbers::pi * f * double(n) / N);
            power[k] += std::norm(sum) / blocks;
        }
    }
    return power;
}

SignalRecord Bpsk4M() {
    SignalRecord r;
    r.present = true;
    r.frequencyHz = 2300.5e6;
    r.mode = 2;
    r.bitRate = 4e6;
    return r;
}

// Signal power over noise power, the noise taken from the bins beyond 5 MHz.
double MeasuredSnrDb(const std::vector<double>& power) {
    double total = 0, outside = 0;
    std::size_t outsideBins = 0;
    for (std::size_t k = 0; k < N; ++k) {
        total += power[k];
        if (std::abs((double(k) - N / 2.0) * kBinHz) > 5e6) outside += power[k], ++outsideBins;
    }
    const double noise = outside / outsideBins * N;
    return 10 * std::log10((total - noise) / noise);
}

TEST(SpectrumSignal, CarriesTheGivenRatioWithinTheBitRateOfTheCentre) {
    for (double snr : {10.0, 20.0}) {
        SpectrumSignal s(snr, 1);
        s.SetRecord(Bpsk4M());
        const auto power = PowerPerBin(s, 8);
        EXPECT_NEAR(MeasuredSnrDb(power), snr, 0.5) << snr;
        // Between 4 and 5 MHz off the centre only noise is left.
        const double edge = power[N / 2 + std::size_t(4.5e6 / kBinHz)];
        const double far = power[N / 2 + std::size_t(15e6 / kBinHz)];
        EXPECT_LT(edge, 3 * far);
        EXPECT_GT(power[N / 2], 20 * far);
    }
}

TEST(SpectrumSignal, BeforeARecordItIsNoiseAlone) {
    SpectrumSignal s(20, 2);
    const auto power = PowerPerBin(s, 8);
    double centre = 0, far = 0;
    for (int d = -20; d <= 20; ++d) centre += power[N / 2 + d], far += power[100 + d];
    EXPECT_NEAR(centre / far, 1.0, 0.35);
}

TEST(SpectrumSignal, NegatedQIsTheSameBlockMirrored) {
    SpectrumSignal plain(20, 3), negated(20, 3);
    plain.SetRecord(Bpsk4M());
    negated.SetRecord(Bpsk4M());
    std::vector<std::uint32_t> a(N), b(N);
    plain.FillSamples(a.data(), false);
    negated.FillSamples(b.data(), true);
    for (std::size_t n = 0; n < N; ++n) {
        EXPECT_EQ(plot::WordI(a[n]), plot::WordI(b[n]));
        EXPECT_EQ(plot::WordQ(a[n]), -plot::WordQ(b[n]));
    }
}

TEST(SpectrumSignal, SpectrumAndVectorBlocksCarryTheirHeaders) {
    SpectrumSignal s(20, 4);
    SignalRecord r = Bpsk4M();
    s.SetRecord(r);
    std::vector<std::uint32_t> block(plot::kSpectrumBlockWords);
    s.FillSpectrum(block.data(), 8);
    s.FillSpectrum(block.data(), 8);
    EXPECT_EQ(block[plot::kAttrBlockCounter], 2u);
    EXPECT_EQ(block[plot::kAttrBinCount], 256u);
    EXPECT_EQ(block[plot::kAttrBinSpacingHz], 156250u);
    EXPECT_EQ(block[plot::kAttrCentreKHz], 2300500u);
    EXPECT_EQ(block[plot::kAttrMode], 2u);
    EXPECT_EQ(block[plot::kAttrStatusSlot], 8u);
    const double centre = plot::LevelDbm(block[72 + 128]), edge = plot::LevelDbm(block[72]);
    EXPECT_GT(centre - edge, 20.0);  // 20 dB over 8 MHz against noise in 40 MHz, and more
    EXPECT_LT(centre, 0.0);          // below full scale

    std::vector<std::uint32_t> vector(plot::kVectorWords);
    s.FillVector(vector.data());
    EXPECT_EQ(vector[plot::kVecPointCount], 8192u);
    EXPECT_EQ(vector[plot::kVecMode], 2u);
    // BPSK points lie about +-150 on I.
    double sumAbsI = 0, sumAbsQ = 0;
    for (std::size_t p = 0; p < 8192; ++p) {
        sumAbsI += std::abs(plot::WordI(vector[plot::kVectorHeaderWords + p]));
        sumAbsQ += std::abs(plot::WordQ(vector[plot::kVectorHeaderWords + p]));
    }
    EXPECT_NEAR(sumAbsI / 8192, 150.0, 5.0);
    EXPECT_LT(sumAbsQ / 8192, 20.0);
}

}  // namespace

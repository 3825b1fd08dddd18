#include "iq_signal.h"

#include <bbdevice/card_plot_words.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace cardengine {
namespace {

namespace plot = bbdev::plot;

constexpr double kSampleRate = plot::kSampleRateHz;
constexpr double kTotalRms = 8000.0;  // of the 16-bit samples
constexpr double kFullScale = 32768.0;
constexpr double kVectorRadius = 150.0;
constexpr std::size_t kNoiseSamples = 1 << 16;
constexpr double kFmIndex = 0.7;

std::int16_t Clip(double v) {
    return static_cast<std::int16_t>(std::clamp(std::lround(v), -32767L, 32767L));
}

}  // namespace

void ForwardFft(std::complex<double>* x, std::size_t n) {
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double a = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(a), std::sin(a));
        for (std::size_t s = 0; s < n; s += len) {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> t = w * x[s + k + len / 2];
                x[s + k + len / 2] = x[s + k] - t;
                x[s + k] += t;
                w *= step;
            }
        }
    }
}

SpectrumSignal::SpectrumSignal(double snrDb, std::uint32_t seed)
    : random_(seed | 1u), noise_(kNoiseSamples), levels_(kSpectrumBins) {
    const double snr = std::pow(10.0, snrDb / 10.0);
    signalShare_ = snr / (1.0 + snr);
    noiseShare_ = 1.0 / (1.0 + snr);
    std::mt19937 gen(seed);
    std::normal_distribution<float> normal(0.0f, static_cast<float>(std::sqrt(0.5)));
    for (auto& v : noise_) v = {normal(gen), normal(gen)};
    BuildPool();
}

std::uint32_t SpectrumSignal::Next() {
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return random_;
}

void SpectrumSignal::SetRecord(const SignalRecord& record) {
    record_ = record;
    BuildPool();
}

void SpectrumSignal::BuildPool() {
    pool_.assign(kPoolBlocks * kSamples, {});
    std::vector<double> power(kSamples, 0.0);
    if (record_.present) {
        const double rate = std::clamp(record_.bitRate, 1e3, 16e6);
        const bool fm = record_.mode <= 1;
        const bool bpsk = record_.mode == 2 || record_.mode == 4;
        const double symbolRate = fm || bpsk ? rate : rate / 2;
        const double samplesPerSymbol = kSampleRate / symbolRate;
        const double keptHz = std::min(rate, 16e6);
        double total = 0;
        for (std::size_t b = 0; b < kPoolBlocks; ++b) {
            std::complex<double>* x = &pool_[b * kSamples];
            std::complex<double> symbol;
            double phase = 0;
            long lastSymbol = -1;
            for (std::size_t n = 0; n < kSamples; ++n) {
                const long s = static_cast<long>(static_cast<double>(n) / samplesPerSymbol);
                if (s != lastSymbol) {
                    lastSymbol = s;
                    const std::uint32_t bits = Next();
                    if (fm)
                        symbol = (bits & 1) ? 1.0 : -1.0;
                    else if (bpsk)
                        symbol = (bits & 1) ? 1.0 : -1.0;
                    else
                        symbol =
                            std::complex<double>((bits & 1) ? 1.0 : -1.0, (bits & 2) ? 1.0 : -1.0) /
                            std::numbers::sqrt2;
                }
                if (fm) {
                    phase +=
                        2.0 * std::numbers::pi * symbol.real() * kFmIndex * rate / 2 / kSampleRate;
                    x[n] = std::polar(1.0, phase);
                } else {
                    x[n] = symbol;
                }
            }
            // Keep the occupied band only, so that the bins outside it carry
            // the noise alone.
            ForwardFft(x, kSamples);
            for (std::size_t k = 0; k < kSamples; ++k) {
                const double f = (k < kSamples / 2 ? static_cast<double>(k)
                                                   : static_cast<double>(k) - kSamples) *
                                 kSampleRate / kSamples;
                if (std::abs(f) > keptHz) x[k] = 0;
                power[k] += std::norm(x[k]);
            }
            for (std::size_t k = 0; k < kSamples; ++k) x[k] = std::conj(x[k]);
            ForwardFft(x, kSamples);
            for (std::size_t k = 0; k < kSamples; ++k) {
                x[k] = std::conj(x[k]) / static_cast<double>(kSamples);
                total += std::norm(x[k]);
            }
        }
        const double scale = std::sqrt(static_cast<double>(kPoolBlocks * kSamples) / total);
        for (auto& v : pool_) v *= scale;
        for (auto& p : power) p *= scale * scale / kPoolBlocks;
    }
    // Expected power per bin, centred, four bins to a spectrum word.
    const double a2 = kTotalRms * kTotalRms;
    const double share = record_.present ? signalShare_ : 0.0;
    const double noise = record_.present ? noiseShare_ : 1.0;
    const std::size_t group = kSamples / kSpectrumBins;
    for (std::size_t w = 0; w < kSpectrumBins; ++w) {
        double sum = 0;
        for (std::size_t g = 0; g < group; ++g) {
            const std::size_t k = (w * group + g + kSamples / 2) % kSamples;
            sum += a2 * (share * power[k] + noise * kSamples);
        }
        const double fullScale = kFullScale * kSamples;
        levels_[w] = plot::LevelWord(10.0 * std::log10(sum / group / (fullScale * fullScale)));
    }
}

void SpectrumSignal::FillSamples(std::uint32_t* words, bool negateQ) {
    const std::size_t offset = Next() % (kNoiseSamples - kSamples);
    const std::complex<double>* s = &pool_[(blocks_++ % kPoolBlocks) * kSamples];
    const double sa = record_.present ? kTotalRms * std::sqrt(signalShare_) : 0.0;
    const double na = kTotalRms * (record_.present ? std::sqrt(noiseShare_) : 1.0);
    for (std::size_t n = 0; n < kSamples; ++n) {
        const std::complex<float> z = noise_[offset + n];
        const std::int16_t i = Clip(sa * s[n].real() + na * z.real());
        const std::int16_t q = Clip(sa * s[n].imag() + na * z.imag());
        words[n] = plot::PackIq(i, negateQ ? static_cast<std::int16_t>(-q) : q);
    }
}

void SpectrumSignal::FillSpectrum(std::uint32_t* words, unsigned module) {
    std::fill(words, words + plot::kSpectrumBlockWords, 0u);
    words[plot::kAttrBlockCounter] = ++spectra_;
    words[plot::kAttrBinCount] = kSpectrumBins;
    words[plot::kAttrBinSpacingHz] = static_cast<std::uint32_t>(kSampleRate / kSpectrumBins);
    words[plot::kAttrCentreKHz] = static_cast<std::uint32_t>(record_.frequencyHz / 1000.0);
    words[plot::kAttrMode] = record_.mode;
    words[plot::kAttrBitRate] = static_cast<std::uint32_t>(record_.bitRate);
    words[plot::kAttrStatusSlot] = module;
    std::copy(levels_.begin(), levels_.end(), words + plot::kAttributeWords);
}

void SpectrumSignal::FillVector(std::uint32_t* words) {
    std::fill(words, words + plot::kVectorHeaderWords, 0u);
    words[plot::kVecBlockCounter] = ++vectors_;
    words[plot::kVecPointCount] = plot::kVectorMaxPoints;
    words[plot::kVecMode] = record_.mode;
    const double sigma =
        record_.present ? kVectorRadius * std::sqrt(noiseShare_ / signalShare_) : kVectorRadius;
    const std::size_t offset = Next() % (kNoiseSamples - plot::kVectorMaxPoints);
    const bool fm = record_.mode <= 1;
    const bool bpsk = record_.mode == 2 || record_.mode == 4;
    for (std::size_t p = 0; p < plot::kVectorMaxPoints; ++p) {
        const std::uint32_t bits = Next();
        std::complex<double> ideal;
        if (!record_.present)
            ideal = 0;
        else if (fm)
            ideal = std::polar(kVectorRadius, (bits & 0xFFFF) * (2.0 * std::numbers::pi / 65536));
        else if (bpsk)
            ideal = (bits & 1) ? kVectorRadius : -kVectorRadius;
        else
            ideal = std::complex<double>((bits & 1) ? 1.0 : -1.0, (bits & 2) ? 1.0 : -1.0) *
                    (kVectorRadius / std::numbers::sqrt2);
        const std::complex<float> z = noise_[offset + p];
        words[plot::kVectorHeaderWords + p] = plot::PackIq(Clip(ideal.real() + sigma * z.real()),
                                                           Clip(ideal.imag() + sigma * z.imag()));
    }
}

}  // namespace cardengine

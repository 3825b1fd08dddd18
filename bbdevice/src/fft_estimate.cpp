#include "fft_estimate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bbdev::spectrum {

FftTable::FftTable(std::size_t n) : n_(n), reversed_(n), cos_(n / 2), sin_(n / 2) {
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < n) ++bits;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t r = 0;
        for (unsigned b = 0; b < bits; ++b)
            if (i >> b & 1) r |= std::uint32_t{1} << (bits - 1 - b);
        reversed_[i] = r;
    }
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double a = 2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
        cos_[k] = std::cos(a);
        sin_[k] = std::sin(a);
    }
}

void FftTable::Forward(double* re, double* im) const {
    for (std::size_t i = 0; i < n_; ++i) {
        const std::size_t j = reversed_[i];
        if (j > i) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (std::size_t half = 1; half < n_; half *= 2) {
        const std::size_t step = n_ / (2 * half);
        for (std::size_t start = 0; start < n_; start += 2 * half) {
            for (std::size_t k = 0; k < half; ++k) {
                // w = e^(-2 pi i k step / N)
                const double wr = cos_[k * step], wi = -sin_[k * step];
                const std::size_t a = start + k, b = a + half;
                const double tr = re[b] * wr - im[b] * wi;
                const double ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
}

void CentredMagnitudes(const double* re, const double* im, std::size_t n, double* mag) {
    const std::size_t half = n / 2;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t k = (i + half) % n;
        mag[i] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
    }
}

SnrEstimate EstimateSnr(const double* mag, std::size_t n, double centreHz, double bandHz) {
    SnrEstimate e;
    if (n == 0 || !std::isfinite(centreHz) || !std::isfinite(bandHz)) return e;
    const double binsPerHz = static_cast<double>(n) / kSampleRateHz;
    const double size = static_cast<double>(n);
    const double loBin = std::clamp(std::floor((centreHz - bandHz / 2) * binsPerHz), 0.0, size);
    const double hiBin = std::clamp(std::floor((centreHz + bandHz / 2) * binsPerHz), 0.0, size);
    const auto lo = static_cast<std::size_t>(loBin);
    const auto hi = std::max(lo, static_cast<std::size_t>(hiBin));
    double total = 0, inBand = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double p = mag[i] * mag[i];
        total += p;
        if (i >= lo && i < hi) inBand += p;
    }
    // The band counts hi - lo + 1 bins; those outside it share the rest.
    const double bandBins = static_cast<double>(hi - lo) + 1.0;
    const double outside = size - bandBins + 1.0;
    if (outside <= 0) return e;
    const double noise = (total - inBand) / outside;
    if (!(noise > 0) || !std::isfinite(noise)) return e;
    const double signal = inBand - bandBins * noise;
    const double ratio = signal / (size * noise * 0.5);
    if (!std::isfinite(ratio)) return e;
    e.valid = true;
    e.signal = signal;
    e.noise = noise;
    e.ratio = std::max(ratio, 0.0001);
    return e;
}

void SnrHistory::Add(double signal, double noise) {
    signal_[written_ % kEntries] = signal;
    noise_[written_ % kEntries] = noise;
    ++written_;
}

double SnrHistory::Averaged(std::size_t n) const {
    const std::size_t count = std::min(written_, kEntries);
    if (count == 0) return 1e-8;
    double s = 0, z = 0;
    for (std::size_t i = 0; i < count; ++i) {
        s += signal_[i];
        z += noise_[i];
    }
    s /= static_cast<double>(count);
    z /= static_cast<double>(count);
    const double ratio = s / (static_cast<double>(n) * z * 0.5);
    return std::isfinite(ratio) ? std::max(ratio, 1e-8) : 1e-8;
}

double RatioDb(double ratio) {
    return 10.0 * std::log10(ratio);
}

}  // namespace bbdev::spectrum

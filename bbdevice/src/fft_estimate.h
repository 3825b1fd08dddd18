// The spectrum units' arithmetic: a forward radix-2 FFT, the magnitude
// spectrum with the zero frequency in the middle, and the signal-to-noise
// estimate over it. Plain functions on caller-owned arrays, no threads, no
// allocation after the table is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bbdev::spectrum {

inline constexpr std::size_t kBlockSamples = 1024;
inline constexpr double kSampleRateHz = 40e6;

// Forward transform X[k] = sum x[n] e^(-2 pi i k n / N), in place. The
// tables for N (a power of two, at least 2) are built once.
class FftTable {
public:
    explicit FftTable(std::size_t n);
    std::size_t size() const { return n_; }
    void Forward(double* re, double* im) const;

private:
    std::size_t n_;
    std::vector<std::uint32_t> reversed_;  // bit-reversed index of every position
    std::vector<double> cos_, sin_;        // of 2 pi k / N, k < N / 2
};

// mag[i] = |X| of bin (i + N/2) mod N: bin 0 (zero frequency) lands at N/2.
void CentredMagnitudes(const double* re, const double* im, std::size_t n, double* mag);

// One sample word: I the high 16 bits, Q the low 16 bits, both signed; Q
// negated when asked (as +32768 for -32768).
inline void SplitSample(std::uint32_t word, bool negateQ, double* i, double* q) {
    *i = static_cast<std::int16_t>(word >> 16);
    const double qv = static_cast<std::int16_t>(word & 0xFFFF);
    *q = negateQ ? -qv : qv;
}

struct SnrEstimate {
    bool valid = false;  // false: the block gives no estimate
    double signal = 0;   // power in the band less the noise under it
    double noise = 0;    // noise power per bin
    double ratio = 0;    // signal / (N * noise * 0.5), at least 0.0001
};

// Over the centred magnitudes of one block: the band [centre - band/2,
// centre + band/2] in hertz of the 0 .. 40 MHz bin scale. The band's bins are
// clamped to the block; no bin outside the band, or a noise per bin that is
// not positive and finite, gives no estimate.
SnrEstimate EstimateSnr(const double* mag, std::size_t n, double centreHz, double bandHz);

// The last 8 estimates' signal and noise powers.
class SnrHistory {
public:
    static constexpr std::size_t kEntries = 8;
    void Add(double signal, double noise);
    // Mean signal / (N * mean noise * 0.5) over the entries written so far,
    // at least 1e-8; 1e-8 before the first.
    double Averaged(std::size_t n) const;
    std::size_t written() const { return written_; }
    void Clear() { written_ = 0; }

private:
    double signal_[kEntries] = {};
    double noise_[kEntries] = {};
    std::size_t written_ = 0;
};

// Ratio as the status words carry it: 10 log10, in dB.
double RatioDb(double ratio);

}  // namespace bbdev::spectrum

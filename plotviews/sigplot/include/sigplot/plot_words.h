// The card's spectrum, innate-attribute and vector words turned into values
// the signal plot draws, every count bounded and every level checked; and the
// maximum, average and minimum of the spectra a window has fetched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sigplot {

inline constexpr std::size_t kMaxBins = 264;
inline constexpr std::size_t kMaxPoints = 8192;

struct SpectrumFrame {
    std::uint32_t counter = 0;
    std::size_t bins = 0;    // levels used, at most kMaxBins
    double spacingHz = 0;    // width of one bin
    double centreHz = 0;     // carrier of the unit's record
    std::uint32_t mode = 0;  // 解调模式
    std::uint32_t bitRate = 0;
    std::uint32_t statusWord = 0;
    std::array<float, kMaxBins> dBm{};
    std::array<bool, kMaxBins> valid{};  // false for a non-finite level

    double SpanHz() const { return spacingHz * static_cast<double>(bins); }
};

// Decodes a 336-word plot block; false (frame cleared) for null input.
bool DecodeSpectrum(const std::uint32_t* words, SpectrumFrame& out);

// The innate attributes: the lower and upper edge of the unit's band.
struct InnateAttrib {
    double lowerHz = 0, upperHz = 0;
    bool valid = false;  // finite edges, lower below upper
};
InnateAttrib DecodeInnate(const std::uint32_t* words);

struct VectorFrame {
    std::uint32_t counter = 0;
    std::size_t points = 0;  // at most kMaxPoints
    std::uint32_t mode = 0;
    std::array<std::int16_t, kMaxPoints> i{}, q{};
};
bool DecodeVector(const std::uint32_t* words, VectorFrame& out);

// A cheap 64-bit hash of a block's words, so that a window can tell a new
// block from the one it shows even when the card does not count in word 0.
std::uint64_t BlockHash(const std::uint32_t* words, std::size_t count);

// Name of a 解调模式 for the vector window: 0 and 1 carry FM ("DPSKFM"), 2
// BPSK, 3 QPSK, 4 BPSK-PM, 5 QPSK-PM, 6 OQPSK, 7 SOQPSK, 8 CDMA-BPSK, 9
// CDMA-QPSK; other codes give "".
const char* ModulationName(std::uint32_t mode);

// Maximum, average and minimum per bin of the frames added since the last
// reset. Fixed storage: adding a frame allocates nothing.
class SpectrumAmass {
public:
    SpectrumAmass() { Reset(); }
    void Reset();
    void Add(const SpectrumFrame& f);
    std::uint32_t Count() const { return count_; }
    // False for a bin no frame gave a finite level to.
    bool Has(std::size_t bin) const { return bin < kMaxBins && n_[bin] > 0; }
    float Max(std::size_t bin) const { return max_[bin]; }
    float Min(std::size_t bin) const { return min_[bin]; }
    float Average(std::size_t bin) const {
        return n_[bin] ? static_cast<float>(sum_[bin] / n_[bin]) : 0.f;
    }

private:
    std::array<double, kMaxBins> sum_{};
    std::array<float, kMaxBins> max_{}, min_{};
    std::array<std::uint32_t, kMaxBins> n_{};
    std::uint32_t count_ = 0;
};

}  // namespace sigplot

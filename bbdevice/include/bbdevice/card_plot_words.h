// The card's spectrum, attribute, vector and I/Q sample words: what the
// software card engine writes and what the signal plot reads. The device
// library passes the attribute, spectrum and vector words through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bbdev::plot {

// Operations of the spectrum modules (8, 9, 10, 11).
inline constexpr unsigned kOpIqSamples = 3;
inline constexpr unsigned kOpSpectrum = 4;
inline constexpr unsigned kOpVector = 5;

// I/Q sample block: one word per complex sample, I in the high 16 bits and
// Q in the low 16 bits, both signed; 40 MHz complex rate.
inline constexpr std::size_t kIqBlockWords = 1024;
inline constexpr std::size_t kIqBlockBytes = kIqBlockWords * 4;
inline constexpr double kSampleRateHz = 40e6;

// Attribute-and-spectrum block: 72 attribute words, then 264 spectrum words.
inline constexpr std::size_t kAttributeWords = 72;
inline constexpr std::size_t kSpectrumWords = 264;
inline constexpr std::size_t kSpectrumBlockWords = kAttributeWords + kSpectrumWords;
inline constexpr std::size_t kSpectrumBlockBytes = kSpectrumBlockWords * 4;

// Attribute word indices.
inline constexpr std::size_t kAttrBlockCounter = 0;  // increases with every block
inline constexpr std::size_t kAttrBinCount = 1;      // spectrum words used, at most 264
inline constexpr std::size_t kAttrBinSpacingHz = 2;  // width of one spectrum word's bin
inline constexpr std::size_t kAttrCentreKHz = 3;     // carrier of the unit's record, kHz
inline constexpr std::size_t kAttrMode = 4;          // 解调模式 of that record
inline constexpr std::size_t kAttrBitRate = 5;       // 码率 of that record, bit/s
// Word 64 is replaced by the library with a demodulator status word for the
// units that have one; the engine puts its module code there.
inline constexpr std::size_t kAttrStatusSlot = 64;

// Spectrum word: the level of one bin in hundredths of a dBm, as a signed
// value; bins run from the lowest frequency up, the carrier in the middle.
inline constexpr double kLevelScale = 100.0;
inline std::uint32_t LevelWord(double dBm) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(dBm * kLevelScale));
}
inline double LevelDbm(std::uint32_t word) {
    return static_cast<std::int32_t>(word) / kLevelScale;
}

// Vector block: a 10-word header, then up to 8192 symbol points.
inline constexpr std::size_t kVectorHeaderWords = 10;
inline constexpr std::size_t kVectorMaxPoints = 8192;
inline constexpr std::size_t kVectorWords = kVectorHeaderWords + kVectorMaxPoints;
inline constexpr std::size_t kVectorBytes = kVectorWords * 4;
inline constexpr std::size_t kVecBlockCounter = 0;
inline constexpr std::size_t kVecPointCount = 1;  // points used, at most 8192
inline constexpr std::size_t kVecMode = 2;        // 解调模式

// Sample and point words: I high 16 bits, Q low 16 bits.
inline std::uint32_t PackIq(std::int16_t i, std::int16_t q) {
    return (std::uint32_t{static_cast<std::uint16_t>(i)} << 16) | static_cast<std::uint16_t>(q);
}
inline std::int16_t WordI(std::uint32_t word) {
    return static_cast<std::int16_t>(word >> 16);
}
inline std::int16_t WordQ(std::uint32_t word) {
    return static_cast<std::int16_t>(word & 0xFFFF);
}

}  // namespace bbdev::plot

// Texts of the PCM plot windows: minor-frame tags in the card's and the
// host's form, and code values in hexadecimal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pcmplot {

inline constexpr std::size_t kTagTextBytes = 32;

// Host form "5A-123:45296:789012": tag byte 6, day, second of day, µs.
void FormatHostTag(const std::uint8_t* tag, char (&out)[kTagTextBytes]);
// Card form "C3-23 :34 :59: 987.6": tag byte 6, BCD hours (byte 4 bits 0-5),
// minutes, seconds and 0.1-ms units (bytes 1 and 0). A nibble above 9 counts
// as its value; the 0.1-ms count is held at 9999.
void FormatCardTag(const std::uint8_t* tag, char (&out)[kTagTextBytes]);

// Hex digits of a code of `wordBits` bits.
inline int CodeDigits(std::uint32_t wordBits) {
    return static_cast<int>((wordBits + 3) / 4);
}
// Writes the code in CodeDigits upper-case digits, NUL-terminated; `out`
// holds at least 9 bytes.
void FormatCode(std::uint32_t value, std::uint32_t wordBits, char* out);

// Word of `bytesPerWord` bytes, high byte first, cut to `wordBits`.
inline std::uint32_t ReadWord(const std::uint8_t* p, std::uint32_t bytesPerWord,
                              std::uint32_t wordBits) {
    std::uint32_t v = 0;
    for (std::uint32_t b = 0; b < bytesPerWord; ++b) v = v << 8 | p[b];
    return wordBits >= 32 ? v : v & ((1u << wordBits) - 1);
}

}  // namespace pcmplot

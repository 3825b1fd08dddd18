// Records written byte by byte for the checks: an 8-byte tag and the words,
// high byte first, as the card lays them out.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace stats_test {

// A BCD tag: 0.1 ms units with ms units, ms tens and hundreds, seconds,
// minutes, hours.
inline std::vector<std::uint8_t> BcdTag(unsigned h, unsigned m, unsigned s, unsigned ms,
                                        unsigned tenths) {
    return {std::uint8_t((ms % 10) << 4 | tenths),
            std::uint8_t((ms / 100) << 4 | (ms / 10 % 10)),
            std::uint8_t((s / 10) << 4 | s % 10),
            std::uint8_t((m / 10) << 4 | m % 10),
            std::uint8_t((h / 10) << 4 | h % 10),
            0,
            0,
            0};
}

// A binary tag: microseconds in bits 0-19, second of day in bits 20-36 of
// the little-endian 40-bit value.
inline std::vector<std::uint8_t> BinaryTag(std::uint32_t secondOfDay, std::uint32_t micros) {
    const std::uint64_t v = std::uint64_t{secondOfDay} << 20 | micros;
    return {std::uint8_t(v),
            std::uint8_t(v >> 8),
            std::uint8_t(v >> 16),
            std::uint8_t(v >> 24),
            std::uint8_t(v >> 32),
            0,
            0,
            0};
}

struct Records {
    std::vector<std::uint8_t> bytes;
    void Add(const std::vector<std::uint8_t>& tag, std::initializer_list<std::uint8_t> words) {
        bytes.insert(bytes.end(), tag.begin(), tag.end());
        bytes.insert(bytes.end(), words.begin(), words.end());
    }
};

}  // namespace stats_test

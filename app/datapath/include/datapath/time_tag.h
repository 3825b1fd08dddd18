// The card's time tag in front of every subframe, in either of its two
// formats: binary-coded decimal (0.1 ms resolution) or the host's binary
// form (microseconds). Only bytes 0 to 4 carry the time of day.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace datapath {

static_assert(std::endian::native == std::endian::little);

// 配时精度 of the demodulator record: 0 BCD, anything else binary.
inline constexpr std::uint32_t kBcdTimeTag = 0;

struct TagTime {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    double ms = 0.0;  // milliseconds within the second, with fraction

    // Time of day in milliseconds.
    double DayMs() const { return double((hours * 3600 + minutes * 60 + seconds) * 1000) + ms; }
};

namespace detail {
// tenths / 10.0 for every nibble, so that the table gives the same double as
// the division.
inline constexpr double kTenths[16] = {
    0.0 / 10, 1.0 / 10, 2.0 / 10,  3.0 / 10,  4.0 / 10,  5.0 / 10,  6.0 / 10,  7.0 / 10,
    8.0 / 10, 9.0 / 10, 10.0 / 10, 11.0 / 10, 12.0 / 10, 13.0 / 10, 14.0 / 10, 15.0 / 10};
}  // namespace detail

// Decodes bytes 0 to 4 of `tag`. BCD nibbles above 9 are taken at their
// value; the result is then no valid time, but nothing is indexed by it.
inline TagTime DecodeTimeTag(const std::uint8_t* tag, std::uint32_t format) {
    TagTime t;
    if (format == kBcdTimeTag) {
        const unsigned b0 = tag[0], b1 = tag[1];
        t.ms = double((b1 >> 4) * 100 + (b1 & 0xF) * 10 + (b0 >> 4)) + detail::kTenths[b0 & 0xF];
        t.seconds = int((tag[2] >> 4) * 10 + (tag[2] & 0xF));
        t.minutes = int((tag[3] >> 4) * 10 + (tag[3] & 0xF));
        t.hours = int((tag[4] >> 4 & 0x3) * 10 + (tag[4] & 0xF));
        return t;
    }
    const std::uint64_t v = std::uint64_t{tag[0]} | std::uint64_t{tag[1]} << 8 |
                            std::uint64_t{tag[2]} << 16 | std::uint64_t{tag[3]} << 24 |
                            std::uint64_t{tag[4]} << 32;
    const unsigned micros = unsigned(v & 0xFFFFF);
    const unsigned secondOfDay = unsigned(v >> 20 & 0x1FFFF);
    t.ms = micros / 1000.0;
    t.hours = int(secondOfDay / 3600);
    t.minutes = int(secondOfDay / 60 % 60);
    t.seconds = int(secondOfDay % 60);
    return t;
}

// The time of day of `tag` in milliseconds.
inline double TagDayMs(const std::uint8_t* tag, std::uint32_t format) {
    return DecodeTimeTag(tag, format).DayMs();
}

// The time of day of `tag` as a whole number of the format's ticks: 0.1 ms
// for BCD, 1 us for binary. DayMs() is this count divided by TicksPerMs up to
// the rounding of its double arithmetic.
inline std::int64_t TagTicks(const std::uint8_t* tag, std::uint32_t format) {
    std::uint32_t low;  // bytes 0-3, little-endian host
    std::memcpy(&low, tag, sizeof low);
    const std::uint64_t v = std::uint64_t{low} | std::uint64_t{tag[4]} << 32;
    if (format == kBcdTimeTag) {
        // Every byte at once: tens nibble * 10 + units nibble (at most 165,
        // so no byte carries into the next). Byte 0 gives ms units and
        // tenths, byte 1 ms hundreds and tens, then seconds, minutes, hours.
        const std::uint64_t x = v & 0x3FFFFFFFFFull;
        const std::uint64_t dec = (x >> 4 & 0x0F0F0F0F0Full) * 10 + (x & 0x0F0F0F0F0Full);
        const std::int64_t seconds = std::int64_t(dec >> 16 & 0xFF) +
                                     std::int64_t(dec >> 24 & 0xFF) * 60 +
                                     std::int64_t(dec >> 32 & 0xFF) * 3600;
        return seconds * 10000 + std::int64_t(dec >> 8 & 0xFF) * 100 + std::int64_t(dec & 0xFF);
    }
    return std::int64_t(v >> 20 & 0x1FFFF) * 1000000 + std::int64_t(v & 0xFFFFF);
}

inline std::int64_t TicksPerMs(std::uint32_t format) {
    return format == kBcdTimeTag ? 10 : 1000;
}

}  // namespace datapath

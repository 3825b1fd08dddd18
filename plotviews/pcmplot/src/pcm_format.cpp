#include <pcmplot/pcm_format.h>

#include <algorithm>
#include <cstdio>

namespace pcmplot {
namespace {

// Two BCD digits by arithmetic, so a nibble above 9 reads as its value
// instead of reaching past a digit table.
int Bcd(std::uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

}  // namespace

void FormatHostTag(const std::uint8_t* tag, char (&out)[kTagTextBytes]) {
    std::uint64_t t = 0;
    for (int i = 7; i >= 0; --i) t = t << 8 | tag[i];
    const unsigned us = static_cast<unsigned>(t & 0xFFFFF);
    const unsigned second = static_cast<unsigned>(t >> 20 & 0x1FFFF);
    const unsigned day = static_cast<unsigned>(t >> 37 & 0x1FF);
    std::snprintf(out, sizeof out, "%02X-%03d:%05d:%06d", tag[6], static_cast<int>(day),
                  static_cast<int>(second), static_cast<int>(us));
}

void FormatCardTag(const std::uint8_t* tag, char (&out)[kTagTextBytes]) {
    // Bits 6 and 7 of byte 4 carry the day, not the hours.
    const int hours = (tag[4] >> 4 & 0x03) * 10 + (tag[4] & 0x0F);
    const int tenthMs = std::min(Bcd(tag[1]) * 100 + Bcd(tag[0]), 9999);
    std::snprintf(out, sizeof out, "%02X-%01d :%02d :%02d: %05.1f", tag[6], hours, Bcd(tag[3]),
                  Bcd(tag[2]), tenthMs / 10.0);
}

void FormatCode(std::uint32_t value, std::uint32_t wordBits, char* out) {
    static const char kHex[] = "0123456789ABCDEF";
    const int digits = std::clamp(CodeDigits(wordBits), 1, 8);
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = kHex[value & 0x0F];
        value >>= 4;
    }
    out[digits] = '\0';
}

}  // namespace pcmplot

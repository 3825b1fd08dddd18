// Caption and frame-code texts shared by the curve and histogram views (UTF-8,
// header only). Each writes into a caller's buffer and allocates nothing.
#pragma once

#include <rawviews/frame_records.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace rawviews {

// Longest text the functions below write, terminator included.
inline constexpr std::size_t kCaptionTextMax = 256;

// "：码速率%dbps，字长%d, 帧格式%d×%d，帧长%d，帧周期%.3fms " for either record.
template <class Record>
std::size_t FormatFrameLine(char* out, std::size_t cap, const Record& f) {
    const int n =
        std::snprintf(out, cap, "：码速率%dbps，字长%d, 帧格式%d×%d，帧长%d，帧周期%.3fms ",
                      f.nBitRate, int(f.nWordBits), int(f.nWordsPerSubframe), int(f.nSubframes),
                      f.nFrameWords, double(f.fFramePeriod));
    return n < 0 ? 0 : std::size_t(n) < cap ? std::size_t(n) : cap - 1;
}

// The bit-error figures as the caption shows them.
inline std::size_t FormatErrorLine(char* out, std::size_t cap, const _ERROR_CODE_STATISTIC& e) {
    const int n = std::snprintf(out, cap, "    码元计数: %012.0lf 误码个数: %012.0lf 误码率:%08.6e",
                                e.dCodeCount, e.dErrorCount, e.dErrorRate);
    return n < 0 ? 0 : std::size_t(n) < cap ? std::size_t(n) : cap - 1;
}

// A word's bytes (first byte most significant) kept to its low `bits` bits.
inline void MaskWordBytes(std::uint8_t* word, int wordBytes, int bits) {
    if (bits <= 0 || bits >= 8 * wordBytes) return;
    for (int i = 0; i < wordBytes; ++i) {
        const int bitsBelow = 8 * (wordBytes - 1 - i);  // bits in the later bytes
        const int keep = bits - bitsBelow;
        if (keep <= 0)
            word[i] = 0;
        else if (keep < 8)
            word[i] &= std::uint8_t((1u << keep) - 1);
    }
}

// "帧码: " and the first 16 bytes of the frame as handed, time tag first, as
// "%02X" with one blank between bytes. With `mask`, the bytes of each word
// are kept to `wordBits` bits; the tag is shown as it is.
inline std::size_t FormatFrameCode(char* out, std::size_t cap, const std::uint8_t* frame,
                                   std::size_t frameBytes, int timeBytes, int wordBytes,
                                   int wordBits, bool mask) {
    constexpr std::size_t kShown = 16;
    std::uint8_t shown[kShown + 4] = {};
    const std::size_t n = frameBytes < kShown ? frameBytes : kShown;
    for (std::size_t i = 0; i < n; ++i) shown[i] = frame[i];
    if (mask && wordBytes >= 1 && wordBytes <= 4) {
        for (std::size_t at = std::size_t(timeBytes); at < n; at += std::size_t(wordBytes))
            MaskWordBytes(shown + at, wordBytes, wordBits);
    }
    int used = std::snprintf(out, cap, "帧码: ");
    if (used < 0) return 0;
    for (std::size_t i = 0; i < n && std::size_t(used) + 4 < cap; ++i)
        used += std::snprintf(out + used, cap - std::size_t(used), i ? " %02X" : "%02X", shown[i]);
    return std::size_t(used) < cap ? std::size_t(used) : cap - 1;
}

}  // namespace rawviews

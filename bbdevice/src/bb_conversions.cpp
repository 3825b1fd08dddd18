// The conversion exports: pseudo-code packing, hexadecimal text to number,
// sync code to text.
#include <bbdevice/bbdevice.h>

#include <cstdio>
#include <cstring>

#include "device_messages.h"

extern "C" {

std::int32_t BB_TransCdmaTempPseudocode(std::uint8_t* out, std::uint32_t lengthIndex,
                                        const std::uint8_t* bits) {
    static constexpr std::uint32_t kLengths[8] = {15, 31, 63, 127, 255, 511, 1023, 2047};
    if (!out || !bits) return 0;
    const std::uint32_t length = kLengths[lengthIndex & 7];
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint8_t mask = static_cast<std::uint8_t>(1u << (i % 8));
        if (bits[i] == 1)
            out[i / 8] |= mask;
        else
            out[i / 8] &= static_cast<std::uint8_t>(~mask);
    }
    return 1;
}

std::uint64_t StrToUint64(const char* text) {
    if (!text) return 0;
    static constexpr char kDigits[] = "0123456789ABCDEFabcdef";
    if (std::strspn(text, kDigits) != std::strlen(text)) {
        std::string message = "StrToUint64()函数输入字符串“";
        message += text;
        message += "”中存在非十六进制字符";
        bbdev::ShowDeviceMessage(message);
        return 0;
    }
    std::uint64_t value = 0;
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        const unsigned digit = c <= '9' ? c - '0' : (c <= 'F' ? c - 'A' + 10 : c - 'a' + 10);
        value = (value << 4) + digit;
    }
    return value;
}

const char* TransSynCodeToString(std::string* out, std::uint32_t low, std::uint32_t high,
                                 std::uint32_t bits) {
    static thread_local std::string fallback;
    std::string& text = out ? *out : fallback;
    char format[32];
    char buffer[64];
    if (bits <= 32) {
        const std::uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
        std::snprintf(format, sizeof format, "%%0%dX", static_cast<int>((bits + 3) / 4));
        std::snprintf(buffer, sizeof buffer, format, low & mask);
    } else {
        const std::uint32_t highBits = bits - 32;
        const std::uint32_t mask = highBits >= 32 ? 0xFFFFFFFFu : ((1u << highBits) - 1u);
        const int digits = static_cast<int>((bits - 29) / 4);
        // Widths beyond a 64-bit code make no sense; keep the text bounded.
        std::snprintf(format, sizeof format, "%%0%dX%%08X", digits > 24 ? 24 : digits);
        std::snprintf(buffer, sizeof buffer, format, high & mask, low);
    }
    text = buffer;
    return text.c_str();
}

}  // extern "C"

#include <rawgrid/cell_text.h>

#include <cmath>
#include <cstdio>

namespace rawgrid {

std::uint32_t ReadWord(const std::uint8_t* p, int wordBytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < wordBytes; ++i) v = (v << 8) | p[i];
    return v;
}

std::uint32_t MaskWord(std::uint32_t value, int wordBits) {
    if (wordBits <= 0 || wordBits >= 32) return value;
    return value & ((1u << wordBits) - 1u);
}

namespace {

std::size_t Clip(int n) {
    if (n < 0) return 0;
    return static_cast<std::size_t>(n) < kCellTextMax ? static_cast<std::size_t>(n)
                                                      : kCellTextMax - 1;
}

// The hexadecimal case is the one drawn most, so it avoids printf.
std::size_t FormatHex(char* out, std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    out[digits] = '\0';
    return static_cast<std::size_t>(digits);
}

}  // namespace

std::size_t FormatCell(char* out, std::uint32_t value, int mode, int wordBytes,
                       double fullScaleVolts) {
    if (wordBytes < 1) wordBytes = 1;
    if (wordBytes > 4) wordBytes = 4;
    const double fullScale = std::ldexp(1.0, 8 * wordBytes) - 1.0;
    switch (mode) {
        case kDecimal:
            // Raw codes are unsigned; a 32-bit word with its top bit set is not negative.
            return Clip(std::snprintf(out, kCellTextMax, "%u", value));
        case kPercent:
            return Clip(
                std::snprintf(out, kCellTextMax, "%.2lf%s", value * 100.0 / fullScale, "%"));
        case kVoltage:
            return Clip(
                std::snprintf(out, kCellTextMax, "%.3lf", value * fullScaleVolts / fullScale));
        default:
            return FormatHex(out, value, 2 * wordBytes);
    }
}

std::size_t FormatTimeCode(char* out, const std::uint8_t* tag) {
    const int tenths = tag[0] & 0x0F;
    const int msUnits = tag[0] >> 4;
    const int msTens = tag[1] & 0x0F;
    const int msHundreds = tag[1] >> 4;
    const int seconds = ((tag[2] >> 4) & 0x07) * 10 + (tag[2] & 0x0F);
    const int minutes = ((tag[3] >> 4) & 0x07) * 10 + (tag[3] & 0x0F);
    const int hours = ((tag[4] >> 4) & 0x03) * 10 + (tag[4] & 0x0F);
    const double ms = msHundreds * 100 + msTens * 10 + msUnits + tenths / 10.0;
    return Clip(
        std::snprintf(out, kCellTextMax, "%02d:%02d:%02d:%05.1f", hours, minutes, seconds, ms));
}

std::size_t FormatRowLabel(char* out, int row) {
    return Clip(std::snprintf(out, kCellTextMax, "R%04d", row));
}

std::size_t FormatColumnLabel(char* out, int column) {
    return Clip(std::snprintf(out, kCellTextMax, "F%d", column));
}

std::string BaseTitle(int stream) {
    if (stream < 0) return "源码表格显示";
    char buf[64];
    std::snprintf(buf, sizeof buf, "遥测流%d源码表格显示", stream + 1);
    return buf;
}

std::string TitleText(int stream, const _FRAME_STRUCT_PARAM& f) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "：码速率%dbps，字长%d, 帧格式%d×%d，帧长%d，帧周期%.3fms ",
                  f.nBitRate, f.nWordBits, f.nWordsPerSubframe, f.nSubframes, f.nFrameWords,
                  static_cast<double>(f.fFramePeriod));
    return BaseTitle(stream) + buf;
}

}  // namespace rawgrid

#include "status_texts.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace mainframe {

StatusText::StatusText(const char* text) {
    std::snprintf(text_, sizeof text_, "%s", text ? text : "");
}

void StatusText::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text_, sizeof text_, format, args);
    va_end(args);
    if (n < 0) text_[0] = '\0';
}

bool StatusText::operator==(const StatusText& other) const {
    return std::strcmp(text_, other.text_) == 0;
}

StatusText ByteCountText(double bytes) {
    StatusText t;
    if (bytes < 1024.0)
        t.Format("%.fB", bytes);
    else if (bytes < 1048576.0)
        t.Format("%.3fKB", bytes / 1024.0);
    else if (bytes < 1073741824.0)
        t.Format("%.3fMB", bytes / 1048576.0);
    else
        t.Format("%.3fGB", bytes / 1073741824.0);
    return t;
}

StatusText CardTimeText(long day, int hour, int minute, int second, int millisecond) {
    StatusText t;
    t.Format("%ld-%.2d:%.2d:%.2d.%03d", day, hour, minute, second, millisecond);
    return t;
}

StatusText PacketTimeText(std::uint32_t dayNumber, std::uint32_t timeOfDay100us) {
    const std::uint32_t ms = timeOfDay100us / 10;
    StatusText t;
    t.Format("%d-%d:%d:%d::%d", static_cast<int>(dayNumber), static_cast<int>(ms / 3600000),
             static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
             static_cast<int>(ms % 1000));
    return t;
}

namespace {

struct ClockParts {
    int hour, minute, second;
    double millisecond;
};

ClockParts SplitMs(double ms) {
    if (!(ms >= 0)) ms = 0;  // also NaN
    const auto whole = static_cast<long long>(ms / 1000.0);
    return {static_cast<int>(whole / 3600), static_cast<int>(whole / 60 % 60),
            static_cast<int>(whole % 60), ms - static_cast<double>(whole) * 1000.0};
}

}  // namespace

StatusText ReplayRangeText(double startMs, double endMs) {
    const ClockParts a = SplitMs(startMs), b = SplitMs(endMs);
    StatusText t;
    t.Format("%02d:%02d:%02d:%0.0lf-%02d:%02d:%02d:%0.0lf", a.hour, a.minute, a.second,
             a.millisecond, b.hour, b.minute, b.second, b.millisecond);
    return t;
}

StatusText DataSourceText(std::uint32_t dataSource) {
    static const char* const kNames[] = {"接收机", "外部PCM-TTL", "PCM自检", "外部PCM-422"};
    return StatusText(dataSource < 4 ? kNames[dataSource] : "未知");
}

StatusText RadioFrequencyText(double inputFrequencyHz) {
    StatusText t;
    t.Format("%.2lfMHz", inputFrequencyHz / 1e6);
    return t;
}

StatusText IntermediateFrequencyText(double megahertz) {
    StatusText t;
    t.Format("%.6fMHz", megahertz);
    return t;
}

StatusText SignalToNoiseText(double decibel) {
    if (decibel < 0) return StatusText(" ---- ");
    StatusText t;
    t.Format("%.2fdB", decibel);
    return t;
}

StatusText PercentText(double percent) {
    StatusText t;
    t.Format("%.2f%%", percent);
    return t;
}

StatusText ComparedBitsText(double comparedBits) {
    StatusText t;
    t.Format("比对位数:%E", comparedBits);
    return t;
}

StatusText BitErrorText(double errorBits, double comparedBits, bool showErrorCount) {
    StatusText t;
    if (showErrorCount)
        t.Format("误码位:%E", errorBits);
    else
        t.Format("误码率:%E", comparedBits > 0 ? errorBits / comparedBits : 0.0);
    return t;
}

StatusText BitErrorIdleText() {
    return StatusText("无可比对数据");
}

}  // namespace mainframe

// Texts of the status view's controls, built into fixed buffers so that the
// 100 ms refresh never allocates.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mainframe {

inline constexpr std::size_t kStatusTextBytes = 96;

// A short UTF-8 text held inline.
class StatusText {
public:
    StatusText() = default;
    explicit StatusText(const char* text);
    const char* c_str() const { return text_; }
    bool empty() const { return text_[0] == '\0'; }
    void Clear() { text_[0] = '\0'; }
    // Cut to the buffer when longer.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool operator==(const StatusText& other) const;

private:
    char text_[kStatusTextBytes] = {};
};

// Recorded bytes: "%.fB" below 1024, then KB, MB and GB with three decimals.
StatusText ByteCountText(double bytes);
// Card time "day-hh:mm:ss.mmm".
StatusText CardTimeText(long day, int hour, int minute, int second, int millisecond);
// Packet time "day-h:m:s::ms" from a day number and a time of day in 0.1 ms.
StatusText PacketTimeText(std::uint32_t dayNumber, std::uint32_t timeOfDay100us);
// A replayed file's range from its start and end in ms of the day.
StatusText ReplayRangeText(double startMs, double endMs);
// "PCM数据源" of the demodulator record.
StatusText DataSourceText(std::uint32_t dataSource);
StatusText RadioFrequencyText(double inputFrequencyHz);
StatusText IntermediateFrequencyText(double megahertz);
// " ---- " when there is no measurement (negative).
StatusText SignalToNoiseText(double decibel);
StatusText PercentText(double percent);

// The bit-error counters: compared bits, and either the error bits or the
// error rate. The rate is 0 before any bit was compared.
StatusText ComparedBitsText(double comparedBits);
StatusText BitErrorText(double errorBits, double comparedBits, bool showErrorCount);
// In place of the rate or count while the measurement compares nothing.
StatusText BitErrorIdleText();

}  // namespace mainframe

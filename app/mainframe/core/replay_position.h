// Where a replay starts when the operator moves the status view's slider or
// enters a time: plain arithmetic over the file's record count and times.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mainframe {

inline constexpr std::uint32_t kSliderRange = 1000;
inline constexpr double kDayMs = 86400000.0;

enum class StartRecordResult {
    Ok,
    BeforeFileStart,   // "您设置的回放时间必须大于文件开始时间！"
    NotBeforeFileEnd,  // "您设置的回放时间必须小于文件结束时间！"
    NoRecords,         // nothing to replay
};

struct StartRecord {
    StartRecordResult result = StartRecordResult::NoRecords;
    std::uint64_t record = 0;
};

// The record a replay starts at for a target time of day (ms): the target's
// share of the file's span times the record count, truncated, and never the
// record count itself (a replay of no records). A file recorded across
// midnight ends before it starts: its end and a target before its start are
// taken on the next day. A file whose end equals its start accepts no time.
StartRecord StartRecordAt(double targetMs, double fileStartMs, double fileEndMs,
                          std::uint64_t recordCount);

// The record for slider position 0..1000; none without records.
std::optional<std::uint64_t> SliderStartRecord(int position, std::uint64_t recordCount);

// The jump target from the four fields (hour, minute, second, millisecond),
// in ms; none when a field is empty, not a number or out of range.
std::optional<double> JumpTargetMs(std::string_view hour, std::string_view minute,
                                   std::string_view second, std::string_view millisecond);

}  // namespace mainframe

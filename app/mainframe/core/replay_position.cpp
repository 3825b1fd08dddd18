#include "replay_position.h"

#include <algorithm>
#include <charconv>

namespace mainframe {

StartRecord StartRecordAt(double targetMs, double fileStartMs, double fileEndMs,
                          std::uint64_t recordCount) {
    if (fileEndMs < fileStartMs) {
        fileEndMs += kDayMs;
        if (targetMs < fileStartMs) targetMs += kDayMs;
    }
    if (targetMs < fileStartMs) return {StartRecordResult::BeforeFileStart, 0};
    if (targetMs >= fileEndMs) return {StartRecordResult::NotBeforeFileEnd, 0};
    if (recordCount == 0) return {StartRecordResult::NoRecords, 0};
    const double share = (targetMs - fileStartMs) / (fileEndMs - fileStartMs);
    const auto record = static_cast<std::uint64_t>(share * static_cast<double>(recordCount));
    return {StartRecordResult::Ok, std::min(record, recordCount - 1)};
}

std::optional<std::uint64_t> SliderStartRecord(int position, std::uint64_t recordCount) {
    if (recordCount == 0) return std::nullopt;
    position = std::clamp(position, 0, static_cast<int>(kSliderRange));
    const auto record = static_cast<std::uint64_t>(static_cast<double>(position) / kSliderRange *
                                                   static_cast<double>(recordCount));
    return std::min(record, recordCount - 1);
}

namespace {

std::optional<int> Field(std::string_view text, int most) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < 0 || value > most) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> JumpTargetMs(std::string_view hour, std::string_view minute,
                                   std::string_view second, std::string_view millisecond) {
    const auto h = Field(hour, 23), m = Field(minute, 59), s = Field(second, 59),
               ms = Field(millisecond, 999);
    if (!h || !m || !s || !ms) return std::nullopt;
    return *h * 3600000.0 + *m * 60000.0 + *s * 1000.0 + *ms;
}

}  // namespace mainframe

// Pure helpers of the card session: the day-of-year stamp of the time-code
// record, the parameter reports appended to the journal lines, the working
// state record and the frame geometry. No device or store calls here.
#pragma once

#include <taskbook/task_records.h>

#include <cstdint>
#include <string>

namespace session {

// A local date and time as the computer clock gives it; month 1..12.
struct LocalTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Divisible by 400, or by 4 and not by 100.
bool IsLeapYear(int year);

// 1 on 1 January; 0 for a month outside 1..12 or a day outside 1..31.
int DayOfYear(int year, int month, int day);

// Writes day of year, hour, minute, second and millisecond of `t` into the
// time to set, and clears the word at 12.
void StampTimeCode(TimeSystemBasicParam& basic, const LocalTime& t);

// "%d-%d-%d %d:%d:%d", no leading zeros.
std::string FormatTaskTime(const LocalTime& t);

// The computer time set from the card: the local date with the card's hour,
// minute and second, and the card's millisecond + 100, at most 999.
LocalTime CalibratedTime(const LocalTime& localDate, const DayTime& card);

// Texts appended to the journal lines after a record was sent.
std::string DemParamReport(const DemTaskRecord& dem);
std::string SimParamReport(const SimTaskRecord& sim);
std::string RecvParamReport(const RecvTaskRecord& recv);

inline constexpr const char* kWorkingTaskName = "当前任务";

// Renames the task-information record to the working task when it carries
// another name and returns the flag for ModifyTaskMacro: 1 after renaming,
// 0 when it already was the working task.
int PrepareWorkingState(TaskInfoRecord& info, const LocalTime& now);

// Geometry handed to the satellite-navigation search: time-tag bytes per
// subframe, subframe bytes (word bytes times words) and superframe length.
struct FrameGeometry {
    std::uint32_t tagBytes = 8;
    std::uint32_t subframeBytes = 0;
    std::uint32_t superframeLength = 0;
    bool operator==(const FrameGeometry&) const = default;
};
FrameGeometry GeometryOf(const DemParam& dem);

// The first-sending words: the demodulator's 696, the simulator's 720 and
// the receiver's 696 and 720 set to `first`; the demodulator's and the
// receiver's 84 set to 1.
void MarkSending(DemTaskRecord& dem, SimTaskRecord& sim, RecvTaskRecord& recv, std::uint32_t first);

// The stream number handed to the task store: 1 or 2 as given, else 3.
int TaskStream(int stream);

}  // namespace session

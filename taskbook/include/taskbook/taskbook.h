// Task-macro library: named sets of working parameters for every device of
// the station, kept in the task store beside the program, and the records of
// one stream handed to the program.
//
// Every function returns nonzero on success; failures are shown in a message
// box and give 0. A stream number is 1, 2 or 3; any other value counts as 3.
#pragma once

#include <cstdint>

#include "taskbook/task_records.h"

#define TASKBOOK_API __attribute__((visibility("default")))

namespace taskbook {

// Window message posted to the owner window when the operator applies
// parameters; wparam is the apply code, lparam 0.
inline constexpr std::uint32_t kApplyMessage = 1204;

// Apply codes.
inline constexpr int kApplyWholeCard = 1;
inline constexpr int kApplyTaskInfo = 2;
inline constexpr int kApplyEverything = 6;
inline constexpr int kApplyEmulator = 41;
inline constexpr int kApplySafetyBoth = 51;
inline constexpr int kApplySafety1 = 53;
inline constexpr int kApplySafety2 = 55;
inline constexpr int kApplyAntenna = 61;
// Stream pages (3..5), stream branches (7..9) and single devices (s1, s3, s5,
// s7, s9 for down-converter, receiver, demodulator, simulator, time-code).
constexpr int ApplyStreamPage(int s) {
    return 2 + s;
}
constexpr int ApplyStreamBranch(int s) {
    return 6 + s;
}
constexpr int ApplyDownConverter(int s) {
    return 10 * s + 1;
}
constexpr int ApplyReceiver(int s) {
    return 10 * s + 3;
}
constexpr int ApplyDemodulator(int s) {
    return 10 * s + 5;
}
constexpr int ApplySimulator(int s) {
    return 10 * s + 7;
}
constexpr int ApplyTimeCode(int s) {
    return 10 * s + 9;
}

// Dialog modes of TaskMacroManage.
inline constexpr int kModeEdit = 1;
inline constexpr int kModeEditApply = 2;

}  // namespace taskbook

extern "C" {

// Opens the task-macro dialog for `owner` (a window handle) and returns when
// it closes. `mode` is kModeEdit or kModeEditApply; bit 7 of `mask` set means
// no card is identified, so applying only saves.
TASKBOOK_API void TaskMacroManage(void* owner, int stream, int mode, unsigned mask);

// Copies the records last applied from the dialog: the task information
// always, each device record of the stream only when the stored apply code
// selects it (the stream's page and tree branch select all of its devices).
// Records not selected are left untouched.
TASKBOOK_API int GetApplyPara(TaskInfoRecord* info, DemTaskRecord* dem, SimTaskRecord* sim,
                              TimeTaskRecord* time, RecvTaskRecord* recv, int stream);

// Loads the start-up task ("当前任务" when the store holds one) into the
// records of the stream.
TASKBOOK_API int GetDefaultTaskPara(TaskInfoRecord* info, DemTaskRecord* dem, SimTaskRecord* sim,
                                    TimeTaskRecord* time, RecvTaskRecord* recv, int stream);

// Loads the self-check task "*自检*".
TASKBOOK_API int GetCheckSelfTaskPara(TaskInfoRecord* info, DemTaskRecord* dem, SimTaskRecord* sim,
                                      TimeTaskRecord* time, RecvTaskRecord* recv, int stream);

// Writes the task information and the records of the stream into the task
// named in `info`, creating the task when it does not exist; the other
// devices of the task keep what is stored. `flag` is 1 when the caller has
// just filled `info` anew, 0 when it already named the task "当前任务"; both
// are written the same way.
TASKBOOK_API int ModifyTaskMacro(int flag, TaskInfoRecord* info, DemTaskRecord* dem,
                                 SimTaskRecord* sim, TimeTaskRecord* time, RecvTaskRecord* recv,
                                 int stream);

// The same for all three streams at once: the records of stream 1, then of
// stream 2, then of stream 3.
TASKBOOK_API int GetApplyPara2(TaskInfoRecord* info, DemTaskRecord* dem1, SimTaskRecord* sim1,
                               TimeTaskRecord* time1, RecvTaskRecord* recv1, DemTaskRecord* dem2,
                               SimTaskRecord* sim2, TimeTaskRecord* time2, RecvTaskRecord* recv2,
                               DemTaskRecord* dem3, SimTaskRecord* sim3, TimeTaskRecord* time3,
                               RecvTaskRecord* recv3);
TASKBOOK_API int GetDefaultTaskPara2(TaskInfoRecord* info, DemTaskRecord* dem1, SimTaskRecord* sim1,
                                     TimeTaskRecord* time1, RecvTaskRecord* recv1,
                                     DemTaskRecord* dem2, SimTaskRecord* sim2,
                                     TimeTaskRecord* time2, RecvTaskRecord* recv2,
                                     DemTaskRecord* dem3, SimTaskRecord* sim3,
                                     TimeTaskRecord* time3, RecvTaskRecord* recv3);
TASKBOOK_API int GetCheckSelfTaskPara2(TaskInfoRecord* info, DemTaskRecord* dem1,
                                       SimTaskRecord* sim1, TimeTaskRecord* time1,
                                       RecvTaskRecord* recv1, DemTaskRecord* dem2,
                                       SimTaskRecord* sim2, TimeTaskRecord* time2,
                                       RecvTaskRecord* recv2, DemTaskRecord* dem3,
                                       SimTaskRecord* sim3, TimeTaskRecord* time3,
                                       RecvTaskRecord* recv3);
TASKBOOK_API int ModifyTaskMacro2(TaskInfoRecord* info, DemTaskRecord* dem1, SimTaskRecord* sim1,
                                  TimeTaskRecord* time1, RecvTaskRecord* recv1, DemTaskRecord* dem2,
                                  SimTaskRecord* sim2, TimeTaskRecord* time2, RecvTaskRecord* recv2,
                                  DemTaskRecord* dem3, SimTaskRecord* sim3, TimeTaskRecord* time3,
                                  RecvTaskRecord* recv3);

}  // extern "C"

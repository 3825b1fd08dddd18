// Exported functions: copy between the caller's records and the store.
#include <cstring>
#include <memory>
#include <type_traits>

#include "taskbook/task_store.h"
#include "taskbook/taskbook.h"

namespace taskbook {

#ifdef TASKBOOK_DIALOG
void RunTaskMacroDialog(void* owner, int stream, int mode, unsigned mask);
#endif

namespace {

// The caller's records of one stream.
struct StreamOut {
    DemTaskRecord* dem;
    SimTaskRecord* sim;
    TimeTaskRecord* time;
    RecvTaskRecord* recv;
    bool Valid() const { return dem && sim && time && recv; }
};

void CopyOut(const StreamRecords& from, const StreamOut& to) {
    std::memcpy(to.dem, &from.dem, sizeof from.dem);
    std::memcpy(to.sim, &from.sim, sizeof from.sim);
    std::memcpy(to.time, &from.time, sizeof from.time);
    std::memcpy(to.recv, &from.recv, sizeof from.recv);
}

void CopyIn(const StreamOut& from, StreamRecords& to) {
    std::memcpy(&to.dem, from.dem, sizeof to.dem);
    std::memcpy(&to.sim, from.sim, sizeof to.sim);
    std::memcpy(&to.time, from.time, sizeof to.time);
    std::memcpy(&to.recv, from.recv, sizeof to.recv);
}

// Copies the device records of stream s that apply code `code` selects.
void CopyApplied(const TaskRecords& applied, int code, int s, const StreamOut& to) {
    const StreamRecords& from = applied.streams[s - 1];
    const TaskInfoRecord::StreamSelection& sel = applied.info.streams[s - 1];
    // The stream page and the stream's tree branch take every device of it.
    const bool wholeStream = code == ApplyStreamPage(s) || code == ApplyStreamBranch(s);
    auto selected = [&](int unitDigit, std::uint32_t flag) {
        return code == 10 * s + unitDigit || code == kApplyEverything || wholeStream ||
               (code == kApplyWholeCard && flag != 0);
    };
    if (selected(5, sel.选择解调器)) std::memcpy(to.dem, &from.dem, sizeof from.dem);
    if (selected(7, sel.选择模拟器)) std::memcpy(to.sim, &from.sim, sizeof from.sim);
    if (selected(9, sel.选择时码器)) std::memcpy(to.time, &from.time, sizeof from.time);
    if (selected(3, sel.选择接收机)) std::memcpy(to.recv, &from.recv, sizeof from.recv);
}

// Every export runs its work through this: nothing may cross the library
// boundary, a throw reads as failure (0).
template <class F>
int Guarded(F&& f) noexcept {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<F&>>) {
            f();
            return 1;
        } else {
            return f() ? 1 : 0;
        }
    } catch (...) {
        return 0;
    }
}

int Load(bool selfCheck, TaskInfoRecord* info, const StreamOut* streams, const int* numbers,
         int count) {
    if (!info) return 0;
    for (int i = 0; i < count; ++i)
        if (!streams[i].Valid()) return 0;
    return Guarded([&] {
        auto records = std::make_unique<TaskRecords>();
        TaskStore& store = TaskStore::Instance();
        if (!(selfCheck ? store.LoadSelfCheck(*records) : store.LoadDefault(*records)))
            return false;
        std::memcpy(info, &records->info, sizeof *info);
        for (int i = 0; i < count; ++i) CopyOut(records->streams[numbers[i] - 1], streams[i]);
        return true;
    });
}

int Apply(TaskInfoRecord* info, const StreamOut* streams, const int* numbers, int count) {
    if (!info) return 0;
    for (int i = 0; i < count; ++i)
        if (!streams[i].Valid()) return 0;
    return Guarded([&] {
        auto records = std::make_unique<TaskRecords>();
        int code = 0;
        if (!TaskStore::Instance().Applied(*records, code)) return false;
        std::memcpy(info, &records->info, sizeof *info);
        for (int i = 0; i < count; ++i) CopyApplied(*records, code, numbers[i], streams[i]);
        return true;
    });
}

int Modify(const TaskInfoRecord* info, const StreamOut* streams, const int* numbers, int count) {
    if (!info) return 0;
    for (int i = 0; i < count; ++i)
        if (!streams[i].Valid()) return 0;
    return Guarded([&] {
        auto records = std::make_unique<TaskRecords>();
        FillDefaultRecords(*records);
        std::memcpy(&records->info, info, sizeof *info);
        unsigned mask = 0;
        for (int i = 0; i < count; ++i) {
            CopyIn(streams[i], records->streams[numbers[i] - 1]);
            mask |= 1u << (numbers[i] - 1);
        }
        return TaskStore::Instance().Modify(*records, mask);
    });
}

constexpr int kAllStreams[3] = {1, 2, 3};

}  // namespace
}  // namespace taskbook

using namespace taskbook;

extern "C" {

void TaskMacroManage(void* owner, int stream, int mode, unsigned mask) {
    Guarded([&] {
        // Records who asked, so an apply can notify that window, makes sure
        // the store is usable, then runs the dialog modally.
        TaskStore::Instance().Manage(owner, stream, mode, mask);
#ifdef TASKBOOK_DIALOG
        RunTaskMacroDialog(owner, stream, mode, mask);
#endif
    });
}

int GetApplyPara(TaskInfoRecord* info, DemTaskRecord* dem, SimTaskRecord* sim, TimeTaskRecord* time,
                 RecvTaskRecord* recv, int stream) {
    StreamOut s{dem, sim, time, recv};
    int n = NormalizeStream(stream);
    return Apply(info, &s, &n, 1);
}

int GetDefaultTaskPara(TaskInfoRecord* info, DemTaskRecord* dem, SimTaskRecord* sim,
                       TimeTaskRecord* time, RecvTaskRecord* recv, int stream) {
    StreamOut s{dem, sim, time, recv};
    int n = NormalizeStream(stream);
    return Load(false, info, &s, &n, 1);
}

int GetCheckSelfTaskPara(TaskInfoRecord* info, DemTaskRecord* dem, SimTaskRecord* sim,
                         TimeTaskRecord* time, RecvTaskRecord* recv, int stream) {
    StreamOut s{dem, sim, time, recv};
    int n = NormalizeStream(stream);
    return Load(true, info, &s, &n, 1);
}

int ModifyTaskMacro(int /*flag*/, TaskInfoRecord* info, DemTaskRecord* dem, SimTaskRecord* sim,
                    TimeTaskRecord* time, RecvTaskRecord* recv, int stream) {
    StreamOut s{dem, sim, time, recv};
    int n = NormalizeStream(stream);
    return Modify(info, &s, &n, 1);
}

int GetApplyPara2(TaskInfoRecord* info, DemTaskRecord* dem1, SimTaskRecord* sim1,
                  TimeTaskRecord* time1, RecvTaskRecord* recv1, DemTaskRecord* dem2,
                  SimTaskRecord* sim2, TimeTaskRecord* time2, RecvTaskRecord* recv2,
                  DemTaskRecord* dem3, SimTaskRecord* sim3, TimeTaskRecord* time3,
                  RecvTaskRecord* recv3) {
    StreamOut s[3] = {
        {dem1, sim1, time1, recv1}, {dem2, sim2, time2, recv2}, {dem3, sim3, time3, recv3}};
    return Apply(info, s, kAllStreams, 3);
}

int GetDefaultTaskPara2(TaskInfoRecord* info, DemTaskRecord* dem1, SimTaskRecord* sim1,
                        TimeTaskRecord* time1, RecvTaskRecord* recv1, DemTaskRecord* dem2,
                        SimTaskRecord* sim2, TimeTaskRecord* time2, RecvTaskRecord* recv2,
                        DemTaskRecord* dem3, SimTaskRecord* sim3, TimeTaskRecord* time3,
                        RecvTaskRecord* recv3) {
    StreamOut s[3] = {
        {dem1, sim1, time1, recv1}, {dem2, sim2, time2, recv2}, {dem3, sim3, time3, recv3}};
    return Load(false, info, s, kAllStreams, 3);
}

int GetCheckSelfTaskPara2(TaskInfoRecord* info, DemTaskRecord* dem1, SimTaskRecord* sim1,
                          TimeTaskRecord* time1, RecvTaskRecord* recv1, DemTaskRecord* dem2,
                          SimTaskRecord* sim2, TimeTaskRecord* time2, RecvTaskRecord* recv2,
                          DemTaskRecord* dem3, SimTaskRecord* sim3, TimeTaskRecord* time3,
                          RecvTaskRecord* recv3) {
    StreamOut s[3] = {
        {dem1, sim1, time1, recv1}, {dem2, sim2, time2, recv2}, {dem3, sim3, time3, recv3}};
    return Load(true, info, s, kAllStreams, 3);
}

int ModifyTaskMacro2(TaskInfoRecord* info, DemTaskRecord* dem1, SimTaskRecord* sim1,
                     TimeTaskRecord* time1, RecvTaskRecord* recv1, DemTaskRecord* dem2,
                     SimTaskRecord* sim2, TimeTaskRecord* time2, RecvTaskRecord* recv2,
                     DemTaskRecord* dem3, SimTaskRecord* sim3, TimeTaskRecord* time3,
                     RecvTaskRecord* recv3) {
    StreamOut s[3] = {
        {dem1, sim1, time1, recv1}, {dem2, sim2, time2, recv2}, {dem3, sim3, time3, recv3}};
    return Modify(info, s, kAllStreams, 3);
}

}  // extern "C"

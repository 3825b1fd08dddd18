// The task store: one connection to the store file, the working copy of the
// task being edited, the records last applied and the apply code. All
// failures are shown in a message box and give false or 0.
#pragma once

#include <platform/datasource.h>
#include <platform/winmsg.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "taskbook/task_records.h"

namespace taskbook {

inline constexpr const char* kDataSourceName = "Zt9-TaskMacro";
inline constexpr const char* kDriverName = "Microsoft Access Driver (*.mdb)";
inline constexpr const char* kStoreFileName = "任务宏管理.mdb";
inline constexpr const char* kCurrentTask = "当前任务";
inline constexpr const char* kSelfCheckTask = "*自检*";
inline constexpr const char* kMessageCaption = "任务宏管理";

// The records of one stream.
struct StreamRecords {
    DemTaskRecord dem;
    SimTaskRecord sim;
    TimeTaskRecord time;
    RecvTaskRecord recv;
};

// Every record of one task.
struct TaskRecords {
    TaskInfoRecord info;
    StreamRecords streams[3];
};

// One task's rows: for each table of the store in reading order, the column
// values in order.
struct TaskRows {
    std::string name;
    std::vector<std::vector<plat::DbValue>> tables;
};

// Records as a new, empty task holds them: the device defaults, no texts.
void FillDefaultRecords(TaskRecords& r);

struct TaskListEntry {
    std::string name;
    bool isDefault;
};

class TaskStore {
public:
    static TaskStore& Instance();

    // Records of the start-up task, of the self-check task.
    bool LoadDefault(TaskRecords& out);
    bool LoadSelfCheck(TaskRecords& out);
    // Writes the task information and the streams in `streamMask` (bit 0 =
    // stream 1) into the task named in `in.info`.
    bool Modify(const TaskRecords& in, unsigned streamMask);
    // The records last applied and the apply code; loads the start-up task
    // when nothing was applied yet.
    bool Applied(TaskRecords& out, int& code);

    // Remembers the caller of the task-macro dialog.
    void Manage(plat::WindowHandle owner, int stream, int mode, unsigned mask);

    // Called by the dialog when the operator applies: keeps the records and
    // the code, then posts the apply message to the owner window. False when
    // the owner window is not registered.
    bool ApplyAndNotify(int code, const TaskRecords& applied);

    // Task names in name order, or nothing when the list cannot be read.
    std::optional<std::vector<TaskListEntry>> TaskList();

    // For the dialog: a task's records and rows (which then become the
    // working copy), writing rows as they are, and removing a task from
    // every table.
    bool Load(const std::string& name, TaskRecords& out, TaskRows* rows = nullptr);
    bool Save(const TaskRows& rows);
    bool Delete(const std::string& name);
    // Writes `rows` under their name and removes the task `oldName` from
    // every table, in one transaction: a rename.
    bool Rename(const std::string& oldName, const TaskRows& rows);

    // Test hooks: forget the connection and all state; open the store
    // read-only, as a write-protected file opens.
    void ResetForTest();
    void SetReadOnlyForTest(bool readOnly);

    struct Caller {
        plat::WindowHandle owner = nullptr;
        int stream = 1, mode = 0;
        unsigned mask = 0;
    };
    Caller LastCaller();

private:
    TaskStore();
    bool EnsureOpen();
    bool CreateStore(plat::Database& db);
    bool LoadTask(const std::string& name, TaskRows& out);
    std::optional<bool> TaskExists(const std::string& name);
    bool LoadDefaultLocked(TaskRecords& out);

    std::recursive_mutex mutex_;
    std::unique_ptr<plat::Database> db_;  // guarded by mutex_
    bool forceReadOnly_ = false;
    std::optional<TaskRows> working_;       // task being edited
    std::string lastDefaultName_;           // fallback of LoadDefault
    std::unique_ptr<TaskRecords> applied_;  // valid when appliedValid_
    bool appliedValid_ = false;
    int applyCode_ = 0;
    Caller caller_;
};

int NormalizeStream(int stream);

}  // namespace taskbook

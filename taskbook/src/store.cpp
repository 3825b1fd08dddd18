// Task store on SQLite, reached by data-source name.
#include <platform/notify.h>
#include <platform/paths.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "schema.h"
#include "taskbook/task_store.h"
#include "taskbook/taskbook.h"

namespace taskbook {
namespace {

using plat::Database;
using plat::DbValue;
using plat::Statement;

void ShowError(const std::string& text) {
    plat::MessageBox(text, kMessageCaption, plat::MB_OK | plat::MB_ICONERROR);
}

void ShowConnectFailed(const std::string& detail) {
    ShowError("连接数据库失败！错误信息：" + detail);
}

void ShowTableEmpty(const std::string& table) {
    ShowError(table + "：表内数据为空！\t\t\t");
}

void ShowWriteFailed(const std::string& detail) {
    ShowError("任务宏保存失败！错误信息：" + detail);
}

std::string Quoted(const std::string& identifier) {
    return "\"" + identifier + "\"";
}

DateTime Now() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::size_t ColumnIndex(const Table& t, std::string_view name) {
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].name == name) return i;
    return t.columns.size();
}

void SetInfoColumn(TaskRows& rows, std::string_view column, DbValue value) {
    std::size_t i = ColumnIndex(Tables()[0], column);
    if (i < rows.tables[0].size()) rows.tables[0][i] = std::move(value);
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// Runs `body` inside one write transaction; rolled back when it fails.
template <class F>
bool InTransaction(Database& db, F body) {
    if (!db.Execute("BEGIN IMMEDIATE")) return false;
    if (body() && db.Execute("COMMIT")) return true;
    db.Execute("ROLLBACK");  // a successful rollback keeps the failure's error text
    return false;
}

// Replaces the task's row in every table.
bool WriteRows(Database& db, const TaskRows& rows) {
    const auto& tables = Tables();
    for (std::size_t ti = 0; ti < tables.size(); ++ti) {
        const Table& t = tables[ti];
        auto del = db.Prepare("DELETE FROM " + Quoted(t.name) + " WHERE " +
                              Quoted(kTaskNameColumn) + "=?1");
        if (!del || !del->BindText(1, rows.name) || del->Step() != Statement::StepResult::Done)
            return false;
        std::string sql = "INSERT INTO " + Quoted(t.name) + " (" + Quoted(kTaskNameColumn);
        std::string params = "?1";
        for (std::size_t ci = 0; ci < t.columns.size(); ++ci) {
            sql += ", " + Quoted(t.columns[ci].name);
            params += ", ?" + std::to_string(ci + 2);
        }
        sql += ") VALUES (" + params + ")";
        auto ins = db.Prepare(sql);
        if (!ins || !ins->BindText(1, rows.name)) return false;
        for (std::size_t ci = 0; ci < t.columns.size(); ++ci) {
            const DbValue& v = ti < rows.tables.size() && ci < rows.tables[ti].size()
                                   ? rows.tables[ti][ci]
                                   : DbValue{};
            if (!ins->Bind(static_cast<int>(ci + 2), v)) return false;
        }
        if (ins->Step() != Statement::StepResult::Done) return false;
    }
    return true;
}

}  // namespace

int NormalizeStream(int stream) {
    return stream == 1 || stream == 2 ? stream : 3;
}

TaskStore& TaskStore::Instance() {
    static TaskStore store;
    return store;
}

TaskStore::TaskStore() : applied_(std::make_unique<TaskRecords>()) {}

bool TaskStore::EnsureOpen() {
    if (db_) return true;
    const std::string dir = plat::ModuleDirectory();
    if (!IsDirectory(dir)) {
        ShowError("不能定位任务宏管理数据库文件路径！\t");
        return false;
    }
    const std::string path = dir + "/" + kStoreFileName;
    char attributes[plat::kAttributeBufferSize];
    if (!plat::FormatAttributeList(attributes,
                                   "DSN=%s? DESCRIPTION=任务宏管理数据库? DBQ=%s? "
                                   "FIL=MicrosoftAccess? DEFAULTDIR=%s?? ",
                                   kDataSourceName, path.c_str(), dir.c_str()) ||
        !plat::ConfigDataSource(kDriverName, attributes) ||
        plat::LookupDataSource(kDataSourceName).value_or(plat::DataSourceInfo{}).database != path) {
        // The last test catches a '?' that cut the path yet left a well-formed list.
        ShowError("配置任务宏管理数据源失败！\t\t");
        return false;
    }

    const bool existed = FileExists(path);
    Database::OpenMode mode = forceReadOnly_ ? Database::OpenMode::ReadOnly
                              : existed      ? Database::OpenMode::ReadWrite
                                             : Database::OpenMode::ReadWriteCreate;
    std::string error;
    auto db = Database::OpenDataSource(std::string("ODBC;DSN=") + kDataSourceName, mode, &error);
    if (!db) {
        ShowConnectFailed(error);
        return false;
    }
    if (!existed) {
        if (!CreateStore(*db)) {
            error = db->LastError();
            db.reset();
            unlink(path.c_str());  // the next call starts over with a fresh file
            ShowConnectFailed(error);
            return false;
        }
    } else {
        // SQLite reads the file header lazily; a file that is not a database
        // shows up here, before anything is written to it.
        auto probe = db->Prepare("SELECT count(*) FROM sqlite_master");
        if (!probe || probe->Step() != Statement::StepResult::Row) {
            ShowConnectFailed(db->LastError());
            return false;
        }
    }
    db_ = std::move(db);
    return true;
}

bool TaskStore::CreateStore(Database& db) {
    std::string ddl;
    for (const Table& t : Tables()) {
        ddl += "CREATE TABLE " + Quoted(t.name) + " (" + Quoted(kTaskNameColumn) +
               " TEXT NOT NULL PRIMARY KEY";
        for (const Column& c : t.columns) ddl += ", " + Quoted(c.name) + " " + SqlType(c.codec);
        ddl += ");\n";
    }
    DateTime stamp = Now();
    TaskRows current = DefaultRows(kCurrentTask, stamp);
    SetInfoColumn(current, "任务描述", std::string("当前任务，系统自动保存的设备工作状态参数"));
    SetInfoColumn(current, "执行时间", FormatDateTime(stamp));
    SetInfoColumn(current, kDefaultTaskColumn, std::string("-1"));
    TaskRows selfCheck = DefaultRows(kSelfCheckTask, stamp);
    SetInfoColumn(selfCheck, "任务描述", std::string("自检任务"));
    SetInfoColumn(selfCheck, "执行时间", FormatDateTime(stamp));

    return InTransaction(
        db, [&] { return db.Execute(ddl) && WriteRows(db, current) && WriteRows(db, selfCheck); });
}

std::optional<std::vector<TaskListEntry>> TaskStore::TaskList() {
    std::lock_guard lock(mutex_);
    if (!EnsureOpen()) return std::nullopt;
    auto st = db_->Prepare(std::string("SELECT ") + kTaskNameColumn + ", " + kDefaultTaskColumn +
                           " FROM " + kTaskInfoTable + " ORDER BY " + kTaskNameColumn + " ASC");
    if (!st) {
        if (!db_->TableExists(kTaskInfoTable))
            ShowTableEmpty(kTaskInfoTable);
        else
            ShowConnectFailed(db_->LastError());
        return std::nullopt;
    }
    std::vector<TaskListEntry> list;
    for (;;) {
        auto r = st->Step();
        if (r == Statement::StepResult::Done) break;
        if (r == Statement::StepResult::Error) {
            ShowConnectFailed(db_->LastError());
            return std::nullopt;
        }
        auto name = st->Text(kTaskNameColumn);
        if (!name) continue;
        list.push_back({*name, DecodeYesNo(st->Text(kDefaultTaskColumn).value_or("")) != 0});
    }
    if (list.empty()) {
        ShowTableEmpty(kTaskInfoTable);
        return std::nullopt;
    }
    return list;
}

std::optional<bool> TaskStore::TaskExists(const std::string& name) {
    auto st = db_->Prepare(std::string("SELECT 1 FROM ") + Quoted(kTaskInfoTable) + " WHERE " +
                           Quoted(kTaskNameColumn) + "=?1");
    if (!st) {
        if (!db_->TableExists(kTaskInfoTable))
            ShowTableEmpty(kTaskInfoTable);
        else
            ShowConnectFailed(db_->LastError());
        return std::nullopt;
    }
    if (!st->BindText(1, name)) return std::nullopt;
    auto r = st->Step();
    if (r == Statement::StepResult::Error) {
        ShowConnectFailed(db_->LastError());
        return std::nullopt;
    }
    return r == Statement::StepResult::Row;
}

bool TaskStore::LoadTask(const std::string& name, TaskRows& out) {
    TaskRows rows;
    rows.name = name;
    std::optional<TaskRows> defaults;
    const auto& tables = Tables();
    for (std::size_t ti = 0; ti < tables.size(); ++ti) {
        const Table& t = tables[ti];
        auto st = db_->Prepare("SELECT * FROM " + Quoted(t.name) + " WHERE " +
                               Quoted(kTaskNameColumn) + "=?1");
        if (!st) {
            if (!db_->TableExists(t.name))
                ShowTableEmpty(t.name);
            else
                ShowConnectFailed(db_->LastError());
            return false;
        }
        st->BindText(1, name);
        auto r = st->Step();
        if (r == Statement::StepResult::Error) {
            ShowConnectFailed(db_->LastError());
            return false;
        }
        std::vector<DbValue> values;
        if (r == Statement::StepResult::Row) {
            for (const Column& c : t.columns) values.push_back(st->Column(c.name));
        } else {
            auto any = db_->Prepare("SELECT 1 FROM " + Quoted(t.name) + " LIMIT 1");
            if (!any || any->Step() != Statement::StepResult::Row) {
                ShowTableEmpty(t.name);
                return false;
            }
            // The task lacks a row in this table only: its device starts from
            // the defaults and gets its row on the next write.
            if (!defaults) defaults = DefaultRows(name, Now());
            values = defaults->tables[ti];
        }
        rows.tables.push_back(std::move(values));
    }
    out = std::move(rows);
    return true;
}

bool TaskStore::LoadDefaultLocked(TaskRecords& out) {
    if (!EnsureOpen()) return false;
    auto list = TaskList();
    if (!list) return false;
    auto has = [&](const std::string& n) {
        for (const auto& e : *list)
            if (e.name == n) return true;
        return false;
    };
    std::string name;
    if (has(kCurrentTask)) {
        name = kCurrentTask;
    } else if (!lastDefaultName_.empty() && has(lastDefaultName_)) {
        name = lastDefaultName_;
    } else {
        name = list->front().name;
        for (const auto& e : *list)
            if (e.isDefault) {
                name = e.name;
                break;
            }
    }
    TaskRows rows;
    if (!LoadTask(name, rows)) return false;
    DecodeRows(rows, out);
    working_ = std::move(rows);
    lastDefaultName_ = name;
    if (!appliedValid_) {
        *applied_ = out;
        appliedValid_ = true;
    }
    return true;
}

bool TaskStore::LoadDefault(TaskRecords& out) {
    std::lock_guard lock(mutex_);
    return LoadDefaultLocked(out);
}

bool TaskStore::LoadSelfCheck(TaskRecords& out) {
    std::lock_guard lock(mutex_);
    if (!EnsureOpen()) return false;
    auto exists = TaskExists(kSelfCheckTask);
    if (!exists) return false;
    if (!*exists) {
        plat::MessageBox("没有建立“*自检*”任务，请新建！\t", kMessageCaption,
                         plat::MB_OK | plat::MB_ICONWARNING);
        return false;
    }
    TaskRows rows;
    if (!LoadTask(kSelfCheckTask, rows)) return false;
    DecodeRows(rows, out);
    working_ = std::move(rows);
    return true;
}

bool TaskStore::Modify(const TaskRecords& in, unsigned streamMask) {
    std::lock_guard lock(mutex_);
    if (!EnsureOpen()) return false;
    const std::string name(ArrayText(in.info.任务名, sizeof in.info.任务名));
    if (name.empty()) {
        ShowError("任务名为空，不能定位！\t\t\t");
        return false;
    }
    auto exists = TaskExists(name);
    if (!exists) return false;
    TaskRows base;
    if (*exists) {
        if (!LoadTask(name, base)) return false;
    } else if (working_) {
        base = *working_;  // a new task takes the other devices from the task in hand
        base.name = name;
    } else {
        base = DefaultRows(name, Now());
    }
    TaskRows rows = EncodeRows(in, base, streamMask);
    if (!InTransaction(*db_, [&] { return WriteRows(*db_, rows); })) {
        ShowWriteFailed(db_->LastError());
        return false;
    }
    working_ = std::move(rows);
    return true;
}

bool TaskStore::Load(const std::string& name, TaskRecords& out, TaskRows* rowsOut) {
    std::lock_guard lock(mutex_);
    if (!EnsureOpen()) return false;
    TaskRows rows;
    if (!LoadTask(name, rows)) return false;
    DecodeRows(rows, out);
    if (rowsOut) *rowsOut = rows;
    working_ = std::move(rows);
    return true;
}

bool TaskStore::Save(const TaskRows& rows) {
    std::lock_guard lock(mutex_);
    if (!EnsureOpen()) return false;
    if (rows.name.empty()) {
        ShowError("任务名为空，不能定位！\t\t\t");
        return false;
    }
    if (!InTransaction(*db_, [&] { return WriteRows(*db_, rows); })) {
        ShowWriteFailed(db_->LastError());
        return false;
    }
    working_ = rows;
    return true;
}

namespace {

bool DeleteRows(Database& db, const std::string& name) {
    for (const Table& t : Tables()) {
        auto del = db.Prepare("DELETE FROM " + Quoted(t.name) + " WHERE " +
                              Quoted(kTaskNameColumn) + "=?1");
        if (!del || !del->BindText(1, name) || del->Step() != Statement::StepResult::Done)
            return false;
    }
    return true;
}

}  // namespace

bool TaskStore::Delete(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (!EnsureOpen()) return false;
    bool ok = InTransaction(*db_, [&] { return DeleteRows(*db_, name); });
    if (!ok) ShowWriteFailed(db_->LastError());
    return ok;
}

bool TaskStore::Rename(const std::string& oldName, const TaskRows& rows) {
    std::lock_guard lock(mutex_);
    if (!EnsureOpen()) return false;
    if (rows.name.empty()) {
        ShowError("任务名为空，不能定位！\t\t\t");
        return false;
    }
    bool ok = InTransaction(*db_, [&] {
        return (oldName == rows.name || DeleteRows(*db_, oldName)) && WriteRows(*db_, rows);
    });
    if (!ok) {
        ShowWriteFailed(db_->LastError());
        return false;
    }
    working_ = rows;
    return true;
}

bool TaskStore::Applied(TaskRecords& out, int& code) {
    std::lock_guard lock(mutex_);
    if (!appliedValid_) {
        auto scratch = std::make_unique<TaskRecords>();
        if (!LoadDefaultLocked(*scratch)) return false;
    }
    out = *applied_;
    code = applyCode_;
    return true;
}

void TaskStore::Manage(plat::WindowHandle owner, int stream, int mode, unsigned mask) {
    std::lock_guard lock(mutex_);
    caller_ = {owner, NormalizeStream(stream), mode, mask};
    EnsureOpen();
}

bool TaskStore::ApplyAndNotify(int code, const TaskRecords& applied) {
    plat::WindowHandle owner;
    {
        std::lock_guard lock(mutex_);
        *applied_ = applied;
        appliedValid_ = true;
        applyCode_ = code;
        owner = caller_.owner;
    }
    // Posted without the lock: the owner may fetch the records at once.
    return plat::PostMessage(owner, kApplyMessage, static_cast<std::uintptr_t>(code), 0);
}

TaskStore::Caller TaskStore::LastCaller() {
    std::lock_guard lock(mutex_);
    return caller_;
}

void TaskStore::ResetForTest() {
    std::lock_guard lock(mutex_);
    db_.reset();
    working_.reset();
    lastDefaultName_.clear();
    appliedValid_ = false;
    applyCode_ = 0;
    caller_ = {};
    forceReadOnly_ = false;
}

void TaskStore::SetReadOnlyForTest(bool readOnly) {
    std::lock_guard lock(mutex_);
    forceReadOnly_ = readOnly;
    db_.reset();
}

}  // namespace taskbook

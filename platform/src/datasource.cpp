// Data-source registry (a profile file) and SQLite connections.
#include "platform/datasource.h"

#include <sqlite3.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/paths.h"
#include "platform/profile.h"

namespace plat {
namespace {

// Serialises registry writes of this process; the profile layer replaces the
// file atomically, so readers never see half a file.
std::mutex g_registryMutex;

constexpr std::string_view kSourcesSection = "ODBC Data Sources";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A data-source name becomes a profile section name; brackets or line breaks
// in it would corrupt the file.
bool IsUsableName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (c == '[' || c == ']' || c == '\n' || c == '\r' || c == '=' || c == ';') return false;
    return true;
}

bool IsUsableValue(std::string_view v) {
    return v.find('\n') == std::string_view::npos && v.find('\r') == std::string_view::npos;
}

int SqliteFlags(Database::OpenMode mode) {
    switch (mode) {
        case Database::OpenMode::ReadWriteCreate:
            return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        case Database::OpenMode::ReadOnly:
            return SQLITE_OPEN_READONLY;
        case Database::OpenMode::ReadWrite:
        default:
            return SQLITE_OPEN_READWRITE;
    }
}

}  // namespace

bool FormatAttributeList(char (&buf)[kAttributeBufferSize], const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    // The list needs room for its final NUL after the formatted text.
    if (n < 0 || static_cast<std::size_t>(n) + 1 >= sizeof buf) {
        buf[0] = buf[1] = '\0';
        return false;
    }
    for (int i = 0; i < n; ++i)
        if (buf[i] == '?') buf[i] = '\0';
    buf[n + 1] = '\0';
    return true;
}

std::string DataSourceRegistryPath() {
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
        base = x;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        base = std::string(h) + "/.config";
    } else {
        base = ".config";
    }
    return base + "/talvora/odbc.ini";
}

bool ConfigDataSource(std::string_view driver, const char* attributes, std::size_t size) {
    if (!attributes || size < 2) return false;
    std::string dsn, dbq, description, fil, defaultDir;
    std::size_t pos = 0;
    for (;;) {
        if (pos >= size) return false;  // no terminating empty attribute
        std::size_t len = strnlen(attributes + pos, size - pos);
        if (pos + len >= size) return false;
        if (len == 0) break;
        std::string_view attr(attributes + pos, len);
        pos += len + 1;
        std::size_t eq = attr.find('=');
        if (eq == std::string_view::npos) return false;
        std::string_view key = Trim(attr.substr(0, eq));
        std::string value(attr.substr(eq + 1));
        if (!IsUsableValue(value)) return false;
        if (EqualsNoCase(key, "DSN"))
            dsn = Trim(value);
        else if (EqualsNoCase(key, "DBQ"))
            dbq = value;
        else if (EqualsNoCase(key, "DESCRIPTION"))
            description = value;
        else if (EqualsNoCase(key, "FIL"))
            fil = value;
        else if (EqualsNoCase(key, "DEFAULTDIR"))
            defaultDir = value;
        // Other driver attributes have no meaning for SQLite and are dropped.
    }
    if (!IsUsableName(dsn) || dbq.empty() || !IsUsableValue(driver)) return false;

    std::lock_guard lock(g_registryMutex);
    std::string file = DataSourceRegistryPath();
    std::string dir = file.substr(0, file.rfind('/'));
    if (!CreateDirectoryPath(dir)) return false;
    return WritePrivateProfileString(dsn, "Driver", driver, file) &&
           WritePrivateProfileString(dsn, "Database", dbq, file) &&
           WritePrivateProfileString(dsn, "Description", description, file) &&
           WritePrivateProfileString(dsn, "FIL", fil, file) &&
           WritePrivateProfileString(dsn, "DefaultDir", defaultDir, file) &&
           WritePrivateProfileString(kSourcesSection, dsn, driver, file);
}

std::optional<DataSourceInfo> LookupDataSource(std::string_view name) {
    name = Trim(name);
    if (!IsUsableName(name)) return std::nullopt;
    std::string file = DataSourceRegistryPath();
    constexpr std::size_t kMax = 4096;
    DataSourceInfo info;
    info.name = name;
    info.database = GetPrivateProfileString(name, "Database", "", kMax, file);
    if (info.database.empty()) return std::nullopt;
    info.driver = GetPrivateProfileString(name, "Driver", "", kMax, file);
    info.description = GetPrivateProfileString(name, "Description", "", kMax, file);
    info.defaultDir = GetPrivateProfileString(name, "DefaultDir", "", kMax, file);
    return info;
}

// ---------------------------------------------------------------------------

std::unique_ptr<Database> Database::OpenDataSource(std::string_view connect, OpenMode mode,
                                                   std::string* error) {
    std::string_view name;
    bool sawKey = false;
    std::string_view rest = connect;
    while (!rest.empty()) {
        std::size_t semi = rest.find(';');
        std::string_view part = Trim(rest.substr(0, semi));
        rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
        std::size_t eq = part.find('=');
        if (eq == std::string_view::npos) continue;  // "ODBC" and the like
        sawKey = true;
        if (EqualsNoCase(Trim(part.substr(0, eq)), "DSN")) name = Trim(part.substr(eq + 1));
    }
    if (!sawKey) name = Trim(connect);
    auto info = LookupDataSource(name);
    if (!info) {
        if (error) *error = "data source name not found: " + std::string(name);
        return nullptr;
    }
    return OpenFile(info->database, mode, error);
}

std::unique_ptr<Database> Database::OpenFile(const std::string& path, OpenMode mode,
                                             std::string* error) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SqliteFlags(mode), nullptr);
    if (rc != SQLITE_OK) {
        if (error) *error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);
    return std::unique_ptr<Database>(new Database(db, path));
}

Database::~Database() {
    sqlite3_close_v2(db_);
}

std::unique_ptr<Statement> Database::Prepare(std::string_view sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sql.size() > static_cast<std::size_t>(INT32_MAX)) return nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), int(sql.size()), &stmt, nullptr) != SQLITE_OK ||
        !stmt) {
        error_ = sqlite3_errmsg(db_);
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return std::unique_ptr<Statement>(new Statement(*this, stmt));
}

bool Database::Execute(std::string_view sql) {
    std::string text(sql);
    char* msg = nullptr;
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
        error_ = msg ? msg : sqlite3_errmsg(db_);
        sqlite3_free(msg);
        return false;
    }
    return true;
}

bool Database::TableExists(std::string_view table) {
    auto st = Prepare("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1");
    if (!st || !st->BindText(1, table)) return false;
    return st->Step() == Statement::StepResult::Row;
}

bool Database::IsReadOnly() const {
    return sqlite3_db_readonly(db_, "main") == 1;
}

std::string Database::LastError() const {
    return error_;
}

// ---------------------------------------------------------------------------

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

bool Statement::Bind(int index, const DbValue& value) {
    int rc;
    if (auto* i = std::get_if<std::int64_t>(&value)) {
        rc = sqlite3_bind_int64(stmt_, index, *i);
    } else if (auto* d = std::get_if<double>(&value)) {
        rc = sqlite3_bind_double(stmt_, index, *d);
    } else if (auto* s = std::get_if<std::string>(&value)) {
        return BindText(index, *s);
    } else {
        rc = sqlite3_bind_null(stmt_, index);
    }
    if (rc != SQLITE_OK) db_.error_ = sqlite3_errmsg(db_.db_);
    return rc == SQLITE_OK;
}

bool Statement::BindText(int index, std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    int rc = sqlite3_bind_text(stmt_, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) db_.error_ = sqlite3_errmsg(db_.db_);
    return rc == SQLITE_OK;
}

bool Statement::Reset() {
    return sqlite3_reset(stmt_) == SQLITE_OK;
}

Statement::StepResult Statement::Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return StepResult::Row;
    if (rc == SQLITE_DONE) return StepResult::Done;
    db_.error_ = sqlite3_errmsg(db_.db_);
    return StepResult::Error;
}

int Statement::ColumnCount() const {
    return sqlite3_column_count(stmt_);
}

std::string Statement::ColumnName(int index) const {
    const char* n = sqlite3_column_name(stmt_, index);
    return n ? n : "";
}

int Statement::ColumnIndex(std::string_view name) const {
    int n = ColumnCount();
    for (int i = 0; i < n; ++i) {
        const char* c = sqlite3_column_name(stmt_, i);
        if (c && name == c) return i;
    }
    return -1;
}

DbValue Statement::Column(int index) const {
    if (index < 0 || index >= ColumnCount()) return {};
    switch (sqlite3_column_type(stmt_, index)) {
        case SQLITE_INTEGER:
            return std::int64_t{sqlite3_column_int64(stmt_, index)};
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt_, index);
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const void* p = sqlite3_column_blob(stmt_, index);
            int n = sqlite3_column_bytes(stmt_, index);
            if (!p || n <= 0) return std::string();
            return std::string(static_cast<const char*>(p), std::size_t(n));
        }
        default:
            return {};
    }
}

DbValue Statement::Column(std::string_view name) const {
    return Column(ColumnIndex(name));
}

std::optional<std::string> Statement::Text(std::string_view name) const {
    DbValue v = Column(name);
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        return std::string(buf);
    }
    return std::nullopt;
}

}  // namespace plat

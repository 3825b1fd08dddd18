// Named data sources: a registry of data-source names kept in
// $XDG_CONFIG_HOME/talvora/odbc.ini (default ~/.config), filled from the same
// NUL-separated attribute list a Windows program hands its ODBC installer, and
// SQLite connections opened by data-source name with a small record-set API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

struct sqlite3;
struct sqlite3_stmt;

namespace plat {

// Size of the buffer the attribute text is formatted into.
inline constexpr std::size_t kAttributeBufferSize = 1024;

// Formats the attribute template into `buf` and turns every '?' into a NUL,
// giving a double-NUL-terminated list. False when the text does not fit; the
// buffer then holds an empty list. A value holding '?' is cut there, which
// ConfigDataSource rejects.
bool FormatAttributeList(char (&buf)[kAttributeBufferSize], const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));

// Registers (or replaces) a user data source from a double-NUL-terminated list
// of KEY=VALUE attributes read from at most `size` bytes. DSN and DBQ are
// required; blanks around keys are ignored. False on a malformed list (an
// attribute without '=', no terminator within `size`, missing DSN or DBQ) or
// when the registry cannot be written.
bool ConfigDataSource(std::string_view driver, const char* attributes,
                      std::size_t size = kAttributeBufferSize);

struct DataSourceInfo {
    std::string name, driver, database, description, defaultDir;
};

// The registered data source, or nothing when the name is unknown.
std::optional<DataSourceInfo> LookupDataSource(std::string_view name);

// Path of the registry file.
std::string DataSourceRegistryPath();

// A column value: NULL, integer, real or text.
using DbValue = std::variant<std::monostate, std::int64_t, double, std::string>;

inline bool IsNull(const DbValue& v) {
    return std::holds_alternative<std::monostate>(v);
}

class Database;

// A prepared statement; after Step() returns Row the current row's columns are
// read by name. Parameters are numbered from 1.
class Statement {
public:
    enum class StepResult { Row, Done, Error };

    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Bind(int index, const DbValue& value);
    bool BindText(int index, std::string_view text);
    bool Reset();  // ready to run again, bindings kept

    StepResult Step();

    int ColumnCount() const;
    std::string ColumnName(int index) const;
    int ColumnIndex(std::string_view name) const;  // -1 when absent
    bool HasColumn(std::string_view name) const { return ColumnIndex(name) >= 0; }
    // NULL, and an absent column, give a monostate; an empty text is "".
    DbValue Column(int index) const;
    DbValue Column(std::string_view name) const;
    // The value as text; nothing for NULL or an absent column.
    std::optional<std::string> Text(std::string_view name) const;

private:
    friend class Database;
    Statement(Database& db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
    Database& db_;
    sqlite3_stmt* stmt_;
};

class Database {
public:
    enum class OpenMode {
        ReadWrite,        // existing file; a write-protected one opens read-only
        ReadWriteCreate,  // creates the file when missing
        ReadOnly,
    };

    // Opens a data source by connect string: "ODBC;DSN=name", "DSN=name" or a
    // bare name. On failure returns null and puts the reason into *error.
    static std::unique_ptr<Database> OpenDataSource(std::string_view connect, OpenMode mode,
                                                    std::string* error);
    // Opens a database file directly.
    static std::unique_ptr<Database> OpenFile(const std::string& path, OpenMode mode,
                                              std::string* error);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Null on error (see LastError).
    std::unique_ptr<Statement> Prepare(std::string_view sql);
    // Runs one or more statements without parameters.
    bool Execute(std::string_view sql);
    bool TableExists(std::string_view table);
    bool IsReadOnly() const;
    std::string LastError() const;
    const std::string& Path() const { return path_; }

private:
    Database(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    friend class Statement;
    sqlite3* db_;
    std::string path_;
    std::string error_;  // error of the last failed call that SQLite does not keep
};

}  // namespace plat

// talvora-mdbimport SOURCE.mdb TARGET: copies the four tables of an Access
// parameter database into a new SQLite file, every column in its order.
// The source is opened read-only; exit status 0 on success, 1 on bad
// arguments, 2 when the source cannot be read, 3 when the target cannot be
// written. Runs as its own process, so a damaged file cannot take the
// program down with it.
#include <glib.h>
// glib first: mdbtools.h uses its types without including it.
#include <mdbtools.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kTables[] = {"参数属性", "子帧结构", "副帧结构", "特殊副帧结构"};
constexpr int kRequiredTables = 2;  // 参数属性 and 子帧结构
constexpr std::size_t kBindBytes = 65536;

std::string Quoted(const char* id) {
    std::string s = "\"";
    for (const char* p = id; *p; ++p) s += *p == '"' ? std::string("\"\"") : std::string(1, *p);
    return s + "\"";
}

enum class Kind { Integer, Real, Text };

Kind KindOf(int type) {
    switch (type) {
        case MDB_BOOL:
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
            return Kind::Integer;
        case MDB_MONEY:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_NUMERIC:
            return Kind::Real;
        default:
            return Kind::Text;
    }
}

bool Exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Copies one table; false when the target cannot take it.
bool CopyTable(MdbTableDef* table, sqlite3* db, const char* name) {
    mdb_read_columns(table);
    mdb_rewind_table(table);
    const unsigned n = table->num_cols;
    std::string create = "CREATE TABLE " + Quoted(name) + " (";
    std::string insert = "INSERT INTO " + Quoted(name) + " VALUES (";
    std::vector<Kind> kinds(n);
    for (unsigned i = 0; i < n; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        kinds[i] = KindOf(col->col_type);
        create += (i ? ", " : "") + Quoted(col->name) +
                  (kinds[i] == Kind::Integer ? " INTEGER"
                   : kinds[i] == Kind::Real  ? " REAL"
                                             : " TEXT");
        insert += (i ? ", ?" : "?") + std::to_string(i + 1);
    }
    if (!Exec(db, create + ")")) return false;
    std::vector<std::vector<char>> values(n, std::vector<char>(kBindBytes));
    std::vector<int> lengths(n);
    for (unsigned i = 0; i < n; ++i)
        mdb_bind_column(table, int(i + 1), values[i].data(), &lengths[i]);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &st, nullptr) != SQLITE_OK) return false;
    bool ok = true;
    while (ok && mdb_fetch_row(table)) {
        sqlite3_reset(st);
        for (unsigned i = 0; i < n; ++i) {
            const int len = std::min(std::max(lengths[i], 0), int(kBindBytes) - 1);
            values[i][std::size_t(len)] = '\0';
            const char* text = values[i].data();
            if (len == 0) {
                sqlite3_bind_null(st, int(i + 1));
            } else if (kinds[i] == Kind::Integer) {
                sqlite3_bind_int64(st, int(i + 1), std::strtoll(text, nullptr, 10));
            } else if (kinds[i] == Kind::Real) {
                sqlite3_bind_double(st, int(i + 1), std::strtod(text, nullptr));
            } else {
                sqlite3_bind_text(st, int(i + 1), text, len, SQLITE_TRANSIENT);
            }
        }
        ok = sqlite3_step(st) == SQLITE_DONE;
    }
    sqlite3_finalize(st);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: talvora-mdbimport SOURCE.mdb TARGET\n");
        return 1;
    }
    MdbHandle* mdb = mdb_open(argv[1], MDB_NOFLAGS);
    if (!mdb || !mdb_read_catalog(mdb, MDB_TABLE)) {
        std::fprintf(stderr, "talvora-mdbimport: cannot read %s\n", argv[1]);
        if (mdb) mdb_close(mdb);
        return 2;
    }
    mdb_set_bind_size(mdb, kBindBytes);
    const std::string partial = std::string(argv[2]) + ".part";
    unlink(partial.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(partial.c_str(), &db) != SQLITE_OK || !Exec(db, "BEGIN")) {
        sqlite3_close(db);
        mdb_close(mdb);
        return 3;
    }
    int status = 0;
    for (int t = 0; t < 4 && status == 0; ++t) {
        MdbTableDef* table = mdb_read_table_by_name(mdb, const_cast<gchar*>(kTables[t]), MDB_TABLE);
        if (!table) {
            if (t < kRequiredTables) status = 2;
            continue;
        }
        if (!CopyTable(table, db, kTables[t])) status = 3;
        mdb_free_tabledef(table);
    }
    mdb_close(mdb);
    if (status == 0 && !Exec(db, "COMMIT")) status = 3;
    sqlite3_close(db);
    if (status == 0 && std::rename(partial.c_str(), argv[2]) != 0) status = 3;
    if (status != 0) unlink(partial.c_str());
    return status;
}

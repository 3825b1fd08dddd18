// LoadParameterDatabase of 3 x 4095 parameters against a bare SELECT * that
// reads every column of the same rows, in the same run and the same file.
#include <platform/datasource.h>
#include <platform/paths.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "db_reader.h"
#include "preferences/preferences.h"
#include "sample_db.h"

namespace {

using Clock = std::chrono::steady_clock;

bool MakeDatabase(const std::string& path, int perLevel) {
    std::string error;
    auto db = plat::Database::OpenFile(path, plat::Database::OpenMode::ReadWriteCreate, &error);
    if (!db || !db->Execute("BEGIN") || !db->Execute(prefs::ParameterDatabaseSchema()))
        return false;
    db->Execute(
        "INSERT INTO 子帧结构 (编码位数, 时码宽度, 子帧长, 码速率, 子帧同步码长) "
        "VALUES (8, 8, 256, 20000000, 16)");
    db->Execute("INSERT INTO 副帧结构 (副帧长, 副帧1子帧路号) VALUES (32, 200)");
    db->Execute(
        "INSERT INTO 特殊副帧结构 (特殊副帧长度, 字头标记长, 字头标记, 所占路数, 实时波道号1) "
        "VALUES (64, 2, 'EB90', 1, 201)");
    auto ins = db->Prepare(
        "INSERT INTO 参数属性 (参数名称, 物理量含义, 单位, 数据类型, 参数类型, 副帧号, 路号总数, "
        "最大值, 最小值, 处理类型, 上限, 下限, 参数所在比特, 路号1, 路号2, A0, A1, X1, Y1) "
        "VALUES (?1, '温度测量值', 'V', ?2, ?3, 1, 2, NULL, NULL, '公式法', 100, NULL, 0, ?4, "
        "?5, 0.5, 2.0, 1.0, 2.0)");
    const char* types[] = {"子帧", "副帧", "特殊副帧"};
    for (int level = 0; level < 3; ++level)
        for (int i = 0; i < perLevel; ++i) {
            ins->Reset();
            ins->BindText(1, "参数 " + std::to_string(level) + "_" + std::to_string(i));
            ins->BindText(2, i % 2 ? "有符号数" : "无符号数");
            ins->BindText(3, types[level]);
            ins->Bind(4, std::int64_t{1 + i % 30});
            ins->Bind(5, std::int64_t{2 + i % 30});
            if (ins->Step() != plat::Statement::StepResult::Done) return false;
        }
    return db->Execute("COMMIT");
}

// Every column of every row of the three level queries.
std::size_t BareRead() {
    std::string error;
    auto db = plat::Database::OpenDataSource("ODBC;DSN=ParTB", plat::Database::OpenMode::ReadOnly,
                                             &error);
    std::size_t cells = 0;
    for (int level = 0; level < 3; ++level) {
        auto st = db->Prepare(prefs::LevelQuery(prefs::Level(level)));
        const int n = st->ColumnCount();
        while (st->Step() == plat::Statement::StepResult::Row)
            for (int c = 0; c < n; ++c) cells += !plat::IsNull(st->Column(c));
    }
    return cells;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    char dirTemplate[] = "/tmp/param_load.XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) return 1;
    setenv("XDG_CONFIG_HOME", dir, 1);
    plat::SetModuleDirectory(dir);
    const std::string path = std::string(dir) + "/bench.mdb";
    if (!MakeDatabase(path, 4095) || !ConfigODBCDataSource(path.c_str())) {
        std::fprintf(stderr, "cannot set up the database\n");
        return 1;
    }
    double load = 1e30, bare = 1e30;
    std::size_t cells = 0;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        LoadParameterDatabase();
        auto t1 = Clock::now();
        cells += BareRead();
        auto t2 = Clock::now();
        load = std::min(load, std::chrono::duration<double>(t1 - t0).count());
        bare = std::min(bare, std::chrono::duration<double>(t2 - t1).count());
    }
    int n[3];
    GetParametersTotalNumber(n[0], n[1], n[2]);
    std::printf("parameters %d + %d + %d, best of %d rounds (%zu cells read)\n", n[0], n[1], n[2],
                rounds, cells / std::size_t(rounds));
    std::printf("LoadParameterDatabase %.1f ms, bare SELECT * %.1f ms, ratio %.2f\n", load * 1e3,
                bare * 1e3, load / bare);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}

#include "sample_db.h"

#include <platform/datasource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "param_model.h"
#include "selection_file.h"

namespace prefs {
namespace {

using plat::Database;
using plat::DbValue;

struct Col {
    std::string name;
    const char* type;
};

std::vector<Col> ParamColumns() {
    std::vector<Col> c = {
        {"参数名称", "TEXT"},
        {"物理量含义", "TEXT"},
        {"单位", "TEXT"},
        {"数据类型", "TEXT"},
        {"参数类型", "TEXT"},
        {"副帧号", "INTEGER"},
        {"路号总数", "INTEGER"},
        {"最大值", "REAL"},
        {"最小值", "REAL"},
        {"处理类型", "TEXT"},
        {"超限报警", "TEXT"},
        {"上限", "REAL"},
        {"下限", "REAL"},
        {"参数所在比特", "INTEGER"},
        {"极性标记", "TEXT"},
        {"特殊副帧字头长", "INTEGER"},
        {"特殊副帧字头位置", "INTEGER"},
        {"特殊副帧字头值", "TEXT"},
        {"比较值", "INTEGER"},
        {"参数特性", "TEXT"},
        {"超采间隔", "INTEGER"},
        {"超采次数", "INTEGER"},
    };
    for (int i = 1; i <= 8; ++i) c.push_back({"路号" + std::to_string(i), "INTEGER"});
    for (int i = 0; i <= 5; ++i) c.push_back({"A" + std::to_string(i), "REAL"});
    c.push_back({"查表法对数", "INTEGER"});
    for (int i = 1; i <= 32; ++i) {
        c.push_back({"X" + std::to_string(i), "REAL"});
        c.push_back({"Y" + std::to_string(i), "REAL"});
    }
    return c;
}

std::vector<Col> SubframeColumns() {
    return {{"流别名", "TEXT"},      {"编码位数", "INTEGER"},     {"时码宽度", "INTEGER"},
            {"时码格式", "TEXT"},    {"子帧长", "INTEGER"},       {"码速率", "INTEGER"},
            {"子帧周期", "REAL"},    {"子帧同步码长", "INTEGER"}, {"子帧同步码", "TEXT"},
            {"副帧个数", "INTEGER"}, {"特殊副帧个数", "INTEGER"}};
}

std::vector<Col> SuperframeColumns() {
    std::vector<Col> c = {
        {"副帧长", "INTEGER"},     {"副帧周期", "REAL"},   {"副帧同步码长", "INTEGER"},
        {"副帧同步码", "TEXT"},    {"副帧属性", "TEXT"},   {"ID计数初值", "INTEGER"},
        {"ID计数终值", "INTEGER"}, {"ID计数顺序", "TEXT"}, {"ID计数位置", "INTEGER"}};
    for (int i = 1; i <= 32; ++i) c.push_back({"副帧" + std::to_string(i) + "子帧路号", "INTEGER"});
    return c;
}

std::vector<Col> SpecialColumns() {
    std::vector<Col> c = {{"特殊副帧长度", "INTEGER"}, {"特殊副帧同步码长度", "INTEGER"},
                          {"特殊副帧同步码", "TEXT"},  {"重发标记头长", "INTEGER"},
                          {"重发标记头", "TEXT"},      {"字头标记长", "INTEGER"},
                          {"字头标记", "TEXT"},        {"特殊副帧别名", "TEXT"},
                          {"所占路数", "INTEGER"}};
    for (int i = 1; i <= 8; ++i) c.push_back({"实时波道号" + std::to_string(i), "INTEGER"});
    return c;
}

std::string CreateTable(const std::string& name, const std::vector<Col>& cols) {
    std::string sql = "CREATE TABLE \"" + name + "\" (";
    for (std::size_t i = 0; i < cols.size(); ++i)
        sql += (i ? ", \"" : "\"") + cols[i].name + "\" " + cols[i].type;
    return sql + ");\n";
}

using Row = std::vector<std::pair<std::string, DbValue>>;

bool Insert(Database& db, const std::string& table, const Row& row) {
    std::string sql = "INSERT INTO \"" + table + "\" (", values;
    for (std::size_t i = 0; i < row.size(); ++i) {
        sql += (i ? ", \"" : "\"") + row[i].first + "\"";
        values += (i ? ", ?" : "?") + std::to_string(i + 1);
    }
    auto st = db.Prepare(sql + ") VALUES (" + values + ")");
    if (!st) return false;
    for (std::size_t i = 0; i < row.size(); ++i)
        if (!st->Bind(int(i + 1), row[i].second)) return false;
    return st->Step() == plat::Statement::StepResult::Done;
}

struct SampleParam {
    const char* name = "";
    const char* meaning = "";
    const char* type = "";  // 参数类型
    std::vector<std::int64_t> routes;
    std::int64_t frameNo = 0;
    bool isSigned = false;
    bool bit = false;
    std::int64_t bitIndex = 0;
    double a1 = 1, a0 = 0;
    std::optional<double> max{}, min{}, upper{}, lower{};
    const char* unit = "";
    bool curveAndStripe = false;
};

// The words cardengine generates for the default task: 24 words of 8 bits
// after an 8-byte tag, four subframes with the ID word counting down.
const std::vector<SampleParam>& SampleParams() {
    static const std::vector<SampleParam> params = {
        {.name = "帧同步码", .meaning = "子帧同步码", .type = "子帧", .routes = {1, 2}},
        {.name = "帧计数", .meaning = "帧计数器", .type = "子帧", .routes = {3, 4, 5}},
        {.name = "正弦波",
         .meaning = "正弦波信号",
         .type = "子帧",
         .routes = {6},
         .a1 = 0.02,
         .a0 = -2.54,
         .max = 2.54,
         .min = -2.54,
         .upper = 2.0,
         .lower = -2.0,
         .unit = "V",
         .curveAndStripe = true},
        {.name = "ID字", .meaning = "子帧ID计数", .type = "子帧", .routes = {7}},
        {.name = "阶梯码",
         .meaning = "阶梯码信号",
         .type = "子帧",
         .routes = {8},
         .isSigned = true,
         .curveAndStripe = true},
        {.name = "同步码位15",
         .meaning = "同步码最高位",
         .type = "子帧",
         .routes = {1, 2},
         .bit = true,
         .bitIndex = 15},
        {.name = "副帧字", .meaning = "副帧1的第2字", .type = "副帧", .routes = {2}, .frameNo = 1},
        {.name = "特殊字1",
         .meaning = "特殊副帧第2字节",
         .type = "特殊副帧",
         .routes = {2},
         .frameNo = 1},
        {.name = "特殊字23",
         .meaning = "特殊副帧第3、4字节",
         .type = "特殊副帧",
         .routes = {3, 4},
         .frameNo = 1},
    };
    return params;
}

DbValue Opt(const std::optional<double>& v) {
    return v ? DbValue{*v} : DbValue{};
}

bool FillSample(Database& db) {
    if (!Insert(db, "子帧结构",
                {{"流别名", std::string("示例流")},
                 {"编码位数", std::int64_t{8}},
                 {"时码宽度", std::int64_t{8}},
                 {"时码格式", std::string("BCD")},
                 {"子帧长", std::int64_t{24}},
                 {"码速率", std::int64_t{4000000}},
                 {"子帧周期", 0.048},
                 {"子帧同步码长", std::int64_t{16}},
                 {"子帧同步码", std::string("EB90")},
                 {"副帧个数", std::int64_t{1}},
                 {"特殊副帧个数", std::int64_t{1}}}))
        return false;
    Row super = {{"副帧长", std::int64_t{4}},         {"副帧周期", 0.192},
                 {"副帧同步码长", std::int64_t{8}},   {"副帧同步码", std::string("03")},
                 {"副帧属性", std::string("ID副帧")}, {"ID计数初值", std::int64_t{3}},
                 {"ID计数终值", std::int64_t{0}},     {"ID计数顺序", std::string("减计数")},
                 {"ID计数位置", std::int64_t{7}}};
    for (int i = 1; i <= 32; ++i)
        super.push_back({"副帧" + std::to_string(i) + "子帧路号", std::int64_t{i == 1 ? 8 : 0}});
    if (!Insert(db, "副帧结构", super)) return false;
    Row special = {
        {"特殊副帧长度", std::int64_t{16}},    {"特殊副帧同步码长度", std::int64_t{8}},
        {"特殊副帧同步码", std::string("55")}, {"重发标记头长", std::int64_t{0}},
        {"重发标记头", std::string("")},       {"字头标记长", std::int64_t{1}},
        {"字头标记", std::string("55")},       {"特殊副帧别名", std::string("特殊副帧1")},
        {"所占路数", std::int64_t{1}}};
    for (int i = 1; i <= 8; ++i)
        special.push_back({"实时波道号" + std::to_string(i), std::int64_t{i == 1 ? 8 : 0}});
    if (!Insert(db, "特殊副帧结构", special)) return false;

    for (const SampleParam& p : SampleParams()) {
        Row row = {{"参数名称", std::string(p.name)},
                   {"物理量含义", std::string(p.meaning)},
                   {"单位", std::string(p.unit)},
                   {"数据类型", std::string(p.isSigned ? "有符号数" : "无符号数")},
                   {"参数类型", std::string(p.type)},
                   {"副帧号", std::int64_t{p.frameNo}},
                   {"路号总数", std::int64_t(p.routes.size())},
                   {"最大值", Opt(p.max)},
                   {"最小值", Opt(p.min)},
                   {"处理类型", std::string(p.bit ? "开关量" : "公式法")},
                   {"上限", Opt(p.upper)},
                   {"下限", Opt(p.lower)},
                   {"参数所在比特", std::int64_t{p.bitIndex}},
                   {"A0", p.a0},
                   {"A1", p.a1}};
        for (std::size_t i = 0; i < p.routes.size(); ++i)
            row.push_back({"路号" + std::to_string(i + 1), p.routes[i]});
        if (!Insert(db, "参数属性", row)) return false;
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string ParameterDatabaseSchema() {
    return CreateTable("参数属性", ParamColumns()) + CreateTable("子帧结构", SubframeColumns()) +
           CreateTable("副帧结构", SuperframeColumns()) +
           CreateTable("特殊副帧结构", SpecialColumns());
}

bool CreateSampleDatabase(const std::string& path, std::string* error) {
    if (Exists(path)) {
        if (error) *error = "exists";
        return false;
    }
    bool ok = false;
    {
        auto db = Database::OpenFile(path, Database::OpenMode::ReadWriteCreate, error);
        if (!db) return false;
        ok = db->Execute("BEGIN") && db->Execute(ParameterDatabaseSchema()) && FillSample(*db) &&
             db->Execute("COMMIT");
        if (!ok && error) *error = db->LastError();
    }
    if (!ok) unlink(path.c_str());
    return ok;
}

void WriteSampleSelections(const std::string& dir) {
    std::vector<ParamRecord> levels[3];
    for (const SampleParam& p : SampleParams()) {
        ParamRecord r;
        r.name = p.name;
        r.nSelTable = 1;
        r.nSelCurve = r.nSelStripe = p.curveAndStripe ? 1 : 0;
        r.nSelected = 1;
        const std::string type = p.type;
        levels[type == "子帧" ? 0 : type == "副帧" ? 1 : 2].push_back(std::move(r));
    }
    static const char* const kFiles[] = {"子帧.sel", "副帧.sel", "特殊副帧.sel"};
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir + "/" + kFiles[i];
        if (Exists(path)) continue;
        const auto bytes = FormatSelectionFile(levels[i]);
        // O_EXCL: never replace a file that appeared meanwhile.
        if (FILE* f = std::fopen(path.c_str(), "wbx")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
}

}  // namespace prefs

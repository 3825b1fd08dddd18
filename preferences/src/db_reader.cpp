#include "db_reader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace prefs {
namespace {

using plat::Database;
using plat::DbValue;
using plat::Statement;

std::string Quoted(std::string_view id) {
    return "\"" + std::string(id) + "\"";
}

// Column indices of one record set, looked up once.
class Columns {
public:
    Columns(const Statement& st) : st_(st) {}
    int Index(std::string_view name) const { return st_.ColumnIndex(name); }
    DbValue At(int index) const { return index < 0 ? DbValue{} : st_.Column(index); }

private:
    const Statement& st_;
};

}  // namespace

std::string LevelQuery(Level level) {
    static const char* const kTypes[] = {"子帧", "副帧", "特殊副帧"};
    return std::string("SELECT * FROM ") + kParamTable + " WHERE 参数类型='" +
           kTypes[static_cast<int>(level)] + "' ORDER BY rowid";
}

std::optional<std::int64_t> IntegerValue(const DbValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        if (*i < INT_MIN || *i > INT_MAX) return std::nullopt;
        return *i;
    }
    if (const auto* d = std::get_if<double>(&v)) {
        if (!std::isfinite(*d) || *d < INT_MIN || *d > INT_MAX) return std::nullopt;
        return static_cast<std::int64_t>(*d);
    }
    return std::nullopt;
}

std::optional<double> RealValue(const DbValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&v))
        if (std::isfinite(*d)) return *d;
    return std::nullopt;
}

std::string TextValue(const DbValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", *d);
        return buf;
    }
    return {};
}

bool ReadParamRows(Database& db, Level level, std::vector<ParamRow>& rows) {
    auto st = db.Prepare(LevelQuery(level));
    if (!st) return false;
    Columns c(*st);
    const int name = c.Index("参数名称"), meaning = c.Index("物理量含义"), unit = c.Index("单位"),
              dataType = c.Index("数据类型"), frameNo = c.Index("副帧号"),
              words = c.Index("路号总数"), max = c.Index("最大值"), min = c.Index("最小值"),
              process = c.Index("处理类型"), upper = c.Index("上限"), lower = c.Index("下限"),
              bit = c.Index("参数所在比特");
    int route[8], coef[6];
    for (int i = 0; i < 8; ++i) route[i] = c.Index("路号" + std::to_string(i + 1));
    for (int i = 0; i < 6; ++i) coef[i] = c.Index("A" + std::to_string(i));
    for (;;) {
        auto r = st->Step();
        if (r == Statement::StepResult::Done) return true;
        if (r == Statement::StepResult::Error) return false;
        ParamRow row;
        row.name = TextValue(c.At(name));
        row.meaning = TextValue(c.At(meaning));
        row.unit = TextValue(c.At(unit));
        row.dataType = TextValue(c.At(dataType));
        row.processType = TextValue(c.At(process));
        row.frameNo = IntegerValue(c.At(frameNo));
        row.wordCount = IntegerValue(c.At(words));
        row.bit = IntegerValue(c.At(bit));
        for (int i = 0; i < 8; ++i) row.routes[i] = IntegerValue(c.At(route[i]));
        row.max = RealValue(c.At(max));
        row.min = RealValue(c.At(min));
        row.upper = RealValue(c.At(upper));
        row.lower = RealValue(c.At(lower));
        for (int i = 0; i < 6; ++i) row.coef[i] = RealValue(c.At(coef[i]));
        rows.push_back(std::move(row));
    }
}

void ReadFrameTables(Database& db, FrameStructure& frame) {
    if (auto st = db.Prepare("SELECT * FROM " + Quoted(kSubframeTable) + " ORDER BY rowid LIMIT 1");
        st && st->Step() == Statement::StepResult::Row) {
        frame.wordBitsDb = IntegerValue(st->Column("编码位数")).value_or(0);
        frame.timeCodeWidth = IntegerValue(st->Column("时码宽度")).value_or(0);
        frame.subframeLen = IntegerValue(st->Column("子帧长")).value_or(0);
        frame.bitRate = IntegerValue(st->Column("码速率")).value_or(0);
        frame.syncBits = IntegerValue(st->Column("子帧同步码长")).value_or(0);
    }
    if (auto st =
            db.Prepare("SELECT * FROM " + Quoted(kSuperframeTable) + " ORDER BY rowid LIMIT 1");
        st && st->Step() == Statement::StepResult::Row) {
        frame.superframeLen = IntegerValue(st->Column("副帧长")).value_or(0);
        for (int n = 0; n < kSuperframeColumns; ++n)
            frame.superColumns[std::size_t(n)] =
                IntegerValue(st->Column("副帧" + std::to_string(n + 1) + "子帧路号")).value_or(0);
    }
}

void ReadSpecialTable(Database& db, std::vector<SpecialDescription>& specials) {
    auto st = db.Prepare("SELECT * FROM " + Quoted(kSpecialTable) + " ORDER BY rowid");
    if (!st) return;
    Columns c(*st);
    const int length = c.Index("特殊副帧长度"), syncLen = c.Index("字头标记长"),
              sync = c.Index("字头标记"), count = c.Index("所占路数");
    int channel[8];
    for (int i = 0; i < 8; ++i) channel[i] = c.Index("实时波道号" + std::to_string(i + 1));
    while (st->Step() == Statement::StepResult::Row) {
        SpecialDescription s;
        s.length = IntegerValue(c.At(length)).value_or(0);
        s.syncLen = IntegerValue(c.At(syncLen)).value_or(0);
        s.syncHex = TextValue(c.At(sync));
        const std::int64_t n =
            std::clamp<std::int64_t>(IntegerValue(c.At(count)).value_or(0), 0, 8);
        for (std::int64_t i = 0; i < n; ++i)
            s.wordPositions.push_back(IntegerValue(c.At(channel[i])).value_or(0));
        s.orderFlag = 1;  // the table has no column for it: most significant first
        specials.push_back(std::move(s));
    }
}

bool IsParameterDatabase(const std::string& path) {
    std::string error;
    auto db = Database::OpenFile(path, Database::OpenMode::ReadOnly, &error);
    if (!db) return false;
    // SQLite reads the header lazily: a file that is no database fails here.
    auto probe = db->Prepare("SELECT count(*) FROM sqlite_master");
    if (!probe || probe->Step() != Statement::StepResult::Row) return false;
    return db->TableExists(kParamTable) && db->TableExists(kSubframeTable);
}

}  // namespace prefs

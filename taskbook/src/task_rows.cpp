// A task's rows by table and column, and the checks of one table on them.
#include "task_rows.h"

#include <cmath>
#include <cstdio>

namespace taskbook {

using plat::DbValue;

std::size_t TableIndex(std::string_view name) {
    const auto& t = Tables();
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i].name == name) return i;
    return t.size();
}

std::size_t ColumnOf(std::size_t table, std::string_view column) {
    const auto& cols = Tables()[table].columns;
    for (std::size_t i = 0; i < cols.size(); ++i)
        if (cols[i].name == column) return i;
    return cols.size();
}

const DbValue* RowValue(const TaskRows& rows, std::size_t table, std::string_view column) {
    if (table >= rows.tables.size()) return nullptr;
    const std::size_t c = ColumnOf(table, column);
    return c < rows.tables[table].size() ? &rows.tables[table][c] : nullptr;
}

Number RowNumber(const TaskRows& rows, std::size_t table, std::string_view column) {
    const DbValue* v = RowValue(rows, table, column);
    if (!v) return std::nullopt;
    if (auto* i = std::get_if<std::int64_t>(v)) return *i;
    if (auto* d = std::get_if<double>(v))
        return std::isfinite(*d) && *d == std::trunc(*d) && std::fabs(*d) < 9e18
                   ? Number(static_cast<std::int64_t>(*d))
                   : std::nullopt;
    if (auto* s = std::get_if<std::string>(v)) return ParseInteger(*s);
    return std::nullopt;
}

Real RowReal(const TaskRows& rows, std::size_t table, std::string_view column) {
    const DbValue* v = RowValue(rows, table, column);
    if (!v) return std::nullopt;
    if (auto* d = std::get_if<double>(v)) return *d;
    if (auto* i = std::get_if<std::int64_t>(v)) return static_cast<double>(*i);
    if (auto* s = std::get_if<std::string>(v)) return ParseReal(*s);
    return std::nullopt;
}

bool RowYes(const TaskRows& rows, std::size_t table, std::string_view column) {
    return DecodeYesNo(RowText(rows, table, column)) != 0;
}

std::uint32_t RowLabel(const TaskRows& rows, std::size_t table, std::string_view column) {
    const std::size_t c = ColumnOf(table, column);
    const Column& col = Tables()[table].columns[c];
    return col.labels ? DecodeLabel(*col.labels, RowText(rows, table, column)) : 0;
}

bool StartsWith(std::string_view s, std::string_view p) {
    return s.substr(0, p.size()) == p;
}

FrameValues FrameFromRows(const TaskRows& rows, std::size_t t, bool sim) {
    FrameValues v;
    v.codeRate = RowNumber(rows, t, "码率");
    v.wordBits = RowNumber(rows, t, "字长");
    v.subframe = RowNumber(rows, t, "子帧长");
    v.superframe = RowNumber(rows, t, "副帧长");
    v.superType = RowLabel(rows, t, "副帧类型");
    v.syncCode = RowText(rows, t, "帧同步码");
    v.syncBits = RowNumber(rows, t, "帧同步码位长");
    v.syncPos = RowNumber(rows, t, "帧同步码位置");
    v.superPos = RowNumber(rows, t, "副帧路序");
    v.superSync = RowText(rows, t, "副帧同步码");
    if (sim) {
        v.signalInit = RowNumber(rows, t, "信号初值");
        v.stepIncrement = RowNumber(rows, t, "台阶码步进");
        v.sineStep = RowNumber(rows, t, "正弦波步进");
        v.counterHighOn = RowYes(rows, t, "帧计数高位使能");
        v.counterLowOn = RowYes(rows, t, "帧计数低位使能");
        v.sineOn = RowYes(rows, t, "正弦波使能");
        v.counterHighPos = RowNumber(rows, t, "帧计数高位路序");
        v.counterLowPos = RowNumber(rows, t, "帧计数低位路序");
        v.sinePos = RowNumber(rows, t, "正弦波路序");
    }
    v.cipherOn = RowYes(rows, t, "加解密开关");
    v.keyLength = RowLabel(rows, t, "密钥长度");
    v.period = RowNumber(rows, t, "加密周期");
    v.startFrame = RowNumber(rows, t, "加密起始帧");
    v.counterPos = RowNumber(rows, t, "帧计数路序");
    v.keyChannels = RowText(rows, t, "密钥波道");
    v.encryptedChannels = RowText(rows, t, "加密波道");
    return v;
}

EmulatorValues EmulatorFromRows(const TaskRows& rows, std::size_t t) {
    EmulatorValues v;
    v.modulation = RowLabel(rows, t, "调制体制");
    v.superType = RowLabel(rows, t, "副帧类型");
    v.codeRate = RowNumber(rows, t, "码率(bps)");
    v.deviationKHz = RowNumber(rows, t, "调制频偏(KHz)");
    v.wordBits = RowNumber(rows, t, "字长(bits)");
    v.subframe = RowNumber(rows, t, "子帧长");
    v.idPos = RowNumber(rows, t, "ID码路序");
    v.superPos = RowNumber(rows, t, "副帧路序");
    v.counterHighOn = RowYes(rows, t, "选择帧计数高位");
    v.counterHighPos = RowNumber(rows, t, "帧计数高位");
    v.counterLowOn = RowYes(rows, t, "选择帧计数低位");
    v.counterLowPos = RowNumber(rows, t, "帧计数低位");
    v.sineOn = RowYes(rows, t, "选择正弦波");
    v.sinePos = RowNumber(rows, t, "正弦波路序");
    v.signalInit = RowNumber(rows, t, "信号初值");
    v.stepIncrement = RowNumber(rows, t, "台阶码步径");
    v.carrierMHz = RowReal(rows, t, "载波频率(MHz)");
    return v;
}

namespace {

// A number field that no rule covers still has to hold a number.
Refusal CheckNumbers(const TaskRows& rows, std::size_t t) {
    const Table& table = Tables()[t];
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const Column& col = table.columns[c];
        if (c >= rows.tables[t].size()) break;
        const DbValue& v = rows.tables[t][c];
        const auto* s = std::get_if<std::string>(&v);
        bool bad = false;
        if ((col.codec == Codec::Int || col.codec == Codec::Real) && (s || plat::IsNull(v)))
            bad = true;
        if ((col.codec == Codec::Hex32 || col.codec == Codec::Hex64) && s && !ParseHex(*s))
            bad = true;
        if (col.codec == Codec::Hex32 && s)
            if (auto h = ParseHex(*s); h && *h > 0xFFFFFFFFu) bad = true;
        if (bad) return col.name + "输入有误，请重新输入！";
    }
    return std::nullopt;
}

}  // namespace

std::string RowText(const TaskRows& rows, std::size_t table, std::string_view column) {
    const DbValue* v = RowValue(rows, table, column);
    if (!v) return {};
    if (auto* s = std::get_if<std::string>(v)) return *s;
    if (auto* i = std::get_if<std::int64_t>(v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(v)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.10g", *d);
        return buf;
    }
    return {};
}

void SetRowValue(TaskRows& rows, std::size_t table, std::string_view column, DbValue v) {
    if (table >= rows.tables.size()) return;
    const std::size_t c = ColumnOf(table, column);
    if (c < rows.tables[table].size()) rows.tables[table][c] = std::move(v);
}

Refusal CheckTable(const TaskRows& rows, std::size_t t) {
    if (t >= Tables().size() || t >= rows.tables.size()) return std::nullopt;
    const std::string& name = Tables()[t].name;
    Refusal r;
    if (StartsWith(name, "下变频器"))
        r = CheckDownConverterFrequency(RowReal(rows, t, "接收频率(MHz)"));
    else if (StartsWith(name, "接收机")) {
        const Real hz = RowReal(rows, t, "输入频率");
        r = CheckReceiverFrequency(hz ? Real(*hz / kHzPerMHz) : std::nullopt);
        if (!r && RowLabel(rows, t, "伪码来源") == kPnLoaded)
            r = CheckLoadedCode(RowText(rows, t, "伪码序列"), RowLabel(rows, t, "伪码长度"),
                                "中频解调器所选择的伪码文件长与所设置不符！");
        if (!r && RowLabel(rows, t, "Sim伪码来源") == kPnLoaded)
            r = CheckLoadedCode(RowText(rows, t, "Sim伪码序列"), RowLabel(rows, t, "Sim伪码长度"),
                                "中频模拟所选择的伪码文件长与所设置不符！");
    } else if (StartsWith(name, "解调器"))
        r = CheckFrame(FrameUnit::Demodulator, FrameFromRows(rows, t, false));
    else if (StartsWith(name, "模拟器"))
        r = CheckFrame(FrameUnit::Simulator, FrameFromRows(rows, t, true));
    else if (StartsWith(name, "时码器"))
        r = CheckTimeCode(RowNumber(rows, t, "参考波道"), RowNumber(rows, t, "参考门限"));
    else if (StartsWith(name, "仿真器通道"))
        r = CheckEmulator(EmulatorFromRows(rows, t));
    else if (StartsWith(name, "天线控制器")) {
        r = CheckAntennaFrequency(RowReal(rows, t, "工作频率(MHz)"));
        if (!r) r = CheckAntennaBandwidth(RowReal(rows, t, "频率带宽(MHz)"));
    } else if (StartsWith(name, "安控终端")) {
        r = CheckSafetySubcarrier(RowReal(rows, t, "副载波频率(Kbps)"),
                                  ParseReal(RowText(rows, t, "调制码率(Kbps)")).value_or(0.0));
    }
    if (r) return r;
    return CheckNumbers(rows, t);
}

}  // namespace taskbook

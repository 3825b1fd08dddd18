// Tables of the task store and the conversion between rows and records.
#include "schema.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>

namespace taskbook {
namespace {

using plat::DbValue;

constexpr std::uint32_t Off(std::size_t o) {
    return static_cast<std::uint32_t>(o);
}

#define DEM(f) Off(offsetof(DemParam, f))
#define SIM(f) Off(offsetof(SimParam, f))
#define DEMREC(f) Off(offsetof(DemTaskRecord, f))
#define SIMREC(f) Off(offsetof(SimTaskRecord, f))
#define TIMEREC(f) Off(offsetof(TimeTaskRecord, f))
#define INFO(f) Off(offsetof(TaskInfoRecord, f))
#define BASIC(f) Off(offsetof(TimeSystemBasicParam, f))

Column Field(const char* name, Codec codec, Target target, std::uint32_t offset,
             const LabelList* labels = nullptr) {
    return Column{name, codec, labels, target, offset, 0, nullptr};
}

Column TextField(const char* name, Codec codec, Target target, std::uint32_t offset,
                 std::uint32_t width, const char* def = nullptr) {
    return Column{name, codec, nullptr, target, offset, width, def};
}

Column Free(const char* name, Codec codec, const char* def, const LabelList* labels = nullptr) {
    return Column{name, codec, labels, Target::None, 0, 0, def};
}

std::vector<Column> InfoColumns() {
    std::vector<Column> c = {
        TextField("任务描述", Codec::Text, Target::Info, INFO(任务描述), 1024, "未知描述"),
        TextField("执行地点", Codec::Text, Target::Info, INFO(执行地点), 256, "未知地点"),
        TextField("执行时间", Codec::Text, Target::Info, INFO(执行时间), 64, "未知时间"),
    };
    const char* suffix[] = {"", "2", "3"};
    for (int s = 0; s < 3; ++s) {
        std::uint32_t base = INFO(streams) + 20u * static_cast<std::uint32_t>(s);
        auto sel = [&](const char* n, std::uint32_t off) {
            Column col = Field("", Codec::YesNo, Target::Info, base + off);
            col.name = std::string(n) + suffix[s];
            col.defaultText = "-1";
            c.push_back(col);
        };
        sel("选择下变频器", 0);
        sel("选择解调器", 8);
        sel("选择模拟器", 12);
        sel("选择时码器", 16);
        sel("选择接收机", 4);
    }
    auto flag = [&](const char* n, std::uint32_t off) {
        Column col = Field(n, Codec::YesNo, Target::Info, off);
        col.defaultText = "0";
        c.push_back(col);
    };
    flag("选择遥测仿真器", INFO(选择遥测仿真器));
    flag("选择天线控制器", INFO(选择天线控制器));
    flag("选择安控终端1", INFO(选择安控终端1));
    flag("选择安控终端2", INFO(选择安控终端2));
    flag(kDefaultTaskColumn, INFO(默认任务));
    c.push_back(Free("遥测流1设备页面选择号", Codec::Int, "0"));
    c.push_back(Free("遥测流2设备页面选择号", Codec::Int, "0"));
    c.push_back(Free("遥测流3设备页面选择号", Codec::Int, "0"));
    return c;
}

std::vector<Column> DownConverterColumns() {
    return {Free("接收频率(MHz)", Codec::Real, "2300.5"), Free("中频带宽(MHz)", Codec::Real, "6"),
            Free("AGC时间常数(ms)", Codec::Real, "10")};
}

std::vector<Column> ReceiverColumns() {
    const Target S = Target::RecvSim, D = Target::RecvDem;
    return {
        Field("Sim输出频率", Codec::Real, S, SIM(Sim输出频率)),
        Field("Sim输出功率", Codec::Int, S, SIM(Sim输出功率)),
        Field("Sim调制控制", Codec::Label, S, SIM(Sim调制控制), &kModControlLabels),
        Field("Sim调制模式", Codec::Label, S, SIM(Sim调制模式), &kModulationLabels),
        Field("SimQPSK调制极性", Codec::Label, S, SIM(SimQPSK调制极性), &kQpskPolarityLabels),
        Field("Sim伪码长度", Codec::Label, S, SIM(Sim伪码长度), &kPnLengthLabels),
        Field("Sim伪码组号", Codec::Int, S, SIM(Sim伪码组号)),
        Field("Sim伪码来源", Codec::Label, S, SIM(Sim伪码来源), &kPnSourceLabels),
        Free("Sim伪码序列", Codec::Text, ""),
        Field("Sim信道编码", Codec::Label, S, SIM(Sim信道编码), &kChannelCodingLabels),
        Field("Sim卷积编码", Codec::Label, S, SIM(Sim卷积编码), &kConvPolarityLabels),
        Field("SimRS码交织深度", Codec::Int, S, SIM(SimRS码交织深度)),
        Field("SimRS码虚拟填充", Codec::Int, S, SIM(SimRS码虚拟填充)),
        Field("SimRS码块同步码", Codec::Hex32, S, SIM(SimRS码块同步码)),
        Field("Sim矩阵类型", Codec::Int, S, SIM(Sim矩阵类型)),
        Field("SimTPC信息有效字", Codec::Int, S, SIM(SimTPC信息有效字)),
        Field("SimTPC码块同步码", Codec::Hex32, S, SIM(SimTPC码块同步码)),
        Field("输入频率", Codec::Real, D, DEM(输入频率)),
        Field("信号来源", Codec::Label, D, DEM(信号来源), &kReceiverInputLabels),
        Field("中频带宽", Codec::Label, D, DEM(中频带宽), &kIfBandwidthLabels),
        Field("解调模式", Codec::Label, D, DEM(解调模式), &kModulationLabels),
        Field("QPSK解调极性", Codec::Label, D, DEM(QPSK解调极性), &kQpskPolarityLabels),
        Field("伪码长度", Codec::Label, D, DEM(伪码长度), &kPnLengthLabels),
        Field("伪码组号", Codec::Int, D, DEM(伪码组号)),
        Field("伪码来源", Codec::Label, D, DEM(伪码来源), &kPnSourceLabels),
        Free("伪码序列", Codec::Text, ""),
        Field("信道译码", Codec::Label, D, DEM(信道译码), &kChannelCodingLabels),
        Field("卷积译码", Codec::Label, D, DEM(卷积译码), &kConvPolarityLabels),
        Field("RS码交织深度", Codec::Int, D, DEM(RS码交织深度)),
        Field("RS码虚拟填充", Codec::Int, D, DEM(RS码虚拟填充)),
        Field("RS码块同步码", Codec::Hex32, D, DEM(RS码块同步码)),
        Field("MSD检测", Codec::Int, D, DEM(MSD检测)),
        Field("矩阵类型", Codec::Int, D, DEM(矩阵类型)),
        Field("TPC信息有效字", Codec::Int, D, DEM(TPC信息有效字)),
        Field("TPC码块同步码", Codec::Hex32, D, DEM(TPC码块同步码)),
    };
}

// Decryption columns shared by the demodulator and simulator tables;
// `decipher` and `lists` are the offsets of the DecipherParam and the channel
// lists in the task record.
void AddCipherColumns(std::vector<Column>& c, Target t, std::uint32_t decipher,
                      std::uint32_t lists) {
    auto dp = [&](const char* n, Codec codec, std::size_t off, const LabelList* l = nullptr) {
        c.push_back(Field(n, codec, t, decipher + static_cast<std::uint32_t>(off), l));
    };
    dp("加解密开关", Codec::YesNo, offsetof(DecipherParam, 加解密开关));
    dp("密钥长度", Codec::Label, offsetof(DecipherParam, 密钥长度), &kKeyLengthLabels);
    dp("加密周期", Codec::Int, offsetof(DecipherParam, 加密周期));
    dp("加密起始帧", Codec::Int, offsetof(DecipherParam, 加密起始帧));
    dp("帧计数路序", Codec::Int, offsetof(DecipherParam, 帧计数路序));
    c.push_back(TextField("密钥波道", Codec::Channels, t,
                          lists + static_cast<std::uint32_t>(offsetof(TaskChannelLists, 密钥波道)),
                          sizeof(TaskChannelLists::密钥波道), "1,2"));
    c.push_back(TextField("加密波道", Codec::Channels, t,
                          lists + static_cast<std::uint32_t>(offsetof(TaskChannelLists, 加密波道)),
                          sizeof(TaskChannelLists::加密波道), "3,4"));
}

std::vector<Column> DemodulatorColumns() {
    const Target T = Target::Dem;
    std::vector<Column> c = {
        Field("数据源", Codec::Label, T, DEM(数据源), &kDataSourceLabels),
        Field("码型", Codec::Label, T, DEM(码型), &kLineCodeLabels),
        Field("码率", Codec::Int, T, DEM(码率)),
        Field("字长", Codec::Int, T, DEM(字长)),
        Field("子帧长", Codec::Int, T, DEM(子帧长)),
        Field("副帧长", Codec::Int, T, DEM(副帧长)),
        Field("副帧类型", Codec::Label, T, DEM(副帧类型), &kSubframeTypeLabels),
        Field("帧同步码", Codec::Hex64, T, DEM(帧同步码)),
        Field("帧同步码位长", Codec::Int, T, DEM(帧同步码位长)),
        Field("帧同步码位置", Codec::Int, T, DEM(帧同步码位置)),
        Field("帧同步码位置2", Codec::Int, T, DEM(帧同步码位置2)),
        Field("码同步模糊", Codec::Int, T, DEM(码同步模糊)),
        Field("副帧路序", Codec::Int, T, DEM(副帧路序)),
        Field("副帧同步码", Codec::Hex32, T, DEM(副帧同步码)),
        Field("ID码计数方式", Codec::Label, T, DEM(ID码计数方式), &kIdCountLabels),
        Field("ID码初值", Codec::Int, T, DEM(ID码初值)),
        Field("环路带宽", Codec::Label, T, DEM(环路带宽), &kLoopBandwidthLabels),
        Field("搜索容错位数", Codec::Int, T, DEM(搜索容错位数)),
        Field("同步容错位数", Codec::Int, T, DEM(同步容错位数)),
        Field("惯性同步帧数", Codec::Int, T, DEM(惯性同步帧数)),
        Field("校核帧数", Codec::Int, T, DEM(校核帧数)),
        Field("时统模式", Codec::Label, T, DEM(时统模式), &kTimeModeLabels),
        Field("配时精度", Codec::Label, T, DEM(配时精度), &kTimingPrecisionLabels),
        Field("配时密度", Codec::Int, T, DEM(配时密度)),
    };
    AddCipherColumns(c, T, DEMREC(decipher), DEMREC(channels));
    return c;
}

std::vector<Column> SimulatorColumns() {
    const Target T = Target::Sim;
    std::vector<Column> c = {
        Field("码型", Codec::Label, T, SIM(码型), &kLineCodeLabels),
        Field("码率", Codec::Int, T, SIM(码率)),
        Field("字长", Codec::Int, T, SIM(字长)),
        Field("子帧长", Codec::Int, T, SIM(子帧长)),
        Field("副帧长", Codec::Int, T, SIM(副帧长)),
        Field("副帧类型", Codec::Label, T, SIM(副帧类型), &kSubframeTypeLabels),
        Field("帧同步码", Codec::Hex64, T, SIM(帧同步码)),
        Field("帧同步码位长", Codec::Int, T, SIM(帧同步码位长)),
        Field("帧同步码位置", Codec::Int, T, SIM(帧同步码位置)),
        Field("副帧路序", Codec::Int, T, SIM(副帧路序)),
        Field("副帧同步码", Codec::Hex32, T, SIM(副帧同步码)),
        Field("ID码计数方式", Codec::Label, T, SIM(ID码计数方式), &kIdCountLabels),
        Field("ID码初值", Codec::Int, T, SIM(ID码初值)),
        Field("信号类型", Codec::Int, T, SIM(信号类型)),
        Field("信号初值", Codec::Int, T, SIM(信号初值)),
        Field("台阶码步进", Codec::Int, T, SIM(台阶码步进)),
        Field("帧计数高位使能", Codec::YesNo, T, SIM(帧计数高位使能)),
        Field("帧计数高位路序", Codec::Int, T, SIM(帧计数高位路序)),
        Field("帧计数中位使能", Codec::YesNo, T, SIM(帧计数中位使能)),
        Field("帧计数中位路序", Codec::Int, T, SIM(帧计数中位路序)),
        Field("帧计数低位使能", Codec::YesNo, T, SIM(帧计数低位使能)),
        Field("帧计数低位路序", Codec::Int, T, SIM(帧计数低位路序)),
        Field("正弦波使能", Codec::YesNo, T, SIM(正弦波使能)),
        Field("正弦波路序", Codec::Int, T, SIM(正弦波路序)),
        Field("正弦波步进", Codec::Int, T, SIM(正弦波步进)),
        Field("数据异或使能", Codec::YesNo, T, SIM(数据异或使能)),
        Field("异或操作数", Codec::Hex32, T, SIM(异或操作数)),
    };
    AddCipherColumns(c, T, SIMREC(decipher), SIMREC(channels));
    return c;
}

std::vector<Column> TimeCodeColumns() {
    const Target T = Target::Time;
    const std::uint32_t basic = TIMEREC(basic);
    return {
        Field("时统模式", Codec::Label, T, basic + BASIC(时统模式), &kTimeModeLabels),
        Field("内时统基准模式", Codec::Label, T, basic + BASIC(内时统基准模式), &kTimeBaseLabels),
        Field("内时统同步模式", Codec::Label, T, basic + BASIC(内时统同步模式), &kTimeSyncLabels),
        Field("内时统校准使能", Codec::YesNo, T, basic + BASIC(内时统校准使能)),
        Field("内时统校准时间", Codec::DateTime, T, basic + BASIC(内时统校准时间)),
        Field("定时起飞使能", Codec::YesNo, T, TIMEREC(定时起飞使能)),
        Field("定时起飞时间", Codec::DateTime, T, TIMEREC(定时起飞时间)),
        Field("选路起飞使能", Codec::YesNo, T, TIMEREC(选路起飞使能)),
        Field("起飞使能", Codec::YesNo, T, TIMEREC(起飞使能)),
        Field("外部起飞使能", Codec::YesNo, T, TIMEREC(外部起飞使能)),
        Field("参考波道", Codec::Int, T, TIMEREC(参考波道)),
        Field("参考门限", Codec::Int, T, TIMEREC(参考门限)),
    };
}

std::vector<Column> EmulatorColumns() {
    return {
        Free("载波频率(MHz)", Codec::Real, "2300.5"),
        Free("发射功率(dBm)", Codec::Real, "-30"),
        Free("70M来源", Codec::Label, "内部", &kSourceLabels),
        Free("调制体制", Codec::Label, "PCM-FM", &kEmuModulationLabels),
        Free("调制频偏(KHz)", Codec::Int, "700"),
        Free("PCM来源", Codec::Label, "内部", &kSourceLabels),
        Free("码型", Codec::Label, "NRZ-L", &kLineCodeLabels),
        Free("码率(bps)", Codec::Int, "2000000"),
        Free("字长(bits)", Codec::Int, "8"),
        Free("子帧长", Codec::Int, "24"),
        Free("帧同步码", Codec::Hex64, "EB90"),
        Free("帧同步码长", Codec::Int, "16"),
        Free("副帧类型", Codec::Label, "ID副帧", &kEmuSubframeTypeLabels),
        Free("副帧长", Codec::Int, "4"),
        Free("副帧路序", Codec::Int, "7"),
        Free("ID码路序", Codec::Int, "8"),
        Free("ID帧计数方式", Codec::Label, "加计数", &kIdCountLabels),
        Free("选择帧计数高位", Codec::YesNo, "-1"),
        Free("帧计数高位", Codec::Int, "3"),
        Free("选择帧计数低位", Codec::YesNo, "-1"),
        Free("帧计数低位", Codec::Int, "5"),
        Free("信号类型", Codec::Int, "2"),
        Free("信号初值", Codec::Int, "85"),
        Free("台阶码步径", Codec::Int, "3"),
        Free("选择正弦波", Codec::YesNo, "-1"),
        Free("正弦波采样", Codec::Int, "64"),
        Free("正弦波初相", Codec::Int, "0"),
        Free("正弦波路序", Codec::Int, "6"),
        Free("选择锯齿波", Codec::YesNo, "0"),
        Free("锯齿波路序", Codec::Int, "9"),
        Free("选择三角波", Codec::YesNo, "0"),
        Free("三角波路序", Codec::Int, "10"),
        Free("选择方波", Codec::YesNo, "0"),
        Free("方波路序", Codec::Int, "11"),
        Free("扩频数据率(bps)", Codec::Int, "10000"),
        Free("伪码长度", Codec::Label, "1023", &kPnLengthLabels),
        Free("伪码组号", Codec::Int, "0"),
        Free("伪码类型", Codec::Label, "硬件固化Gold码", &kPnSourceLabels),
        Free("编码模式", Codec::Label, "无", &kChannelCodingLabels),
        Free("伪码序列", Codec::Text, ""),
    };
}

std::vector<Column> AntennaColumns() {
    return {Free("工作频率(MHz)", Codec::Real, "2300.5"), Free("频率带宽(MHz)", Codec::Real, "4")};
}

std::vector<Column> SafetyColumns() {
    return {
        Free("调制体制", Codec::Label, "PCM", &kSafetyModulationLabels),
        Free("传输码型", Codec::Label, "NRZ-L", &kLineCodeLabels),
        Free("调制码率(Kbps)", Codec::Label, "1.2", &kSafetyRateLabels),
        Free("副载波频率(Kbps)", Codec::Real, "4.8"),
        Free("调制频偏(KHz)", Codec::Int, "100"),
        Free("调制状态(加调)", Codec::YesNo, "0"),
        Free("载波状态(加载)", Codec::YesNo, "0"),
        Free("发射频率(MHz)", Codec::Real, "450"),
        Free("发射功率(dBm)", Codec::Real, "10"),
        Free("发令次数", Codec::Int, "1"),
    };
}

std::vector<Table> BuildTables() {
    std::vector<Table> t;
    t.push_back({kTaskInfoTable, 0, InfoColumns()});
    auto per = [&](const char* prefix, const char* suffix, std::vector<Column> (*cols)()) {
        for (int s = 1; s <= 3; ++s)
            t.push_back({std::string(prefix) + std::to_string(s) + suffix, s, cols()});
    };
    per("下变频器", "参数表", DownConverterColumns);
    per("接收机", "参数表", ReceiverColumns);
    per("解调器", "参数表", DemodulatorColumns);
    per("模拟器", "参数表", SimulatorColumns);
    per("时码器", "参数表", TimeCodeColumns);
    // The emulator channels belong to the station, not to a stream.
    for (int s = 1; s <= 3; ++s)
        t.push_back({"仿真器通道" + std::to_string(s) + "参数表", 0, EmulatorColumns()});
    t.push_back({"天线控制器参数表", 0, AntennaColumns()});
    t.push_back({"安控终端1参数表", 0, SafetyColumns()});
    t.push_back({"安控终端2参数表", 0, SafetyColumns()});
    return t;
}

// ---- value access

std::optional<std::string> ValueText(const DbValue& v) {
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        return std::string(buf);
    }
    return std::nullopt;
}

std::optional<std::int64_t> ValueInt(const DbValue& v) {
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto* d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && *d == std::trunc(*d) && std::fabs(*d) < 9.0e18)
            return static_cast<std::int64_t>(*d);
        return std::nullopt;
    }
    if (auto* s = std::get_if<std::string>(&v)) return ParseInteger(*s);
    return std::nullopt;
}

std::optional<double> ValueReal(const DbValue& v) {
    if (auto* d = std::get_if<double>(&v))
        return std::isfinite(*d) ? std::optional(*d) : std::nullopt;
    if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto* s = std::get_if<std::string>(&v)) return ParseReal(*s);
    return std::nullopt;
}

// A default text stored in the column's own type.
DbValue TypedDefault(const Column& c, const char* text) {
    if (c.codec == Codec::Int)
        if (auto v = ParseInteger(text)) return *v;
    if (c.codec == Codec::Real)
        if (auto v = ParseReal(text)) return *v;
    return std::string(text);
}

template <class T>
void Put(std::uint8_t* base, std::uint32_t off, T v) {
    std::memcpy(base + off, &v, sizeof v);
}

template <class T>
T Get(const std::uint8_t* base, std::uint32_t off) {
    T v;
    std::memcpy(&v, base + off, sizeof v);
    return v;
}

// Record bytes a column writes to (up to two) and reads from.
struct Targets {
    std::uint8_t* write[2] = {nullptr, nullptr};
};

Targets WriteTargets(const Column& c, TaskRecords& r, int stream) {
    Targets t;
    auto bytes = [](auto& rec) { return reinterpret_cast<std::uint8_t*>(&rec); };
    StreamRecords& s = r.streams[stream > 0 ? stream - 1 : 0];
    switch (c.target) {
        case Target::Info:
            t.write[0] = bytes(r.info);
            break;
        case Target::Dem:
            t.write[0] = bytes(s.dem);
            // The receiver's demodulator half is sent as a whole demodulator
            // record, so it carries the task's frame settings too.
            if (c.offset < sizeof(DemParam)) t.write[1] = bytes(s.recv.dem);
            break;
        case Target::Sim:
            t.write[0] = bytes(s.sim);
            if (c.offset < sizeof(SimParam)) t.write[1] = bytes(s.recv.sim);
            break;
        case Target::Time:
            t.write[0] = bytes(s.time);
            break;
        case Target::RecvDem:
            t.write[0] = bytes(s.recv.dem);
            t.write[1] = bytes(s.dem.dem);
            break;
        case Target::RecvSim:
            t.write[0] = bytes(s.recv.sim);
            t.write[1] = bytes(s.sim.sim);
            break;
        case Target::None:
            break;
    }
    return t;
}

const std::uint8_t* ReadSource(const Column& c, const TaskRecords& r, int stream) {
    auto bytes = [](const auto& rec) { return reinterpret_cast<const std::uint8_t*>(&rec); };
    const StreamRecords& s = r.streams[stream > 0 ? stream - 1 : 0];
    switch (c.target) {
        case Target::Info:
            return bytes(r.info);
        case Target::Dem:
            return bytes(s.dem);
        case Target::Sim:
            return bytes(s.sim);
        case Target::Time:
            return bytes(s.time);
        case Target::RecvDem:
            return bytes(s.recv.dem);
        case Target::RecvSim:
            return bytes(s.recv.sim);
        case Target::None:
            break;
    }
    return nullptr;
}

// Decodes one value into one record; NULL or an unreadable number leaves
// the field's default in place.
void DecodeInto(const Column& c, const DbValue& v, std::uint8_t* base) {
    if (plat::IsNull(v)) return;
    switch (c.codec) {
        case Codec::Text:
            CopyText(ValueText(v).value_or(""), reinterpret_cast<char*>(base + c.offset), c.width);
            break;
        case Codec::Channels: {
            std::string text = ValueText(v).value_or("");
            if (auto list = ParseChannelList(text)) text = FormatChannelList(*list);
            CopyChannelList(text, reinterpret_cast<char*>(base + c.offset), c.width);
            break;
        }
        case Codec::YesNo:
            Put<std::uint32_t>(base, c.offset, DecodeYesNo(ValueText(v).value_or("")));
            break;
        case Codec::Label:
            Put<std::uint32_t>(base, c.offset, DecodeLabel(*c.labels, ValueText(v).value_or("")));
            break;
        case Codec::Int:
            if (auto i = ValueInt(v);
                i && *i >= std::numeric_limits<std::int32_t>::min() &&
                *i <= static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max()))
                Put<std::uint32_t>(base, c.offset, static_cast<std::uint32_t>(*i));
            break;
        case Codec::Real:
            if (auto d = ValueReal(v)) Put<double>(base, c.offset, *d);
            break;
        case Codec::Hex32:
            if (auto h = ParseHex(ValueText(v).value_or("")); h && *h <= 0xFFFFFFFFu)
                Put<std::uint32_t>(base, c.offset, static_cast<std::uint32_t>(*h));
            break;
        case Codec::Hex64:
            if (auto h = ParseHex(ValueText(v).value_or("")))
                Put<std::uint64_t>(base, c.offset, *h);
            break;
        case Codec::DateTime:
            Put<DayTime>(base, c.offset, DecodeDayTime(ValueText(v).value_or("")));
            break;
    }
}

int CurrentYear() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm.tm_year + 1900;
}

DbValue Encode(const Column& c, const std::uint8_t* base, const DbValue& stored) {
    switch (c.codec) {
        case Codec::Text:
        case Codec::Channels:
            return std::string(ArrayText(reinterpret_cast<const char*>(base + c.offset), c.width));
        case Codec::YesNo:
            return std::string(EncodeYesNo(Get<std::uint32_t>(base, c.offset)));
        case Codec::Label:
            return std::string(EncodeLabel(*c.labels, Get<std::uint32_t>(base, c.offset)));
        case Codec::Int:
            return static_cast<std::int64_t>(Get<std::uint32_t>(base, c.offset));
        case Codec::Real:
            return Get<double>(base, c.offset);
        case Codec::Hex32:
            return FormatHex(Get<std::uint32_t>(base, c.offset));
        case Codec::Hex64:
            return FormatHex(Get<std::uint64_t>(base, c.offset));
        case Codec::DateTime: {
            int year = CurrentYear();
            if (auto t = ParseDateTime(ValueText(stored).value_or("")); t && t->year >= 1)
                year = t->year;
            return EncodeDayTime(Get<DayTime>(base, c.offset), year);
        }
    }
    return {};
}

bool SameValue(const DbValue& a, const DbValue& b) {
    // Compare reals by bits so that -0.0 and 0.0 count as different values.
    auto* da = std::get_if<double>(&a);
    auto* db = std::get_if<double>(&b);
    if (da && db) return std::memcmp(da, db, sizeof(double)) == 0;
    return a == b;
}

}  // namespace

const char* SqlType(Codec codec) {
    switch (codec) {
        case Codec::Int:
            return "INTEGER";
        case Codec::Real:
            return "REAL";
        default:
            return "TEXT";
    }
}

const std::vector<Table>& Tables() {
    static const std::vector<Table> tables = BuildTables();
    return tables;
}

void FillDefaultRecords(TaskRecords& r) {
    std::memset(&r, 0, sizeof r);
    for (StreamRecords& s : r.streams) {
        FillDefault(s.dem.dem);
        FillDefault(s.dem.decipher);
        FillDefault(s.sim.sim);
        FillDefault(s.sim.decipher);
        FillDefault(s.time.basic);
        TimeSystemFlyParam fly;
        FillDefault(fly);
        s.time.参考波道 = fly.参考波道;
        s.time.参考门限 = fly.参考门限;
        FillDefault(s.recv.dem);
        FillDefault(s.recv.sim);
    }
}

TaskRows DefaultRows(const std::string& name, const DateTime& stamp) {
    auto records = std::make_unique<TaskRecords>();
    FillDefaultRecords(*records);
    TaskRows rows;
    rows.name = name;
    for (const Table& t : Tables()) {
        std::vector<DbValue> values;
        for (const Column& c : t.columns) {
            if (c.defaultText)
                values.push_back(TypedDefault(c, c.defaultText));
            else if (c.codec == Codec::DateTime)
                values.push_back(FormatDateTime(stamp));
            else
                values.push_back(Encode(c, ReadSource(c, *records, t.stream), DbValue{}));
        }
        rows.tables.push_back(std::move(values));
    }
    return rows;
}

void DecodeRows(const TaskRows& rows, TaskRecords& out) {
    FillDefaultRecords(out);
    CopyText(rows.name, out.info.任务名, sizeof out.info.任务名);
    const auto& tables = Tables();
    for (std::size_t ti = 0; ti < tables.size() && ti < rows.tables.size(); ++ti) {
        const Table& t = tables[ti];
        const auto& values = rows.tables[ti];
        for (std::size_t ci = 0; ci < t.columns.size() && ci < values.size(); ++ci) {
            const Column& c = t.columns[ci];
            Targets targets = WriteTargets(c, out, t.stream);
            for (std::uint8_t* base : targets.write)
                if (base) DecodeInto(c, values[ci], base);
        }
    }
}

TaskRows EncodeRows(const TaskRecords& records, const TaskRows& base, unsigned streamMask) {
    auto stored = std::make_unique<TaskRecords>();
    DecodeRows(base, *stored);
    TaskRows out;
    out.name = std::string(ArrayText(records.info.任务名, sizeof records.info.任务名));
    const auto& tables = Tables();
    for (std::size_t ti = 0; ti < tables.size(); ++ti) {
        const Table& t = tables[ti];
        std::vector<DbValue> values =
            ti < base.tables.size() ? base.tables[ti] : std::vector<DbValue>{};
        values.resize(t.columns.size());
        bool write = t.name == kTaskInfoTable ||
                     (t.stream > 0 && (streamMask & (1u << (t.stream - 1))) != 0);
        if (write) {
            for (std::size_t ci = 0; ci < t.columns.size(); ++ci) {
                const Column& c = t.columns[ci];
                if (c.target == Target::None) continue;
                DbValue now = Encode(c, ReadSource(c, records, t.stream), values[ci]);
                DbValue before = Encode(c, ReadSource(c, *stored, t.stream), values[ci]);
                if (!SameValue(now, before)) values[ci] = std::move(now);
            }
        }
        out.tables.push_back(std::move(values));
    }
    return out;
}

}  // namespace taskbook

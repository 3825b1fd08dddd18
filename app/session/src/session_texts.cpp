#include <session/session_texts.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace session {
namespace {

static_assert(offsetof(DemParam, 配时密度) == 84);
static_assert(offsetof(DemParam, receiverSettings) == 696);
static_assert(offsetof(SimParam, reserved720) == 720);

void AppendF(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendF(std::string& out, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n <= 0) return;
    if (static_cast<std::size_t>(n) < sizeof buffer) {
        out.append(buffer, static_cast<std::size_t>(n));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    big.resize(static_cast<std::size_t>(n));
    out += big;
}

// A channel list from the record: text up to its NUL or the end of its array.
template <std::size_t N>
std::string ListText(const char (&text)[N]) {
    return std::string(text, strnlen(text, N));
}

void AppendDecipher(std::string& out, const DecipherParam& d) {
    AppendF(out, "加解密开关:%d ,加解密周期:%d ,加解密起始帧:%d ,帧计数路序:%d ,密钥长度:%d\r\n",
            static_cast<int>(d.加解密开关), static_cast<int>(d.加密周期),
            static_cast<int>(d.加密起始帧), static_cast<int>(d.帧计数路序),
            static_cast<int>(d.密钥长度));
}

void SetWordAt(void* record, std::size_t offset, std::uint32_t value) {
    std::memcpy(static_cast<std::uint8_t*>(record) + offset, &value, sizeof value);
}

constexpr int kMonthStart[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

}  // namespace

bool IsLeapYear(int year) {
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int DayOfYear(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
    int n = kMonthStart[month - 1] + day;
    if (month >= 3 && IsLeapYear(year)) ++n;
    return n;
}

void StampTimeCode(TimeSystemBasicParam& basic, const LocalTime& t) {
    DayTime& d = basic.内时统校准时间;
    d.day = static_cast<std::uint32_t>(DayOfYear(t.year, t.month, t.day));
    d.hour = static_cast<std::uint16_t>(t.hour);
    d.minute = static_cast<std::uint16_t>(t.minute);
    d.second = static_cast<std::uint16_t>(t.second);
    d.millisecond = static_cast<std::uint16_t>(t.millisecond);
    basic.reserved12 = 0;
}

std::string FormatTaskTime(const LocalTime& t) {
    std::string s;
    AppendF(s, "%d-%d-%d %d:%d:%d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return s;
}

LocalTime CalibratedTime(const LocalTime& localDate, const DayTime& card) {
    LocalTime t = localDate;
    t.hour = card.hour;
    t.minute = card.minute;
    t.second = card.second;
    t.millisecond = std::min(static_cast<int>(card.millisecond) + 100, 999);
    return t;
}

std::string DemParamReport(const DemTaskRecord& r) {
    const DemParam& p = r.dem;
    std::string s = "\r\n-------解调器参数---------：\r\n";
    // The whole pattern, so that sync codes longer than 32 bits show in full.
    AppendF(s, "帧同步码:%llX ,循环副帧字:%X ,帧同步码位置:%d \r\n",
            static_cast<unsigned long long>(p.帧同步码), p.副帧同步码,
            static_cast<int>(p.帧同步码位置));
    AppendF(s, "码率:%d ,码型:%d ,字长:%d \r\n", static_cast<int>(p.码率), static_cast<int>(p.码型),
            static_cast<int>(p.字长));
    AppendF(s, "子帧长:%d ,副帧长:%d ,副帧类型:%d ,码同步模糊:%d \r\n", static_cast<int>(p.子帧长),
            static_cast<int>(p.副帧长), static_cast<int>(p.副帧类型),
            static_cast<int>(p.码同步模糊));
    AppendF(s, "副帧路序:%d ,ID码计数方式:%d ,校核帧数:%d ,环路带宽:%d \r\n",
            static_cast<int>(p.副帧路序), static_cast<int>(p.ID码计数方式),
            static_cast<int>(p.校核帧数), static_cast<int>(p.环路带宽));
    AppendF(s, "惯性同步帧数:%d ,容错同步帧数:%d ,搜索同步帧数:%d ,信号来源:%d\r\n",
            static_cast<int>(p.惯性同步帧数), static_cast<int>(p.同步容错位数),
            static_cast<int>(p.搜索容错位数), static_cast<int>(p.信号来源));
    AppendDecipher(s, r.decipher);
    s += "密钥波道:" + ListText(r.channels.密钥波道) +
         " \r\n加密波道:" + ListText(r.channels.加密波道) + " \r\n";
    return s;
}

std::string SimParamReport(const SimTaskRecord& r) {
    const SimParam& p = r.sim;
    std::string s = "\r\n-------模拟器参数---------：\r\n";
    AppendF(s, "帧同步码:%llX ,循环副帧字:%02X ,同步码位置:%d\r\n",
            static_cast<unsigned long long>(p.帧同步码), p.副帧同步码,
            static_cast<int>(p.帧同步码位置));
    AppendF(s, "码率:%d ,码型:%d ,字长:%d ,子帧长:%d ,副帧长:%d\r\n", static_cast<int>(p.码率),
            static_cast<int>(p.码型), static_cast<int>(p.字长), static_cast<int>(p.子帧长),
            static_cast<int>(p.副帧长));
    AppendF(s, "副帧类型:%d ,副帧路序:%d ,ID码计数方式:%d ,信号类型:%d\r\n",
            static_cast<int>(p.副帧类型), static_cast<int>(p.副帧路序),
            static_cast<int>(p.ID码计数方式), static_cast<int>(p.信号类型));
    AppendDecipher(s, r.decipher);
    s += "密钥波道:" + ListText(r.channels.密钥波道) +
         " \r\n加密波道:" + ListText(r.channels.加密波道) + " , \r\n";
    return s;
}

std::string RecvParamReport(const RecvTaskRecord& r) {
    const SimParam& p = r.sim;
    std::string s = "\r\n-------接收机参数---------：\r\n";
    // No record field is named for the carrier; the simulator half's word at
    // 132, which the card defines, is shown as it is.
    AppendF(s, "调制控制: %d ,载波控制:%d \r\n", static_cast<int>(p.Sim调制控制),
            static_cast<int>(p.reserved132));
    // The frequency is in Hz and does not fit a 32-bit int.
    AppendF(s, "信号功率:%d ,输出频率:%lld \r\n", static_cast<int>(p.Sim输出功率),
            static_cast<long long>(p.Sim输出频率));
    AppendF(s, "调制模式:%d ,QPSK调制极性:%d ,Sim伪码长度:%d ,Sim伪码组号:%d\r\n",
            static_cast<int>(p.Sim调制模式), static_cast<int>(p.SimQPSK调制极性),
            static_cast<int>(p.Sim伪码长度), static_cast<int>(p.Sim伪码组号));
    AppendF(s, "Sim伪码来源:%d ,信道编码:%d  \r\n", static_cast<int>(p.Sim伪码来源),
            static_cast<int>(p.Sim信道编码));
    AppendF(s, "卷积编码极性:%d ,RS码交错深度:%d ,虚拟填充位数:%d\r\n",
            static_cast<int>(p.Sim卷积编码), static_cast<int>(p.SimRS码交织深度),
            static_cast<int>(p.SimRS码虚拟填充));
    return s;
}

int PrepareWorkingState(TaskInfoRecord& info, const LocalTime& now) {
    if (std::strncmp(info.任务名, kWorkingTaskName, sizeof info.任务名) == 0) return 0;
    auto put = [](char* field, std::size_t size, const std::string& text) {
        std::memset(field, 0, size);
        std::memcpy(field, text.data(), std::min(text.size(), size - 1));
    };
    put(info.任务名, sizeof info.任务名, kWorkingTaskName);
    put(info.任务描述, sizeof info.任务描述, "当前任务，系统自动保存的设备工作状态参数");
    if (info.执行地点[0] == '\0') put(info.执行地点, sizeof info.执行地点, "未知");
    put(info.执行时间, sizeof info.执行时间, FormatTaskTime(now));
    info.默认任务 = 1;
    return 1;
}

FrameGeometry GeometryOf(const DemParam& dem) {
    FrameGeometry g;
    const std::uint64_t wordBytes = (static_cast<std::uint64_t>(dem.字长) + 7) / 8;
    const std::uint64_t bytes = wordBytes * dem.子帧长;
    g.subframeBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
    g.superframeLength = dem.副帧长;
    return g;
}

void MarkSending(DemTaskRecord& dem, SimTaskRecord& sim, RecvTaskRecord& recv,
                 std::uint32_t first) {
    SetWordAt(&dem.dem, 84, 1);
    SetWordAt(&dem.dem, 696, first);
    SetWordAt(&sim.sim, 720, first);
    SetWordAt(&recv.dem, 84, 1);
    SetWordAt(&recv.dem, 696, first);
    SetWordAt(&recv.sim, 720, first);
}

int TaskStream(int stream) {
    return stream == 1 || stream == 2 ? stream : 3;
}

}  // namespace session

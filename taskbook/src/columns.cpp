// Column encodings of the task store.
#include "columns.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace taskbook {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One %d conversion: blanks, optional sign, at least one digit. Values beyond
// int are refused rather than wrapped.
bool ScanInt(std::string_view& s, int& out) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    bool neg = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        neg = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.front() < '0' || s.front() > '9') return false;
    long long v = 0;
    while (!s.empty() && s.front() >= '0' && s.front() <= '9') {
        v = v * 10 + (s.front() - '0');
        if (v > 2147483648LL) return false;
        s.remove_prefix(1);
    }
    if (neg) v = -v;
    if (v > 2147483647LL) return false;
    out = static_cast<int>(v);
    return true;
}

bool ScanLiteral(std::string_view& s, char c) {
    if (c == ' ') {  // a blank in a scanf format matches any run of blanks, even none
        while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
        return true;
    }
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}

constexpr int kCumulativeDays[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

int DaysInMonth(int year, int month) {
    return kMonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

// ---- label tables
constexpr Label kDataSource[] = {
    {"接收机", 0}, {"外部PCM-TTL", 1}, {"PCM自检", 2}, {"外部PCM-422", 3}};
constexpr Label kLineCode[] = {{"NRZ-L", 0}, {"NRZ-M", 1}, {"NRZ-S", 2}, {"BIφ-L", 3},
                               {"BIφ-M", 4}, {"BIφ-S", 5}, {"RNRZ-L", 6}};
constexpr Label kSubframeType[] = {{"无副帧", 0}, {"反码副帧", 1}, {"ID副帧", 2}, {"循环副帧", 3}};
constexpr Label kModulation[] = {{"PCM-FM", 0},       {"PCM-FM(TPC)", 1},   {"PCM-BPSK", 2},
                                 {"PCM-QPSK", 3},     {"PCM-CDMA-BPSK", 4}, {"PCM-OQPSK", 5},
                                 {"PCM-CDMA-QPSK", 6}};
constexpr Label kEmuModulation[] = {{"关闭", 0},     {"PCM-FM", 1},        {"PCM-BPSK", 2},
                                    {"PCM-QPSK", 3}, {"PCM-CDMA-BPSK", 4}, {"PCM-CDMA-QPSK", 5}};
constexpr Label kModControl[] = {{"关闭", 0}};
constexpr Label kPnLength[] = {{"15", 0},  {"31", 1},  {"63", 2},   {"127", 3},
                               {"255", 4}, {"511", 5}, {"1023", 6}, {"2047", 7}};
constexpr Label kPnSource[] = {{"硬件固化Gold码", 0}, {"硬件固化M序列", 1}, {"临时加载", 2}};
constexpr Label kChannelCoding[] = {{"TPC码", 1},         {"卷积码", 2},  {"RS码", 3},
                                    {"RS-卷积级联码", 4}, {"Turbo码", 5}, {"LDPC码", 6}};
constexpr Label kQpskPolarity[] = {{"正向", 1}, {"反向", 2}};
constexpr Label kConvPolarity[] = {{"反向", 1}};
constexpr Label kReceiverInput[] = {{"第3路(校验)", 0}, {"第1路(左旋)", 1}, {"第2路(右旋)", 2}};
constexpr Label kIfBandwidth[] = {
    {"12.5KHz", 1}, {"25KHz", 2},  {"50KHz", 3},  {"100KHz", 4},  {"300KHz", 5}, {"500KHz", 6},
    {"750KHz", 7},  {"1.5MHz", 8}, {"2.4MHz", 9}, {"3.3MHz", 10}, {"6MHz", 11},  {"10MHz", 12},
    {"15MHz", 13},  {"20MHz", 14}, {"24MHz", 15}, {"30MHz", 16},  {"35MHz", 17}};
constexpr Label kLoopBandwidth[] = {{"0.1%", 0}, {"0.5%", 1}};
constexpr Label kIdCount[] = {{"加计数", 0}, {"减计数", 1}};
constexpr Label kKeyLength[] = {{"128Bit", 0}, {"184Bit", 1}};
constexpr Label kTimeMode[] = {{"内时统", 0}, {"外时统", 1}, {"GNSS时统", 2}};
constexpr Label kTimeBase[] = {{"系统时间", 0}};
constexpr Label kTimeSync[] = {{"自同步", 0}, {"由外时统同步", 1}};
constexpr Label kTimingPrecision[] = {{"1ms", 0}, {"0.001ms", 1}};
constexpr Label kSafetyModulation[] = {{"PCM", 0}, {"DPSK", 1}};
constexpr Label kSafetyRate[] = {{"1.2", 0}, {"2.4", 1}, {"4.8", 2}, {"9.6", 3}};
constexpr Label kSource[] = {{"内部", 0}};

}  // namespace

// Lists without an "any other text" rule fall back to their first code, and
// write an empty text for a code they do not know.
const LabelList kDataSourceLabels{"数据源", kDataSource, 0, ""};
const LabelList kLineCodeLabels{"码型/传输码型", kLineCode, 0, ""};
const LabelList kSubframeTypeLabels{"副帧类型", kSubframeType, 0, ""};
const LabelList kEmuSubframeTypeLabels{"仿真器副帧类型", std::span(kSubframeType, 3), 0, ""};
const LabelList kModulationLabels{"Sim调制模式/解调模式", kModulation, 0, ""};
const LabelList kEmuModulationLabels{"仿真器调制体制", kEmuModulation, 0, ""};
const LabelList kModControlLabels{"Sim调制控制", kModControl, 1, "开启"};
const LabelList kPnLengthLabels{"伪码长度", kPnLength, 0, ""};
const LabelList kPnSourceLabels{"伪码来源", kPnSource, 0, ""};
const LabelList kChannelCodingLabels{"信道译码/Sim信道编码", kChannelCoding, 0, "无"};
const LabelList kQpskPolarityLabels{"QPSK解调极性", kQpskPolarity, 0, "无"};
const LabelList kConvPolarityLabels{"卷积译码", kConvPolarity, 0, "正向"};
const LabelList kReceiverInputLabels{"信号来源", kReceiverInput, 3, "其他"};
const LabelList kIfBandwidthLabels{"中频带宽", kIfBandwidth, 0, "其他"};
const LabelList kLoopBandwidthLabels{"环路带宽", kLoopBandwidth, 0, ""};
const LabelList kIdCountLabels{"ID码计数方式", kIdCount, 0, ""};
const LabelList kKeyLengthLabels{"密钥长度", kKeyLength, 0, ""};
const LabelList kTimeModeLabels{"时统模式", kTimeMode, 0, ""};
const LabelList kTimeBaseLabels{"内时统基准模式", kTimeBase, 1, "外部时间"};
const LabelList kTimeSyncLabels{"内时统同步模式", kTimeSync, 2, "其他"};
const LabelList kTimingPrecisionLabels{"配时精度", kTimingPrecision, 0, ""};
const LabelList kSafetyModulationLabels{"安控调制体制", kSafetyModulation, 0, ""};
const LabelList kSafetyRateLabels{"调制码率(Kbps)", kSafetyRate, 0, ""};
const LabelList kSourceLabels{"70M来源/PCM来源", kSource, 1, "外部"};

std::span<const LabelList* const> AllLabelLists() {
    static const LabelList* const all[] = {
        &kDataSourceLabels,       &kLineCodeLabels,     &kSubframeTypeLabels,
        &kEmuSubframeTypeLabels,  &kModulationLabels,   &kEmuModulationLabels,
        &kModControlLabels,       &kPnLengthLabels,     &kPnSourceLabels,
        &kChannelCodingLabels,    &kQpskPolarityLabels, &kConvPolarityLabels,
        &kReceiverInputLabels,    &kIfBandwidthLabels,  &kLoopBandwidthLabels,
        &kIdCountLabels,          &kKeyLengthLabels,    &kTimeModeLabels,
        &kTimeBaseLabels,         &kTimeSyncLabels,     &kTimingPrecisionLabels,
        &kSafetyModulationLabels, &kSafetyRateLabels,   &kSourceLabels};
    return all;
}

std::uint32_t DecodeYesNo(std::string_view text) {
    return text == "-1" ? 1 : 0;
}

std::string_view EncodeYesNo(std::uint32_t value) {
    return value ? "-1" : "0";
}

std::uint32_t DecodeLabel(const LabelList& list, std::string_view text) {
    text = TrimBlanks(text);
    for (const Label& l : list.labels)
        if (l.text == text) return l.code;
    return list.fallbackCode;
}

std::string_view EncodeLabel(const LabelList& list, std::uint32_t code) {
    for (const Label& l : list.labels)
        if (l.code == code) return l.text;
    return list.fallbackText;
}

std::optional<DateTime> ParseDateTime(std::string_view s) {
    DateTime t;
    if (ScanInt(s, t.year) && ScanLiteral(s, '-') && ScanInt(s, t.month) && ScanLiteral(s, '-') &&
        ScanInt(s, t.day) && ScanLiteral(s, ' ') && ScanInt(s, t.hour) && ScanLiteral(s, ':') &&
        ScanInt(s, t.minute) && ScanLiteral(s, ':') && ScanInt(s, t.second))
        return t;
    return std::nullopt;
}

std::string FormatDateTime(const DateTime& t) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

bool IsLeapYear(int year) {
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

std::uint32_t DayOfYear(int year, int month, int day) {
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0;
    int doy = kCumulativeDays[month - 1] + day + (month > 2 && IsLeapYear(year) ? 1 : 0);
    return static_cast<std::uint32_t>(doy);
}

DayTime DecodeDayTime(std::string_view text) {
    DayTime out{};
    auto t = ParseDateTime(text);
    if (!t) return out;
    out.day = DayOfYear(t->year, t->month, t->day);
    if (t->hour >= 0 && t->hour < 24 && t->minute >= 0 && t->minute < 60 && t->second >= 0 &&
        t->second < 60) {
        out.hour = static_cast<std::uint16_t>(t->hour);
        out.minute = static_cast<std::uint16_t>(t->minute);
        out.second = static_cast<std::uint16_t>(t->second);
    }
    return out;
}

std::string EncodeDayTime(const DayTime& t, int year) {
    DateTime d;
    d.hour = t.hour;
    d.minute = t.minute;
    d.second = t.second;
    if (year < 1) year = 1;
    // Day 366 needs a leap year: take the latest one not after `year`.
    if (t.day == 366)
        while (!IsLeapYear(year) && year > 1) --year;
    int days = IsLeapYear(year) ? 366 : 365;
    if (t.day >= 1 && static_cast<int>(t.day) <= days) {
        int doy = static_cast<int>(t.day);
        int m = 1;
        while (m < 12 && doy > DaysInMonth(year, m)) doy -= DaysInMonth(year, m++);
        d.year = year;
        d.month = m;
        d.day = doy;
    }
    return FormatDateTime(d);
}

std::optional<std::vector<int>> ParseChannelList(std::string_view text) {
    std::vector<int> out;
    std::string_view s = text;
    for (;;) {
        while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
        if (s.empty()) break;
        if (s.front() < '0' || s.front() > '9') return std::nullopt;
        long long v = 0;
        while (!s.empty() && s.front() >= '0' && s.front() <= '9') {
            v = v * 10 + (s.front() - '0');
            if (v > kMaxChannelNumber) return std::nullopt;
            s.remove_prefix(1);
        }
        if (out.size() >= kMaxChannels) return std::nullopt;
        out.push_back(static_cast<int>(v));
        while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
        if (s.empty()) break;
        if (s.front() != ',') return std::nullopt;
        s.remove_prefix(1);
    }
    return out;
}

std::string FormatChannelList(std::span<const int> channels) {
    std::string out;
    char buf[16];
    for (int c : channels) {
        std::snprintf(buf, sizeof buf, "%d,", c);
        out += buf;
    }
    return out;
}

std::optional<std::uint64_t> ParseHex(std::string_view text) {
    text = TrimBlanks(text);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 16) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v << 4 | static_cast<std::uint64_t>(d);
    }
    return v;
}

std::string FormatHex(std::uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(value));
    return buf;
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 32) return std::nullopt;
    std::string s(text);
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno == 0 && end == s.c_str() + s.size()) return v;
    // "4000000.0" and the like: a whole number written as a real.
    auto r = ParseReal(text);
    if (r && *r == std::trunc(*r) && std::fabs(*r) < 9.0e18) return static_cast<std::int64_t>(*r);
    return std::nullopt;
}

std::optional<double> ParseReal(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 64) return std::nullopt;
    std::string s(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

void CopyText(std::string_view text, char* dest, std::size_t size) {
    if (size == 0) return;
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    // Step back over UTF-8 continuation bytes so no character is split.
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    if (n > 0) std::memcpy(dest, text.data(), n);
    std::memset(dest + n, 0, size - n);
}

void CopyChannelList(std::string_view text, char* dest, std::size_t size) {
    if (size > 0 && text.size() > size - 1) {
        std::size_t cut = text.rfind(',', size - 2);
        text = cut == std::string_view::npos ? std::string_view{} : text.substr(0, cut + 1);
    }
    CopyText(text, dest, size);
}

std::string_view ArrayText(const char* src, std::size_t size) {
    return std::string_view(src, strnlen(src, size));
}

}  // namespace taskbook

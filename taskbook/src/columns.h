// Encodings of the task-store columns, both ways: yes/no texts, label lists,
// date-time texts, channel lists, hexadecimal patterns and numbers. Database
// rows come from outside, so every decoder accepts any input.
#pragma once

#include <bbdevice/dev_records.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace taskbook {

// ---- yes/no: "-1" is true, any other text false.
std::uint32_t DecodeYesNo(std::string_view text);
std::string_view EncodeYesNo(std::uint32_t value);

// ---- label lists: the labels are tried in order; a text that matches none
// gives the fallback code. Encoding a code without a label gives the
// fallback text.
struct Label {
    std::string_view text;
    std::uint32_t code;
};

struct LabelList {
    std::string_view columns;  // the columns it serves, for messages and tests
    std::span<const Label> labels;
    std::uint32_t fallbackCode;
    std::string_view fallbackText;  // written for codes without a label
};

std::uint32_t DecodeLabel(const LabelList& list, std::string_view text);
std::string_view EncodeLabel(const LabelList& list, std::uint32_t code);

extern const LabelList kDataSourceLabels;        // 数据源
extern const LabelList kLineCodeLabels;          // 码型, 传输码型
extern const LabelList kSubframeTypeLabels;      // 副帧类型
extern const LabelList kEmuSubframeTypeLabels;   // emulator 副帧类型
extern const LabelList kModulationLabels;        // Sim调制模式, 解调模式
extern const LabelList kEmuModulationLabels;     // emulator 调制体制
extern const LabelList kModControlLabels;        // Sim调制控制
extern const LabelList kPnLengthLabels;          // Sim伪码长度, 伪码长度
extern const LabelList kPnSourceLabels;          // Sim伪码来源, 伪码来源
extern const LabelList kChannelCodingLabels;     // Sim信道编码, 信道译码
extern const LabelList kQpskPolarityLabels;      // QPSK解调极性, SimQPSK调制极性
extern const LabelList kConvPolarityLabels;      // 卷积译码, Sim卷积编码
extern const LabelList kReceiverInputLabels;     // 信号来源
extern const LabelList kIfBandwidthLabels;       // 中频带宽
extern const LabelList kLoopBandwidthLabels;     // 环路带宽
extern const LabelList kIdCountLabels;           // ID码计数方式, ID帧计数方式
extern const LabelList kKeyLengthLabels;         // 密钥长度
extern const LabelList kTimeModeLabels;          // 时统模式
extern const LabelList kTimeBaseLabels;          // 内时统基准模式
extern const LabelList kTimeSyncLabels;          // 内时统同步模式
extern const LabelList kTimingPrecisionLabels;   // 配时精度
extern const LabelList kSafetyModulationLabels;  // safety-control 调制体制
extern const LabelList kSafetyRateLabels;        // 调制码率(Kbps)
extern const LabelList kSourceLabels;            // 70M来源, PCM来源

std::span<const LabelList* const> AllLabelLists();

// ---- date-time texts "%d-%d-%d %d:%d:%d" (year, month, day, hour, minute,
// second). Parsing reads six integers as sscanf would (blanks before each,
// optional sign); it does not check ranges.
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
std::optional<DateTime> ParseDateTime(std::string_view text);
std::string FormatDateTime(const DateTime& t);

bool IsLeapYear(int year);
// Day of the year (1 = 1 January) or 0 for an invalid date.
std::uint32_t DayOfYear(int year, int month, int day);

// Column text to the card's day-of-year form; an invalid date gives day 0,
// an invalid time of day gives 00:00:00. Milliseconds are not stored.
DayTime DecodeDayTime(std::string_view text);
// Writes `t` as a date of `year` (the year the stored text had, since the
// record keeps only the day of the year). Day 0 or past the year's end
// gives "0-0-0 h:m:s".
std::string EncodeDayTime(const DayTime& t, int year);

// ---- channel lists: decimal channel numbers, each followed by a comma; the
// last comma may be missing, blanks are ignored. Nothing on a malformed list.
inline constexpr std::size_t kMaxChannels = 65536;
inline constexpr int kMaxChannelNumber = 1 << 24;
std::optional<std::vector<int>> ParseChannelList(std::string_view text);
std::string FormatChannelList(std::span<const int> channels);

// ---- hexadecimal patterns ("EB90"), at most 16 digits, optional 0x.
std::optional<std::uint64_t> ParseHex(std::string_view text);
std::string FormatHex(std::uint64_t value);

// ---- numbers given as text: the whole text must be a decimal number.
std::optional<std::int64_t> ParseInteger(std::string_view text);
std::optional<double> ParseReal(std::string_view text);

// Copies `text` into a fixed array as a NUL-terminated string, cut at a UTF-8
// character boundary, the rest of the array zero.
void CopyText(std::string_view text, char* dest, std::size_t size);
// Same, but cut after the last whole "%d," entry of a channel list.
void CopyChannelList(std::string_view text, char* dest, std::size_t size);
// The NUL-terminated text of a fixed array (the whole array when no NUL).
std::string_view ArrayText(const char* src, std::size_t size);

}  // namespace taskbook

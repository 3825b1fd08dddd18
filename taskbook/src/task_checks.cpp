// Page checks of the task-macro dialog.
#include "task_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "columns.h"

namespace taskbook {
namespace {

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

bool InRange(const Number& n, std::int64_t lo, std::int64_t hi) {
    return n && *n >= lo && *n <= hi;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads an unsigned decimal of at most `maxDigits` digits.
bool ReadInt(std::string_view& s, int& out, std::size_t maxDigits = 9) {
    std::size_t n = 0;
    int v = 0;
    while (n < s.size() && n < maxDigits && s[n] >= '0' && s[n] <= '9') v = v * 10 + (s[n++] - '0');
    if (n == 0 || (n < s.size() && s[n] >= '0' && s[n] <= '9')) return false;
    s.remove_prefix(n);
    out = v;
    return true;
}

bool Expect(std::string_view& s, char c) {
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::uint64_t WordMax(std::int64_t wordBits) {
    const std::int64_t bits = std::clamp<std::int64_t>(wordBits, 1, 64);
    return bits >= 64 ? ~0ull : (1ull << bits) - 1;
}

bool IsHexText(std::string_view text) {
    return ParseHex(text).has_value();
}

std::size_t HexDigits(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    return text.size();
}

// Counts whole steps instead of a floating remainder: fmod(2300.0, 0.1) is
// not 0, yet 2300.0 is a whole number of 0.1 MHz steps.
bool OnStep(double x, double stepsPerUnit) {
    const double scaled = x * stepsPerUnit;
    return std::fabs(scaled - std::round(scaled)) <= 1e-6;
}

bool FrequencyOk(const Real& mhz, double lo, double hi, double stepsPerUnit) {
    return mhz && *mhz >= lo - 1e-9 && *mhz <= hi + 1e-9 && OnStep(*mhz, stepsPerUnit);
}

std::string FrequencyText(const char* fmt, const Real& mhz) {
    return Format(fmt, mhz.value_or(0.0));
}

std::uint32_t U32(const Number& n, std::uint32_t fallback) {
    return n && *n >= 0 && *n <= 0xFFFFFFFFll ? static_cast<std::uint32_t>(*n) : fallback;
}

}  // namespace

// ---- parsers

std::optional<Date> ParseTaskDate(std::string_view s) {
    Date d;
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    if (!ReadInt(s, d.year, 4) || !Expect(s, '-') || !ReadInt(s, d.month, 2) || !Expect(s, '-') ||
        !ReadInt(s, d.day, 2))
        return std::nullopt;
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    if (!s.empty()) return std::nullopt;
    if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 ||
        d.day > DaysInMonth(d.year, d.month))
        return std::nullopt;
    return d;
}

std::optional<TimeOfDay> ParseTaskTime(std::string_view s) {
    TimeOfDay t;
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    if (!ReadInt(s, t.hour, 2) || !Expect(s, ':') || !ReadInt(s, t.minute, 2) || !Expect(s, ':') ||
        !ReadInt(s, t.second, 2))
        return std::nullopt;
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    if (!s.empty() || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    return t;
}

std::optional<std::vector<int>> ParseChannelEntry(std::string_view s, std::int64_t maxChannel) {
    std::vector<int> out;
    while (!s.empty()) {
        std::int64_t v = 0;
        std::size_t n = 0;
        while (n < s.size() && s[n] >= '0' && s[n] <= '9') {
            v = v * 10 + (s[n] - '0');
            if (v > maxChannel) return std::nullopt;
            ++n;
        }
        if (n == 0 || v < 1 || out.size() >= kMaxChannels) return std::nullopt;
        out.push_back(static_cast<int>(v));
        s.remove_prefix(n);
        if (s.empty()) break;
        if (s.front() != ',') return std::nullopt;
        s.remove_prefix(1);
    }
    return out;
}

std::string ShowChannelList(std::span<const int> channels, std::size_t keep) {
    std::string out;
    const bool cut = channels.size() > keep;
    const std::size_t shown = cut ? keep : channels.size();
    for (std::size_t i = 0; i < shown; ++i) out += Format("%d,", channels[i]);
    if (cut) out += Format("...%d,", channels.back());
    return out;
}

std::optional<CodeFile> ParseCodeFile(std::string_view bytes) {
    if (bytes.size() > kMaxCodeFile) return std::nullopt;
    CodeFile f;
    std::vector<std::uint8_t> group;
    auto endLine = [&] {
        if (group.empty()) return;
        f.totalBits += group.size();
        f.groups.push_back(std::move(group));
        group.clear();
    };
    for (char c : bytes) {
        if (c == '0' || c == '1') {
            if (group.size() >= kMaxCodeLine) return std::nullopt;
            group.push_back(static_cast<std::uint8_t>(c - '0'));
        } else if (c == '\n') {
            endLine();
        } else if (!IsBlank(c) && c != '\r') {
            return std::nullopt;
        }
    }
    endLine();
    return f;
}

std::size_t CodeLengthBits(std::uint32_t index) {
    return index <= 7 ? (std::size_t{16} << index) - 1 : 0;
}

Refusal CheckCodeFile(const std::optional<CodeFile>& file, std::size_t needBits,
                      const std::string& path) {
    if (!file) return "伪码文件打开失败，请查证！\n" + path;
    if (file->totalBits < needBits)
        return "伪码文件包含的码位总数少于您所需的位数，请查证！\n" + path;
    for (const auto& g : file->groups)
        if (g.size() != needBits)
            return Format("伪码文件包含的一组伪码码位数(%d)与您所需的位数(%d)不一致，请查证！\n",
                          static_cast<int>(std::min<std::size_t>(g.size(), 1u << 30)),
                          static_cast<int>(needBits)) +
                   path;
    return std::nullopt;
}

Refusal LoadCodeFile(const std::string& path, std::size_t needBits, std::string& stored) {
    std::optional<CodeFile> file;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::string bytes(kMaxCodeFile + 1, '\0');
        const std::size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
        const bool failed = std::ferror(f) != 0;
        std::fclose(f);
        bytes.resize(n);
        if (!failed) file = ParseCodeFile(bytes);  // too long a file does not parse
    }
    if (auto r = CheckCodeFile(file, needBits, path)) return r;
    stored.clear();
    for (const auto& g : file->groups) {
        if (!stored.empty()) stored += ',';
        for (std::uint8_t bit : g) stored += static_cast<char>('0' + bit);
    }
    return std::nullopt;
}

Refusal CheckLoadedCode(std::string_view stored, std::uint32_t lengthIndex, const char* message) {
    if (stored.empty()) return std::nullopt;
    const std::size_t need = CodeLengthBits(lengthIndex);
    std::size_t run = 0;
    for (std::size_t i = 0; i <= stored.size(); ++i) {
        if (i == stored.size() || stored[i] == ',') {
            if (run != need) return std::string(message);
            run = 0;
        } else if (stored[i] == '0' || stored[i] == '1') {
            ++run;
        } else {
            return std::string(message);
        }
    }
    return std::nullopt;
}

// ---- task information

Refusal CheckTaskInfo(const TaskInfoValues& v) {
    if (v.name.empty()) return "任务名称不能为空！\t\t\t";
    if (v.name.size() > kMaxTaskNameBytes) return "任务名称过长，不能超过255个字节！\t\t";
    if (!v.existingNames) return "获取已有全部任务宏名和个数失败！\t\t";
    if (v.name != v.originalName)
        for (const auto& n : *v.existingNames)
            if (n == v.name) return "任务名重复，请重新输入！\t\t\t";
    if (!ParseTaskDate(v.date)) return "任务执行日期错误，请重新选择！\t\t";
    if (!ParseTaskTime(v.time)) return "任务执行时间输入错误，请重新输入！\t";
    std::size_t chars = 0;
    for (unsigned char c : v.description)
        if ((c & 0xC0) != 0x80) ++chars;
    if (chars > kMaxDescriptionChars) return "任务描述不能超过512个字符！\t\t";
    return std::nullopt;
}

// ---- frames

WordSpan SyncWords(std::uint32_t wordBits, std::uint32_t subframe, std::uint32_t syncBits,
                   std::uint32_t syncPos) {
    const std::uint32_t bits = std::clamp<std::uint32_t>(wordBits, 1, 64);
    const std::uint32_t w = std::max<std::uint32_t>(subframe, 1);
    const std::uint32_t sb = std::clamp<std::uint32_t>(syncBits, 1, 64);
    const std::uint32_t words = std::min<std::uint32_t>((sb + bits - 1) / bits, w);
    std::uint32_t first = syncPos == 0 ? 0 : std::min(syncPos - 1, w - 1);
    if (first + words > w) first = w - words;
    return {first + 1, first + words};
}

std::size_t KeyChannelCount(std::uint32_t wordBits, std::uint32_t keyLength) {
    const std::size_t keyBits = keyLength == 1 ? 184 : 128;
    return wordBits ? keyBits / wordBits : 0;
}

Refusal CheckFrame(FrameUnit unit, const FrameValues& v) {
    const bool dem = unit == FrameUnit::Demodulator;
    if (!InRange(v.codeRate, 1000, 20000000))
        return dem ? "码率的范围在1000bps到20000000bps之间。\r\n\t您输入有误，请重新输入！"
                   : "码率的范围为1000到20000000。\r\n\t您输入有误，请重新输入！";
    if (!InRange(v.subframe, 4, 2048))
        return dem ? "子帧长的范围在4到2048之间。\r\n\t您输入有误，请重新输入！"
                   : "子帧长的范围为4到2048。\r\n\t您输入有误，请重新输入！";
    if (v.superType != 0 && !InRange(v.superframe, 2, 256))
        return dem ? "副帧长的范围在2到256之间。\r\n\t您输入有误，请重新输入！"
                   : "副帧长的范围应为2～256。\r\n\t您输入有误，请重新输入！";
    const std::int64_t sub = *v.subframe;
    const std::int64_t full = v.superType != 0 ? sub * *v.superframe : sub;
    if (full > 131072) return "全帧长的范围不能超过131072。\r\n\t您输入有误，请重新输入！";
    if (v.syncCode.empty() || !IsHexText(v.syncCode))
        return "帧同步码不能为空，请输入帧同步码！\t\t";
    const std::uint32_t wordBits = U32(v.wordBits, 8);
    if (v.superType == 3) {
        const std::size_t digits = HexDigits(v.superSync);
        const auto value = ParseHex(v.superSync);
        if (!value || digits != (wordBits + 3) / 4 || *value > WordMax(wordBits))
            return "循环副帧特征字长必须与字长相等，请修改副帧特征字！";
    }
    const WordSpan sync = SyncWords(wordBits, static_cast<std::uint32_t>(sub), U32(v.syncBits, 16),
                                    U32(v.syncPos, 1));
    const std::uint32_t subU = static_cast<std::uint32_t>(sub);
    if (v.superType == 2) {
        if (!InRange(v.superPos, 1, sub))
            return Format(
                "ID副帧时，副帧路序应在子帧范围内(1～%u)。\r\n\t您的输入有误，请重新输入！", subU);
        if (sync.Contains(*v.superPos))
            return Format(
                "ID副帧时，副帧路序不能占用帧同步码位置(%u～%u)。\r\n\t您的输入有误，请重新输入！",
                sync.first, sync.last);
    }
    if (v.superType == 3) {
        const std::uint32_t fullU = static_cast<std::uint32_t>(full);
        if (!InRange(v.superPos, 1, full))
            return Format(
                dem ? "循环副帧路序应在全帧范围内(1～%u)。\r\n\t您的输入有误，请重新输入！"
                    : "循环副帧时，副帧路序应在全帧范围内(1～%u)。\r\n\t您的输入有误，"
                      "请重新输入！",
                fullU);
        if (sync.Contains((*v.superPos - 1) % sub + 1))
            return Format(
                "循环副帧时，副帧路序不能占用帧同步码位置(%u～%u)"
                "。\r\n\t您的输入有误，请重新输入！",
                sync.first, sync.last);
    }

    if (!dem) {
        const std::uint64_t max = WordMax(wordBits);
        const unsigned maxU = static_cast<unsigned>(max);
        if (!v.signalInit || *v.signalInit < 0 || static_cast<std::uint64_t>(*v.signalInit) > max)
            return Format("信号初值超过2的字长次幂－1(%u)。\r\n\t您的输入有误，请重新输入！", maxU);
        if (!v.stepIncrement || *v.stepIncrement < 1 ||
            static_cast<std::uint64_t>(*v.stepIncrement) > max)
            return Format(
                "台阶码步进应在1～2的字长次幂－1之间(1～%u)。\r\n\t您的输入有误，请重新输入！",
                maxU);
        if (!InRange(v.sineStep, 0, 255))
            return "正弦波步进的范围为0～255。\r\n\t您输入有误，请重新输入！";
        struct Slot {
            bool on;
            const Number& pos;
            const char* name;
        };
        const Slot slots[3] = {{v.counterHighOn, v.counterHighPos, "帧计数高位路序"},
                               {v.counterLowOn, v.counterLowPos, "帧计数低位路序"},
                               {v.sineOn, v.sinePos, "正弦波路序"}};
        for (const Slot& s : slots)
            if (s.on && !InRange(s.pos, 1, sub))
                return Format("%s应在子帧范围内(1～%u)。\r\n\t您的输入有误，请重新输入！", s.name,
                              subU);
        for (const Slot& s : slots)
            if (s.on && sync.Contains(*s.pos))
                return Format("%s不能占用帧同步码位置(%u～%u)。\r\n\t您的输入有误，请重新输入！",
                              s.name, sync.first, sync.last);
        // The super-frame word within the sub-frame, when there is one.
        std::optional<std::int64_t> superWord;
        if (v.superType == 2 && v.superPos) superWord = *v.superPos;
        if (v.superType == 3 && v.superPos) superWord = (*v.superPos - 1) % sub + 1;
        for (int i = 0; i < 3; ++i) {
            if (!slots[i].on) continue;
            if (superWord && *slots[i].pos == *superWord)
                return Format("%s和副帧路序不能重合！请重新配置。", slots[i].name);
            for (int j = 0; j < i; ++j)
                if (slots[j].on && *slots[i].pos == *slots[j].pos)
                    return Format("%s和%s不能重合！请重新配置。", slots[i].name, slots[j].name);
        }
    }

    if (v.cipherOn) {
        if (wordBits != 8 && wordBits != 16) return "字长必须为8或者16才能够进行加解密设置！\t";
        if (wordBits == 16 && v.keyLength == 1) return "字长为16时密钥长度不能为184！\t\t\t";
        if (v.keyChannels.empty()) return "密钥波道不能为空，请输入密钥波道参数！\t";
        if (v.encryptedChannels.empty()) return "加密不能为空，请输入加密波道参数！\t\t";
        if (!InRange(v.startFrame, 1, 256))
            return dem ? "解密起始帧范围是1～256！\t\t\t" : "加密起始帧范围1～256！\t\t\t";
        if (!InRange(v.counterPos, 1, sub))
            return dem ? "帧计数路序的范围是1～子帧长！\t\t" : "帧计数路序的范围：1～子帧长！\t\t";
        const auto keys = ParseChannelEntry(v.keyChannels, full);
        const auto enc = ParseChannelEntry(v.encryptedChannels, full);
        if (!keys || !enc)
            return Format("密钥通道不能超过全帧长%d！\t\t\r\n\t请重新输入密钥通道值！",
                          static_cast<int>(full));
        const std::size_t need = KeyChannelCount(wordBits, v.keyLength);
        if (keys->size() != need) {
            if (wordBits == 8 && v.keyLength == 0)
                return "字长为8，密钥长度为128Bit时，密钥波道个数必须为16个！";
            if (wordBits == 8) return "字长为8，密钥长度为184Bit时，密钥波道个数必须为23个！";
            return "字长为16，密钥长度为128Bit时，密钥波道个数必须为8个！";
        }
        if (auto r = CheckKeyChannels(v, *keys, *enc)) return r;
    }
    return std::nullopt;
}

Refusal CheckKeyChannels(const FrameValues& v, std::span<const int> keys,
                         std::span<const int> encrypted) {
    const std::int64_t sub = v.subframe.value_or(0);
    const std::int64_t full = v.superType != 0 ? sub * v.superframe.value_or(1) : sub;
    const std::int64_t periodWords = sub * v.period.value_or(0);
    for (int k : keys) {
        if (k < 1 || k > full)
            return Format("密钥通道不能超过全帧长%d！\t\t\r\n\t请重新输入密钥通道值！",
                          static_cast<int>(full));
        if (k > periodWords)
            return Format("密钥通道不能超过加密周期（帧长：%d）！\t",
                          static_cast<int>(std::min<std::int64_t>(periodWords, 1 << 30)));
    }
    for (int k : keys)
        if (std::find(encrypted.begin(), encrypted.end(), k) != encrypted.end())
            return "密钥波道和加密波道号有冲突，请重新设置！\t";
    return std::nullopt;
}

Refusal CheckKeyDerivation(const FrameValues& v, std::string_view nonEncrypted) {
    const std::uint32_t wordBits = U32(v.wordBits, 0);
    if (wordBits != 8 && wordBits != 16) return "字长必须为8或者16才能够进行推算！";
    if (v.keyLength == 1 && wordBits != 8) return "当密钥长度为184时，字长只能为8，否则不可推算！";
    if (v.keyChannels.empty()) return "密钥波道不能为空，请输入密钥波道！\t";
    if (nonEncrypted.empty()) return "未加密波道，请输入未加密波道！\t\t";
    if (!InRange(v.period, 1, 256)) return "加解密周期范围1～256！\t\t\t";
    if (!InRange(v.startFrame, 1, 256)) return "解密起始帧范围1～256！\t\t\t";
    return std::nullopt;
}

std::vector<int> DeriveKeyChannels(const FrameValues& v, std::span<const int> nonEncrypted) {
    std::vector<int> keys;
    const std::size_t need = KeyChannelCount(U32(v.wordBits, 8), v.keyLength);
    const std::int64_t limit = v.subframe.value_or(0) * v.period.value_or(0);
    auto first = ParseChannelEntry(v.keyChannels, limit);
    if (!first || first->empty()) return keys;
    for (std::int64_t p = first->front(); p <= limit && keys.size() < need; ++p)
        if (std::find(nonEncrypted.begin(), nonEncrypted.end(), p) == nonEncrypted.end())
            keys.push_back(static_cast<int>(p));
    return keys;
}

Refusal CheckNonEncrypted(const FrameValues& v, std::span<const int> nonEncrypted,
                          bool withinPeriod) {
    const std::int64_t sub = v.subframe.value_or(0);
    const WordSpan sync = SyncWords(U32(v.wordBits, 8), static_cast<std::uint32_t>(sub),
                                    U32(v.syncBits, 16), U32(v.syncPos, 1));
    for (std::uint32_t w = sync.first; w <= sync.last; ++w)
        if (std::find(nonEncrypted.begin(), nonEncrypted.end(), static_cast<int>(w)) ==
            nonEncrypted.end())
            return "未加密波道不能为空，至少应包含帧同步码位置！";
    const std::int64_t limit = withinPeriod ? sub * v.period.value_or(0) : sub;
    for (int c : nonEncrypted)
        if (c < 1 || c > limit)
            return Format(withinPeriod ? "未加密波道应在加密周期范围内(1～%d)，请重新输入！"
                                       : "未加密波道应在子帧范围内(1～%d)，请重新输入！",
                          static_cast<int>(limit));
    return std::nullopt;
}

std::vector<int> DeriveEncrypted(std::uint32_t subframe, std::span<const int> nonEncrypted,
                                 std::span<const int> keys) {
    std::vector<int> out;
    for (std::uint32_t w = 1; w <= subframe; ++w) {
        const int c = static_cast<int>(w);
        if (std::find(nonEncrypted.begin(), nonEncrypted.end(), c) != nonEncrypted.end()) continue;
        if (std::find(keys.begin(), keys.end(), c) != keys.end()) continue;
        out.push_back(c);
    }
    return out;
}

// ---- emulator

Refusal CheckEmulator(const EmulatorValues& v) {
    const bool cdma = v.modulation == 4 || v.modulation == 5;
    if (cdma && !InRange(v.codeRate, kCdmaMinRate, kCdmaMaxRate))
        return Format("在CDMA模式下，码率应在(%d～%d)bps之间。\n您输入有误，请重新输入！",
                      static_cast<int>(kCdmaMinRate), static_cast<int>(kCdmaMaxRate));
    if (!cdma && !InRange(v.codeRate, 1000, 10000000))
        return "非CDMA模式下，码率应在(1000～10000000)bps之间。\n您输入有误，请重新输入！";
    if (!InRange(v.deviationKHz, 120, 3500))
        return "调制频偏不在(120～3500)KHz范围内！请重新配置。";
    const std::int64_t sub = v.subframe.value_or(0);
    const unsigned subU = static_cast<unsigned>(std::clamp<std::int64_t>(sub, 0, 1 << 30));
    struct Slot {
        bool on;
        const Number& pos;
        const char* name;
    };
    const Slot slots[5] = {{true, v.idPos, "ID码路序"},
                           {v.superType != 0, v.superPos, "副帧路序"},
                           {v.counterHighOn, v.counterHighPos, "帧计数高位路序"},
                           {v.counterLowOn, v.counterLowPos, "帧计数低位路序"},
                           {v.sineOn, v.sinePos, "正弦波路序"}};
    for (const Slot& s : slots)
        if (s.on && !InRange(s.pos, 1, sub))
            return Format("%s不在1～子帧长(%u)范围内！请重新配置。", s.name, subU);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < i; ++j)
            if (slots[i].on && slots[j].on && *slots[i].pos == *slots[j].pos)
                return Format("%s和%s不能重合！请重新配置。", slots[i].name, slots[j].name);
    const std::uint64_t max = WordMax(U32(v.wordBits, 8));
    const unsigned maxU = static_cast<unsigned>(max);
    if (!v.signalInit || *v.signalInit < 0 || static_cast<std::uint64_t>(*v.signalInit) > max)
        return Format("信号初值超过2的字长次幂－1(%u)！请重新配置。", maxU);
    if (!v.stepIncrement || *v.stepIncrement < 1 ||
        static_cast<std::uint64_t>(*v.stepIncrement) > max)
        return Format("台阶码步进应在1～2的字长次幂－1之间(1～%u)！请重新配置。", maxU);
    return CheckEmulatorCarrier(v.carrierMHz);
}

// ---- frequencies and the rest

Refusal CheckDownConverterFrequency(Real mhz) {
    if (FrequencyOk(mhz, 2200.0, 2400.5, 4)) return std::nullopt;
    return FrequencyText(
        "接收频率：%lfMHz，数据错误！\n请填入一个介于2200.00和2400.50之间的浮点数，0.25步进！",
        mhz);
}

Refusal CheckEmulatorCarrier(Real mhz) {
    if (FrequencyOk(mhz, 2200.0, 2400.5, 4)) return std::nullopt;
    return FrequencyText(
        "载波频率：%lfMHz，数据错误！\n请填入一个介于2200.00和2400.50之间的浮点数，0.25步进！",
        mhz);
}

Refusal CheckReceiverFrequency(Real mhz) {
    if (FrequencyOk(mhz, 2200.0, 2400.0, 10)) return std::nullopt;
    return FrequencyText(
        "频率：%lfMHz，数据错误！\n请填入一个介于2200.0和2400.0之间的浮点数，0.1步进！", mhz);
}

Refusal CheckAntennaFrequency(Real mhz) {
    if (FrequencyOk(mhz, 2200.0, 2400.0, 10)) return std::nullopt;
    return FrequencyText(
        "工作频率：%lfMHz，数据错误！\n请填入一个介于2200.0和2400.0之间的浮点数，0.1步进！", mhz);
}

Refusal CheckAntennaBandwidth(Real mhz) {
    for (double b : {0.5, 1.0, 2.0, 4.0})
        if (mhz && std::fabs(*mhz - b) < 1e-9) return std::nullopt;
    return "频率带宽只能为0.5、1、2或4MHz！";
}

Refusal CheckSafetySubcarrier(Real subcarrierKbps, double codeRateKbps) {
    if (!subcarrierKbps || *subcarrierKbps < 2.4 - 1e-9 || *subcarrierKbps > 76.8 + 1e-9)
        return "副载波频率超出范围：2.4Kbps～76.8Kbps！";
    if (*subcarrierKbps < 2 * codeRateKbps - 1e-9) return "副载波频率应不小于调制码率的2倍";
    return std::nullopt;
}

Refusal CheckTimeCode(Number referenceChannel, Number referenceThreshold) {
    if (!InRange(referenceThreshold, 0, 65535)) return "参考门限的范围在0到65535之间！\t\t";
    if (!InRange(referenceChannel, 0, 13702)) return "参考门限的范围在0到13702之间！\t\t";
    return std::nullopt;
}

int TreeApplyCode(unsigned bits) {
    bits &= 0x7F;
    if (bits == 0x7F) return 6;
    switch (bits) {
        case 1:
            return 7;
        case 2:
            return 8;
        case 4:
            return 9;
        case 8:
            return 41;
        case 0x30:
            return 51;
        case 0x10:
            return 53;
        case 0x20:
            return 55;
        default:
            return 0;
    }
}

}  // namespace taskbook

#include "ini_values.h"

#include <string>

#include "log/system_log.h"
#include "platform/profile.h"

namespace cfg::detail {

bool ParseLeadingInt(std::string_view text, long long& out) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > 0x7FFFFFFFFFFFull) return false;  // far beyond any setting
    }
    out = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
    return true;
}

int ReadInt(std::string_view section, std::string_view key, int def, int lo, int hi,
            std::size_t bufSize, const std::string& file) {
    const std::string text =
        plat::GetPrivateProfileString(section, key, std::to_string(def), bufSize, file);
    long long v = 0;
    if (!ParseLeadingInt(text, v) || v < lo || v > hi) return def;
    return static_cast<int>(v);
}

std::uint32_t ReadU32(std::string_view section, std::string_view key, std::uint32_t def,
                      std::size_t bufSize, const std::string& file) {
    const std::string text =
        plat::GetPrivateProfileString(section, key, std::to_string(def), bufSize, file);
    long long v = 0;
    if (!ParseLeadingInt(text, v) || v < -2147483648LL || v > 4294967295LL) return def;
    return static_cast<std::uint32_t>(v);
}

std::string ReadText(std::string_view section, std::string_view key, std::string_view def,
                     std::size_t bufSize, const std::string& file) {
    return plat::GetPrivateProfileString(section, key, def, bufSize, file);
}

bool WriteInt(std::string_view section, std::string_view key, int value, const std::string& file) {
    return plat::WritePrivateProfileInt(section, key, value, file);
}

bool WriteText(std::string_view section, std::string_view key, std::string_view value,
               const std::string& file) {
    return plat::WritePrivateProfileString(section, key, value, file);
}

void ReportNotWritten(const std::string& file, std::string_view section) {
    applog::PostLog("配置文件写入失败：" + file + " [" + std::string(section) + "]");
}

}  // namespace cfg::detail

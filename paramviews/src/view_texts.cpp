#include "view_texts.h"

#include <platform/paths.h>
#include <platform/profile.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace paramviews {

std::optional<double> ScaleFraction(double value, double min, double max) {
    if (!std::isfinite(value) || !std::isfinite(min) || !std::isfinite(max) || max <= min ||
        !std::isfinite(max - min))
        return std::nullopt;
    const double f = (std::clamp(value, min, max) - min) / (max - min);
    return std::isfinite(f) ? std::optional<double>(f) : std::nullopt;
}

double CurveFraction(double value, double min, double max) {
    return ScaleFraction(value, min, max).value_or(0.5);
}

int LimitState(double value, double upper, double lower) {
    if (value > upper) return 1;
    if (value < lower) return -1;
    return 0;
}

std::string Format(const char* fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return n < 0 ? std::string()
                 : std::string(buf, std::min<std::size_t>(std::size_t(n), sizeof buf - 1));
}

std::string CurveTitle(const ParStructEx& p) {
    return Format("%s  %s  ( %s )", p.strName, p.strMeaning, p.strUnit);
}

std::string StripeLabel(const ParStructEx& p) {
    return Format("%s:  %s  ( %s )", p.strName, p.strMeaning, p.strUnit);
}

std::string CodeText(std::int64_t code, int nBytes) {
    const int n = std::clamp(nBytes, 1, 8);
    std::string out;
    for (int b = n - 1; b >= 0; --b)
        out += Format("%02X", unsigned((std::uint64_t(code) >> (8 * b)) & 0xFF));
    return out;
}

std::string ValueWithUnit(double value, const ParStructEx& p) {
    return Format("%.3lf %s", value, p.strUnit);
}

std::string TimeText(double epochSeconds) {
    if (!(epochSeconds > 0) || !std::isfinite(epochSeconds)) return {};
    const std::time_t whole = std::time_t(epochSeconds);
    std::tm local{};
    if (!localtime_r(&whole, &local)) return {};
    const double ms = (epochSeconds - double(whole)) * 1000.0;
    return Format("%02d:%02d:%02d.%04.1f", local.tm_hour, local.tm_min, local.tm_sec, ms);
}

std::string SettingsFile() {
    return plat::ModuleDirectory() + "/TelemetrySystem.ini";
}

int ReadLevel(const char* key) {
    const int v = plat::GetPrivateProfileInt("参数显示窗口", key, 0, SettingsFile());
    return v >= 0 && v <= 2 ? v : 0;
}

int ReadTableStyle() {
    const int v = plat::GetPrivateProfileInt("参数显示窗口", kTableStyleKey, 0, SettingsFile());
    return v == 1 ? 1 : 0;
}

void WriteSetting(const char* key, unsigned value) {
    plat::WritePrivateProfileString("参数显示窗口", key, Format("%u", value), SettingsFile());
}

}  // namespace paramviews

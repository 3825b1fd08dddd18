// What the windows draw, as plain values and texts: scale positions that stay
// sane for any limits, the table's texts, and the window settings file.
#pragma once

#include <preferences/par_records.h>

#include <cstdint>
#include <optional>
#include <string>

namespace paramviews {

// Where `value` lies between min and max as 0..1 (clamped). Nothing when the
// range is empty or reversed or a number is not finite.
std::optional<double> ScaleFraction(double value, double min, double max);

// The height of a curve point as 0..1; the middle when the scale is unusable.
double CurveFraction(double value, double min, double max);

// +1 above the upper limit, -1 below the lower, 0 otherwise.
int LimitState(double value, double upper, double lower);

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "%s  %s  ( %s )" and "%s:  %s  ( %s )".
std::string CurveTitle(const ParStructEx& p);
std::string StripeLabel(const ParStructEx& p);
// The raw code's nBytes low bytes, most significant first, "%02X" each.
std::string CodeText(std::int64_t code, int nBytes);
// "%.3lf %s".
std::string ValueWithUnit(double value, const ParStructEx& p);
// "%02d:%02d:%02d.%04.1f" of a local clock reading; empty for none.
std::string TimeText(double epochSeconds);

// Window settings in "TelemetrySystem.ini", section "参数显示窗口".
inline constexpr const char* kCurveKey = "曲线";
inline constexpr const char* kStripeKey = "柱状图";
inline constexpr const char* kTableKey = "表格";
inline constexpr const char* kTableStyleKey = "表格2";
// A level (0..2; anything else reads as 0).
int ReadLevel(const char* key);
// The table style (0 or 1; anything else reads as 0).
int ReadTableStyle();
void WriteSetting(const char* key, unsigned value);
std::string SettingsFile();

}  // namespace paramviews

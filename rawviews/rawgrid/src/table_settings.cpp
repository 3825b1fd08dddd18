#include <platform/paths.h>
#include <platform/profile.h>
#include <rawgrid/table_settings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace rawgrid {

namespace {

constexpr const char* kShowTbType = "SHOW_TB_TYPE";
constexpr const char* kShowWfMode = "SHOW_WF_MODE";
constexpr const char* kDataBitsLimit = "DATA_BITS_LIMIT";
constexpr const char* kDataViewMode = "DATA_VIEW_MODE";
constexpr const char* kConvertVoltage = "CONVERT_VOLTAGE";

// A number only when the whole text (blanks aside) is one plausible value.
double ParseVoltage(const std::string& text, double def) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(v) || std::fabs(v) > 1e6) return def;
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0' ? v : def;
}

}  // namespace

std::string SettingsSection(int stream) {
    if (stream < 0) return "TABLE_PARAMETER";
    return "TABLE" + std::to_string(stream + 1) + "_PARAMETER";
}

std::string SettingsFilePath() {
    return plat::ModuleDirectory() + "/TableParameter.ini";
}

TableSettings LoadTableSettings(const std::string& file, int stream) {
    const std::string section = SettingsSection(stream);
    const TableSettings def;
    TableSettings s;
    s.nShowTbType = plat::GetPrivateProfileInt(section, kShowTbType, def.nShowTbType, file) != 0;
    s.nShowWfMode = plat::GetPrivateProfileInt(section, kShowWfMode, def.nShowWfMode, file) != 0;
    s.nDataBitsLimit =
        plat::GetPrivateProfileInt(section, kDataBitsLimit, def.nDataBitsLimit, file) != 0;
    s.nDataViewMode = plat::GetPrivateProfileInt(section, kDataViewMode, def.nDataViewMode, file);
    if (s.nDataViewMode < 0 || s.nDataViewMode > 3) s.nDataViewMode = def.nDataViewMode;
    s.fConvertVoltage =
        ParseVoltage(plat::GetPrivateProfileString(section, kConvertVoltage, "5.0", 64, file),
                     def.fConvertVoltage);
    return s;
}

bool SaveTableSettings(const std::string& file, int stream, const TableSettings& s) {
    const std::string section = SettingsSection(stream);
    char volts[64];
    std::snprintf(volts, sizeof volts, "%lf", s.fConvertVoltage);
    bool ok = plat::WritePrivateProfileInt(section, kShowTbType, s.nShowTbType, file);
    ok = plat::WritePrivateProfileInt(section, kShowWfMode, s.nShowWfMode, file) && ok;
    ok = plat::WritePrivateProfileInt(section, kDataBitsLimit, s.nDataBitsLimit, file) && ok;
    ok = plat::WritePrivateProfileInt(section, kDataViewMode, s.nDataViewMode, file) && ok;
    ok = plat::WritePrivateProfileString(section, kConvertVoltage, volts, file) && ok;
    return ok;
}

}  // namespace rawgrid

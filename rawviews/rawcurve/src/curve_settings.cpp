#include <platform/paths.h>
#include <platform/profile.h>
#include <rawcurve/curve_settings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace rawcurve {

namespace {

// The value when the text is one decimal integer (blanks around allowed).
int IntOr(const std::string& text, int def) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || v < INT_MIN || v > INT_MAX) return def;
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0' ? static_cast<int>(v) : def;
}

int ReadInt(const std::string& section, const std::string& key, int def, const std::string& file) {
    return IntOr(plat::GetPrivateProfileString(section, key, "", 64, file), def);
}

std::string ChannelKey(int k) {
    return "CHANNEL" + std::to_string(k);
}

}  // namespace

std::string CurverSection(int stream) {
    if (stream < 0) return "CURVER_PARAMETER";
    return "CURVER" + std::to_string(stream + 1) + "_PARAMETER";
}

std::string CurverSettingsPath() {
    return plat::ModuleDirectory() + "/CurverParameter.ini";
}

CurverSettings LoadCurverSettings(const std::string& file, int stream) {
    const std::string section = CurverSection(stream);
    CurverSettings s;
    for (int k = 0; k < kChannels; ++k)
        s.channel[k] = ReadInt(section, ChannelKey(k + 1), k + 1, file);
    s.nShowWfMode = ReadInt(section, "SHOW_WF_MODE", 0, file) != 0;
    s.nDataBitsLimit = ReadInt(section, "DATA_BITS_LIMIT", 0, file) != 0;
    return s;
}

bool SaveCurverSettings(const std::string& file, int stream, const CurverSettings& s) {
    const std::string section = CurverSection(stream);
    bool ok = true;
    for (int k = 0; k < kChannels; ++k)
        ok = plat::WritePrivateProfileInt(section, ChannelKey(k + 1), s.channel[k], file) && ok;
    ok = plat::WritePrivateProfileInt(section, "SHOW_WF_MODE", s.nShowWfMode, file) && ok;
    ok = plat::WritePrivateProfileInt(section, "DATA_BITS_LIMIT", s.nDataBitsLimit, file) && ok;
    return ok;
}

}  // namespace rawcurve

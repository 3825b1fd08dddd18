#include "config/gps_channel.h"

#include <cstdio>

#include "ini_values.h"
#include "platform/profile.h"

namespace cfg {

namespace {

constexpr const char* kSection = "Gps通道";

std::string ChannelKey(std::size_t i) {
    char key[16];
    std::snprintf(key, sizeof key, "Channel%zu", i + 1);
    return key;
}

}  // namespace

std::string GpsChannelIniPath(const std::string& moduleDir) {
    return moduleDir + "/GpsChannel.ini";
}

GpsChannelConfig LoadGpsChannels(const std::string& moduleDir) {
    const std::string f = GpsChannelIniPath(moduleDir);
    GpsChannelConfig c;
    for (std::size_t i = 0; i < c.channel.size(); ++i) {
        // Positions are handed on as 16-bit values; anything else means "none".
        const int v = plat::GetPrivateProfileInt(kSection, ChannelKey(i), 0, f);
        c.channel[i] = (v >= 0 && v <= 65535) ? v : 0;
    }
    return c;
}

bool SaveGpsChannels(const std::string& moduleDir, const GpsChannelConfig& c) {
    const std::string f = GpsChannelIniPath(moduleDir);
    bool ok = true;
    for (std::size_t i = 0; i < c.channel.size(); ++i)
        ok = plat::WritePrivateProfileInt(kSection, ChannelKey(i), c.channel[i], f) && ok;
    if (!ok) detail::ReportNotWritten(f, kSection);
    return ok;
}

}  // namespace cfg

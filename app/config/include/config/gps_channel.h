// Satellite-navigation pick positions kept in GpsChannel.ini, section
// "Gps通道", keys Channel1..Channel4 (0 = no data at this position).
#pragma once

#include <array>
#include <string>

namespace cfg {

struct GpsChannelConfig {
    std::array<int, 4> channel{};  // Channel1..Channel4, each 0..65535
};

// moduleDir + "/GpsChannel.ini".
std::string GpsChannelIniPath(const std::string& moduleDir);

// A value outside 0..65535 reads as 0.
GpsChannelConfig LoadGpsChannels(const std::string& moduleDir);
// False, after a journal line, when the file could not be written.
bool SaveGpsChannels(const std::string& moduleDir, const GpsChannelConfig& c);

}  // namespace cfg

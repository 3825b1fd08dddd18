// The network output's settings from the stored configuration (Para.ini),
// shared by the window program and the headless run.
#pragma once

#include <config/para_config.h>
#include <netout/network_output.h>

namespace netout {

NetworkSettings NetworkSettingsOf(const cfg::NetworkConfig& c);
HeaderSettings HeaderSettingsOf(const cfg::NetworkSendConfig& c);

}  // namespace netout

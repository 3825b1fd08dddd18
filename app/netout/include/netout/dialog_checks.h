// The checks of the two network dialogs, as plain functions so that every
// refusal is tested without a window. Each returns the message to show, or
// an empty string when the values are accepted.
#pragma once

#include <netout/packet_format.h>

#include <string>
#include <vector>

namespace netout {

// "发送参数设置": K, the stream number and the datagram size for the
// current frame geometry.
std::string CheckSendParameters(int packetFactor, int streamNo, const SendGeometry& g);

// "遥测计算机网络配置": port fields as typed (so that "abc" and "70000" are
// both out of range), the addresses, and the own addresses the output
// interface must be one of.
struct NetworkDialogValues {
    std::string broadcastPort, multicastPort, gnssPort, monitorPort;
    std::string multicastDestPort, unicastLocalPort, unicastDestPort;
    std::string multicastAddr, unicastDestIp, outputIp;
};
std::string CheckNetworkDialog(const NetworkDialogValues& v,
                               const std::vector<std::string>& ownAddresses);

// A decimal port 1-65535, or 0.
int ParsePort(const std::string& text);
// Dotted-quad IPv4 ("1.2.3.4", no shortened or octal forms).
bool IsDottedIpv4(const std::string& text);
bool IsMulticastIpv4(const std::string& text);

// The IPv4 addresses of this computer's interfaces (getifaddrs).
std::vector<std::string> OwnIpv4Addresses();

}  // namespace netout

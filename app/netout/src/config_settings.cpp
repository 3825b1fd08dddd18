#include <netout/config_settings.h>

namespace netout {

NetworkSettings NetworkSettingsOf(const cfg::NetworkConfig& c) {
    NetworkSettings s;
    s.multicastAddr = c.multicastAddr;
    s.multicastPort = c.multicastPort;
    s.multicastDestPort = c.multicastDestPort;
    s.gnssAddr = c.gpsMulticastAddr;
    s.gnssPort = c.gpsMulticastPort;
    s.broadcastPort = c.broadcastPort;
    s.multicastLocalIp = c.multicastLocalIp;
    s.broadcastLocalIp = c.broadcastLocalIp;
    s.showErrors = c.showNetworkErrors == 1;
    s.unicastLocalPort = c.unicastLocalPort;
    s.unicastDestPort = c.unicastDestPort;
    s.unicastDestIp = c.unicastDestIp;
    return s;
}

HeaderSettings HeaderSettingsOf(const cfg::NetworkSendConfig& c) {
    HeaderSettings h;
    h.version = c.version;
    h.taskFlag = c.taskFlag;
    h.source = c.sourceAddr;
    h.destination = c.destAddr;
    h.linkMonitorBid = c.linkMonitorBid;
    h.telemetryBid = c.telemetryBid;
    h.streamNo = c.streamNo;
    h.packetFactor = c.packetSizeFactor;
    return h;
}

}  // namespace netout

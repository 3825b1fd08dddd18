#pragma once
// The network output of a test home on 127.0.0.1 with free ports and test
// groups, so that no run sends to a station address.

#include <cardengine/testkit/engine_process.h>
#include <config/para_config.h>

#include <cstdlib>
#include <string>

namespace headlesstest {

inline cfg::NetworkConfig LoopbackNetwork() {
    using cardengine::testkit::FreeLoopbackPort;
    cfg::NetworkConfig net;
    net.multicastAddr = "239.255.44.29";
    net.gpsMulticastAddr = "239.255.44.28";
    net.multicastLocalIp = net.broadcastLocalIp = net.unicastDestIp = "127.0.0.1";
    net.multicastPort = FreeLoopbackPort();
    net.multicastDestPort = FreeLoopbackPort();
    net.gpsMulticastPort = FreeLoopbackPort();
    net.broadcastPort = FreeLoopbackPort();
    net.unicastLocalPort = FreeLoopbackPort();
    net.unicastDestPort = FreeLoopbackPort();
    ::setenv("MCASTLIB_IF", "127.0.0.1", 1);
    return net;
}

}  // namespace headlesstest

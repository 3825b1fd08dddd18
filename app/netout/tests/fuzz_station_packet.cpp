// Any datagram is either ignored or yields a packet read within its bounds.
#include <netout/packet_format.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const netout::StationPacket p = netout::ParseStationPacket({data, size});
    if (p.kind != netout::StationPacketKind::Ignored && size < 36) std::abort();
    return 0;
}

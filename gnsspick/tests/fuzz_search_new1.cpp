// Random blocks, layouts and positions through one search entry.
#include <cstddef>
#include <cstdint>

#include "gnss_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static gnsspick::GnssSearch* search = new gnsspick::GnssSearch;
    if (size < 14) return 0;
    auto u16 = [data](std::size_t at) { return std::uint16_t(data[at] | data[at + 1] << 8); };
    // Small layouts most of the time, so that messages can complete.
    search->SetTelemetryPar(u16(0) % 64, u16(2) % 128, u16(4));
    const std::uint16_t positions[4] = {std::uint16_t(u16(6) % 130), std::uint16_t(u16(8) % 130),
                                        std::uint16_t(u16(10) % 130), u16(12)};
    search->SetSelectRoads(positions);
    search->Search(gnsspick::Protocol::WithReceiverId, data + 14, size - 14);
    double pos[3];
    search->GetTargetPosition(pos);
    return 0;
}

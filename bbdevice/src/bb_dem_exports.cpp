// Exports of the demodulated-data channels.
#include <bbdevice/bbdevice.h>

#include "card_device.h"
#include "dem_distribution.h"
#include "device_table.h"
#include "export_guard.h"

using namespace bbdev;

extern "C" {

std::int32_t BB_ReportDemDataEnable(std::uint32_t card, std::uint32_t channel,
                                    std::uint32_t enable) {
    return WithOpenCard(
        card, [&](CCardDevice& d) { return d.distribution().EnableReport(channel, enable); });
}

std::int32_t BB_GetDemLostBytes(std::uint32_t card, std::uint32_t channel, std::uint64_t* bytes) {
    if (!bytes) return 0;
    return WithOpenCard(card, [&](CCardDevice& d) {
        *bytes = d.distribution().Channel(channel).LostBytes();
        return true;
    });
}

}  // extern "C"

// Exports of the demodulated-data channels.
#include <bbdevice/bbdevice.h>

#include "card_device.h"
#include "dem_distribution.h"
#include "device_table.h"

using namespace bbdev;

extern "C" {

std::int32_t BB_ReportDemDataEnable(std::uint32_t card, std::uint32_t channel,
                                    std::uint32_t enable) {
    try {
        auto device = FindOpenCard(card);
        return device && device->distribution().EnableReport(channel, enable) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"

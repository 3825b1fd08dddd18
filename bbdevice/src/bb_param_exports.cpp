// Exports of the device parameter records: defaults, settings and the
// card's reported state.
#include <bbdevice/bbdevice.h>

#include "card_device.h"
#include "device_table.h"
#include "export_guard.h"
#include "unit_demodulator.h"
#include "unit_params.h"
#include "unit_time_code.h"

using namespace bbdev;

namespace {

template <class Record>
std::int32_t FillDefaultRecord(std::uint32_t card, Record* record) {
    return WithOpenCard(card, [&](CCardDevice&) {
        if (!record) return false;
        FillDefault(*record);
        return true;
    });
}

}  // namespace

extern "C" {

std::int32_t BB_GetDefaultDemParam(std::uint32_t card, DemParam* param) {
    return FillDefaultRecord(card, param);
}

std::int32_t BB_GetDefaultSimParam(std::uint32_t card, SimParam* param) {
    return FillDefaultRecord(card, param);
}

std::int32_t BB_GetDefaultTimeSystemParam(std::uint32_t card, TimeSystemParam* param) {
    return FillDefaultRecord(card, param);
}

std::int32_t BB_GetDefaultDecipherParam(std::uint32_t card, std::uint32_t, DecipherParam* param) {
    return FillDefaultRecord(card, param);
}

std::int32_t BB_SetDemParam(std::uint32_t card, DemParam* param) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.demodulator().SetDemParam(param); });
}

std::int32_t BB_SetSimParam(std::uint32_t card, const SimParam* param) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.signalSource().SetSimParam(param); });
}

std::int32_t BB_SetDecipherParam(std::uint32_t card, std::uint32_t unit,
                                 const DecipherParam* param) {
    return WithOpenCard(card, [&](CCardDevice& d) {
        return d.decipher(unit != 0 ? 1 : 0).SetDecipherParam(param);
    });
}

std::int32_t BB_SetTimeSystemBasicParam(std::uint32_t card, const TimeSystemBasicParam* param) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.timeCode().SetBasic(param); });
}

std::int32_t BB_SetTimeSystemFlyParam(std::uint32_t card, const TimeSystemFlyParam* param) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.timeCode().SetFly(param); });
}

std::int32_t BB_SetTimeSystemFlyEnable(std::uint32_t card, std::uint32_t enable) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.timeCode().SetFlyEnable(enable); });
}

std::int32_t BB_SetTimeSystemHandFly(std::uint32_t card, std::uint32_t value) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.timeCode().SetHandFly(value); });
}

std::int32_t BB_SetFrameStatParam(std::uint32_t card, std::uint32_t unit,
                                  const FrameStatParam* param) {
    return WithOpenCard(card,
                        [&](CCardDevice& d) { return d.frameStat(unit).SetFrameStatParam(param); });
}

std::int32_t BB_FrameStatCmd(std::uint32_t card, std::uint32_t unit, std::uint32_t cmd) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.frameStat(unit).Command(cmd); });
}

std::int32_t BB_GetDemStatus(std::uint32_t card, std::uint32_t half, DemStatus* status) {
    return WithOpenCard(card,
                        [&](CCardDevice& d) { return d.demodulator().GetDemStatus(half, status); });
}

std::int32_t BB_GetTimeSystemTime(std::uint32_t card, TimeSystemTime* time, std::uint32_t which) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.timeCode().GetTime(time, which); });
}

std::int32_t BB_GetTimeSystemFlyInfo(std::uint32_t card, TimeSystemFlyInfo* info) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.timeCode().GetFlyInfo(info); });
}

std::int32_t BB_GetGnssStatusInfo(std::uint32_t card, GnssStatusInfo* info) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.timeCode().GetGnssStatus(info); });
}

std::int32_t BB_GetGnssPosTimeInfo(std::uint32_t card, GnssPosTimeInfo* info) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.timeCode().GetGnssPosTime(info); });
}

std::int32_t BB_GetStatState(std::uint32_t card, std::uint32_t unit, FrameStatState* state) {
    return WithOpenCard(card,
                        [&](CCardDevice& d) { return d.frameStat(unit).GetStatState(state); });
}

}  // extern "C"

// Exports of recording to .dem files and of file replay.
#include <bbdevice/bbdevice.h>
#include <bbdevice/dem_file.h>

#include "card_device.h"
#include "dem_file_writer.h"
#include "device_table.h"
#include "export_guard.h"
#include "file_replay.h"
#include "unit_params.h"

using namespace bbdev;

namespace {

std::uint64_t Join(std::uint32_t low, std::uint32_t high) {
    return std::uint64_t{high} << 32 | low;
}

}  // namespace

extern "C" {

std::int32_t BB_StartSaveDemData(std::uint32_t card, std::uint32_t channel,
                                 const DemSaveRequest* request) {
    return WithOpenCard(card,
                        [&](CCardDevice& d) { return d.demFileWriter(channel).Start(request); });
}

std::int32_t BB_GetSaveDemDataBytes(std::uint32_t card, std::uint32_t channel, double* bytes) {
    return WithOpenCard(card, [&](CCardDevice& d) {
        if (!bytes) return false;
        *bytes = static_cast<double>(d.demFileWriter(channel).BytesRecorded());
        return true;
    });
}

std::int32_t BB_StopSaveDemData(std::uint32_t card, std::uint32_t channel) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.demFileWriter(channel).Stop(); });
}

std::int32_t BB_StartupFileReplay(std::uint32_t card, const char* path, std::uint32_t startLow,
                                  std::uint32_t startHigh, std::uint32_t endLow,
                                  std::uint32_t endHigh, const ReplayInfo* info,
                                  std::uint32_t dataOffset) {
    return WithOpenCard(card, [&](CCardDevice& d) {
        return d.signalSource().replay().Start(path, Join(startLow, startHigh),
                                               Join(endLow, endHigh), info, dataOffset);
    });
}

std::int32_t BB_StopFileReplay(std::uint32_t card) {
    return WithOpenCard(card, [&](CCardDevice& d) { return d.signalSource().replay().Stop(); });
}

std::int32_t BB_IsFileReplayFinished(std::uint32_t card, double* percent, std::uint64_t* records) {
    return WithOpenCard(
        card, [&](CCardDevice& d) { return d.signalSource().replay().Finished(percent, records); });
}

}  // extern "C"

// Demodulated-data distribution of one card: the two data channels and their
// report thread, driven by the card's open and close, the engine's data and
// flush messages and every demodulator record that was set.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "bbdevice/dem_report.h"
#include "dem_channel.h"
#include "dem_events.h"

struct DemParam;

namespace bbdev {

class CDataReportWinThread;

inline constexpr const char* kMsgRingCreateFailed = "数据缓冲器创建失败！";
inline constexpr const char* kMsgReportThreadFailed = "创建基带卡数据分发线程对象失败！";

class CDemDistribution {
public:
    explicit CDemDistribution(std::uint32_t cardIndex);
    ~CDemDistribution();
    CDemDistribution(const CDemDistribution&) = delete;
    CDemDistribution& operator=(const CDemDistribution&) = delete;

    // Card open: both rings, the report thread, reporting enabled on both
    // channels. Shows the failure message and returns false on failure.
    bool Open(DemDataCallback callback, std::uint32_t userValue,
              std::size_t ringBytes = CShareRing::kOpenBytes);
    // Card close: stops the report thread, releases the rings.
    void Close();
    bool IsOpen() const { return thread_ != nullptr; }

    // Engine messages of the demodulator module (poll worker).
    void OnDataMessage(std::uint32_t channel, std::span<const std::uint8_t> payload);
    void OnFlushMessage(std::uint32_t channel);  // pauses 5 ms on an active channel
    // Dispatches module 2 operations 4 to 7; false for any other operation.
    bool OnDemodulatorMessage(std::uint32_t operation, std::span<const std::uint8_t> payload);

    // After every successful demodulator record. timeRecords: the time-code
    // unit's two 16-byte records (empty when that unit is not enabled);
    // decipherOn: 加解密开关 of decipher unit 1.
    void Restart(const DemParam& p, std::span<const std::uint8_t> timeRecords, bool decipherOn);

    // BB_ReportDemDataEnable: channel 0 for 0, channel 1 otherwise.
    bool EnableReport(std::uint32_t channel, std::uint32_t enable);

    // Data messages on channel 0 since the last demodulator record and their
    // rate per second, for the demodulator status.
    void DataMessageStatus(std::uint32_t* count, std::uint32_t* ratePerSecond) const;

    CDemChannel& Channel(std::uint32_t channel) { return *channels_[channel != 0 ? 1 : 0]; }
    CDataReportWinThread* ReportThread() { return thread_.get(); }

private:
    const std::uint32_t cardIndex_;
    std::shared_ptr<CEventGroup> events_;
    std::unique_ptr<CDemChannel> channels_[2];
    std::unique_ptr<CDataReportWinThread> thread_;
};

// The count-and-rate pair of the demodulator status from a channel's stats.
void DemStatusRate(const DemMessageStats& s, std::uint32_t* count, std::uint32_t* rate);

}  // namespace bbdev

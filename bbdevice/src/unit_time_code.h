// The time-code unit (module 5): basic and lift-off records, the lift-off
// switches, and the time, lift-off and satellite-receiver state it reports.
#pragma once

#include <bbdevice/dev_records.h>

#include "engine_unit.h"

namespace bbdev {

class CTimeCodeUnit : public CEngineUnit {
public:
    explicit CTimeCodeUnit(CCardDevice& card);

    bool SetBasic(const TimeSystemBasicParam* param);
    bool SetFly(const TimeSystemFlyParam* param);
    bool SetFlyEnable(std::uint32_t enable);
    bool SetHandFly(std::uint32_t value);

    bool GetTime(TimeSystemTime* out, unsigned which) const;
    bool GetFlyInfo(TimeSystemFlyInfo* out) const;
    bool GetGnssStatus(GnssStatusInfo* out) const;
    bool GetGnssPosTime(GnssPosTimeInfo* out) const;
    // Both time records as received (32 bytes); 0 when the unit is not enabled.
    std::size_t CopyTimeRecords(std::uint8_t* out) const;

    void OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) override;
    void ResendKept() override;

    static constexpr std::size_t kTimeMessageBytes = 32;

private:
    mutable std::mutex keptLock_;
    TimeSystemBasicParam basic_{};  // guarded by keptLock_
    TimeSystemFlyParam fly_{};      // guarded by keptLock_
    bool basicSent_ = false;        // guarded by keptLock_
    bool flySent_ = false;          // guarded by keptLock_
    std::atomic<std::uint32_t> flyEnable_{0};
    std::atomic<std::uint32_t> handFly_{0};

    // Reported state, each record under its own lock.
    mutable std::mutex timeLock_;
    std::uint8_t time_[kTimeMessageBytes] = {};
    mutable std::mutex flyInfoLock_;
    TimeSystemFlyInfo flyInfo_{};
    mutable std::mutex gnssStatusLock_;
    GnssStatusInfo gnssStatus_{};
    mutable std::mutex gnssPosLock_;
    GnssPosTimeInfo gnssPos_{};
};

}  // namespace bbdev

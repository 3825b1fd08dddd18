// The demodulator unit (module 2): the demodulator record, the demodulator
// status and the engine's data and flush messages for the two data channels.
#pragma once

#include <bbdevice/dev_records.h>

#include "engine_unit.h"

namespace bbdev {

class CDemodulatorUnit : public CEngineUnit {
public:
    explicit CDemodulatorUnit(CCardDevice& card);

    bool SetDemParam(DemParam* param);
    bool GetDemStatus(unsigned half, DemStatus* out) const;
    // The last record that went out; false when none did.
    bool KeptParam(DemParam* out) const;
    // For units that measure status values themselves (words of one half).
    void WriteStatusWords(unsigned half, unsigned firstWord, const std::uint32_t* words,
                          unsigned count);
    // One word of a status half as last reported or written; 0 past its end.
    std::uint32_t StatusWord(unsigned half, unsigned word) const;

    void OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) override;
    void ResendKept() override;

    static constexpr std::uint32_t kSetCommand = 0x01000203;
    static constexpr unsigned kOpStatus = 8;
    static constexpr std::size_t kStatusBytes = sizeof(DemStatusReport);

private:
    mutable std::mutex keptLock_;
    DemParam kept_{};         // guarded by keptLock_
    bool keptValid_ = false;  // guarded by keptLock_

    mutable std::mutex statusLock_;
    DemStatusReport status_{};  // guarded by statusLock_
};

}  // namespace bbdev

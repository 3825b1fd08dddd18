// Units that hold one parameter record each: the signal source (module 4),
// the decipher units (7 = unit 0, 6 = unit 1), the frame-statistics units
// (14, 15) with their reported state; and the units without a public
// interface (12, 13).
#pragma once

#include <bbdevice/dev_records.h>

#include <memory>

#include "engine_unit.h"
#include "file_replay.h"
#include "unit_fft.h"

namespace bbdev {

class CSignalSourceUnit : public CEngineUnit {
public:
    explicit CSignalSourceUnit(CCardDevice& card);
    bool SetSimParam(const SimParam* param);
    void ResendKept() override;
    CFileReplay& replay() { return *replay_; }
    // Operation 6: file replay progress.
    void OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) override;

private:
    CFileReplay::Port ReplayPort();

    std::mutex keptLock_;
    SimParam kept_{};         // guarded by keptLock_
    bool keptValid_ = false;  // guarded by keptLock_
    std::unique_ptr<CFileReplay> replay_;
};

class CDecipherUnit : public CEngineUnit {
public:
    // unitNumber 0 is module 7, 1 is module 6.
    CDecipherUnit(CCardDevice& card, unsigned unitNumber);
    bool SetDecipherParam(const DecipherParam* param);
    // 加解密开关 of the kept record.
    bool CipherOn() const;
    void ResendKept() override;

private:
    std::uint32_t command() const { return module_ == 7 ? 0x01000703u : 0x01000603u; }
    mutable std::mutex keptLock_;
    std::unique_ptr<DecipherParam> kept_;  // guarded by keptLock_; 131,368 bytes, allocated once
    bool keptValid_ = false;               // guarded by keptLock_
};

class CFrameStatUnit : public CEngineUnit {
public:
    // unitNumber 0 is module 14, 1 is module 15.
    CFrameStatUnit(CCardDevice& card, unsigned unitNumber);
    bool SetFrameStatParam(const FrameStatParam* param);
    bool Command(std::uint32_t cmd);
    // The running flag; while running writes the state with its ratio.
    bool GetStatState(FrameStatState* out);
    void OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) override;
    void ResendKept() override;

private:
    std::uint32_t command(unsigned operation) const {
        return 0x01000000u | (module_ << 8) | operation;
    }
    std::mutex keptLock_;
    std::unique_ptr<FrameStatParam> kept_;  // guarded by keptLock_
    bool keptValid_ = false;                // guarded by keptLock_
    std::atomic<std::uint32_t> running_{0};
    std::mutex stateLock_;
    FrameStatState state_{};  // guarded by stateLock_
};

// Units 12 and 13: their messages are accepted and not used.
class CQuietUnit : public CEngineUnit {
public:
    using CEngineUnit::CEngineUnit;
};

}  // namespace bbdev

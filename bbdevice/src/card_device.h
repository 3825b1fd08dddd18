// CCardDevice: everything behind one open card: the link to its engine, the
// units addressed by module code, the data distribution, the named events,
// the in-use marker and the card's error store.
#pragma once

#include <bbdevice/bbdevice.h>
#include <bbdevice/engine_link.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine_dispatcher.h"

namespace plat {
class NamedEvent;
}

namespace bbdev {

class CDemDistribution;
class CDemodulatorUnit;
class CSignalSourceUnit;
class CTimeCodeUnit;
class CDecipherUnit;
class CFrameStatUnit;
class CSpectrumUnit;
class CQuietUnit;
class CExclusivityMarker;
class CDemFileWriter;

inline constexpr const char* kShareEnableEventName =
    "{A937D1DA-1195-4c5b-AA42-B2E3DD2D43CF}-SHAREENABLE";
inline constexpr const char* kServerExitEventName =
    "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVEREXIT";
inline constexpr unsigned kOpenWaitMs = 1500;
inline constexpr std::size_t kParseInfoTextBytes = 4096;

// The engine address: TALVORA_ENGINE=host:port, else 192.168.1.100:10001.
void EngineAddress(std::string* host, std::uint16_t* port);

class CCardDevice : public IEngineMessageSink {
public:
    explicit CCardDevice(std::uint32_t index);
    ~CCardDevice() override;
    CCardDevice(const CCardDevice&) = delete;
    CCardDevice& operator=(const CCardDevice&) = delete;

    std::uint32_t index() const { return index_; }
    CEngineLink& link() { return *link_; }
    CDemDistribution& distribution() { return *distribution_; }
    CDemodulatorUnit& demodulator() { return *demodulator_; }
    CSignalSourceUnit& signalSource() { return *signalSource_; }
    CTimeCodeUnit& timeCode() { return *timeCode_; }
    CDecipherUnit& decipher(unsigned unit) { return *decipher_[unit != 0 ? 1 : 0]; }
    CFrameStatUnit& frameStat(unsigned unit) { return *frameStat_[unit != 0 ? 1 : 0]; }
    // Spectrum units 0..3 (modules 8, 9, 11, 10).
    CSpectrumUnit& spectrum(unsigned unit) { return *spectrum_[unit & 3]; }
    // Recording of data channel 0, or 1 for any other value.
    CDemFileWriter& demFileWriter(unsigned channel) {
        return *demFileWriter_[channel != 0 ? 1 : 0];
    }

    // Connects, waits for the card function information and starts the data
    // path. slotMessage receives the in-use marker's last text. settle runs
    // with the result before the open counts as finished, so that a cancel
    // never falls between the open and the caller's bookkeeping.
    using OpenSettled = std::function<void(bool result)>;
    bool Open(DemDataCallback callback, std::uint32_t userValue, CardFunctionInfo* info,
              std::string* slotMessage, const OpenSettled& settle = {});
    // Cancels an open running on another thread: that open fails, disconnects
    // and releases what it set up. Waits at most waitMs for it to finish.
    // False when no open was running.
    bool CancelOpen(unsigned waitMs);
    // Closes the link and the data path; false when the card is not
    // connected (then nothing changes).
    bool Close();

    bool connected() const { return link_->connected(); }
    bool GetFunctionInfo(CardFunctionInfo* info) const;
    bool ParseInfo(char* text, std::uint32_t size);
    void GetUnitStatus(std::uint32_t* out) const;

    // Error store read by BB_GetLastError; unit failures stay in the units.
    void SetLastError(std::uint32_t code, const char* text);
    bool CopyLastError(char* text, std::uint32_t size, std::uint32_t* code) const;

    // Module 1: card function information, descriptive text, heartbeat.
    void OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) override;

private:
    void ResendKeptRecords();  // watchdog, link locked
    void SetUnitsEnabled(bool on);
    void ReleaseOpenResources();
    bool FinishOpen(bool result, const OpenSettled& settle);

    const std::uint32_t index_;
    std::unique_ptr<CEngineLink> link_;
    EngineDispatcher dispatcher_;
    std::unique_ptr<CDemDistribution> distribution_;
    std::unique_ptr<CDemodulatorUnit> demodulator_;
    std::unique_ptr<CSignalSourceUnit> signalSource_;
    std::unique_ptr<CTimeCodeUnit> timeCode_;
    std::unique_ptr<CDecipherUnit> decipher_[2];
    std::unique_ptr<CFrameStatUnit> frameStat_[2];
    std::unique_ptr<CSpectrumUnit> spectrum_[4];
    std::unique_ptr<CQuietUnit> quiet_[2];
    // After the units: an open file is finished while they still exist.
    std::unique_ptr<CDemFileWriter> demFileWriter_[2];

    // Owned by the thread that opens and closes.
    std::unique_ptr<plat::NamedEvent> shareEnableEvent_;
    std::unique_ptr<plat::NamedEvent> serverExitEvent_;
    std::unique_ptr<CExclusivityMarker> marker_;
    std::atomic<std::uint32_t> unitStatus_[BB_UNIT_STATUS_WORDS] = {};

    // The open's wait for the card function information.
    std::atomic<std::uint32_t> openWaitState_{0};
    std::mutex openWaitLock_;
    std::condition_variable openWaitCv_;
    bool infoArrived_ = false;     // guarded by openWaitLock_
    bool openCancelled_ = false;   // guarded by openWaitLock_
    bool openInProgress_ = false;  // guarded by openWaitLock_

    mutable std::mutex infoLock_;
    CardFunctionInfo functionInfo_{};               // guarded by infoLock_
    char parseInfoText_[kParseInfoTextBytes] = {};  // guarded by infoLock_
    std::uint32_t parseInfoLength_ = 0;             // guarded by infoLock_

    mutable std::mutex errorLock_;
    std::uint32_t lastErrorCode_ = 0x1FFFF;  // guarded by errorLock_
    std::string lastErrorText_;              // guarded by errorLock_; at most 2047 bytes
};

}  // namespace bbdev

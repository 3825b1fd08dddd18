// CEngineUnit: one functional unit of the card, addressed by its module code.
// It sends its settings through the card's link, keeps the last record that
// went out (for the re-send after a reconnection) and mirrors what the card
// reports about it.
#pragma once

#include <bbdevice/engine_link.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "engine_dispatcher.h"

namespace bbdev {

class CCardDevice;

inline constexpr std::size_t kErrorTextBytes = 2048;

class CEngineUnit : public IEngineMessageSink {
public:
    CEngineUnit(CCardDevice& card, unsigned module);

    unsigned module() const { return module_; }
    bool enabled() const { return enabled_.load() != 0; }
    void SetEnabled(bool on) { enabled_.store(on ? 1 : 0); }
    bool paramSet() const { return paramSet_.load() != 0; }
    std::uint32_t errorCode() const;

    // Operations other than the acknowledgement; the default ignores them.
    void OnEngineMessage(unsigned, std::span<const std::uint8_t>) override {}
    // Sends the kept records again (watchdog thread, link locked).
    virtual void ResendKept() {}

protected:
    // The send path of every setting: a unit that is not enabled reports
    // "错误代码：0x%.08X\n    %s" and fails; a failed send fails silently;
    // success marks paramSet and runs keep() (which keeps the copy for the
    // re-send) before the watchdog may send again.
    template <class Keep>
    bool SendSetting(std::uint32_t command, const void* payload, std::size_t length,
                     std::uint32_t code, const char* message, Keep&& keep) {
        if (!enabled()) {
            ReportFailure(code, message);
            return false;
        }
        auto sends = link_.LockSends();
        if (!SendRaw(command, payload, length)) return false;
        paramSet_.store(1);
        keep();
        return true;
    }
    bool SendSetting(std::uint32_t command, const void* payload, std::size_t length,
                     std::uint32_t code, const char* message) {
        return SendSetting(command, payload, length, code, message, [] {});
    }
    // Sends without the checks (re-sending kept records).
    bool SendRaw(std::uint32_t command, const void* payload, std::size_t length);

    CCardDevice& card_;
    CEngineLink& link_;
    const unsigned module_;

    void ReportFailure(std::uint32_t code, const char* message);

private:
    std::atomic<std::uint32_t> paramSet_{0};
    std::atomic<std::uint32_t> enabled_{0};
    mutable std::mutex errorLock_;
    std::uint32_t errorCode_ = 0;           // guarded by errorLock_
    char errorText_[kErrorTextBytes] = {};  // guarded by errorLock_
    std::uint32_t errorLength_ = 0;         // guarded by errorLock_
};

}  // namespace bbdev

// The signal-source unit's side of file replay: the engine's progress
// reports and the way the replay reaches the link and the error store.
#include <bbdevice/wire/engine_message.h>

#include "card_device.h"
#include "file_replay.h"
#include "unit_demodulator.h"
#include "unit_params.h"

namespace bbdev {

namespace {
constexpr unsigned kOpReplayProgress = 6;
}

CFileReplay::Port CSignalSourceUnit::ReplayPort() {
    CFileReplay::Port port;
    port.send = [this](std::uint32_t command, std::span<const std::uint8_t> payload) {
        return SendRaw(command, payload.data(), payload.size());
    };
    port.resendDemodulator = [this] {
        // Link first, then the record: the order the watchdog's re-send takes.
        auto sends = link_.LockSends();
        card_.demodulator().ResendKept();
    };
    port.fail = [this](std::uint32_t code, const char* message) { ReportFailure(code, message); };
    return port;
}

void CSignalSourceUnit::OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) {
    if (operation == kOpReplayProgress) replay_->OnProgress(payload);
}

}  // namespace bbdev

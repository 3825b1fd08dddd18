#include "card_device.h"

#include <bbdevice/wire/engine_message.h>
#include <platform/kernel_objects.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "dem_distribution.h"
#include "dem_file_writer.h"
#include "exclusivity_marker.h"
#include "unit_demodulator.h"
#include "unit_params.h"
#include "unit_time_code.h"

namespace bbdev {
namespace {

constexpr unsigned kOpFunctionInfo = 5;
constexpr unsigned kOpDescriptiveText = 6;
constexpr std::size_t kFunctionInfoBytes = sizeof(CardFunctionInfo);
constexpr std::size_t kMaxDescriptiveText = 4095;
constexpr std::size_t kLastErrorMax = 2047;

// The raised process priority stays for the life of the process.
std::mutex g_priorityLock;
bool g_priorityRaised = false;  // guarded by g_priorityLock
int g_savedPriority = 0;        // guarded by g_priorityLock

void RaiseProcessPriority() {
    std::lock_guard lock(g_priorityLock);
    if (g_priorityRaised) return;
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, 0);
    if (errno != 0) return;
    g_savedPriority = current;
    // Best effort: without the right to raise it the process runs as before.
    if (::setpriority(PRIO_PROCESS, 0, -10) == 0) g_priorityRaised = true;
}

}  // namespace

void EngineAddress(std::string* host, std::uint16_t* port) {
    *host = CEngineLink::kDefaultAddress;
    *port = CEngineLink::kDefaultPort;
    const char* env = std::getenv("TALVORA_ENGINE");
    if (!env || !*env) return;
    std::string text = env;
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        *host = text;
        return;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str() + colon + 1, &end, 10);
    if (colon > 0) *host = text.substr(0, colon);
    if (end && *end == '\0' && value > 0 && value <= 65535)
        *port = static_cast<std::uint16_t>(value);
}

CCardDevice::CCardDevice(std::uint32_t index)
    : index_(index),
      link_(std::make_unique<CEngineLink>(index)),
      distribution_(std::make_unique<CDemDistribution>(index)) {
    demodulator_ = std::make_unique<CDemodulatorUnit>(*this);
    signalSource_ = std::make_unique<CSignalSourceUnit>(*this);
    timeCode_ = std::make_unique<CTimeCodeUnit>(*this);
    decipher_[0] = std::make_unique<CDecipherUnit>(*this, 0);
    decipher_[1] = std::make_unique<CDecipherUnit>(*this, 1);
    frameStat_[0] = std::make_unique<CFrameStatUnit>(*this, 0);
    frameStat_[1] = std::make_unique<CFrameStatUnit>(*this, 1);
    spectrum_[0] = std::make_unique<CSpectrumUnit>(*this, wire::kModuleSpectrum0, 0);
    spectrum_[1] = std::make_unique<CSpectrumUnit>(*this, wire::kModuleSpectrum1, 1);
    spectrum_[2] = std::make_unique<CSpectrumUnit>(*this, wire::kModuleSpectrum2, 2);
    spectrum_[3] = std::make_unique<CSpectrumUnit>(*this, wire::kModuleSpectrum3, 3);
    quiet_[0] = std::make_unique<CQuietUnit>(*this, wire::kModuleUnit12);
    quiet_[1] = std::make_unique<CQuietUnit>(*this, wire::kModuleUnit13);

    dispatcher_.Attach(wire::kModuleCard, this);
    for (CEngineUnit* unit : std::initializer_list<CEngineUnit*>{
             demodulator_.get(), signalSource_.get(), timeCode_.get(), decipher_[0].get(),
             decipher_[1].get(), frameStat_[0].get(), frameStat_[1].get(), spectrum_[0].get(),
             spectrum_[1].get(), spectrum_[2].get(), spectrum_[3].get(), quiet_[0].get(),
             quiet_[1].get()})
        dispatcher_.Attach(unit->module(), unit);
    link_->SetResendHook([this] { ResendKeptRecords(); });
    for (std::uint32_t k = 0; k < 2; ++k) demFileWriter_[k] = MakeChannelWriter(*this, k);
}

CCardDevice::~CCardDevice() {
    // The link's threads call into the units: stop them first.
    link_->Disconnect();
    distribution_->Close();
}

void CCardDevice::SetUnitsEnabled(bool on) {
    for (CEngineUnit* unit : std::initializer_list<CEngineUnit*>{
             demodulator_.get(), signalSource_.get(), timeCode_.get(), decipher_[0].get(),
             decipher_[1].get(), frameStat_[0].get(), frameStat_[1].get(), spectrum_[0].get(),
             spectrum_[1].get(), spectrum_[2].get(), spectrum_[3].get(), quiet_[0].get(),
             quiet_[1].get()})
        unit->SetEnabled(on);
}

bool CCardDevice::Open(DemDataCallback callback, std::uint32_t userValue, CardFunctionInfo* info,
                       std::string* slotMessage, const OpenSettled& settle) {
    SetLastError(0x1FFFF, "");
    RaiseProcessPriority();

    std::string host;
    std::uint16_t port;
    EngineAddress(&host, &port);
    openWaitState_.store(5);
    {
        std::lock_guard lock(openWaitLock_);
        infoArrived_ = false;
        openCancelled_ = false;
        openInProgress_ = true;
    }
    // Even an open that throws counts as finished for a close waiting on it.
    struct InProgressGuard {
        CCardDevice& card;
        ~InProgressGuard() {
            std::lock_guard lock(card.openWaitLock_);
            if (!card.openInProgress_) return;
            card.openInProgress_ = false;
            card.openWaitCv_.notify_all();
        }
    } inProgress{*this};
    bool connected =
        link_->Connect(host, port, [this](const wire::MessageView& m) { dispatcher_.Dispatch(m); });
    if (connected) {
        link_->SendValue(0x01000108, 1);
        link_->SendValue(0x01000007, 1);
        link_->SendValue(0x01000008, 1);
        link_->SendValue(0x01000105, 1);
        std::unique_lock lock(openWaitLock_);
        const bool answered = openWaitCv_.wait_for(lock, std::chrono::milliseconds(kOpenWaitMs),
                                                   [&] { return infoArrived_ || openCancelled_; });
        const bool cancelled = openCancelled_;
        lock.unlock();
        if (!answered || cancelled) {
            link_->Disconnect();
            connected = false;
        }
    }

    const std::uint32_t status = connected ? 1 : 0;
    for (unsigned i : {0u, 2u, 3u, 4u}) unitStatus_[i].store(status);
    SetUnitsEnabled(connected);

    bool result = false;
    if (connected) {
        if (!shareEnableEvent_)
            shareEnableEvent_ = plat::NamedEvent::Create(kShareEnableEventName, true, false);
        if (!serverExitEvent_)
            serverExitEvent_ = plat::NamedEvent::Create(kServerExitEventName, true, false);
        result = distribution_->IsOpen() || distribution_->Open(callback, userValue);
        // Engines on other ports of one machine are other cards: a port
        // other than the card's own becomes part of the address text.
        const std::string address =
            port == CEngineLink::kDefaultPort ? host : host + ":" + std::to_string(port);
        if (!marker_) marker_ = std::make_unique<CExclusivityMarker>(MarkerTitle(address));
        const std::string text = marker_->Establish(index_);
        if (slotMessage && !text.empty()) *slotMessage = text;
    }
    if (info) {
        std::lock_guard lock(infoLock_);
        *info = functionInfo_;
    }
    if (!connected) ReleaseOpenResources();
    return FinishOpen(connected && result, settle);
}

bool CCardDevice::FinishOpen(bool result, const OpenSettled& settle) {
    std::unique_lock lock(openWaitLock_);
    if (openCancelled_ && link_->connected()) {
        // Cancelled after the information came: undo the open as a whole.
        lock.unlock();
        for (unsigned i = 0; i <= 4; ++i) unitStatus_[i].store(0);
        SetUnitsEnabled(false);
        link_->Disconnect();
        ReleaseOpenResources();
        result = false;
        lock.lock();
    }
    if (settle) settle(result);
    openInProgress_ = false;
    openWaitCv_.notify_all();
    return result;
}

bool CCardDevice::CancelOpen(unsigned waitMs) {
    std::unique_lock lock(openWaitLock_);
    if (!openInProgress_) return false;
    openCancelled_ = true;
    openWaitCv_.notify_all();
    openWaitCv_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return !openInProgress_; });
    return true;
}

void CCardDevice::ReleaseOpenResources() {
    distribution_->Close();
    shareEnableEvent_.reset();
    serverExitEvent_.reset();
    marker_.reset();
}

bool CCardDevice::Close() {
    if (!link_->connected()) return false;
    for (unsigned i = 0; i <= 4; ++i) unitStatus_[i].store(0);
    SetUnitsEnabled(false);
    const bool closed = link_->Disconnect();
    ReleaseOpenResources();
    return closed;
}

void CCardDevice::ResendKeptRecords() {
    // Demodulator first and last: the card applies the others on its basis.
    demodulator_->ResendKept();
    signalSource_->ResendKept();
    timeCode_->ResendKept();
    decipher_[0]->ResendKept();
    decipher_[1]->ResendKept();
    frameStat_[0]->ResendKept();
    frameStat_[1]->ResendKept();
    demodulator_->ResendKept();
}

void CCardDevice::OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) {
    if (operation == kOpFunctionInfo) {
        if (payload.size() != kFunctionInfoBytes || openWaitState_.load() < 1) return;
        {
            std::lock_guard lock(infoLock_);
            for (std::size_t i = 0; i < 128; ++i)
                functionInfo_.words[i] = wire::LoadLe32(payload.data() + 4 * i);
        }
        openWaitState_.store(0);
        {
            std::lock_guard lock(openWaitLock_);
            infoArrived_ = true;
        }
        openWaitCv_.notify_all();
        link_->SendValue(0x01000105, 0);
        link_->SendValue(0x01000106, 1);
    } else if (operation == kOpDescriptiveText) {
        if (payload.size() >= kMaxDescriptiveText) return;
        std::lock_guard lock(infoLock_);
        std::memcpy(parseInfoText_, payload.data(), payload.size());
        parseInfoText_[payload.size()] = '\0';
        parseInfoLength_ = static_cast<std::uint32_t>(payload.size());
    }
    // Operation 7, the heartbeat, already marked the link alive.
}

bool CCardDevice::GetFunctionInfo(CardFunctionInfo* info) const {
    if (!info || !link_->connected()) return false;
    std::lock_guard lock(infoLock_);
    *info = functionInfo_;
    return true;
}

bool CCardDevice::ParseInfo(char* text, std::uint32_t size) {
    {
        std::lock_guard lock(infoLock_);
        if (!text || size < parseInfoLength_) return false;
    }
    link_->SendValue(0x01000106, 1);
    std::lock_guard lock(infoLock_);
    if (size < parseInfoLength_) return false;  // a longer text arrived meanwhile
    std::memcpy(text, parseInfoText_, parseInfoLength_);
    if (size > parseInfoLength_) text[parseInfoLength_] = '\0';
    return true;
}

void CCardDevice::GetUnitStatus(std::uint32_t* out) const {
    for (std::size_t i = 0; i < BB_UNIT_STATUS_WORDS; ++i) out[i] = unitStatus_[i].load();
}

void CCardDevice::SetLastError(std::uint32_t code, const char* text) {
    std::lock_guard lock(errorLock_);
    lastErrorCode_ = code;
    lastErrorText_.assign(text ? text : "");
    if (lastErrorText_.size() > kLastErrorMax) lastErrorText_.resize(kLastErrorMax);
}

bool CCardDevice::CopyLastError(char* text, std::uint32_t size, std::uint32_t* code) const {
    std::lock_guard lock(errorLock_);
    if (!text || size <= lastErrorText_.size()) {
        if (code) *code = 0xFFFFFFFE;
        return false;
    }
    std::memcpy(text, lastErrorText_.c_str(), lastErrorText_.size() + 1);
    if (code) *code = lastErrorCode_;
    return true;
}

}  // namespace bbdev

#include "unit_params.h"

#include <bbdevice/wire/engine_message.h>

#include <cstring>

#include "card_device.h"

namespace bbdev {

// --- signal source ----------------------------------------------------------

CSignalSourceUnit::CSignalSourceUnit(CCardDevice& card)
    : CEngineUnit(card, wire::kModuleSignalSource),
      replay_(std::make_unique<CFileReplay>(ReplayPort())) {}

bool CSignalSourceUnit::SetSimParam(const SimParam* param) {
    if (!param) return false;
    if (!SendSetting(0x01000403, param, sizeof *param, 1, "【信号源参数】设置失败！", [&] {
            std::lock_guard lock(keptLock_);
            kept_ = *param;
            keptValid_ = true;
        }))
        return false;
    card_.spectrum(2).SetCarrier(param->Sim输出频率,
                                 static_cast<std::uint16_t>(param->Sim调制模式 & 0xFFFF));
    return true;
}

void CSignalSourceUnit::ResendKept() {
    std::lock_guard lock(keptLock_);
    if (keptValid_) SendRaw(0x01000403, &kept_, sizeof kept_);
}

// --- decipher units ---------------------------------------------------------

CDecipherUnit::CDecipherUnit(CCardDevice& card, unsigned unitNumber)
    : CEngineUnit(card, unitNumber == 0 ? wire::kModuleDecipher0 : wire::kModuleDecipher1),
      kept_(std::make_unique<DecipherParam>()) {
    FillDefault(*kept_);
}

bool CDecipherUnit::SetDecipherParam(const DecipherParam* param) {
    if (!param) return false;
    return SendSetting(command(), param, sizeof *param, 1, "【加解密参数】设置失败！", [&] {
        std::lock_guard lock(keptLock_);
        *kept_ = *param;
        keptValid_ = true;
    });
}

bool CDecipherUnit::CipherOn() const {
    std::lock_guard lock(keptLock_);
    return keptValid_ && kept_->加解密开关 != 0;
}

void CDecipherUnit::ResendKept() {
    std::lock_guard lock(keptLock_);
    if (keptValid_) SendRaw(command(), kept_.get(), sizeof *kept_);
}

// --- frame-statistics units -------------------------------------------------

CFrameStatUnit::CFrameStatUnit(CCardDevice& card, unsigned unitNumber)
    : CEngineUnit(card, unitNumber == 0 ? wire::kModuleFrameStat0 : wire::kModuleFrameStat1),
      kept_(std::make_unique<FrameStatParam>()) {
    FillDefault(*kept_);
}

bool CFrameStatUnit::SetFrameStatParam(const FrameStatParam* param) {
    if (!param) return false;
    // An entry count beyond the record would send bytes from past its end.
    const std::size_t bytes = FrameStatPayloadBytes(*param);
    if (bytes == 0) return false;
    return SendSetting(command(3), param, bytes, 1, "【帧数据统计参数】设置失败！", [&] {
        std::lock_guard lock(keptLock_);
        *kept_ = *param;
        keptValid_ = true;
    });
}

void CFrameStatUnit::ResendKept() {
    std::lock_guard lock(keptLock_);
    if (keptValid_) SendRaw(command(3), kept_.get(), FrameStatPayloadBytes(*kept_));
}

bool CFrameStatUnit::Command(std::uint32_t cmd) {
    static constexpr unsigned kOperation[3] = {6, 5, 4};
    if (cmd > 2 || !enabled()) return false;
    std::uint8_t zero[4] = {};
    if (!SendRaw(command(kOperation[cmd]), zero, sizeof zero)) return false;
    if (cmd == 0) running_.store(0);
    if (cmd == 1) running_.store(1);
    return true;
}

void CFrameStatUnit::OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) {
    if (operation != 7 || payload.size() != sizeof(FrameStatState)) return;
    FrameStatState s;
    s.ratio = wire::LoadLeF64(payload.data());
    s.countA = wire::LoadLe64(payload.data() + 8);
    s.countB = wire::LoadLe64(payload.data() + 16);
    for (std::size_t i = 0; i < 12; ++i) s.words[i] = wire::LoadLe32(payload.data() + 24 + 4 * i);
    std::lock_guard lock(stateLock_);
    state_ = s;
}

bool CFrameStatUnit::GetStatState(FrameStatState* out) {
    if (!out || running_.load() == 0) return false;
    std::lock_guard lock(stateLock_);
    // No counted frames yet: a ratio of 0 rather than a division by zero.
    state_.ratio = state_.countA != 0
                       ? static_cast<double>(state_.countB) / static_cast<double>(state_.countA)
                       : 0.0;
    out->ratio = state_.ratio;
    out->countA = state_.countA;
    out->countB = state_.countB;
    out->words[2] = state_.words[2];  // bytes 32-39: state words 8 and 9
    out->words[3] = state_.words[3];
    return true;
}

}  // namespace bbdev

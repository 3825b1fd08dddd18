#include "unit_demodulator.h"

#include <bbdevice/wire/engine_message.h>

#include <cstring>

#include "card_device.h"
#include "dem_distribution.h"
#include "unit_params.h"
#include "unit_time_code.h"

namespace bbdev {

CDemodulatorUnit::CDemodulatorUnit(CCardDevice& card)
    : CEngineUnit(card, wire::kModuleDemodulator) {}

bool CDemodulatorUnit::SetDemParam(DemParam* param) {
    if (!param) return false;
    param->配时密度 = 1;  // every minor frame carries its time tag
    const bool sent =
        SendSetting(kSetCommand, param, sizeof *param, 1, "【解调器参数】设置失败！", [&] {
            std::lock_guard lock(keptLock_);
            kept_ = *param;
            keptValid_ = true;
        });
    if (!sent) return false;

    std::uint8_t timeRecords[CTimeCodeUnit::kTimeMessageBytes];
    const std::size_t timeBytes = card_.timeCode().CopyTimeRecords(timeRecords);
    card_.distribution().Restart(*param, {timeRecords, timeBytes}, card_.decipher(1).CipherOn());
    const std::uint16_t mode = static_cast<std::uint16_t>(param->解调模式 & 0xFFFF);
    for (unsigned unit : {0u, 1u, 3u}) card_.spectrum(unit).SetCarrier(param->输入频率, mode);
    return true;
}

bool CDemodulatorUnit::KeptParam(DemParam* out) const {
    std::lock_guard lock(keptLock_);
    if (keptValid_ && out) *out = kept_;
    return keptValid_;
}

void CDemodulatorUnit::ResendKept() {
    std::lock_guard lock(keptLock_);
    if (keptValid_) SendRaw(kSetCommand, &kept_, sizeof kept_);
}

void CDemodulatorUnit::OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) {
    if (operation >= 4 && operation <= 7) {
        card_.distribution().OnDemodulatorMessage(operation, payload);
        return;
    }
    if (operation != kOpStatus || payload.size() != kStatusBytes) return;
    DemStatusReport report;
    for (unsigned h = 0; h < 2; ++h)
        for (std::size_t w = 0; w < kDemStatusHalfWords; ++w)
            report.half[h][w] = wire::LoadLe32(payload.data() + 4 * (h * kDemStatusHalfWords + w));
    std::lock_guard lock(statusLock_);
    status_ = report;
}

void CDemodulatorUnit::WriteStatusWords(unsigned half, unsigned firstWord,
                                        const std::uint32_t* words, unsigned count) {
    if (!words || firstWord >= kDemStatusHalfWords) return;
    if (count > kDemStatusHalfWords - firstWord) count = kDemStatusHalfWords - firstWord;
    std::lock_guard lock(statusLock_);
    std::memcpy(&status_.half[half & 1][firstWord], words, count * sizeof(std::uint32_t));
}

std::uint32_t CDemodulatorUnit::StatusWord(unsigned half, unsigned word) const {
    if (word >= kDemStatusHalfWords) return 0;
    std::lock_guard lock(statusLock_);
    return status_.half[half & 1][word];
}

bool CDemodulatorUnit::GetDemStatus(unsigned half, DemStatus* out) const {
    if (!out || !enabled()) return false;
    std::uint32_t w[kDemStatusHalfWords];
    {
        std::lock_guard lock(statusLock_);
        std::memcpy(w, status_.half[half & 1], sizeof w);
    }
    auto wordsAsDouble = [&](unsigned low) {
        const std::uint64_t bits = std::uint64_t{w[low]} | (std::uint64_t{w[low + 1]} << 32);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    };
    DemStatus s{};
    s.中频频率 = wordsAsDouble(8);
    s.信噪比 = wordsAsDouble(6);
    s.statusWord2 = w[2];
    s.statusWord3 = w[3];
    s.statusWord10 = w[10];
    s.载波状态 = w[12];
    s.位同步 = w[14];
    s.子帧同步 = w[15];
    s.副帧同步 = w[16];
    s.statusWord17 = w[17];
    s.statusWord18 = w[18];
    s.statusWord19 = w[19];
    card_.distribution().DataMessageStatus(&s.dataMessageCount, &s.dataMessageRate);
    *out = s;
    return true;
}

}  // namespace bbdev

#include "unit_time_code.h"

#include <bbdevice/wire/engine_message.h>

#include <cstring>

#include "card_device.h"

namespace bbdev {
namespace {

constexpr std::uint32_t kBasicCommand = 0x01000503;
constexpr std::uint32_t kFlyCommand = 0x01000504;
constexpr std::uint32_t kFlyEnableCommand = 0x01000505;
constexpr std::uint32_t kHandFlyCommand = 0x01000506;
constexpr const char* kFlyEnableFailed = "【时码器起飞总使能控制】设置失败！";

constexpr unsigned kOpTime = 7, kOpFlyInfo = 8, kOpGnssStatus = 9, kOpGnssPosTime = 10;

template <std::size_t N>
void LoadWords(std::uint32_t (&words)[N], std::span<const std::uint8_t> payload) {
    for (std::size_t i = 0; i < N; ++i) words[i] = wire::LoadLe32(payload.data() + 4 * i);
}

}  // namespace

CTimeCodeUnit::CTimeCodeUnit(CCardDevice& card) : CEngineUnit(card, wire::kModuleTimeCode) {
    FillDefault(basic_);
    FillDefault(fly_);
}

bool CTimeCodeUnit::SetBasic(const TimeSystemBasicParam* param) {
    if (!param) return false;
    return SendSetting(kBasicCommand, param, sizeof *param, 1, "【时码器基参数】设置失败！", [&] {
        std::lock_guard lock(keptLock_);
        basic_ = *param;
        basicSent_ = true;
    });
}

bool CTimeCodeUnit::SetFly(const TimeSystemFlyParam* param) {
    if (!param) return false;
    return SendSetting(kFlyCommand, param, sizeof *param, 2, "【时码器起飞参数】设置失败！", [&] {
        std::lock_guard lock(keptLock_);
        fly_ = *param;
        flySent_ = true;
    });
}

bool CTimeCodeUnit::SetFlyEnable(std::uint32_t enable) {
    std::uint8_t payload[4];
    wire::StoreLe32(payload, enable);
    if (!SendSetting(kFlyEnableCommand, payload, sizeof payload, 3, kFlyEnableFailed)) return false;
    flyEnable_.store(enable);
    if (enable != 0) {
        // A new lift-off: the previous lift-off information no longer holds.
        std::lock_guard lock(flyInfoLock_);
        std::memset(flyInfo_.words, 0, 5 * sizeof(std::uint32_t));
    }
    return true;
}

bool CTimeCodeUnit::SetHandFly(std::uint32_t value) {
    std::uint8_t payload[4];
    wire::StoreLe32(payload, value);
    if (!SendSetting(kHandFlyCommand, payload, sizeof payload, 4, kFlyEnableFailed)) return false;
    handFly_.store(value);
    return true;
}

void CTimeCodeUnit::ResendKept() {
    std::lock_guard lock(keptLock_);
    if (!basicSent_ && !flySent_) return;
    SendRaw(kBasicCommand, &basic_, sizeof basic_);
    SendRaw(kFlyCommand, &fly_, sizeof fly_);
}

void CTimeCodeUnit::OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) {
    switch (operation) {
        case kOpTime:
            if (payload.size() == kTimeMessageBytes) {
                std::lock_guard lock(timeLock_);
                std::memcpy(time_, payload.data(), kTimeMessageBytes);
            }
            break;
        case kOpFlyInfo:
            if (payload.size() == sizeof(TimeSystemFlyInfo)) {
                TimeSystemFlyInfo info;
                LoadWords(info.words, payload);
                std::lock_guard lock(flyInfoLock_);
                flyInfo_ = info;
            }
            break;
        case kOpGnssStatus:
            if (payload.size() == sizeof(GnssStatusInfo)) {
                GnssStatusInfo info;
                LoadWords(info.words, payload);
                std::lock_guard lock(gnssStatusLock_);
                gnssStatus_ = info;
            }
            break;
        case kOpGnssPosTime:
            if (payload.size() == sizeof(GnssPosTimeInfo)) {
                GnssPosTimeInfo info;
                LoadWords(info.words, payload);
                std::lock_guard lock(gnssPosLock_);
                gnssPos_ = info;
            }
            break;
        default:
            break;
    }
}

bool CTimeCodeUnit::GetTime(TimeSystemTime* out, unsigned which) const {
    if (!out || !enabled()) return false;
    const std::uint8_t* p;
    std::uint8_t copy[kTimeMessageBytes];
    {
        std::lock_guard lock(timeLock_);
        std::memcpy(copy, time_, sizeof copy);
    }
    p = copy + (which != 0 ? 16 : 0);
    TimeSystemTime t;
    t.time.day = wire::LoadLe32(p);
    t.time.hour = wire::LoadLe16(p + 4);
    t.time.minute = wire::LoadLe16(p + 6);
    t.time.second = wire::LoadLe16(p + 8);
    t.time.millisecond = wire::LoadLe16(p + 10);
    t.status = wire::LoadLe32(p + 12);
    *out = t;
    return true;
}

std::size_t CTimeCodeUnit::CopyTimeRecords(std::uint8_t* out) const {
    if (!enabled()) return 0;
    std::lock_guard lock(timeLock_);
    std::memcpy(out, time_, kTimeMessageBytes);
    return kTimeMessageBytes;
}

bool CTimeCodeUnit::GetFlyInfo(TimeSystemFlyInfo* out) const {
    if (!out || !enabled()) return false;
    std::lock_guard lock(flyInfoLock_);
    *out = flyInfo_;
    return true;
}

bool CTimeCodeUnit::GetGnssStatus(GnssStatusInfo* out) const {
    if (!out) return false;
    std::lock_guard lock(gnssStatusLock_);
    *out = gnssStatus_;
    return true;
}

bool CTimeCodeUnit::GetGnssPosTime(GnssPosTimeInfo* out) const {
    if (!out) return false;
    std::lock_guard lock(gnssPosLock_);
    *out = gnssPos_;
    return true;
}

}  // namespace bbdev

// The time-code unit (module 5): keeps the basic and lift-off records and the
// lift-off switches; reports the two time records (operation 7) periodically,
// the lift-off information (operation 8) once a lift-off was commanded, and
// the satellite receiver's status (9) and position and time (10) each second.
#include <bbdevice/wire/engine_message.h>
#include <sys/time.h>

#include <cstring>
#include <ctime>

#include "session.h"

namespace cardengine {
namespace {

namespace wire = bbdev::wire;

constexpr unsigned kOpBasic = 3, kOpFly = 4, kOpFlyEnable = 5, kOpHandFly = 6;
constexpr unsigned kOpTime = 7, kOpFlyInfo = 8, kOpGnssStatus = 9, kOpGnssPosTime = 10;

struct DayClock {
    std::uint32_t day;
    std::uint16_t hour, minute, second, millisecond;
};

DayClock Now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    localtime_r(&tv.tv_sec, &tm);
    return {static_cast<std::uint32_t>(tm.tm_yday + 1), static_cast<std::uint16_t>(tm.tm_hour),
            static_cast<std::uint16_t>(tm.tm_min), static_cast<std::uint16_t>(tm.tm_sec),
            static_cast<std::uint16_t>(tv.tv_usec / 1000)};
}

void PutTime(std::uint8_t* p, const DayClock& t, std::uint32_t status) {
    wire::StoreLe32(p, t.day);
    wire::StoreLe16(p + 4, t.hour);
    wire::StoreLe16(p + 6, t.minute);
    wire::StoreLe16(p + 8, t.second);
    wire::StoreLe16(p + 10, t.millisecond);
    wire::StoreLe32(p + 12, status);
}

class TimeCodeUnit : public EngineUnit {
public:
    explicit TimeCodeUnit(const Options& options) : options_(options) {}

    void Register(HandlerTable& table) override {
        table.Add(wire::kModuleTimeCode, kOpBasic,
                  [this](Session&, std::span<const std::uint8_t> p) {
                      if (p.size() == sizeof basic_) std::memcpy(basic_, p.data(), sizeof basic_);
                  });
        table.Add(wire::kModuleTimeCode, kOpFly, [this](Session&, std::span<const std::uint8_t> p) {
            if (p.size() == sizeof fly_) std::memcpy(fly_, p.data(), sizeof fly_);
        });
        table.Add(wire::kModuleTimeCode, kOpFlyEnable,
                  [this](Session& s, std::span<const std::uint8_t> p) {
                      if (p.size() < 4) return;
                      flyEnable_ = wire::LoadLe32(p.data());
                      if (flyEnable_) LiftOff(s);
                  });
        table.Add(wire::kModuleTimeCode, kOpHandFly,
                  [this](Session& s, std::span<const std::uint8_t> p) {
                      if (p.size() < 4) return;
                      if (wire::LoadLe32(p.data()) != 0) LiftOff(s);
                  });
    }

    void OnConnect(Session&, Clock::time_point now) override {
        nextTime_ = nextGnss_ = now;
        liftedOff_ = false;
    }

    void OnTick(Session& s, Clock::time_point now) override {
        if (now >= nextTime_) {
            nextTime_ = now + std::chrono::milliseconds(options_.statusMs);
            const DayClock t = Now();
            std::uint8_t payload[32];
            PutTime(payload, t, 1);       // internal time, valid
            PutTime(payload + 16, t, 0);  // external time: no reference connected
            s.Send(wire::kModuleTimeCode, kOpTime, payload);
        }
        if (now >= nextGnss_) {
            nextGnss_ = now + std::chrono::seconds(1);
            std::uint8_t status[40] = {};
            wire::StoreLe32(status, 1);      // receiver present
            wire::StoreLe32(status + 4, 9);  // satellites in view
            wire::StoreLe32(status + 8, 3);  // 3-D fix
            s.Send(wire::kModuleTimeCode, kOpGnssStatus, status);
            std::uint8_t position[88] = {};
            const DayClock t = Now();
            wire::StoreLe32(position, t.day);
            wire::StoreLe32(position + 4, t.hour);
            wire::StoreLe32(position + 8, t.minute);
            wire::StoreLe32(position + 12, t.second);
            wire::StoreLe32(position + 16, 1164000);  // longitude, 1e-4 degree
            wire::StoreLe32(position + 20, 399000);   // latitude, 1e-4 degree
            wire::StoreLe32(position + 24, 50);       // height, m
            s.Send(wire::kModuleTimeCode, kOpGnssPosTime, position);
            if (liftedOff_) SendFlyInfo(s);
        }
    }

private:
    void LiftOff(Session& s) {
        liftOff_ = Now();
        liftedOff_ = true;
        SendFlyInfo(s);
    }

    void SendFlyInfo(Session& s) {
        std::uint8_t info[32] = {};
        wire::StoreLe32(info, liftOff_.day);
        wire::StoreLe32(info + 4, liftOff_.hour);
        wire::StoreLe32(info + 8, liftOff_.minute);
        wire::StoreLe32(info + 12, liftOff_.second);
        wire::StoreLe32(info + 16, liftOff_.millisecond);
        wire::StoreLe32(info + 20, 1);  // lift-off seen
        s.Send(wire::kModuleTimeCode, kOpFlyInfo, info);
    }

    const Options& options_;
    std::uint8_t basic_[72] = {};
    std::uint8_t fly_[64] = {};
    std::uint32_t flyEnable_ = 0;
    bool liftedOff_ = false;
    DayClock liftOff_{};
    Clock::time_point nextTime_{}, nextGnss_{};
};

}  // namespace

std::unique_ptr<EngineUnit> MakeTimeCodeUnit(const Options& options) {
    return std::make_unique<TimeCodeUnit>(options);
}

}  // namespace cardengine

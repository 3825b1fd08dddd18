// Calibration of the computer clock from the card's time (command 32837).
#include <log/system_log.h>
#include <platform/notify.h>
#include <pthread.h>
#include <session/card_session.h>
#include <session/computer_clock.h>

#include <cerrno>

namespace session {
namespace {
constexpr std::uint32_t kDevice = 0;
constexpr int kPolls = 100;
constexpr unsigned kPollMs = 10;
}  // namespace

bool CardSession::StartClockCalibration() {
    if (calibrating_.exchange(true)) return false;
    if (calibration_.joinable()) calibration_.join();
    calibration_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "clock-calib");
        RunClockCalibration();
        calibrating_ = false;
    });
    return true;
}

void CardSession::RunClockCalibration() {
    const std::uint32_t which = rec_.dem->dem.时统模式 & 0xFF;
    TimeSystemTime first{}, now{};
    BB_GetTimeSystemTime(kDevice, &first, which);
    int refusal = 0;
    // The card's second changing marks the start of a second: the moment
    // to take its time over.
    for (int i = 0; i < kPolls; ++i) {
        Sleep(kPollMs);
        BB_GetTimeSystemTime(kDevice, &now, which);
        if (now.time.second == first.time.second) continue;
        const LocalTime t = CalibratedTime(Now(), now.time);
        refusal = CurrentClockSetter()(t);
        if (refusal == 0) {
            TimeSystemBasicParam& b = rec_.time->basic;
            b.内时统基准模式 = 0;
            b.内时统同步模式 = 0;
            b.内时统校准使能 = 1;
            StampTimeCode(b, t);
            BB_SetTimeSystemBasicParam(kDevice, &b);
        }
        break;
    }
    // A refused clock is no calibration: the time-code unit keeps its
    // settings and the operator is told why.
    if (refusal == EPERM) {
        Log("GNSS时间校准：没有设置计算机时间的权限");
        plat::MessageBox(kClockRefusedText, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
    } else if (refusal != 0) {
        Log("GNSS时间校准：计算机时间设置失败");
        plat::MessageBox(kClockFailedText, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
    } else {
        plat::MessageBox(kCompletionText, "Talvora", plat::MB_OK | plat::MB_ICONINFORMATION);
    }
}

}  // namespace session

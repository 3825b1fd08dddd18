// Opening the card, the apply at open, the working state, the task-macro
// dialog and the lift-off commands.
#include <log/system_log.h>
#include <platform/notify.h>
#include <session/card_session.h>
#include <session/computer_clock.h>
#include <taskbook/taskbook.h>

#include <chrono>
#include <thread>

namespace session {
namespace {

constexpr std::uint32_t kDevice = 0;
constexpr const char* kCaption = "Talvora";

// Bit 7 of the dialog mask tells it that no card is identified.
constexpr unsigned kMaskCardOpen = 127;
constexpr unsigned kMaskTaskNoCard = 128;
constexpr unsigned kMaskDeviceNoCard = 255;

}  // namespace

CardSession::CardSession(TaskRecordSet records, SessionFlags flags, SessionHooks hooks,
                         DemDataCallback callback)
    : rec_(records), flags_(flags), hooks_(std::move(hooks)), callback_(callback) {
    FillDefault(fly_);
}

CardSession::~CardSession() {
    if (calibration_.joinable()) calibration_.join();
}

CardFunctionInfo& CardSession::FunctionInfoArea() {
    static CardFunctionInfo area{};
    return area;
}

void CardSession::Log(std::string text) {
    if (hooks_.log)
        hooks_.log(std::move(text));
    else
        applog::PostLog(std::move(text));
}

void CardSession::Sleep(unsigned ms) {
    if (hooks_.sleep)
        hooks_.sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

LocalTime CardSession::Now() {
    return hooks_.localTime ? hooks_.localTime() : LocalNow();
}

FrameGeometry CardSession::Geometry() const {
    std::lock_guard lock(geometryMutex_);
    return geometry_;
}

void CardSession::UpdateGeometry() {
    const FrameGeometry g = GeometryOf(rec_.dem->dem);
    {
        std::lock_guard lock(geometryMutex_);
        geometry_ = g;
    }
    if (hooks_.frameGeometry) hooks_.frameGeometry(g);
}

void CardSession::DemodulatorRecordChanged() {
    if (hooks_.demodulatorRecordChanged) hooks_.demodulatorRecordChanged(rec_.dem->dem);
}

void CardSession::StampIfSystemTime() {
    // Internal time based on the system time: the card takes the computer's.
    if (rec_.time->basic.内时统基准模式 == 0) StampTimeCode(rec_.time->basic, Now());
}

void CardSession::MirrorRecordFlags() {
    flags_.liftOffEnable = rec_.time->起飞使能 != 0 ? 1 : 0;
    flags_.decryptionSwitch = rec_.dem->decipher.加解密开关 != 0 ? 1 : 0;
}

// --- open ---

void CardSession::OpenCard() {
    flags_.cardInitialising = 1;  // also on a re-open: the data callback waits
    {
        std::lock_guard lock(openMutex_);
        opening_ = true;
        openCancelled_ = false;
    }
    bool opened = BB_OpenDevice(kDevice, callback_, 0, &FunctionInfoArea()) != 0;
    bool cancelled;
    {
        std::lock_guard lock(openMutex_);
        opening_ = false;
        cancelled = openCancelled_;
    }
    if (opened && cancelled) {
        // The cancel came before the library's wait began or after it ended:
        // the card is closed here (a second close of a closed slot fails harmlessly).
        BB_CloseDevice(kDevice);
        opened = false;
    }
    if (opened) {
        flags_.cardOpen = 1;
        Log("基带卡初始化成功");
        ApplyAtOpen();
        Sleep(300);
        UpdateGeometry();
        flags_.paramsApplied = 1;
        flags_.cardInitialising = 0;
        return;
    }
    UpdateGeometry();
    flags_.cardInitialising = 0;
    flags_.cardOpen = 0;
    Log("基带卡初始化失败");
    // A cancelled open means the operator is leaving; a box would hold up the exit.
    if (!cancelled)
        plat::MessageBox("设备连接打开失败！", "初始化基带卡", plat::MB_OK | plat::MB_ICONERROR);
}

bool CardSession::CancelOpen() {
    // Held across the close, so the open sees the cancel once its call returns.
    std::lock_guard lock(openMutex_);
    if (!opening_) return false;
    openCancelled_ = true;
    BB_CloseDevice(kDevice);
    return true;
}

bool CardSession::CloseCard() {
    const bool ok = BB_CloseDevice(kDevice) != 0;
    flags_.cardOpen = 0;
    flags_.paramsApplied = 0;
    return ok;
}

void CardSession::ApplyAtOpen() {
    const DemParam before = rec_.dem->dem;
    GetApplyPara(rec_.info, rec_.dem, rec_.sim, rec_.time, rec_.recv, Stream());
    DiscardStaleStandardFrame(before);
    MarkSending(*rec_.dem, *rec_.sim, *rec_.recv, 1);
    DemodulatorRecordChanged();
    StampIfSystemTime();
    MirrorRecordFlags();
    BB_SetDemParam(kDevice, &rec_.dem->dem);
    BB_SetSimParam(kDevice, &rec_.sim->sim);
    BB_SetTimeSystemBasicParam(kDevice, &rec_.time->basic);
    ApplyLiftOffAtOpen();
}

void CardSession::ApplyLiftOffAtOpen() {
    const TimeTaskRecord& t = *rec_.time;
    if (t.起飞使能) {
        BB_SetTimeSystemFlyEnable(kDevice, 0);
        Sleep(100);
        fly_.起飞使能 = 1;
        if (t.定时起飞使能) {
            // A card whose internal time runs free from the system time and
            // tags frames by it counts the lift-off day one lower.
            const TimeSystemBasicParam& b = t.basic;
            const bool dayBefore = b.内时统基准模式 == 0 && b.内时统同步模式 == 0 &&
                                   rec_.dem->dem.时统模式 == 0 && b.内时统校准使能 == 1;
            fly_.定时起飞时间 = t.定时起飞时间;
            if (dayBefore) fly_.定时起飞时间.day = t.定时起飞时间.day - 1;
            fly_.定时起飞时间附加字 = t.定时起飞时间附加字;
            fly_.选路起飞使能 = 0;
            fly_.外部起飞使能 = 0;
            fly_.reserved28 = 0;
            fly_.定时起飞使能 = 1;
        }
        if (t.选路起飞使能) {
            fly_.参考波道 = t.参考波道;
            fly_.参考门限 = t.参考门限;
            fly_.选路起飞使能 = 1;
            fly_.外部起飞使能 = 0;
            fly_.定时起飞使能 = 0;
            fly_.reserved28 = 0;
        }
        if (t.外部起飞使能) {
            fly_.选路起飞使能 = 0;
            fly_.外部起飞使能 = 1;
            fly_.定时起飞使能 = 0;
            fly_.reserved28 = 0;
        }
    } else {
        fly_.起飞使能 = 0;
        fly_.定时起飞使能 = 0;
        fly_.选路起飞使能 = 0;
        fly_.外部起飞使能 = 0;
    }
    SendLiftOff();
}

void CardSession::SendLiftOff() {
    BB_SetTimeSystemFlyEnable(kDevice, rec_.time->起飞使能);
    BB_SetTimeSystemFlyParam(kDevice, &fly_);
    BB_SetTimeSystemFlyEnable(kDevice, rec_.time->起飞使能);
}

// --- working state and the task-macro dialog ---

bool CardSession::SaveWorkingState() {
    const int flag = PrepareWorkingState(*rec_.info, Now());
    if (ModifyTaskMacro(flag, rec_.info, rec_.dem, rec_.sim, rec_.time, rec_.recv, Stream()))
        return true;
    plat::MessageBox("参数保存到当前状态失败！", kCaption, plat::MB_OK | plat::MB_ICONWARNING);
    return false;
}

unsigned CardSession::TaskManagementMask() const {
    return flags_.cardOpen ? kMaskCardOpen : kMaskTaskNoCard;
}

unsigned CardSession::DeviceManagementMask() const {
    return flags_.cardOpen ? kMaskCardOpen : kMaskDeviceNoCard;
}

void CardSession::TaskManagement(void* owner) {
    SaveWorkingState();
    TaskMacroManage(owner, Stream(), taskbook::kModeEdit, TaskManagementMask());
}

void CardSession::DeviceManagement(void* owner) {
    if (!CheckActivity()) return;
    SaveWorkingState();
    TaskMacroManage(owner, Stream(), taskbook::kModeEditApply, DeviceManagementMask());
}

// --- lift-off ---

void CardSession::AllowLiftOff() {
    TimeTaskRecord& t = *rec_.time;
    if (t.起飞使能) {
        t.起飞使能 = 0;
        fly_.起飞使能 = 0;
        liftOffSeen = 0;
        headerLiftOffDay = 367;
    } else {
        t.起飞使能 = 1;
        fly_.起飞使能 = 1;
    }
    fly_.参考波道 = t.参考波道;
    fly_.参考门限 = t.参考门限;
    fly_.选路起飞使能 = t.选路起飞使能;
    fly_.定时起飞使能 = t.定时起飞使能;
    fly_.外部起飞使能 = t.外部起飞使能;
    flags_.liftOffEnable = t.起飞使能 != 0 ? 1 : 0;
    BB_SetTimeSystemFlyEnable(kDevice, fly_.起飞使能);
    if (fly_.起飞使能 == 0) BB_SetTimeSystemHandFly(kDevice, 0);
}

void CardSession::ManualLiftOff() {
    fly_.reserved28 = 1;  // manual lift-off
    BB_SetTimeSystemHandFly(kDevice, fly_.起飞使能);
}

}  // namespace session

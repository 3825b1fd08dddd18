// The card session of the main program: opening the card and applying the
// current task's records, the apply notification of the task-macro dialog,
// saving the working state as the task "当前任务", the lift-off commands and
// the calibration of the computer clock from the card's time.
//
// The frame owns the five task records and the flags; the session holds
// references to them and calls the device library and the task store.
// Records are written without a lock by the GUI thread and by the card-open
// and calibration threads; the device library copies what it sends.
#pragma once

#include <bbdevice/bbdevice.h>
#include <session/session_texts.h>
#include <taskbook/task_records.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace session {

// The frame's task records of the current stream.
struct TaskRecordSet {
    TaskInfoRecord* info = nullptr;
    DemTaskRecord* dem = nullptr;
    SimTaskRecord* sim = nullptr;
    TimeTaskRecord* time = nullptr;
    RecvTaskRecord* recv = nullptr;
};

// The frame's flags the session reads and writes (owned by the frame).
struct SessionFlags {
    std::atomic<int>& cardOpen;
    std::atomic<int>& cardInitialising;  // keeps the data callback idle
    std::atomic<int>& paramsApplied;
    std::atomic<int>& streamNo;
    std::atomic<int>& recording;
    std::atomic<int>& replayRunning;
    std::atomic<int>& frameCountStatOn;
    std::atomic<int>& idStatOn;
    std::atomic<int>& timeStatOn;
    std::atomic<int>& bitErrorOn;
    std::atomic<int>& stdFrameCaptured;
    std::atomic<int>& afterDecryption;   // display the data after decryption
    std::atomic<int>& decryptionSwitch;  // mirrors the demodulator record
    std::atomic<int>& liftOffEnable;     // mirrors the time-code record
};

// Work that belongs to other parts of the frame. Empty hooks are skipped;
// empty log, clock and sleep take the program's journal, the computer clock
// and a real sleep.
struct SessionHooks {
    std::function<void()> resetSuperframeAssembly;
    // The demodulator record was rewritten (fetched from the store, or its
    // head taken from the receiver record); called on the writing thread.
    std::function<void(const DemParam&)> demodulatorRecordChanged;
    // The search library is (re)initialised with the geometry.
    std::function<void(const FrameGeometry&)> frameGeometry;
    // Bit-error measurement switched off: its standard frame is discarded.
    std::function<void()> discardStandardFrame;
    std::function<void(std::string)> log;
    std::function<LocalTime()> localTime;
    std::function<void(unsigned ms)> sleep;
};

inline constexpr const char* kCompletionText = "GNSS时间校准到计算机时间完毕！";
inline constexpr const char* kClockRefusedText =
    "GNSS时间校准未完成：没有设置计算机时间的权限，计算机时间未改变！";
inline constexpr const char* kClockFailedText =
    "GNSS时间校准未完成：计算机时间设置失败，计算机时间未改变！";

class CardSession {
public:
    // `callback` is handed to BB_OpenDevice as the data callback.
    CardSession(TaskRecordSet records, SessionFlags flags, SessionHooks hooks,
                DemDataCallback callback);
    ~CardSession();  // waits for a running calibration
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    // The card-open thread's work: BB_OpenDevice, the apply at open, the
    // geometry and the flags; the failure box on failure, unless the open
    // was cancelled.
    void OpenCard();
    // From another thread: ends an OpenCard under way (BB_CloseDevice of the
    // slot stops its wait for the card). That open fails without its box
    // and leaves the card closed. False when no open was under way.
    bool CancelOpen();
    // BB_CloseDevice; true on success. Clears the card-open flag either way.
    bool CloseCard();

    // Window message 1204 with apply code `code`.
    void OnApplyNotification(int code);
    // False (after its message box) while recording, replay or statistics run.
    bool CheckActivity();

    // Saves the records as the task "当前任务"; false after the failure box.
    bool SaveWorkingState();
    // Commands 32777 and 32778: the task-macro dialog owned by `owner`.
    void TaskManagement(void* owner);
    void DeviceManagement(void* owner);
    // Permission mask of the dialog: 127 with an open card, else 128 for
    // task management and 255 for device management.
    unsigned TaskManagementMask() const;
    unsigned DeviceManagementMask() const;

    // Commands 32813 and 32814.
    void AllowLiftOff();
    void ManualLiftOff();

    // Command 32837: runs RunClockCalibration on its own thread; false when
    // one is still running.
    bool StartClockCalibration();
    void RunClockCalibration();
    bool CalibrationRunning() const { return calibrating_; }

    int Stream() const { return TaskStream(flags_.streamNo); }
    FrameGeometry Geometry() const;
    const TimeSystemFlyParam& LiftOffRecord() const { return fly_; }
    static CardFunctionInfo& FunctionInfoArea();

    // Lift-off seen (set by the receive path) and the lift-off day kept for
    // the recording header: 367 after lift-off was disabled, else 0.
    std::atomic<int> liftOffSeen{0};
    std::atomic<std::uint32_t> headerLiftOffDay{0};

private:
    struct PendingBox {
        std::string text;
        unsigned type;
    };
    void ApplyAtOpen();
    void ApplyLiftOffAtOpen();
    void SendLiftOff();
    void UpdateGeometry();
    void DemodulatorRecordChanged();
    void StampIfSystemTime();
    void MirrorRecordFlags();
    // Drops the bit-error standard frame when the demodulator record no
    // longer frames the data as it did in `before`.
    void DiscardStaleStandardFrame(const DemParam& before);
    void Log(std::string text);
    void Sleep(unsigned ms);
    LocalTime Now();

    // Sends of the apply notification; boxes are queued into `boxes`.
    bool SendDem(const char* okLog, const char* failLog, bool wholeCard,
                 std::vector<PendingBox>& boxes);
    bool SendSim(const char* okLog, const char* failLog, bool wholeCard,
                 std::vector<PendingBox>& boxes);
    bool SendTime(const char* okLog, const char* failLog, bool wholeCard,
                  std::vector<PendingBox>& boxes);
    void SendReceiver(std::vector<PendingBox>& boxes);
    void ApplyWholeCard(int code, std::vector<PendingBox>& boxes);

    TaskRecordSet rec_;
    SessionFlags flags_;
    SessionHooks hooks_;
    DemDataCallback callback_;
    TimeSystemFlyParam fly_{};  // the lift-off record kept between commands

    mutable std::mutex geometryMutex_;
    FrameGeometry geometry_;  // guarded by geometryMutex_

    std::thread calibration_;
    std::atomic<bool> calibrating_{false};

    std::mutex openMutex_;
    bool opening_ = false;        // guarded by openMutex_: OpenCard is in BB_OpenDevice
    bool openCancelled_ = false;  // guarded by openMutex_
};

}  // namespace session

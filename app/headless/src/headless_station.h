// The station without windows: the card session with its task, the data
// path, the lock and time readings, frame statistics, network output and
// recording, started and stopped in the same order as the window's frame.
#pragma once

#include <bbdevice/dem_report.h>
#include <config/para_config.h>
#include <datapath/loss_watch.h>
#include <frame_buffers.h>
#include <link_watch.h>
#include <lock_watch.h>
#include <mm_timer_slot.h>
#include <single_instance_lock.h>
#include <taskbook/task_records.h>
#include <taskbook/task_store.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "headless/headless_options.h"
#include "headless/status_line.h"

namespace datapath {
class DataPath;
}
namespace netout {
class NetworkOutput;
}
namespace recording {
class RecordingFiles;
}
namespace session {
class CardSession;
}
namespace stats {
class FrameStatistics;
}

namespace headless {

class HeadlessConsumers;

// What the [Headless] section of Para.ini switches on.
struct HeadlessSwitches {
    bool recording = true;
    bool telemetry = true;
    bool fullFrameBroadcast = false;
    bool frameCountStat = false;
    bool idStat = false;
    bool timeStat = false;
};
HeadlessSwitches LoadHeadlessSwitches(const std::string& moduleDir);

class HeadlessStation {
public:
    HeadlessStation();
    ~HeadlessStation();
    HeadlessStation(const HeadlessStation&) = delete;
    HeadlessStation& operator=(const HeadlessStation&) = delete;

    // Start-up up to the running threads and timers. False with *exitCode set
    // when the run may not go on.
    bool Start(const HeadlessOptions& o, int* exitCode);
    // Once every 100 ms on the main thread: lock and time readings, the
    // recording and checks once the card is open, and the status line each
    // tenth call.
    void Tick();
    // The exit order of the program; prints the summary.
    void Stop();

private:
    static int DemDataCallback(DemReportBlock* block);
    // The records of the task `name`, or null after the list of tasks went to
    // standard error.
    static std::unique_ptr<taskbook::TaskRecords> LoadTask(const std::string& name);
    void ReadCardState();
    void StartConfiguredWork();
    void StartRecording();
    void ReportFinalHeaderFailure();
    void StartChecks();
    void PrintStatus();
    void WatchLosses();
    std::array<std::optional<int>, 3> Jumps() const;

    // Task records of the current stream; they never move.
    std::unique_ptr<TaskInfoRecord> m_taskInfo;
    std::unique_ptr<DemTaskRecord> m_demParam;
    std::unique_ptr<SimTaskRecord> m_simParam;
    std::unique_ptr<TimeTaskRecord> m_timeParam;
    std::unique_ptr<RecvTaskRecord> m_rcvParam;

    std::atomic<int> m_bThreadRun{0}, m_bCardOpen{0}, m_bCardInitialising{1}, m_bParamsApplied{0},
        m_nStreamNo{1}, m_bRecording{0}, m_bReplayRunning{0}, m_nReplayKind{0},
        m_bFrameCountStatOn{0}, m_bIdStatOn{0}, m_bTimeStatOn{0}, m_bBitErrorOn{0},
        m_bStdFrameCaptured{0}, m_bAfterDecryption{0}, m_bDecryptionSwitch{0}, m_bLiftOffEnable{0},
        m_bGnssSearchOn{0}, m_bGpsMulticast{0}, m_bFullFrameBroadcast{0}, m_bTelemetrySending{0},
        m_bBitSyncLock{0}, m_bSubframeSyncLock{0}, m_bSuperframeSyncLock{0};
    std::atomic<bool> m_bCardOpenThreadBusy{false};
    std::atomic<bool> m_bWriteFailed{false};
    std::atomic<std::uint64_t> m_receivedBytes{0};

    std::string m_strModuleDir;
    cfg::ParaConfig m_para;
    HeadlessSwitches m_switches;
    std::unique_ptr<mainframe::SingleInstanceLock> m_instance;
    mainframe::FrameBuffers m_buffers;
    mainframe::DataPathBuffers m_dataBuffers;
    std::unique_ptr<stats::FrameStatistics> m_frameStats;
    std::unique_ptr<HeadlessConsumers> m_consumers;
    std::unique_ptr<datapath::DataPath> m_dataPath;
    std::unique_ptr<netout::NetworkOutput> m_network;
    std::unique_ptr<recording::RecordingFiles> m_recordingFiles;
    std::unique_ptr<session::CardSession> m_session;
    mainframe::LockWatch m_lockWatch;
    mainframe::LinkWatch m_linkWatch;
    mainframe::MultimediaTimerSlot m_linkMonitorTimer, m_telemetryTimer;
    std::thread m_cardOpenThread, m_receiveThread;

    bool m_started = false;
    bool m_stopped = false;
    bool m_workStarted = false;  // recording and checks, once per card open
    std::string m_recordingFile;
    unsigned m_ticks = 0;
    std::uint64_t m_seconds = 0;
    std::uint64_t m_lastBytes = 0;
    std::uint64_t m_frames = 0;  // sub-frame records counted so far
    datapath::LossWatch m_losses;
    // Test hook: the first card block taken while recording holds the data
    // thread this long (TALVORA_TEST_HOLD_DATA_MS), as a slow disk would.
    unsigned m_holdDataMs = 0;
    std::atomic<bool> m_held{false};
};

}  // namespace headless

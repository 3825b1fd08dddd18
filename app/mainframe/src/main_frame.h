// CMainFrame: the program's one main window. It owns the run-time state of the
// program (flags, buffers, events, timers, threads, configuration, window
// placement), builds the command surface and runs the start-up and exit
// sequences. Commands are dispatched by their identifiers through OnCommand.
#pragma once

#include <config/gps_channel.h>
#include <config/para_config.h>
#include <config/window_pos.h>
#include <datapath/loss_watch.h>
#include <paramviews/para_view_wnds.h>
#include <printing/screenshot_jobs.h>
#include <rawviews/frame_records.h>
#include <taskbook/task_records.h>

#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame_buffers.h"
#include "frame_events.h"
#include "mm_timer_slot.h"
#include "replay_state.h"

class QMdiArea;
struct PrinterDefaults;
class QTimer;
class QToolBar;

class CDockPageBar;
class CViewDlg;
class QtMessageReceiver;
struct DemParam;
struct DemReportBlock;
class CTableWndClass;
class CurverWndClass;
class CHistogramWndClass;
class QMenu;
namespace datapath {
class DataConsumers;
class DataPath;
class FileReplayReader;
}  // namespace datapath
namespace recording {
class RecordingFiles;
struct FileFailure;
}  // namespace recording
namespace session {
class CardSession;
}
namespace mainframe {
struct StatusSnapshot;
}
namespace stats {
class BitErrorMeasurement;
class FrameStatistics;
}  // namespace stats
namespace netout {
class NetworkOutput;
}

// Windows whose open flag and handle the frame tracks.
enum class FrameView {
    SignalSpectrum,
    RawCurve,
    RawTable,
    RawHistogram,
    ParamCurve,
    ParamTable,
    ParamStripe,
};
inline constexpr std::size_t kFrameViewCount = 7;

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // Construction zeroes every flag, counter, handle and view pointer; the
    // window parts are made by OnCreate.
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the windows, buffers, threads and timers in their order. False
    // when a bar could not be made.
    bool OnCreate();

    // The process-wide frame pointer, published before any thread starts, for the
    // device callback, the timer callbacks and the worker threads.
    static CMainFrame* Instance();

    // Runs a command as if chosen from the menu, toolbar or an accelerator.
    void OnCommand(unsigned id);
    // Queues a command for the GUI thread (safe from any thread).
    void PostCommand(unsigned id);
    // Effect of a window message from a library (runs on the GUI thread).
    void OnWindowMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
    // Window timers by identifier.
    void SetTimer(int id, int intervalMs);
    void KillTimer(int id);
    bool TimerActive(int id) const;
    void OnTimer(int id);
    // Timer 21 is posted by the replay-feed thread rather than started.
    void PostTimer(int id);

    // Check and enable every command from its flag.
    void UpdateCommandUI();
    QAction* Action(unsigned id) const;
    QToolBar* ToolBar() const { return m_toolBar; }
    CDockPageBar* StatusBarDock() const { return m_dockBar; }
    CViewDlg* StatusView() const { return m_viewDlg; }
    // What the status view shows besides the card's state (GUI thread).
    void FillStatusSnapshot(mainframe::StatusSnapshot& s) const;
    QMdiArea* MdiArea() const { return m_mdiArea; }
    // The right-click menu of the empty workspace: the commands that have no
    // menu or toolbar entry.
    QMenu* WorkspaceMenu() const { return m_workspaceMenu; }

    // Leaves through the exit sequence without the question (unattended runs).
    void CloseWithoutAsking();
    bool ExitSequenceDone() const { return m_bExitDone; }
    // True until the card-open thread of this start has returned.
    bool CardOpenThreadBusy() const { return m_bCardOpenThreadBusy; }
    // The application's default printer; without one (tests) the frame reads
    // the defaults itself when it first needs them.
    void UsePrinter(PrinterDefaults* printer);
    // Waits up to 10 s for the screenshots still being saved or printed;
    // false when one is left.
    bool WaitForScreenshots();

    // Tiling of the spectrum, curve and table windows (57651).
    void TileViews();

    // Top-left corner of the MDI area's client inside the frame's client
    // area: what lies between the two (the toolbar, a bar docked at the left
    // or the top) wherever the bars are docked.
    QPoint MdiOffsetInClient() const;
    // Where a window that the placement file marks open is reopened, in MDI
    // area coordinates: the stored frame-client rectangle less that offset,
    // so it comes back exactly where it was.
    QRect PlacementInMdi(cfg::PlacedWindow p) const;

    // --- configuration (one load and one save per section) ---
    void LoadWindowPos();
    void SaveWindowPos();
    // Saves return false when the file could not be written; the journal
    // then names the file and section.
    void LoadBitErrorConfig();
    bool SaveBitErrorConfig();
    void LoadScreenshotConfig();
    bool SaveScreenshotConfig();
    void LoadNetworkConfig();
    bool SaveNetworkConfig();
    void LoadNetworkSendConfig();
    bool SaveNetworkSendConfig();
    void LoadFrameCountConfig();
    bool SaveFrameCountConfig();
    void LoadIdCountConfig();
    bool SaveIdCountConfig();
    void LoadTimeContinuityConfig();
    bool SaveTimeContinuityConfig();
    void LoadGnssConfig();
    bool SaveGnssConfig();
    void LoadGpsChannels();
    bool SaveGpsChannels();
    void LoadReplayConfig();
    bool SaveReplayConfig();
    void LoadStorageConfig();
    bool SaveStorageConfig();
    void LoadStreamConfig();
    bool SaveStreamConfig();

    // --- run flags (read by every thread) ---
    std::atomic<int> m_bThreadRun{0};  // 1 from creation until exit is confirmed
    std::atomic<int> m_bCardOpen{0};
    std::atomic<int> m_bCardInitialising{0};  // 1 until the card-open thread has finished
    std::atomic<int> m_bParamsApplied{0};
    int m_nDevice = 0;                // device index of every BB_ call
    std::atomic<int> m_nStreamNo{0};  // 1, 2 or 3

    // --- activity flags (set by the libraries that run the activity) ---
    std::atomic<int> m_bRecording{0};
    std::atomic<int> m_bReplayRunning{0};
    std::atomic<int> m_nReplayKind{0};                // 1 software replay, 2 card replay
    std::atomic<int> m_bReplayFeed{0};                // replay-feed thread is fed by the 5 ms tick
    std::atomic<std::uint64_t> m_replayFeedTicks{0};  // ticks the replay-feed thread took
    std::atomic<int> m_bFrameCountStatOn{0};
    std::atomic<int> m_bIdStatOn{0};
    std::atomic<int> m_bTimeStatOn{0};
    std::atomic<int> m_bBitErrorOn{0};
    std::atomic<int> m_bStdFrameCaptured{0};
    std::atomic<int> m_bLiftOffEnable{0};  // lift-off enable of the time-code record
    std::atomic<int> m_bFullFrameBroadcast{0};
    std::atomic<int> m_bGpsMulticast{0};
    std::atomic<int> m_bAfterDecryption{0};   // display the data after decryption
    std::atomic<int> m_bDecryptionSwitch{0};  // decryption switch of the demodulator record
    std::atomic<int> m_bGnssSearchOn{0};
    std::atomic<int> m_bTelemetrySending{0};  // telemetry output switched on (32784)
    // Lock flags last shown by the status view, for the network output.
    std::atomic<int> m_bBitSyncLock{0};
    std::atomic<int> m_bSubframeSyncLock{0};
    std::atomic<int> m_bSuperframeSyncLock{0};

    // --- replay in progress (GUI thread) ---
    mainframe::ReplayState m_replay;

    // --- views: open flag and window handle, GUI thread ---
    struct ViewSlot {
        int open = 0;
        QPointer<QWidget> wnd;
    };
    ViewSlot& View(FrameView v) { return m_views[static_cast<std::size_t>(v)]; }
    bool AnyDataWindowOpen() const;

    // --- configuration values, GUI thread ---
    std::string m_strModuleDir;
    cfg::ParaConfig m_para;
    cfg::WindowPosConfig m_windowPos;
    cfg::GpsChannelConfig m_gpsChannels;

    // --- buffers ---
    mainframe::FrameBuffers m_buffers;
    mainframe::DataPathBuffers m_dataBuffers;
    std::string m_scratchText;  // 1024-byte scratch text

    // --- named events, timers ---
    mainframe::FrameEvents m_events;
    std::string m_strEventPrefix;                  // empty in the program; tests keep theirs apart
    mainframe::MultimediaTimerSlot m_replayTimer;  // 5 ms
    mainframe::MultimediaTimerSlot m_linkMonitorTimer;  // 1000 ms
    mainframe::MultimediaTimerSlot m_telemetryTimer;    // 1 ms

    // Satellite-navigation search geometry: time-tag bytes, subframe bytes,
    // superframe length. Written by the card-open thread and the GUI thread
    // under the lock in main_frame_gnss.cpp.
    std::uint16_t m_gnssTagBytes = 0, m_gnssSubframeBytes = 0, m_gnssSuperframeLen = 0;
    bool m_bGnssGeometryKnown = false;  // set by the first device apply
    // Stores the geometry and hands it to the search library (any thread).
    void ApplyGnssGeometry(std::uint16_t tagBytes, std::uint16_t subframeBytes,
                           std::uint16_t superframeLength);
    // The subframe bytes the search runs on (any thread).
    std::uint16_t GnssSubframeBytes() const;

    // --- task records of the current stream, allocated zeroed with the frame ---
    const std::unique_ptr<TaskInfoRecord> m_taskInfo;
    const std::unique_ptr<DemTaskRecord> m_demParam;
    const std::unique_ptr<SimTaskRecord> m_simParam;
    const std::unique_ptr<TimeTaskRecord> m_timeParam;
    const std::unique_ptr<RecvTaskRecord> m_rcvParam;

    // The card session works on the records and flags above.
    session::CardSession* Session() const { return m_session.get(); }
    // The device library's data callback (report thread): the data path's
    // work for one block.
    static int DemDataCallback(DemReportBlock* block);
    datapath::DataPath* GetDataPath() const { return m_dataPath.get(); }
    // The three frame checks: running flags, counters, reports.
    stats::FrameStatistics* Statistics() const { return m_frameStats.get(); }
    // The bit-error measurement: exclusion list, mask, counters.
    stats::BitErrorMeasurement* BitErrors() const { return m_bitErrors.get(); }
    // The sockets, the telemetry sender and the link monitor.
    netout::NetworkOutput* Network() const { return m_network.get(); }
    // The files of a recording; the network output writes the sent data here.
    recording::RecordingFiles* RecordingFiles() const { return m_recordingFiles.get(); }
    datapath::FileReplayReader* ReplayReader() const { return m_replayReader.get(); }

signals:
    // Every command the frame ran, from any source (menu, toolbar, posted).
    void commandExecuted(unsigned id);
    // The operator confirmed the exit (or an unattended run is leaving).
    void exitConfirmed();
    // Emitted once the exit sequence has run to its end.
    void exitSequenceFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // parts of OnCreate
    bool CreateToolBar();
    bool CreateStatusDisplayBar();
    void CreateMenus();
    void CreateActions();
    void LoadConfigurationAtStartup();
    void StartWorkerThreads();
    void StartWindowTimers();
    void InitGnssSearch();
    void StartMultimediaTimers();
    void RestoreOpenWindows();

    // hooks into the session, the views, recording and the network
    void OpenNetworkEndpoints();
    void CloseNetworkEndpoints();
    void FetchDefaultTask();
    void SaveWorkingState();
    void OpenCard();
    bool CloseCard();
    void StopRecording();
    void StopCardReplay();
    void RefreshRawViews();
    void OpenView(FrameView v);
    void CloseView(FrameView v);
    void DeleteViewObject(FrameView v);
    void ApplyTaskParameters(std::uintptr_t code);
    void CloseGnssSearchWindow();
    void OnReplayPacingTick();
    void OnLinkMonitorTick();
    void OnTelemetrySendTick();
    void FeedReplayBlock();

    // acquisition data path (main_frame_datapath.cpp)
    void CreateDataPath();
    const DemParam& CurrentDemParam() const;
    void OpenRawTable();
    void OnAfterDecryptionChoice();

    // screenshots and printing (main_frame_printing.cpp)
    void OnScreenshotPrint();
    void OnScreenshotSetup();
    void OnPrintSetup();
    bool RawCurveWindowOpen();
    PrinterDefaults* Printer();
    PrinterDefaults* m_appPrinter = nullptr;
    std::unique_ptr<PrinterDefaults> m_ownPrinter;
    std::mutex m_printLock;  // one print at a time, none during the print set-up
    bool m_lastCaptureGrabbed = false;
    // Declared after the printer and its lock, so its destructor ends the
    // workers while they still exist.
    printing::ScreenshotJobs m_screenshots;

    // raw curve and histogram, workspace menu (main_frame_rawcurve.cpp)
    void OpenRawCurve();
    void OpenRawHistogram();
    void RefreshRawHistogram();
    void DeleteRawCurveObject();
    // The signal plot window (main_frame_sigplot.cpp).
    void OpenSignalPlot();
    void DeleteRawHistogramObject();
    void CreateWorkspaceMenu();
    void ShowWorkspaceMenu(const QPoint& atViewport);

    // solved-parameter windows and the parameter database (main_frame_params.cpp)
    void OpenParamView(FrameView v);
    void OnSelectParamDatabase();
    void CreateParamMenuItems();
    void OnLiveSolvingToggled(bool on);
    void UpdateParamFeed();

    // recording and replay (main_frame_recording.cpp)
    void OnFileStorage();
    void StartRecording();
    void OnRecordingWriteFailed(const recording::FileFailure& failure);
    // The box of a recording file's failure, and its journal line unless
    // the writer posted it already.
    void ReportRecordingFailure(const recording::FileFailure& failure, bool journal = true);
    // Closes the files; false when the data file's final header could not
    // be written.
    bool CloseRecordingFiles();
    void OnStorageSettings();
    void OnDataReplay();
    void StopReplay();
    void PumpWhileWaitingForBlock();
    void WatchLosses();

    // satellite-navigation search (main_frame_gnss.cpp)
    void InitGnssSearchLibrary();
    void OnGnssReception();
    void OnGnssProtocol();
    void OnGpsChannel();

    // frame statistics (main_frame_stats.cpp)
    void OnFrameCountStat();
    void OnIdStat();
    void OnTimeContinuityStat();
    bool ReceiveNetworkPackets();

    // bit-error measurement (main_frame_bit_errors.cpp)
    void OnCaptureStandardFrame();
    void OnBitErrorMeasurement();
    bool StartBitErrorMeasurement();
    void StopBitErrors();
    // network output (main_frame_network.cpp)
    void CreateNetworkOutput();
    void ApplyNetworkSendSettings();
    void OnNetworkConfig();
    void OnNetworkSendParam();
    void WriteSentDataFile(const std::uint8_t* data, std::size_t length);
    void FillNetworkStatus(mainframe::StatusSnapshot& s) const;

    // threads
    void CardOpenThread();
    void ReplayFeedThread();
    void ReceiveThread();
    void StartCardOpenThread();
    void JoinWorkerThreads();
    void StopCardOpenThread();

    // commands
    void OnStatusBarToggle();
    void OnReopenCard();
    void OnCloseAllWindows();
    void OnAbout();
    void OnViewClosed(FrameView v, bool deleteObject);
    void RecordStatusBarPlacement();
    QRect ToClientRect(QWidget* w) const;

    // exit
    bool ConfirmExit();
    void RunExitSequence();
    void OnDestroy();
    void ReleaseInstance();

    QMdiArea* m_mdiArea = nullptr;
    QToolBar* m_toolBar = nullptr;
    CDockPageBar* m_dockBar = nullptr;
    CViewDlg* m_viewDlg = nullptr;  // page of m_dockBar
    std::map<unsigned, QAction*> m_actions;
    std::map<int, QTimer*> m_timers;
    QTimer* m_commandUiTimer = nullptr;
    std::unique_ptr<QtMessageReceiver> m_receiver;
    std::unique_ptr<session::CardSession> m_session;
    // The checks outlive the consumers that feed them.
    std::unique_ptr<stats::FrameStatistics> m_frameStats;
    std::unique_ptr<stats::BitErrorMeasurement> m_bitErrors;
    datapath::LossWatch m_losses;  // GUI thread
    // The network output outlives the consumers that send through it.
    std::unique_ptr<netout::NetworkOutput> m_network;
    // Recording files and the replay reader outlive the data path's use.
    std::unique_ptr<recording::RecordingFiles> m_recordingFiles;
    std::unique_ptr<datapath::FileReplayReader> m_replayReader;
    // The data path reads the buffers, flags and records above; its consumers
    // outlive it.
    std::unique_ptr<datapath::DataConsumers> m_dataConsumers;
    std::unique_ptr<datapath::DataPath> m_dataPath;
    std::unique_ptr<CTableWndClass> m_rawTable;          // GUI thread
    _FRAME_STRUCT_PARAM m_tableRecord{};                 // GUI thread
    std::unique_ptr<CurverWndClass> m_rawCurve;          // GUI thread; the data path's
                                                         // use goes through the consumers
    _FRAME_STRUCT_PARAM_EX m_curveRecord{};              // GUI thread
    std::unique_ptr<CHistogramWndClass> m_rawHistogram;  // GUI thread
    _FRAME_STRUCT_PARAM m_histRecord{};                  // GUI thread
    QMenu* m_workspaceMenu = nullptr;
    ViewSlot m_views[kFrameViewCount];
    std::unique_ptr<CParaViewWnds> m_paraViews;  // GUI thread
    QAction* m_liveSolvingAction = nullptr;

    std::thread m_cardOpenThread, m_replayFeedThread, m_receiveThread;
    std::atomic<bool> m_bCardOpenThreadBusy{false};  // set until the card-open thread returns
    bool m_bCreated = false;
    bool m_bAskOnClose = true;
    bool m_bExitDone = false;
};

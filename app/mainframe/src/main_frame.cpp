// Construction and the creation sequence of the main frame.
#include "main_frame.h"

#include <datapath/data_path.h>
#include <histview/histogram_wnd_class.h>
#include <log/system_log.h>
#include <netout/network_output.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <rawcurve/curver_wnd_class.h>
#include <rawgrid/table_wnd_class.h>
#include <recording/recording_files.h>
#include <session/card_session.h>
#include <stats/bit_error_measurement.h>
#include <stats/frame_statistics.h>

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "command_ids.h"
#include "command_table.h"
#include "dock_page_bar.h"
#include "printer_defaults.h"
#include "qt_winmsg.h"
#include "status_snapshot.h"
#include "toolbar_icons.h"
#include "view_dlg.h"

using namespace mainframe;

namespace {

std::atomic<CMainFrame*> g_pMainFrame{nullptr};

static_assert(sizeof(TaskInfoRecord) == 1680 && sizeof(DemTaskRecord) == 139536 &&
              sizeof(SimTaskRecord) == 139544 && sizeof(TimeTaskRecord) == 112 &&
              sizeof(RecvTaskRecord) == 1544);

std::uint16_t Saturated16(std::uint32_t v) {
    return v > 0xFFFF ? 0xFFFF : static_cast<std::uint16_t>(v);
}

// The card session over the frame's task records and flags.
std::unique_ptr<session::CardSession> MakeCardSession(CMainFrame& f) {
    session::TaskRecordSet records{.info = f.m_taskInfo.get(),
                                   .dem = f.m_demParam.get(),
                                   .sim = f.m_simParam.get(),
                                   .time = f.m_timeParam.get(),
                                   .recv = f.m_rcvParam.get()};
    session::SessionFlags flags{.cardOpen = f.m_bCardOpen,
                                .cardInitialising = f.m_bCardInitialising,
                                .paramsApplied = f.m_bParamsApplied,
                                .streamNo = f.m_nStreamNo,
                                .recording = f.m_bRecording,
                                .replayRunning = f.m_bReplayRunning,
                                .frameCountStatOn = f.m_bFrameCountStatOn,
                                .idStatOn = f.m_bIdStatOn,
                                .timeStatOn = f.m_bTimeStatOn,
                                .bitErrorOn = f.m_bBitErrorOn,
                                .stdFrameCaptured = f.m_bStdFrameCaptured,
                                .afterDecryption = f.m_bAfterDecryption,
                                .decryptionSwitch = f.m_bDecryptionSwitch,
                                .liftOffEnable = f.m_bLiftOffEnable};
    session::SessionHooks hooks;
    hooks.resetSuperframeAssembly = [&f] {
        if (datapath::DataPath* path = f.GetDataPath()) path->ResetAssembly();
    };
    hooks.demodulatorRecordChanged = [&f](const DemParam& dem) {
        if (datapath::DataPath* path = f.GetDataPath()) path->SetDemodulatorRecord(dem);
    };
    // The apply notification stopped the measurement: no block counts after it.
    hooks.discardStandardFrame = [&f] {
        if (stats::BitErrorMeasurement* m = f.BitErrors()) m->Stop();
    };
    // Kept for the satellite-navigation search, which is initialised with it.
    hooks.frameGeometry = [&f](const session::FrameGeometry& g) {
        f.ApplyGnssGeometry(Saturated16(g.tagBytes), Saturated16(g.subframeBytes),
                            Saturated16(g.superframeLength));
    };
    return std::make_unique<session::CardSession>(records, flags, std::move(hooks),
                                                  &CMainFrame::DemDataCallback);
}

}  // namespace

// The task records exist, zeroed, before anything takes a pointer to them;
// they never move after.
CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent),
      m_taskInfo(std::make_unique<TaskInfoRecord>()),
      m_demParam(std::make_unique<DemTaskRecord>()),
      m_simParam(std::make_unique<SimTaskRecord>()),
      m_timeParam(std::make_unique<TimeTaskRecord>()),
      m_rcvParam(std::make_unique<RecvTaskRecord>()) {
    setWindowTitle(QStringLiteral("Talvora"));
    setWindowIcon(ProgramIcon());
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CMainFrame::~CMainFrame() {
    if (m_dataPath) m_dataPath->Detach();
    // A frame that never ran its exit sequence (a test, a failed start) still
    // stops what it started.
    if (m_bCreated && !m_bExitDone) {
        m_bThreadRun = 0;
        m_replayTimer.Kill();
        m_linkMonitorTimer.Kill();
        m_telemetryTimer.Kill();
        if (auto* e = m_events.ExitNewThread()) e->Set();
        JoinWorkerThreads();
        m_receiver.reset();
        applog::StopSystemLog();
    }
    ReleaseInstance();
}

void CMainFrame::ReleaseInstance() {
    CMainFrame* self = this;
    g_pMainFrame.compare_exchange_strong(self, nullptr);
}

CMainFrame* CMainFrame::Instance() {
    return g_pMainFrame.load();
}

bool CMainFrame::OnCreate() {
    // The MDI client and the receiver of window messages.
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setViewMode(QMdiArea::SubWindowView);
    m_mdiArea->setBackground(QColor(128, 128, 128));
    setCentralWidget(m_mdiArea);
    CreateActions();
    CreateMenus();
    CreateWorkspaceMenu();
    m_receiver = std::make_unique<QtMessageReceiver>(this);

    // Toolbar and status display bar.
    if (!CreateToolBar()) return false;
    if (!CreateStatusDisplayBar()) return false;

    // Buffers, allocated once, and the data path that writes into them.
    m_buffers.Allocate();
    m_dataBuffers.Allocate();
    CreateDataPath();
    CreateParamMenuItems();

    // The frame pointer is published before any thread or timer can use it.
    g_pMainFrame = this;
    m_dataPath->Attach();

    applog::StartSystemLog();

    // Module directory and initial run state.
    m_strModuleDir = plat::ModuleDirectory();
    m_nStreamNo = 1;
    m_bCardInitialising = 1;
    m_nDevice = 0;
    m_scratchText.assign(1024, '\0');
    m_para.storage = cfg::DefaultStorageConfig(m_strModuleDir);
    m_session = MakeCardSession(*this);

    LoadConfigurationAtStartup();

    // Network endpoints and replay parameters.
    OpenNetworkEndpoints();
    LoadReplayConfig();

    // Threads may run from now on.
    m_bThreadRun = 1;

    m_events.Create(m_strEventPrefix);

    // The stream's default task, saved as the working state.
    FetchDefaultTask();
    SaveWorkingState();

    // Card-open, replay-feed and receive threads.
    m_bCreated = true;
    StartWorkerThreads();

    StartWindowTimers();
    InitGnssSearch();
    StartMultimediaTimers();

    // The status display bar stays hidden when it was closed at exit.
    if (!m_windowPos[cfg::PlacedWindow::DockPageBar].open) m_dockBar->hide();

    // The windows that were open at exit open again.
    RestoreOpenWindows();

    // Update handlers run on idle in a framework; here on a short timer.
    m_commandUiTimer = new QTimer(this);
    connect(m_commandUiTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    m_commandUiTimer->start(200);
    UpdateCommandUI();
    return true;
}

bool CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Talvora"), this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar128"));
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setMovable(true);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (unsigned id : ToolbarLayout()) {
        if (id == 0)
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(Action(id));
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    return true;
}

bool CMainFrame::CreateStatusDisplayBar() {
    m_dockBar = new CDockPageBar(QStringLiteral("显示框"), this);
    // The status view starts its own refresh (timer 25) here and keeps it
    // running, shown or hidden, as long as the frame lives.
    m_viewDlg = new CViewDlg(*this, m_dockBar);
    m_viewDlg->setMinimumSize(120, 80);
    m_dockBar->AddPage(m_viewDlg, QStringLiteral("状态查看"), ProgramIcon());
    setDockNestingEnabled(true);
    addDockWidget(Qt::BottomDockWidgetArea, m_dockBar);
    resizeDocks({m_dockBar}, {CDockPageBar::kInitialSize}, Qt::Vertical);
    connect(m_dockBar, &CDockPageBar::closedByOperator, this,
            [this] { RecordStatusBarPlacement(); });
    return true;
}

namespace {

// The statistics group of the status view: a text for each check that runs.
void FillStatisticsTexts(const stats::FrameStatistics* statistics,
                         mainframe::StatusSnapshot::Statistics& out) {
    std::optional<mainframe::StatusText>* fields[stats::kCheckCount] = {
        &out.frameCount, &out.idCount, &out.timeContinuity};
    for (auto* text : fields) text->reset();
    if (!statistics) return;
    const stats::StatisticsReadout r = statistics->Readout();
    const std::array<std::string, stats::kCheckCount> texts = stats::StatisticsTexts(r);
    for (std::size_t i = 0; i < stats::kCheckCount; ++i)
        if (r.running[i]) *fields[i] = mainframe::StatusText(texts[i].c_str());
}

}  // namespace

void CMainFrame::FillStatusSnapshot(StatusSnapshot& s) const {
    if (m_recordingFiles) {
        s.beforeDecryptionBytes = m_recordingFiles->BeforeDecryptionBytes();
        s.sentDataBytes = m_recordingFiles->SentDataBytes();
    }
    s.broadcastOn = m_bFullFrameBroadcast != 0;
    s.gnssMulticastOn = m_bGpsMulticast != 0;
    s.telemetryOn = m_bTelemetrySending != 0;
    FillStatisticsTexts(m_frameStats.get(), s.statistics);
    if (m_bitErrors) {
        const stats::BitErrorReadout r = m_bitErrors->Readout();
        s.bitErrorRunning = m_bBitErrorOn && r.running;
        s.bitErrorShowCount = m_para.bitError.displayMode == 1;
        s.comparedBits = double(r.comparedBits);
        s.errorBits = double(r.errorBits);
        s.bitErrorIdle = r.idle;
    }
    s.ringLostFrames = m_losses.RingLostFrames();
    s.sendDroppedFrames = m_losses.SendDroppedFrames();
    FillNetworkStatus(s);
    // No monitoring link: its lamp stays off.
}

void CMainFrame::LoadConfigurationAtStartup() {
    LoadWindowPos();
    LoadBitErrorConfig();
    LoadScreenshotConfig();
    LoadNetworkConfig();
    LoadNetworkSendConfig();
    LoadFrameCountConfig();
    LoadIdCountConfig();
    LoadTimeContinuityConfig();
    LoadGnssConfig();
    LoadGpsChannels();
}

void CMainFrame::StartWindowTimers() {
    SetTimer(TIMER_REFRESH, 250);
    SetTimer(TIMER_BAR_PLACEMENT, 250);
    SetTimer(TIMER_OPEN_VIEWS, 3000);
}

void CMainFrame::InitGnssSearch() {
    // The satellite-navigation search starts from 8, 4, 32 and positions 1-4.
    InitGnssSearchLibrary();
}

void CMainFrame::StartMultimediaTimers() {
    // The replay pacing rests while no software replay runs; starting one
    // wakes it, and each tick wakes it again while the replay lasts.
    if (!m_replayTimer.StartResting(5, [this] { OnReplayPacingTick(); }))
        plat::MessageBox("取数不能定时", "Talvora", plat::MB_OK);
    if (!m_linkMonitorTimer.Start(1000, [this] { OnLinkMonitorTick(); }))
        plat::MessageBox("链监数据发送定时器不能定时！", "Talvora", plat::MB_OK);
    // Each tick takes every whole packet; the sender then rests until the
    // data path appends again.
    if (!m_telemetryTimer.StartResting(1, [this] { OnTelemetrySendTick(); }))
        plat::MessageBox("遥测数据发送定时器不能定时！", "Talvora", plat::MB_OK);
}

void CMainFrame::RestoreOpenWindows() {
    using cfg::PlacedWindow;
    if (m_windowPos[PlacedWindow::BCDCurveWnd].open) PostCommand(ID_RAW_CURVE);
    if (m_windowPos[PlacedWindow::BCDTableWnd].open) PostCommand(ID_RAW_TABLE);
    if (m_windowPos[PlacedWindow::DealCurveWnd].open) PostCommand(ID_PARAM_CURVE);
    if (m_windowPos[PlacedWindow::DealTableWnd].open) PostCommand(ID_PARAM_TABLE);
}

bool CMainFrame::AnyDataWindowOpen() const {
    for (FrameView v : {FrameView::RawCurve, FrameView::RawTable, FrameView::RawHistogram,
                        FrameView::ParamCurve, FrameView::ParamTable}) {
        if (m_views[static_cast<std::size_t>(v)].open) return true;
    }
    return m_bGnssSearchOn != 0;
}

bool CMainFrame::event(QEvent* e) {
    if (e->type() == WinMsgEvent::EventType()) {
        auto* m = static_cast<WinMsgEvent*>(e);
        OnWindowMessage(m->msg, m->wparam, m->lparam);
        return true;
    }
    return QMainWindow::event(e);
}

#include "headless_station.h"

#include <bbdevice/bbdevice.h>
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <netout/config_settings.h>
#include <netout/network_output.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <platform/profile.h>
#include <pthread.h>
#include <recording/dat_files.h>
#include <recording/recording_files.h>
#include <session/card_session.h>
#include <stats/frame_statistics.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace headless {

namespace {

constexpr const char* kCaption = "Talvora";
constexpr const char* kSection = "Headless";

std::atomic<HeadlessStation*> g_station{nullptr};

void Box(const std::string& text, unsigned type = plat::MB_OK) {
    plat::MessageBox(text, kCaption, type);
}

}  // namespace

// Statistics, network output and recording; the window-only consumers keep
// the base class's empty work.
class HeadlessConsumers : public datapath::DataConsumers {
public:
    HeadlessConsumers(stats::FrameStatistics& statistics, const std::atomic<int>& telemetryOn)
        : stats_(statistics), telemetryOn_(telemetryOn) {}
    void Attach(netout::NetworkOutput* network, recording::RecordingFiles* files) {
        network_ = network;
        recording_ = files;
    }
    void CountFrames(const std::uint8_t* d, std::size_t n,
                     const datapath::DataGeometry& g) override {
        stats_.CountFrames(d, n, g);
    }
    void CountIds(const std::uint8_t* d, std::size_t n, const datapath::DataGeometry& g) override {
        stats_.CountIds(d, n, g);
    }
    void CheckTimeContinuity(const std::uint8_t* d, std::size_t n, const datapath::DataGeometry& g,
                             std::uint32_t bitRate) override {
        stats_.CheckTimeContinuity(d, n, g, bitRate);
    }
    bool TelemetrySendingOn() override {
        return network_ && telemetryOn_.load() != 0 && network_->TelemetryReady();
    }
    void SendTelemetryDatagram(const std::uint8_t* d, std::size_t n) override {
        if (network_) network_->SendReplayTelemetry(d, n);
    }
    bool BroadcastEndpointReady() override { return network_ && network_->BroadcastReady(); }
    void SendBroadcastDatagram(const std::uint8_t* d, std::size_t n) override {
        if (network_) network_->SendBroadcast(d, n);
    }
    bool BeforeDecryptionFileOpen() override {
        return recording_ && recording_->BeforeDecryptionOpen();
    }
    std::size_t WriteBeforeDecryptionFile(const std::uint8_t* d, std::size_t n) override {
        return recording_ ? recording_->WriteBeforeDecryption(d, n) : 0;
    }

private:
    stats::FrameStatistics& stats_;
    const std::atomic<int>& telemetryOn_;
    netout::NetworkOutput* network_ = nullptr;
    recording::RecordingFiles* recording_ = nullptr;
};

HeadlessSwitches LoadHeadlessSwitches(const std::string& moduleDir) {
    const std::string ini = cfg::ParaIniPath(moduleDir);
    auto on = [&](const char* key, bool def) {
        return plat::GetPrivateProfileInt(kSection, key, def ? 1 : 0, ini) == 1;
    };
    HeadlessSwitches s;
    s.recording = on("Recording", true);
    s.telemetry = on("Telemetry", true);
    s.fullFrameBroadcast = on("FullFrameBroadcast", false);
    s.frameCountStat = on("FrameCountStat", false);
    s.idStat = on("IdStat", false);
    s.timeStat = on("TimeStat", false);
    return s;
}

HeadlessStation::HeadlessStation()
    : m_taskInfo(std::make_unique<TaskInfoRecord>()),
      m_demParam(std::make_unique<DemTaskRecord>()),
      m_simParam(std::make_unique<SimTaskRecord>()),
      m_timeParam(std::make_unique<TimeTaskRecord>()),
      m_rcvParam(std::make_unique<RecvTaskRecord>()) {}

HeadlessStation::~HeadlessStation() {
    if (m_started && !m_stopped) Stop();
    HeadlessStation* self = this;
    g_station.compare_exchange_strong(self, nullptr);
}

int HeadlessStation::DemDataCallback(DemReportBlock* block) {
    HeadlessStation* s = g_station.load();
    if (!s || !block || !s->m_dataPath) return 0;
    s->m_receivedBytes.fetch_add(block->byteCount, std::memory_order_relaxed);
    // The data path takes at most kMaxCardBlock bytes at a time and cuts the
    // rest; the library hands over all that waited (up to 2 MB) when this
    // thread fell behind, so a long block goes in pieces of whole
    // superframes. A superframe longer than a data-path block goes whole.
    const std::size_t superframe = s->m_dataPath->Geometry().superframeRecord;
    const std::size_t piece = superframe != 0 && superframe <= datapath::kMaxCardBlock
                                  ? datapath::kMaxCardBlock / superframe * superframe
                                  : std::size_t{block->byteCount};
    const std::uint8_t* at = block->data;
    for (std::size_t left = block->byteCount; left != 0;) {
        const std::size_t n = left < piece ? left : piece;
        s->m_dataPath->OnCardBlock(at, n);
        at += n;
        left -= n;
    }
    return 0;
}

bool HeadlessStation::Start(const HeadlessOptions& o, int* exitCode) {
    *exitCode = 1;
    // One copy per user session, windowed or not.
    bool exists = false;
    m_instance = mainframe::SingleInstanceLock::Create(mainframe::InstanceRuntimeDir(),
                                                       mainframe::kInstanceMutexName, &exists);
    if (exists) {
        Box("应用程序已经运行！");
        return false;
    }
    // A named task is looked up before anything starts, so a run refused for
    // an unknown name leaves the stored working state alone.
    std::unique_ptr<taskbook::TaskRecords> named;
    if (!o.task.empty() && !(named = LoadTask(o.task))) {
        *exitCode = 2;
        return false;
    }

    m_buffers.Allocate();
    m_dataBuffers.Allocate();
    m_frameStats =
        std::make_unique<stats::FrameStatistics>(m_bFrameCountStatOn, m_bIdStatOn, m_bTimeStatOn);
    // Nobody reads a report on a station without a screen.
    m_frameStats->SetReportOpener([](const std::string&) {});
    m_consumers = std::make_unique<HeadlessConsumers>(*m_frameStats, m_bTelemetrySending);
    datapath::DataPathBuffers buffers{.latestBlock = m_buffers.FrameA(),
                                      .afterDecryptionBlock = m_buffers.FrameB(),
                                      .assembly = m_dataBuffers.superframe.get(),
                                      .assemblyCount = &m_dataBuffers.superframeCount,
                                      .sendBuffer = m_dataBuffers.send.get(),
                                      .sendFill = &m_dataBuffers.sendFill,
                                      .sendLock = &m_dataBuffers.sendLock};
    datapath::DataPathFlags flags{.cardOpen = m_bCardOpen,
                                  .cardInitialising = m_bCardInitialising,
                                  .replayRunning = m_bReplayRunning,
                                  .replayKind = m_nReplayKind,
                                  .afterDecryption = m_bAfterDecryption,
                                  .recording = m_bRecording,
                                  .paramsApplied = m_bParamsApplied,
                                  .standardFrameReady = m_bStdFrameCaptured,
                                  .bitErrorOn = m_bBitErrorOn,
                                  .frameCountStatOn = m_bFrameCountStatOn,
                                  .idStatOn = m_bIdStatOn,
                                  .timeStatOn = m_bTimeStatOn,
                                  .gnssSearchOn = m_bGnssSearchOn,
                                  .gnssMulticastOn = m_bGpsMulticast,
                                  .fullFrameBroadcastOn = m_bFullFrameBroadcast};
    m_dataPath =
        std::make_unique<datapath::DataPath>(m_demParam->dem, buffers, flags, *m_consumers);

    netout::SenderInputs in;
    in.sendingOn = &m_bTelemetrySending;
    in.syncLossCount = &m_dataPath->syncLossCount;
    in.bitSync = &m_bBitSyncLock;
    in.subframeSync = &m_bSubframeSyncLock;
    in.superframeSync = &m_bSuperframeSyncLock;
    in.dayOfYear = &m_dataPath->dayOfYear;
    datapath::DataPath* path = m_dataPath.get();
    in.geometry = [path] { return path->Geometry(); };
    in.sendBuffer = &m_dataPath->Send();
    m_dataPath->Send().SetWakeHook([this] { m_telemetryTimer.Wake(); });
    netout::OutputHooks hooks;
    hooks.report = [](const std::string& text) { Box(text, plat::MB_OK | plat::MB_ICONWARNING); };
    hooks.log = [](const std::string& text) { applog::PostLog(text); };
    hooks.sentData = [this](const std::uint8_t* d, std::size_t n) {
        if (m_recordingFiles) m_recordingFiles->WriteSentData(d, n);
    };
    m_network = std::make_unique<netout::NetworkOutput>(std::move(in), std::move(hooks));
    m_recordingFiles = std::make_unique<recording::RecordingFiles>();
    m_recordingFiles->SetWriteFailureHandler([this] { m_bWriteFailed = true; });
    m_consumers->Attach(m_network.get(), m_recordingFiles.get());

    g_station = this;
    m_dataPath->Attach();
    applog::StartSystemLog();
    m_started = true;

    m_strModuleDir = plat::ModuleDirectory();
    m_para.storage = cfg::DefaultStorageConfig(m_strModuleDir);
    session::TaskRecordSet records{.info = m_taskInfo.get(),
                                   .dem = m_demParam.get(),
                                   .sim = m_simParam.get(),
                                   .time = m_timeParam.get(),
                                   .recv = m_rcvParam.get()};
    session::SessionFlags sflags{.cardOpen = m_bCardOpen,
                                 .cardInitialising = m_bCardInitialising,
                                 .paramsApplied = m_bParamsApplied,
                                 .streamNo = m_nStreamNo,
                                 .recording = m_bRecording,
                                 .replayRunning = m_bReplayRunning,
                                 .frameCountStatOn = m_bFrameCountStatOn,
                                 .idStatOn = m_bIdStatOn,
                                 .timeStatOn = m_bTimeStatOn,
                                 .bitErrorOn = m_bBitErrorOn,
                                 .stdFrameCaptured = m_bStdFrameCaptured,
                                 .afterDecryption = m_bAfterDecryption,
                                 .decryptionSwitch = m_bDecryptionSwitch,
                                 .liftOffEnable = m_bLiftOffEnable};
    session::SessionHooks shooks;
    shooks.resetSuperframeAssembly = [path] { path->ResetAssembly(); };
    shooks.demodulatorRecordChanged = [path](const DemParam& dem) {
        path->SetDemodulatorRecord(dem);
    };
    m_session = std::make_unique<session::CardSession>(records, sflags, std::move(shooks),
                                                       &HeadlessStation::DemDataCallback);

    // Configuration; a Para.ini that cannot be read leaves every default.
    const std::string ini = cfg::ParaIniPath(m_strModuleDir);
    if (!ConfigFileReadable(ini)) {
        applog::PostLog("Para.ini无法读取，使用默认设置！");
        std::fprintf(stderr, "Talvora: %s cannot be read; running with the defaults\n",
                     ini.c_str());
    }
    m_para.network = cfg::LoadNetworkConfig(m_strModuleDir);
    m_para.networkSend = cfg::LoadNetworkSendConfig(m_strModuleDir);
    m_para.frameCount = cfg::LoadFrameCountConfig(m_strModuleDir);
    m_para.idCount = cfg::LoadIdCountConfig(m_strModuleDir);
    m_para.timeContinuity = cfg::LoadTimeContinuityConfig(m_strModuleDir);
    m_switches = LoadHeadlessSwitches(m_strModuleDir);

    m_network->SetHeaderSettings(netout::HeaderSettingsOf(m_para.networkSend));
    m_network->Open(netout::NetworkSettingsOf(m_para.network));
    m_bThreadRun = 1;

    // The task: the store's default, or the one named on the command line.
    if (o.task.empty()) {
        GetDefaultTaskPara(m_taskInfo.get(), m_demParam.get(), m_simParam.get(), m_timeParam.get(),
                           m_rcvParam.get(), m_session->Stream());
    } else {
        const taskbook::StreamRecords& s = named->streams[m_session->Stream() - 1];
        *m_taskInfo = named->info;
        *m_demParam = s.dem;
        *m_simParam = s.sim;
        *m_timeParam = s.time;
        *m_rcvParam = s.recv;
    }
    m_dataPath->SetDemodulatorRecord(m_demParam->dem);
    m_session->SaveWorkingState();

    m_bCardOpenThreadBusy = true;
    m_cardOpenThread = std::thread([this] {
        pthread_setname_np(pthread_self(), "card-open");
        m_session->OpenCard();
        m_bCardInitialising = 0;
        m_bCardOpenThreadBusy = false;
    });
    m_receiveThread = std::thread([this] {
        pthread_setname_np(pthread_self(), "net-receive");
        while (m_bThreadRun)
            if (!m_network->ReceiveOnce(50))
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    if (!m_linkMonitorTimer.Start(1000, [this] { m_network->OnLinkMonitorTick(); }))
        Box("链监数据发送定时器不能定时！");
    if (!m_telemetryTimer.StartResting(1, [this] { m_network->OnTelemetryTick(); }))
        Box("遥测数据发送定时器不能定时！");
    m_bTelemetrySending = m_switches.telemetry ? 1 : 0;
    m_bFullFrameBroadcast = m_switches.fullFrameBroadcast ? 1 : 0;
    *exitCode = 0;
    return true;
}

std::unique_ptr<taskbook::TaskRecords> HeadlessStation::LoadTask(const std::string& name) {
    taskbook::TaskStore& store = taskbook::TaskStore::Instance();
    const auto list = store.TaskList();
    bool found = false;
    if (list)
        for (const auto& t : *list) found = found || t.name == name;
    auto task = std::make_unique<taskbook::TaskRecords>();
    if (found && store.Load(name, *task)) return task;
    std::fprintf(stderr, "Talvora: there is no task named \"%s\". Tasks:\n", name.c_str());
    if (list)
        for (const auto& t : *list) std::fprintf(stderr, "  %s\n", t.name.c_str());
    return nullptr;
}

void HeadlessStation::ReadCardState() {
    const DemParam dem = m_dataPath->DemodulatorRecord();
    DemStatus status{};
    if (BB_GetDemStatus(0, 0, &status)) {
        const mainframe::LockReading r = m_lockWatch.Update(status, dem.数据源, dem.副帧类型 != 0);
        m_bBitSyncLock = r.flags.bitSync;
        m_bSubframeSyncLock = r.flags.subframeSync;
        m_bSuperframeSyncLock = r.flags.superframeSync;
        m_dataPath->syncLossCount = r.syncLossCount;
    }
    TimeSystemTime time{};
    if (BB_GetTimeSystemTime(0, &time, dem.时统模式 & 0xFFu)) m_dataPath->dayOfYear = time.time.day;
}

void HeadlessStation::StartRecording() {
    m_para.storage = cfg::LoadStorageConfig(m_strModuleDir);
    const recording::RecordingSettings s{m_para.storage.beforeDir,
                                         m_para.storage.beforeEnabled != 0,
                                         m_para.storage.beforeHeaderOption};
    switch (m_recordingFiles->Start(s, m_dataPath->DemodulatorRecord(),
                                    m_session->headerLiftOffDay.load(), recording::LocalNow())) {
        case recording::StartResult::Started:
            m_bRecording = 1;
            m_recordingFile = m_recordingFiles->BeforeDecryptionPath();
            applog::PostLogF("开始存盘：%s", m_recordingFile.c_str());
            break;
        case recording::StartResult::Failed:
            Box("文件创建失败！请确认文件路径是否正确：\n" + m_recordingFiles->FailedPath(),
                plat::MB_OK | plat::MB_ICONERROR);
            break;
        case recording::StartResult::Disabled:
            break;
    }
}

void HeadlessStation::StartChecks() {
    const datapath::DataGeometry g = m_dataPath->Geometry();
    auto refuse = [](const std::string& text) {
        if (text.empty()) return false;
        Box(text, plat::MB_OK | plat::MB_ICONWARNING);
        return true;
    };
    if (m_switches.frameCountStat) {
        const cfg::FrameCountConfig& c = m_para.frameCount;
        const auto high = static_cast<std::uint32_t>(c.highWordEnabled ? c.highWordPos : 0);
        const auto low = static_cast<std::uint32_t>(c.lowWordPos);
        if (!refuse(stats::FrameCountRefusal(g, high, low)))
            m_frameStats->StartFrameCount(m_strModuleDir, high, low);
    }
    if (m_switches.idStat) {
        const auto pos = static_cast<std::uint32_t>(m_para.idCount.idWordPos);
        if (!refuse(stats::IdCountRefusal(g, pos))) m_frameStats->StartIdCount(m_strModuleDir, pos);
    }
    if (m_switches.timeStat && !refuse(stats::TimeContinuityRefusal(g, g.codeRate)))
        m_frameStats->StartTimeContinuity(m_strModuleDir);
}

void HeadlessStation::StartConfiguredWork() {
    if (m_workStarted || !m_bCardOpen || m_bCardInitialising) return;
    m_workStarted = true;
    if (m_switches.recording) StartRecording();
    StartChecks();
}

std::array<std::optional<int>, 3> HeadlessStation::Jumps() const {
    std::array<std::optional<int>, 3> j{};
    const stats::StatisticsReadout r = m_frameStats->Readout();
    for (std::size_t i = 0; i < j.size(); ++i)
        if (r.running[i]) j[i] = r.jumps[i];
    return j;
}

void HeadlessStation::PrintStatus() {
    const std::uint64_t bytes = m_receivedBytes.load();
    const std::size_t record = m_dataPath->Geometry().subframeRecord;
    const std::uint64_t frames = record ? (bytes - m_lastBytes) / record : 0;
    m_lastBytes = bytes;
    m_frames += frames;
    StatusSample s;
    s.seconds = m_seconds;
    s.bitSync = m_bBitSyncLock != 0;
    s.subframeSync = m_bSubframeSyncLock != 0;
    s.superframeSync = m_bSuperframeSyncLock != 0;
    s.syncLoss = m_dataPath->syncLossCount.load();
    s.dayOfYear = m_dataPath->dayOfYear.load();
    s.framesPerSecond = frames;
    s.recordedBytes = static_cast<std::uint64_t>(m_recordingFiles->BeforeDecryptionBytes());
    s.packetsSent = m_network->Readout().packetsSent;
    s.jumps = Jumps();
    std::printf("%s\n", FormatStatusLine(s).c_str());
    std::fflush(stdout);
}

void HeadlessStation::Tick() {
    ReadCardState();
    StartConfiguredWork();
    // A failed write ends the recording with a header that counts what is in
    // the file.
    if (m_bWriteFailed.exchange(false) && m_bRecording) {
        m_bRecording = 0;
        m_recordingFiles->Stop(m_dataPath->DemodulatorRecord(), recording::LocalNow());
        Box("文件写入失败，已停止存盘：\n" + m_recordingFile, plat::MB_OK | plat::MB_ICONERROR);
    }
    if (++m_ticks % 10 == 0) {
        ++m_seconds;
        PrintStatus();
    }
}

void HeadlessStation::Stop() {
    if (!m_started || m_stopped) return;
    m_stopped = true;
    m_bThreadRun = 0;
    RunSummary sum;
    // Recording stops first: the data file gets its final header.
    if (m_bRecording) {
        m_bRecording = 0;
        m_recordingFiles->Stop(m_dataPath->DemodulatorRecord(), recording::LocalNow());
    }
    // The records in the closed file, header excluded.
    std::error_code ec;
    if (!m_recordingFile.empty())
        if (const auto size = std::filesystem::file_size(m_recordingFile, ec); !ec) {
            const std::uintmax_t header = m_para.storage.beforeHeaderOption == 0 ? 1024 : 0;
            sum.recordedBytes = size > header ? size - header : 0;
        }
    m_session->SaveWorkingState();
    // An open under way ends first, so none succeeds after the close.
    if (m_cardOpenThread.joinable()) {
        m_session->CancelOpen();
        m_cardOpenThread.join();
    }
    if (m_bCardOpen && !m_session->CloseCard()) Box("基带卡关闭失败！\n\n");
    m_dataPath->Detach();  // no block goes into freed buffers
    const std::uint64_t bytes = m_receivedBytes.load();
    const std::size_t record = m_dataPath->Geometry().subframeRecord;
    sum.seconds = m_seconds;
    sum.frames = record ? bytes / record : 0;
    sum.jumps = Jumps();
    m_frameStats->StopAll();
    m_buffers.Free();
    m_network->Close();
    sum.packetsSent = m_network->Readout().packetsSent;
    sum.recordingFile = m_recordingFile;
    applog::StopSystemLog();
    m_linkMonitorTimer.Kill();
    m_telemetryTimer.Kill();
    m_dataBuffers.Free();
    if (m_receiveThread.joinable()) m_receiveThread.join();
    m_instance.reset();
    std::printf("%s\n", FormatSummary(sum).c_str());
    std::fflush(stdout);
}

}  // namespace headless

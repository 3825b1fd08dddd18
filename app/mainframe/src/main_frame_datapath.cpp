// The frame's side of the acquisition data path: the device library's data
// callback, the 250 ms refresh of the raw table, the raw table command
// (32774), the after-decryption choice (32785) and the replay feed's pacing
// and ticks. The data path itself is plain C++ in app/datapath.
#include <bbdevice/bbdevice.h>
#include <bbdevice/dem_report.h>
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <platform/notify.h>
#include <rawgrid/table_wnd_class.h>
#include <recording/recording_files.h>
#include <stats/bit_error_measurement.h>
#include <stats/frame_statistics.h>
#include <taskbook/task_records.h>

#include <QMdiArea>
#include <QMdiSubWindow>

#include "command_ids.h"
#include "frame_consumers.h"
#include "main_frame.h"

using namespace mainframe;

namespace {

// Repaint period of the raw table window; the data arrive every 250 ms.
constexpr unsigned kTableRepaintMs = 100;

}  // namespace

const DemParam& CMainFrame::CurrentDemParam() const {
    return m_demParam->dem;
}

// The data path over the buffers just allocated. It takes
// blocks once the frame pointer is published.
void CMainFrame::CreateDataPath() {
    m_frameStats =
        std::make_unique<stats::FrameStatistics>(m_bFrameCountStatOn, m_bIdStatOn, m_bTimeStatOn);
    auto consumers = std::make_unique<CFrameConsumers>(*m_frameStats);
    CFrameConsumers& frameConsumers = *consumers;
    m_dataConsumers = std::move(consumers);
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
        std::make_unique<datapath::DataPath>(CurrentDemParam(), buffers, flags, *m_dataConsumers);
    m_bitErrors = std::make_unique<stats::BitErrorMeasurement>();
    frameConsumers.AttachBitErrors(*m_bitErrors, *m_dataPath);
    frameConsumers.AttachParamFrame(*m_dataPath);
    CreateNetworkOutput();
    m_recordingFiles = std::make_unique<recording::RecordingFiles>();
    m_recordingFiles->SetWriteFailureHandler([this](const recording::FileFailure& failure) {
        // Journalled at once: the box waits for the GUI thread.
        applog::PostLog(recording::FailureJournalLine(failure));
        QMetaObject::invokeMethod(
            this, [this, failure] { OnRecordingWriteFailed(failure); }, Qt::QueuedConnection);
    });
    frameConsumers.AttachRecording(*m_recordingFiles);
    m_replayReader = std::make_unique<datapath::FileReplayReader>();
}

// The device library's data callback (report thread).
int CMainFrame::DemDataCallback(DemReportBlock* block) {
    CMainFrame* frame = Instance();
    if (!frame || !block || !frame->m_dataPath) return 0;
    frame->m_dataPath->OnCardBlock(block->data, block->byteCount);
    return 0;
}

// Timer 11: the histogram (once it exists) and the table get the frame of
// the current choice.
void CMainFrame::RefreshRawViews() {
    if (!m_dataPath) return;
    WatchLosses();
    // The time-continuity check takes the configured rate during a replay.
    m_dataPath->replayBitRate = static_cast<std::uint32_t>(m_para.timeContinuity.bitRate);
    if (!m_dataPath->RefreshAllowed()) return;
    RefreshRawHistogram();
    if (m_rawTable && View(FrameView::RawTable).open) {
        // The data path's copy: the record may be rewritten by the card-open
        // thread, and the shown frame must match what was assembled.
        datapath::FillFrameRecord(m_tableRecord, m_dataPath->DemodulatorRecord());
        if (const std::uint8_t* data = m_dataPath->RawViewData(m_tableRecord))
            m_rawTable->SetRawgridData(&m_tableRecord, const_cast<std::uint8_t*>(data), -1);
    }
}

// Frames dropped where the station could not keep up, for the status view;
// each episode goes into the journal once.
void CMainFrame::WatchLosses() {
    datapath::LossCounts now;
    now.ringKnown = m_bCardOpen && BB_GetDemLostBytes(static_cast<std::uint32_t>(m_nDevice), 0,
                                                      &now.ringBytes) != 0;
    now.sendBytes = m_dataPath->sendDroppedBytes.load();
    m_losses.Update(now, m_dataPath->Geometry().subframeRecord,
                    [](const std::string& line) { applog::PostLog(line); });
}

// Command 32774.
void CMainFrame::OpenRawTable() {
    ViewSlot& slot = View(FrameView::RawTable);
    if (slot.open && slot.wnd) {
        slot.wnd->showMaximized();
        return;
    }
    if (!m_rawTable) m_rawTable = std::make_unique<CTableWndClass>();
    if (!m_rawTable->GetTableWnd(-1)) {
        datapath::FillFrameRecord(m_tableRecord, m_dataPath->DemodulatorRecord());
        auto* wnd = static_cast<QWidget*>(
            m_rawTable->InitTableWnd(m_mdiArea, &m_tableRecord, kTableRepaintMs, -1, nullptr, 0));
        if (!wnd) return;
        // Right half of the client area, 300 below its top, a third of its
        // height; placed without activating it.
        const QRect client = m_mdiArea->viewport()->rect();
        wnd->setGeometry(client.width() / 2, client.top() + 300, client.width() / 2,
                         client.height() / 3);
        slot.wnd = wnd;
    }
    slot.open = 1;
    m_windowPos[cfg::PlacedWindow::BCDTableWnd].open = true;
}

// Command 32785.
void CMainFrame::OnAfterDecryptionChoice() {
    if (const char* refused = m_dataPath->ToggleAfterDecryption())
        plat::MessageBox(refused, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
}

// The 5 ms multimedia timer: wakes the replay feed every 10 ms during a
// software replay.
void CMainFrame::OnReplayPacingTick() {
    if (m_dataPath && m_dataPath->OnPacingTick())
        if (plat::NamedEvent* tick = m_events.ReplayTick()) tick->Set();
    if (m_bReplayRunning && m_nReplayKind == datapath::kSoftwareReplay) m_replayTimer.Wake();
}

// One tick of the replay-feed thread.
void CMainFrame::FeedReplayBlock() {
    m_replayFeedTicks.fetch_add(1, std::memory_order_relaxed);
    if (m_dataPath && m_dataPath->FeedReplay() == datapath::ReplayStep::Finished) {
        applog::PostLog(m_bTelemetrySending ? "软件回放结束：文件已放完，组播发送中心保持打开"
                                            : "软件回放结束：文件已放完");
        PostTimer(TIMER_REPLAY_DONE);
    }
}

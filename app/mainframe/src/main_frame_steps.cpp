// The frame's hooks into the card session, the views, recording and the
// network, called at their places in the start-up, run and exit sequences.
// Those without a body stand for parts the program does not have: no
// satellite-navigation window.
#include <bbdevice/dem_file.h>
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <netout/config_settings.h>
#include <netout/network_output.h>
#include <rawgrid/table_wnd_class.h>
#include <recording/dat_files.h>
#include <recording/recording_files.h>
#include <session/card_session.h>
#include <taskbook/taskbook.h>

#include "main_frame.h"

// From main_frame_network.cpp.

// Broadcast, unicast and multicast sockets and the GNSS service, from the
// network section read at start-up; the header values from the send section.
void CMainFrame::OpenNetworkEndpoints() {
    ApplyNetworkSendSettings();
    m_network->Open(netout::NetworkSettingsOf(m_para.network));
}

// Closes the sockets and the GNSS service; the timers may still tick.
void CMainFrame::CloseNetworkEndpoints() {
    if (m_network) m_network->Close();
}

// GetDefaultTaskPara into the five task records for the stream (1, 2, or 3
// for any other value).
void CMainFrame::FetchDefaultTask() {
    GetDefaultTaskPara(m_taskInfo.get(), m_demParam.get(), m_simParam.get(), m_timeParam.get(),
                       m_rcvParam.get(), m_session->Stream());
    if (m_dataPath) m_dataPath->SetDemodulatorRecord(m_demParam->dem);
}

// Saves the records as the task "当前任务".
void CMainFrame::SaveWorkingState() {
    m_session->SaveWorkingState();
}

// BB_OpenDevice and the first parameter apply (card-open thread).
void CMainFrame::OpenCard() {
    m_session->OpenCard();
}

// BB_CloseDevice; true on success.
bool CMainFrame::CloseCard() {
    return m_session->CloseCard();
}

// Ends a recording: the data file gets its final header under the file's
// lock, so no block from the data path lands in a closed file.
void CMainFrame::StopRecording() {
    if (!CloseRecordingFiles())
        ReportRecordingFailure(
            {recording::FileFailure::Kind::FinalHeader, m_recordingFiles->BeforeDecryptionPath()});
}

bool CMainFrame::CloseRecordingFiles() {
    const bool was = m_bRecording.exchange(0) != 0;
    if (!m_recordingFiles || !m_dataPath) return true;
    const std::string path = m_recordingFiles->BeforeDecryptionPath();
    const double bytes = m_recordingFiles->BeforeDecryptionBytes();
    const bool closed =
        m_recordingFiles->Stop(m_dataPath->DemodulatorRecord(), recording::LocalNow());
    if (was) applog::PostLogF("停止存盘：%s，已存%.0f字节", path.c_str(), bytes);
    return closed;
}

// Ends a replay that the card plays.
void CMainFrame::StopCardReplay() {
    m_bReplayRunning = 0;
    BB_StopFileReplay(static_cast<std::uint32_t>(m_nDevice));
}

// Creates the window, records its handle in View(v).wnd and sets
// View(v).open.
void CMainFrame::OpenView(FrameView v) {
    switch (v) {
        case FrameView::SignalSpectrum:
            OpenSignalPlot();
            break;
        case FrameView::RawTable:
            OpenRawTable();
            break;
        case FrameView::RawCurve:
            OpenRawCurve();
            break;
        case FrameView::RawHistogram:
            OpenRawHistogram();
            break;
        case FrameView::ParamCurve:
        case FrameView::ParamTable:
        case FrameView::ParamStripe:
            OpenParamView(v);
            break;
        default:
            break;
    }
}

// Deletes the view object after its window closed.
void CMainFrame::DeleteViewObject(FrameView v) {
    if (v == FrameView::RawTable && !View(v).open) m_rawTable.reset();
    if (v == FrameView::RawCurve && !View(v).open) DeleteRawCurveObject();
    if (v == FrameView::RawHistogram && !View(v).open) DeleteRawHistogramObject();
}

// The apply notification (window message 1204) with its apply code.
void CMainFrame::ApplyTaskParameters(std::uintptr_t code) {
    if (code <= 0x7FFFFFFF) m_session->OnApplyNotification(static_cast<int>(code));
}

// The 1000 ms link-monitor packet.
void CMainFrame::OnLinkMonitorTick() {
    if (m_network) m_network->OnLinkMonitorTick();
}

// Drains the send buffer into packets.
void CMainFrame::OnTelemetrySendTick() {
    if (m_network) m_network->OnTelemetryTick();
}

// Receives link-monitor and lift-off packets;
// false when there is no socket to wait on.
bool CMainFrame::ReceiveNetworkPackets() {
    return m_network && m_network->ReceiveOnce(50);
}

// Every telemetry packet that went out is added to the sent-data file while a
// recording runs (sender thread; the files take their own lock).
void CMainFrame::WriteSentDataFile(const std::uint8_t* data, std::size_t length) {
    if (m_recordingFiles) m_recordingFiles->WriteSentData(data, length);
}

// Recording (32780), its storage settings (32825) and the data replay
// (32787): the frame's side of the recording files and of both replay kinds.
#include <bbdevice/dem_file.h>
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <platform/notify.h>
#include <recording/dat_files.h>
#include <recording/recording_files.h>
#include <session/card_session.h>

#include <QCoreApplication>
#include <QDialog>
#include <QThread>
#include <cstdio>

#include "main_frame.h"
#include "replay_dlg.h"
#include "storage_dlg.h"

namespace {

constexpr const char* kCaption = "Talvora";

std::string Formatted(const char* format, const std::string& path) {
    std::vector<char> buf(path.size() + 256);
    std::snprintf(buf.data(), buf.size(), format, path.c_str());
    return buf.data();
}

const char* ReplayKindName(int kind) {
    return kind == datapath::kCardReplay ? "硬件回放" : "软件回放";
}

}  // namespace

void CMainFrame::OnFileStorage() {
    if (!m_bRecording) {
        StartRecording();
        return;
    }
    if (plat::MessageBox("停止存盘?", kCaption, plat::MB_YESNO | plat::MB_ICONQUESTION) ==
        plat::IDYES)
        StopRecording();
}

void CMainFrame::StartRecording() {
    if (!m_recordingFiles || !m_dataPath) return;
    LoadStorageConfig();
    // Only the data before decryption are recorded; the stored setting stays.
    m_para.storage.afterEnabled = 0;
    const recording::RecordingSettings s{m_para.storage.beforeDir,
                                         m_para.storage.beforeEnabled != 0,
                                         m_para.storage.beforeHeaderOption};
    const std::uint32_t liftOffDay = m_session ? m_session->headerLiftOffDay.load() : 0;
    switch (m_recordingFiles->Start(s, m_dataPath->DemodulatorRecord(), liftOffDay,
                                    recording::LocalNow())) {
        case recording::StartResult::Started:
            m_bRecording = 1;
            applog::PostLogF("开始存盘：%s", m_recordingFiles->BeforeDecryptionPath().c_str());
            break;
        case recording::StartResult::Failed:
            plat::MessageBox(Formatted("文件创建失败！请确认文件路径是否正确：\n%s ",
                                       m_recordingFiles->FailedPath()),
                             kCaption, plat::MB_OK | plat::MB_ICONERROR);
            break;
        case recording::StartResult::HeaderFailed:
            ReportRecordingFailure(
                {recording::FileFailure::Kind::FirstHeader, m_recordingFiles->FailedPath()});
            break;
        case recording::StartResult::Disabled:
            break;
    }
}

// A write failed (posted from the writer's thread, which journalled it). A
// failed data file ends the recording with a header that counts the records
// really in the file; a failed sent-data file is closed already and the
// recording goes on.
void CMainFrame::OnRecordingWriteFailed(const recording::FileFailure& failure) {
    if (!m_recordingFiles) return;
    bool headerWritten = true;
    // A recording stopped or started again since then is left as it is.
    if (failure.kind == recording::FileFailure::Kind::DataWrite && m_bRecording &&
        failure.path == m_recordingFiles->BeforeDecryptionPath())
        headerWritten = CloseRecordingFiles();
    ReportRecordingFailure(failure, false);
    if (!headerWritten)
        ReportRecordingFailure(
            {recording::FileFailure::Kind::FinalHeader, m_recordingFiles->BeforeDecryptionPath()});
}

void CMainFrame::ReportRecordingFailure(const recording::FileFailure& failure, bool journal) {
    if (journal) applog::PostLog(recording::FailureJournalLine(failure));
    plat::MessageBox(recording::FailureMessage(failure), kCaption,
                     plat::MB_OK | plat::MB_ICONERROR);
}

void CMainFrame::OnStorageSettings() {
    LoadStorageConfig();
    CStorageDlg dlg(this, m_para.storage);
    if (dlg.exec() != QDialog::Accepted) return;
    m_para.storage = dlg.Settings();
    SaveStorageConfig();
}

// Lets a data-thread consumer's message box through while a replay start or
// stop waits for the block in flight.
void CMainFrame::PumpWhileWaitingForBlock() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CMainFrame::StopReplay() {
    const int kind = m_nReplayKind;
    // Takes effect between two blocks: the replay block in flight is
    // dispatched whole before the card's next block is taken.
    if (m_dataPath)
        m_dataPath->EndReplay([this] { PumpWhileWaitingForBlock(); });
    else
        m_bReplayRunning = 0;
    m_bTelemetrySending = 0;
    applog::PostLogF("%s停止：%s，组播发送中心关闭", ReplayKindName(kind), m_replay.path.c_str());
    if (kind == datapath::kSoftwareReplay) {
        // The reader closes under its own lock: a read under way finishes first.
        if (m_replayReader) m_replayReader->Close();
    } else if (kind == datapath::kCardReplay) {
        BB_StopFileReplay(static_cast<std::uint32_t>(m_nDevice));
        m_replay.loop = false;
    }
}

void CMainFrame::OnDataReplay() {
    auto refuse = [](const char* text) {
        plat::MessageBox(text, kCaption, plat::MB_OK | plat::MB_ICONWARNING);
    };
    if (m_bRecording) return refuse("正在进行数据存盘，请先停止数据存盘。");
    if (m_bFrameCountStatOn) return refuse(datapath::kFrameCountRunningText);
    if (m_bIdStatOn) return refuse(datapath::kIdCountRunningText);
    if (m_bTimeStatOn) return refuse(datapath::kTimeContinuityRunningText);
    if (m_bReplayRunning) {
        StopReplay();
        return;
    }
    LoadReplayConfig();
    const DemParam dem = m_dataPath->DemodulatorRecord();
    CReplayDlg dlg(this, dem, m_para.replay.loop != 0, m_para.replay.speed);
    if (dlg.exec() != QDialog::Accepted) {
        plat::MessageBox("已取消文件回放。", kCaption, plat::MB_OK | plat::MB_ICONINFORMATION);
        return;
    }
    const ReplayChoice& c = dlg.Choice();
    m_para.replay.loop = c.loop ? 1 : 0;
    m_para.replay.speed = c.speed;
    SaveReplayConfig();
    m_replay.path = c.path;
    m_replay.description = c.description;
    m_replay.dataOffset = c.headerLength;
    m_replay.kind = c.kind;
    m_replay.startRecord = c.startRecord;
    m_replay.recordCount = c.recordCount;
    m_replay.fileStartMs = c.fileStartMs;
    m_replay.fileEndMs = c.fileEndMs;
    m_replay.loop = c.loop;

    bool started = false;
    if (c.kind == datapath::kSoftwareReplay) {
        const datapath::FileReplayReader::Shape shape{c.headerLength, c.description.字长,
                                                      c.description.子帧长, c.description.副帧长,
                                                      c.description.码率};
        m_replayReader->SetSpeed(c.speed);
        started = m_replayReader->Open(c.path, shape, c.startRecord);
        if (started) {
            m_dataPath->SetReplayReader(m_replayReader.get());
            m_replay.softwareReader = m_replayReader.get();
        }
    } else {
        started = BB_StartupFileReplay(static_cast<std::uint32_t>(m_nDevice), c.path.c_str(),
                                       static_cast<std::uint32_t>(c.startRecord),
                                       static_cast<std::uint32_t>(c.startRecord >> 32),
                                       static_cast<std::uint32_t>(c.recordCount),
                                       static_cast<std::uint32_t>(c.recordCount >> 32),
                                       &m_replay.description, c.headerLength) != 0;
    }
    if (!started) return;
    // A software replay is dispatched with its file's time-tag format.
    m_dataPath->BeginReplay(c.kind, c.description.配时精度, [this] { PumpWhileWaitingForBlock(); });
    // The replayed data go out as telemetry; the journal says so, since the
    // output may stay on after the replay.
    const bool wasSending = m_bTelemetrySending.exchange(1) != 0;
    applog::PostLogF("%s开始：%s", ReplayKindName(c.kind), c.path.c_str());
    if (!wasSending) applog::PostLog("数据回放打开了组播发送中心");
    m_replayTimer.Wake();
}

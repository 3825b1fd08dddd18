// Closing the frame: the operator's confirmation and the exit sequence.
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <platform/notify.h>

#include <QCloseEvent>
#include <QThread>
#include <QTimer>

#include "command_ids.h"
#include "main_frame.h"
#include "qt_winmsg.h"

using namespace mainframe;

namespace {
void Pause(unsigned ms) {
    QThread::msleep(ms);
}
}  // namespace

bool CMainFrame::ConfirmExit() {
    return plat::MessageBox("你确定要退出软件！", "Talvora",
                            plat::MB_OKCANCEL | plat::MB_ICONQUESTION) == plat::IDOK;
}

void CMainFrame::CloseWithoutAsking() {
    m_bAskOnClose = false;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_bExitDone || !m_bCreated) {
        event->accept();
        return;
    }
    if (m_bAskOnClose && !ConfirmExit()) {
        event->ignore();
        return;
    }
    m_bThreadRun = 0;
    event->accept();
    RunExitSequence();
}

void CMainFrame::RunExitSequence() {
    emit exitConfirmed();
    // Recording and a card replay stop first.
    if (m_bRecording) StopRecording();
    if (m_bReplayRunning && m_nReplayKind == 2) StopCardReplay();
    // Working state and window placement.
    SaveWorkingState();
    SaveWindowPos();
    // Replay pacing off, then wake the replay-feed thread to end.
    m_replayTimer.Kill();
    Pause(10);
    if (auto* e = m_events.ExitNewThread()) e->Set();
    Pause(10);
    if (auto* e = m_events.ExitNewThread()) e->Set();
    Pause(10);
    KillTimer(TIMER_REFRESH);
    Pause(10);
    // The card: an open under way ends first, so none succeeds after the close.
    StopCardOpenThread();
    if (m_bCardOpen && !CloseCard())
        plat::MessageBox("基带卡关闭失败！\n\n", "Talvora", plat::MB_OK);
    // Screenshots still being saved or printed end first, at most 10 s.
    if (!WaitForScreenshots()) applog::PostLog("截屏文件处理未结束，继续退出");
    // Work and frame buffers.
    Pause(10);
    if (m_dataPath) m_dataPath->Detach();  // no block goes into freed buffers
    m_buffers.Free();
    CloseNetworkEndpoints();
    // The journal ends with "退出软件！".
    applog::StopSystemLog();
    Pause(10);
    OnDestroy();
}

void CMainFrame::OnDestroy() {
    for (auto& [id, timer] : m_timers) timer->stop();
    if (m_commandUiTimer) m_commandUiTimer->stop();
    m_linkMonitorTimer.Kill();
    m_telemetryTimer.Kill();
    Pause(100);
    // The send buffer and its lock go only now that the 1 ms sender is stopped.
    m_dataBuffers.Free();
    // The threads have their stop signals; wait for them rather than cut them
    // off, so the process can end normally.
    JoinWorkerThreads();
    m_events.Close();
    m_receiver.reset();
    m_bExitDone = true;
    ReleaseInstance();
    emit exitSequenceFinished();
}

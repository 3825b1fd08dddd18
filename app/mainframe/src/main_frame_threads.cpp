// The frame's three worker threads: card open, replay feed and receive.
#include <log/system_log.h>
#include <platform/notify.h>
#include <pthread.h>
#include <session/card_session.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <array>

#include "main_frame.h"

namespace {
// After this long the wait for the card-open thread is noted in the journal.
constexpr qint64 kCardOpenJoinReportMs = 30000;
}  // namespace

void CMainFrame::StartWorkerThreads() {
    StartCardOpenThread();
    m_replayFeedThread = std::thread([this] { ReplayFeedThread(); });
    m_receiveThread = std::thread([this] { ReceiveThread(); });
}

void CMainFrame::StartCardOpenThread() {
    if (m_cardOpenThread.joinable()) m_cardOpenThread.join();
    m_bCardOpenThreadBusy = true;
    m_cardOpenThread = std::thread([this] {
        CardOpenThread();
        m_bCardOpenThreadBusy = false;
    });
}

void CMainFrame::CardOpenThread() {
    pthread_setname_np(pthread_self(), "card-open");
    OpenCard();
    m_bCardInitialising = 0;
}

void CMainFrame::ReplayFeedThread() {
    pthread_setname_np(pthread_self(), "replay-feed");
    plat::NamedEvent* exitEvent = m_events.ExitNewThread();
    plat::NamedEvent* tick = m_events.ReplayTick();
    if (!tick) {
        plat::MessageBox("软件模飞数据获取事件创建失败！", "Talvora", plat::MB_OK);
        return;
    }
    if (!exitEvent) return;
    const std::array<plat::NamedEvent*, 2> events{exitEvent, tick};
    for (;;) {
        const int which = plat::WaitForAnyEvent(events, plat::kInfinite);
        if (which != 1 || !m_bThreadRun) break;
        FeedReplayBlock();
    }
}

void CMainFrame::ReceiveThread() {
    pthread_setname_np(pthread_self(), "net-receive");
    // The threads-run flag is this thread's only stop signal.
    while (m_bThreadRun) {
        if (!ReceiveNetworkPackets()) QThread::msleep(50);
    }
}

void CMainFrame::JoinWorkerThreads() {
    StopCardOpenThread();
    // A clock calibration may be waiting for its message to be answered on
    // this thread; a session still busy after that is left to the process end.
    if (m_session) {
        QElapsedTimer waited;
        waited.start();
        while (m_session->CalibrationRunning() && waited.elapsed() < 5000) {
            if (QCoreApplication::instance()) QCoreApplication::processEvents();
            QThread::msleep(5);
        }
        if (m_session->CalibrationRunning()) (void)m_session.release();
    }
    if (m_replayFeedThread.joinable()) m_replayFeedThread.join();
    if (m_receiveThread.joinable()) m_receiveThread.join();
}

void CMainFrame::StopCardOpenThread() {
    if (!m_cardOpenThread.joinable()) return;
    // An open waiting for the card ends at once; one that has the card
    // finishes its apply, so the card close that follows finds it open.
    if (m_session) m_session->CancelOpen();
    // The thread may be waiting for a box shown on this thread: those
    // requests are served, while the frame's own timers and commands wait.
    // It uses the frame, so it is waited for, never cut loose.
    QElapsedTimer waited;
    waited.start();
    bool reported = false;
    while (m_bCardOpenThreadBusy) {
        if (!reported && waited.elapsed() >= kCardOpenJoinReportMs) {
            applog::PostLogF("基带卡打开线程%d秒内未结束，继续等待！",
                             static_cast<int>(kCardOpenJoinReportMs / 1000));
            reported = true;
        }
        if (QCoreApplication* app = QCoreApplication::instance())
            QCoreApplication::sendPostedEvents(app, QEvent::MetaCall);
        QThread::msleep(5);
    }
    m_cardOpenThread.join();
}

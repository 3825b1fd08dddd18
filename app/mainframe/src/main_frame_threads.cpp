// The frame's three worker threads: card open, replay feed and receive.
#include <platform/notify.h>
#include <session/card_session.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <array>

#include "main_frame.h"

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
    OpenCard();
    m_bCardInitialising = 0;
}

void CMainFrame::ReplayFeedThread() {
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
    // The threads-run flag is this thread's only stop signal.
    while (m_bThreadRun) {
        if (!ReceiveNetworkPackets()) QThread::msleep(50);
    }
}

void CMainFrame::JoinWorkerThreads() {
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
    if (!m_cardOpenThread.joinable()) return;
    // A card open may be waiting for its failure message to be answered on
    // this thread; keep events flowing while it finishes.
    QElapsedTimer waited;
    waited.start();
    while (m_bCardOpenThreadBusy && waited.elapsed() < 5000) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    if (m_bCardOpenThreadBusy) {
        m_cardOpenThread.detach();  // ended with the process
        (void)m_session.release();  // still in use by that thread
    } else {
        m_cardOpenThread.join();
    }
}

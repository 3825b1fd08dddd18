// Load and save of each configuration section, as methods of the frame. The
// files are read and written by the configuration library; the frame holds
// the values.
#include <QFileInfo>
#include <QMdiSubWindow>

#include "main_frame.h"

void CMainFrame::LoadWindowPos() {
    m_windowPos = cfg::LoadWindowPos(m_strModuleDir);
    // Before the first exit has written the file, the status display bar is
    // open as the frame creates it, so a new user sees it.
    if (!QFileInfo::exists(QString::fromStdString(cfg::WindowPosIniPath(m_strModuleDir))))
        m_windowPos[cfg::PlacedWindow::DockPageBar].open = true;
}

void CMainFrame::SaveWindowPos() {
    // Open windows report their current geometry in frame client coordinates,
    // as the status display bar does; a closed one keeps what was loaded, and
    // only its open flag is written.
    auto record = [this](FrameView v, cfg::PlacedWindow p) {
        cfg::WindowPlacement& wp = m_windowPos[p];
        QWidget* w = View(v).wnd;
        if (w && View(v).open) {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) w = sub;
            const QRect r = ToClientRect(w);
            wp = {true, r.x(), r.y(), r.width(), r.height()};
        } else {
            wp.open = false;
        }
    };
    record(FrameView::SignalSpectrum, cfg::PlacedWindow::SignalPlotWnd);
    record(FrameView::RawCurve, cfg::PlacedWindow::BCDCurveWnd);
    record(FrameView::RawTable, cfg::PlacedWindow::BCDTableWnd);
    record(FrameView::ParamCurve, cfg::PlacedWindow::DealCurveWnd);
    record(FrameView::ParamTable, cfg::PlacedWindow::DealTableWnd);
    cfg::SaveWindowPos(m_strModuleDir, m_windowPos);
}

void CMainFrame::LoadBitErrorConfig() {
    m_para.bitError = cfg::LoadBitErrorConfig(m_strModuleDir);
}
void CMainFrame::SaveBitErrorConfig() {
    cfg::SaveBitErrorConfig(m_strModuleDir, m_para.bitError);
}

void CMainFrame::LoadScreenshotConfig() {
    m_para.screenshot = cfg::LoadScreenshotConfig(m_strModuleDir);
}
void CMainFrame::SaveScreenshotConfig() {
    cfg::SaveScreenshotConfig(m_strModuleDir, m_para.screenshot);
}

void CMainFrame::LoadNetworkConfig() {
    m_para.network = cfg::LoadNetworkConfig(m_strModuleDir);
}
void CMainFrame::SaveNetworkConfig() {
    cfg::SaveNetworkConfig(m_strModuleDir, m_para.network);
}

void CMainFrame::LoadNetworkSendConfig() {
    m_para.networkSend = cfg::LoadNetworkSendConfig(m_strModuleDir);
}
void CMainFrame::SaveNetworkSendConfig() {
    cfg::SaveNetworkSendConfig(m_strModuleDir, m_para.networkSend);
}

void CMainFrame::LoadFrameCountConfig() {
    m_para.frameCount = cfg::LoadFrameCountConfig(m_strModuleDir);
}
void CMainFrame::SaveFrameCountConfig() {
    cfg::SaveFrameCountConfig(m_strModuleDir, m_para.frameCount);
}

void CMainFrame::LoadIdCountConfig() {
    m_para.idCount = cfg::LoadIdCountConfig(m_strModuleDir);
}
void CMainFrame::SaveIdCountConfig() {
    cfg::SaveIdCountConfig(m_strModuleDir, m_para.idCount);
}

void CMainFrame::LoadTimeContinuityConfig() {
    m_para.timeContinuity = cfg::LoadTimeContinuityConfig(m_strModuleDir);
}
void CMainFrame::SaveTimeContinuityConfig() {
    cfg::SaveTimeContinuityConfig(m_strModuleDir, m_para.timeContinuity);
}

void CMainFrame::LoadGnssConfig() {
    m_para.gnss = cfg::LoadGnssConfig(m_strModuleDir);
}
void CMainFrame::SaveGnssConfig() {
    cfg::SaveGnssConfig(m_strModuleDir, m_para.gnss);
}

void CMainFrame::LoadGpsChannels() {
    m_gpsChannels = cfg::LoadGpsChannels(m_strModuleDir);
}
void CMainFrame::SaveGpsChannels() {
    cfg::SaveGpsChannels(m_strModuleDir, m_gpsChannels);
}

void CMainFrame::LoadReplayConfig() {
    m_para.replay = cfg::LoadReplayConfig(m_strModuleDir);
}
void CMainFrame::SaveReplayConfig() {
    cfg::SaveReplayConfig(m_strModuleDir, m_para.replay);
}

void CMainFrame::LoadStorageConfig() {
    m_para.storage = cfg::LoadStorageConfig(m_strModuleDir);
}
void CMainFrame::SaveStorageConfig() {
    cfg::SaveStorageConfig(m_strModuleDir, m_para.storage);
}

// The stream section is written on each stream command; start-up does not
// read it and always begins with stream 1.
void CMainFrame::LoadStreamConfig() {
    m_para.stream = cfg::LoadStreamConfig(m_strModuleDir);
}
void CMainFrame::SaveStreamConfig() {
    cfg::SaveStreamConfig(m_strModuleDir, m_para.stream);
}

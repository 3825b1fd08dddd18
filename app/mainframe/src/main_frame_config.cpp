// Load and save of each configuration section, as methods of the frame. The
// files are read and written by the configuration library; the frame holds
// the values.
#include <stats/bit_error_lists.h>

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
    // A list typed into the file by hand may be out of order.
    stats::NormaliseList(m_para.bitError.excludedBytes);
}
bool CMainFrame::SaveBitErrorConfig() {
    return cfg::SaveBitErrorConfig(m_strModuleDir, m_para.bitError);
}

void CMainFrame::LoadScreenshotConfig() {
    m_para.screenshot = cfg::LoadScreenshotConfig(m_strModuleDir);
}
bool CMainFrame::SaveScreenshotConfig() {
    return cfg::SaveScreenshotConfig(m_strModuleDir, m_para.screenshot);
}

void CMainFrame::LoadNetworkConfig() {
    m_para.network = cfg::LoadNetworkConfig(m_strModuleDir);
}
bool CMainFrame::SaveNetworkConfig() {
    return cfg::SaveNetworkConfig(m_strModuleDir, m_para.network);
}

void CMainFrame::LoadNetworkSendConfig() {
    m_para.networkSend = cfg::LoadNetworkSendConfig(m_strModuleDir);
}
bool CMainFrame::SaveNetworkSendConfig() {
    return cfg::SaveNetworkSendConfig(m_strModuleDir, m_para.networkSend);
}

void CMainFrame::LoadFrameCountConfig() {
    m_para.frameCount = cfg::LoadFrameCountConfig(m_strModuleDir);
}
bool CMainFrame::SaveFrameCountConfig() {
    return cfg::SaveFrameCountConfig(m_strModuleDir, m_para.frameCount);
}

void CMainFrame::LoadIdCountConfig() {
    m_para.idCount = cfg::LoadIdCountConfig(m_strModuleDir);
}
bool CMainFrame::SaveIdCountConfig() {
    return cfg::SaveIdCountConfig(m_strModuleDir, m_para.idCount);
}

void CMainFrame::LoadTimeContinuityConfig() {
    m_para.timeContinuity = cfg::LoadTimeContinuityConfig(m_strModuleDir);
}
bool CMainFrame::SaveTimeContinuityConfig() {
    return cfg::SaveTimeContinuityConfig(m_strModuleDir, m_para.timeContinuity);
}

void CMainFrame::LoadGnssConfig() {
    m_para.gnss = cfg::LoadGnssConfig(m_strModuleDir);
}
bool CMainFrame::SaveGnssConfig() {
    return cfg::SaveGnssConfig(m_strModuleDir, m_para.gnss);
}

void CMainFrame::LoadGpsChannels() {
    m_gpsChannels = cfg::LoadGpsChannels(m_strModuleDir);
}
bool CMainFrame::SaveGpsChannels() {
    return cfg::SaveGpsChannels(m_strModuleDir, m_gpsChannels);
}

void CMainFrame::LoadReplayConfig() {
    m_para.replay = cfg::LoadReplayConfig(m_strModuleDir);
}
bool CMainFrame::SaveReplayConfig() {
    return cfg::SaveReplayConfig(m_strModuleDir, m_para.replay);
}

void CMainFrame::LoadStorageConfig() {
    m_para.storage = cfg::LoadStorageConfig(m_strModuleDir);
}
bool CMainFrame::SaveStorageConfig() {
    return cfg::SaveStorageConfig(m_strModuleDir, m_para.storage);
}

// The stream section is written on each stream command; start-up does not
// read it and always begins with stream 1.
void CMainFrame::LoadStreamConfig() {
    m_para.stream = cfg::LoadStreamConfig(m_strModuleDir);
}
bool CMainFrame::SaveStreamConfig() {
    return cfg::SaveStreamConfig(m_strModuleDir, m_para.stream);
}

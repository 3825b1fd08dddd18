// The frame statistics commands: 32793 frame count, 32794 ID count, 32795
// time continuity. A command on a running check stops it; on a stopped one
// it shows the settings, saves them and starts the check.
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <platform/notify.h>
#include <stats/frame_statistics.h>

#include "main_frame.h"
#include "stat_settings_dlg.h"

namespace {

void Refuse(const std::string& text) {
    plat::MessageBox(text, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
}

const char* CheckName(stats::Check c) {
    switch (c) {
        case stats::Check::FrameCount:
            return "帧计数统计";
        case stats::Check::IdCount:
            return "ID计数统计";
        case stats::Check::TimeContinuity:
            break;
    }
    return "时间连续统计";
}

void LogStarted(const stats::FrameStatistics& s, stats::Check c) {
    applog::PostLogF("%s开始，报告：%s", CheckName(c), s.Path(c).c_str());
}

// Stops a running check and says so in the journal with what it found.
void StopAndLog(stats::FrameStatistics& s, stats::Check c) {
    const int jumps = s.Jumps(c);
    const std::string path = s.Path(c);
    applog::PostLogF("%s停止，%d处错误，报告：%s", CheckName(c), jumps, path.c_str());
    s.Stop(c);
}

}  // namespace

void CMainFrame::OnFrameCountStat() {
    if (m_frameStats->Running(stats::Check::FrameCount)) {
        StopAndLog(*m_frameStats, stats::Check::FrameCount);
        return;
    }
    CFrameCountStatDlg dlg(this, m_para.frameCount);
    if (dlg.exec() != QDialog::Accepted) return;
    m_para.frameCount = dlg.Settings();
    SaveFrameCountConfig();
    const cfg::FrameCountConfig& c = m_para.frameCount;
    const auto high = static_cast<std::uint32_t>(c.highWordEnabled ? c.highWordPos : 0);
    const auto low = static_cast<std::uint32_t>(c.lowWordPos);
    const std::string refusal = stats::FrameCountRefusal(m_dataPath->Geometry(), high, low);
    if (!refusal.empty()) return Refuse(refusal);
    if (m_frameStats->StartFrameCount(m_strModuleDir, high, low))
        LogStarted(*m_frameStats, stats::Check::FrameCount);
}

void CMainFrame::OnIdStat() {
    if (m_frameStats->Running(stats::Check::IdCount)) {
        StopAndLog(*m_frameStats, stats::Check::IdCount);
        return;
    }
    CIdStatDlg dlg(this, m_para.idCount);
    if (dlg.exec() != QDialog::Accepted) return;
    m_para.idCount = dlg.Settings();
    SaveIdCountConfig();
    const auto pos = static_cast<std::uint32_t>(m_para.idCount.idWordPos);
    const std::string refusal = stats::IdCountRefusal(m_dataPath->Geometry(), pos);
    if (!refusal.empty()) return Refuse(refusal);
    if (m_frameStats->StartIdCount(m_strModuleDir, pos))
        LogStarted(*m_frameStats, stats::Check::IdCount);
}

void CMainFrame::OnTimeContinuityStat() {
    if (m_frameStats->Running(stats::Check::TimeContinuity)) {
        StopAndLog(*m_frameStats, stats::Check::TimeContinuity);
        return;
    }
    const datapath::DataGeometry g = m_dataPath->Geometry();
    std::uint32_t rate = g.codeRate;
    // Only a replayed file needs its real bit rate; live data have the
    // demodulator's.
    if (m_bReplayRunning) {
        CTimeContinuityDlg dlg(this, m_para.timeContinuity);
        if (dlg.exec() != QDialog::Accepted) return;
        m_para.timeContinuity = dlg.Settings();
        SaveTimeContinuityConfig();
        rate = static_cast<std::uint32_t>(m_para.timeContinuity.bitRate);
        m_dataPath->replayBitRate = rate;
    }
    const std::string refusal = stats::TimeContinuityRefusal(g, rate);
    if (!refusal.empty()) return Refuse(refusal);
    if (m_frameStats->StartTimeContinuity(m_strModuleDir))
        LogStarted(*m_frameStats, stats::Check::TimeContinuity);
}

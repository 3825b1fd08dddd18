// The bit-error commands: 32791 sets up the exclusion list and asks the data
// path for a new standard frame, 32792 starts and stops the measurement.
#include <datapath/data_path.h>
#include <platform/notify.h>
#include <stats/bit_error_lists.h>
#include <stats/bit_error_measurement.h>

#include "bit_error_dlg.h"
#include "main_frame.h"

namespace {

constexpr const char* kStaleStandardFrameText = "标准帧与当前帧结构不符，请重新采集标准帧！";

stats::ChannelGeometry ChannelsOf(const datapath::DataGeometry& g) {
    return {.subframeWords = g.subframeWords,
            .subframes = g.superframeLength,
            .wordBytes = g.wordBytes};
}

}  // namespace

void CMainFrame::OnCaptureStandardFrame() {
    if (m_bBitErrorOn) return;  // the command is disabled while measuring
    CBitErrorDlg dlg(this, m_para.bitError, ChannelsOf(m_dataPath->Geometry()));
    if (dlg.exec() != QDialog::Accepted) return;
    m_para.bitError = dlg.Settings();
    SaveBitErrorConfig();
    m_dataPath->standardFrameRequest = 1;
}

void CMainFrame::OnBitErrorMeasurement() {
    if (m_bBitErrorOn) {
        StopBitErrors();
        return;
    }
    if (m_bStdFrameCaptured) StartBitErrorMeasurement();
}

bool CMainFrame::StartBitErrorMeasurement() {
    const datapath::DataGeometry g = m_dataPath->Geometry();
    if (m_dataPath->StandardFrame().size() != g.superframeRecord) {
        // Taken under another frame: no block would ever be compared with it.
        m_bStdFrameCaptured = 0;
        plat::MessageBox(kStaleStandardFrameText, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
        return false;
    }
    cfg::BitErrorConfig& c = m_para.bitError;
    if (!c.excludedBytesWhole) {
        // The stored list came back cut: rebuild it from what it was made of.
        stats::ListResult r;
        if (c.channelMode == 0)
            r = stats::BuildRangeList(c.startChannel, c.endChannel, ChannelsOf(g));
        else if (c.channelMode == 2 && c.manualTextWhole)
            r = stats::BuildManualList(c.manualText, ChannelsOf(g));
        else
            r.error = "incomplete";
        if (!r.ok()) {
            plat::MessageBox(stats::kListIncompleteText, "Talvora",
                             plat::MB_OK | plat::MB_ICONWARNING);
            return false;
        }
        c.excludedBytes = std::move(r.bytes);
        c.excludedBytesWhole = true;
    }
    m_bitErrors->SetExclusionList(c.excludedBytes);
    m_bitErrors->Start(g);
    m_bBitErrorOn = 1;
    return true;
}

void CMainFrame::StopBitErrors() {
    m_bBitErrorOn = 0;
    m_bitErrors->Stop();
}

// The frame's satellite-navigation parts: the search library's layout at
// start-up and after each device apply, the three commands (search window,
// protocol version, pick positions) and the data path's search step.
#include <datapath/data_path.h>
#include <gnsspick/gnsspick.h>
#include <gnssview/gnss_dlgs.h>
#include <gnssview/gnss_view.h>
#include <netout/network_output.h>
#include <netout/packet_format.h>
#include <session/session_texts.h>

#include <mutex>

#include "frame_consumers.h"
#include "main_frame.h"

namespace {

// The card-open thread's geometry and the start-up layout may meet; the
// geometry, once known, wins.
std::mutex& GeometryLock() {
    static std::mutex m;
    return m;
}

}  // namespace

void CMainFrame::InitGnssSearchLibrary() {
    {
        std::lock_guard lock(GeometryLock());
        if (!m_bGnssGeometryKnown) {
            m_gnssTagBytes = 8;
            m_gnssSubframeBytes = 4;
            m_gnssSuperframeLen = 32;
            ::SetTelemetryPar(8, 4, 32);
        }
    }
    // The stored positions only fill the dialog; the search starts on 1-4.
    const std::uint16_t positions[4] = {1, 2, 3, 4};
    ::SetSelectRoads(positions);
    if (m_dataPath) m_dataPath->gnssProtocol = m_para.gnss.protocolVersion;
}

void CMainFrame::ApplyGnssGeometry(std::uint16_t tagBytes, std::uint16_t subframeBytes,
                                   std::uint16_t superframeLength) {
    std::lock_guard lock(GeometryLock());
    m_gnssTagBytes = tagBytes;
    m_gnssSubframeBytes = subframeBytes;
    m_gnssSuperframeLen = superframeLength;
    m_bGnssGeometryKnown = true;
    ::SetTelemetryPar(tagBytes, subframeBytes, superframeLength);
}

std::uint16_t CMainFrame::GnssSubframeBytes() const {
    std::lock_guard lock(GeometryLock());
    return m_gnssSubframeBytes;
}

// 32822: shows the window and starts the search, or hides it and stops.
void CMainFrame::OnGnssReception() {
    if (!m_bGnssSearchOn) {
        ::ShowMeasureData(gnssview::kShowCommand, gnssview::kSearchWindowTitle,
                          static_cast<QWidget*>(this));
        m_bGnssSearchOn = 1;
    } else {
        ::ShowMeasureData(gnssview::kHideCommand, gnssview::kSearchWindowTitle,
                          static_cast<QWidget*>(this));
        m_bGnssSearchOn = 0;
    }
    UpdateCommandUI();
}

// 32826: the protocol version for the next block, kept in Para.ini.
void CMainFrame::OnGnssProtocol() {
    gnssview::CGnssProtocolDlg dlg(m_para.gnss.protocolVersion, this);
    if (dlg.exec() != QDialog::Accepted) return;
    m_para.gnss.protocolVersion = dlg.Version();
    if (m_dataPath) m_dataPath->gnssProtocol = m_para.gnss.protocolVersion;
    SaveGnssConfig();
}

// 32821: the pick positions for the search, kept in GpsChannel.ini.
void CMainFrame::OnGpsChannel() {
    // Until the card is open the search runs on the start-up layout; the
    // positions are meant for the task's frames.
    const unsigned taskBytes =
        m_dataPath ? session::GeometryOf(m_dataPath->DemodulatorRecord()).subframeBytes : 0;
    unsigned subframeBytes;
    {
        std::lock_guard lock(GeometryLock());
        subframeBytes = m_bGnssGeometryKnown || taskBytes == 0 ? m_gnssSubframeBytes : taskBytes;
    }
    gnssview::CGpsChannelDlg dlg(m_gpsChannels.channel, subframeBytes, this);
    if (dlg.exec() != QDialog::Accepted) return;
    const std::array<std::uint16_t, 4>& p = dlg.Positions();
    ::SetSelectRoads(p.data());
    for (std::size_t i = 0; i < 4; ++i) m_gpsChannels.channel[i] = p[i];
    SaveGpsChannels();
}

void CMainFrame::CloseGnssSearchWindow() {
    ::ShowMeasureData(gnssview::kHideCommand, gnssview::kSearchWindowTitle,
                      static_cast<QWidget*>(this));
}

// Data-path thread: the block through the version's search, then the
// position it may have produced.
void CFrameConsumers::SearchGnssFrames(int protocol, const std::uint8_t* data, std::size_t length) {
    gnssview::SearchBlock(protocol, data, length);
    gnssPositions_.FetchAfterSearch();
}

void CFrameConsumers::SendGnssPosition() {
    std::uint8_t packet[netout::kGnssPacketBytes];
    if (network_ && gnssPositions_.Packet(packet)) network_->SendGnssPosition(packet);
}

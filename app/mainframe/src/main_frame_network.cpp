// The frame's network output: the NetworkOutput over the data path's send
// buffer, the two network dialogs (32781, 32836) and what the status view
// shows of the packets and endpoints.
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <netout/config_settings.h>
#include <netout/network_output.h>
#include <platform/notify.h>

#include <QThread>
#include <cstring>

#include "frame_consumers.h"
#include "main_frame.h"
#include "network_dlgs.h"
#include "status_snapshot.h"

namespace {

netout::SendGeometry SendGeometryOf(const datapath::DataGeometry& g) {
    return {g.wordBytes, g.subframeRecord, g.superframeMode ? g.superframeLength : 1,
            g.superframeMode};
}

void CopyHeader(const netout::PacketHeader& h, mainframe::PacketHeaderFields& out) {
    out.present = true;
    out.version = h.version;
    out.source = h.source;
    out.destination = h.destination;
    out.dayNumber = h.dayNumber;
    out.timeOfDay = h.timeOfDay;
    out.sequence = h.sequence;
}

void CopyReceived(const netout::ReceivedPacket& p, mainframe::ReceivedPacketFields& out) {
    if (!p.present) return;
    CopyHeader(p.header, out.header);
    static_assert(sizeof out.senderAddress == sizeof p.sender);
    std::memcpy(out.senderAddress, p.sender, sizeof p.sender);
    out.dataTime = p.dataTime;
}

}  // namespace

void CMainFrame::CreateNetworkOutput() {
    netout::SenderInputs in;
    in.sendingOn = &m_bTelemetrySending;
    in.syncLossCount = &m_dataPath->syncLossCount;
    in.bitSync = &m_bBitSyncLock;
    in.subframeSync = &m_bSubframeSyncLock;
    in.superframeSync = &m_bSuperframeSyncLock;
    in.dayOfYear = &m_dataPath->dayOfYear;
    datapath::DataPath* path = m_dataPath.get();
    in.geometry = [path] { return path->Geometry(); };
    in.sendBuffer = &m_dataPath->Send();
    m_dataPath->Send().SetWakeHook([this] { m_telemetryTimer.Wake(); });
    netout::OutputHooks hooks;
    hooks.report = [](const std::string& text) {
        plat::MessageBox(text.c_str(), "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
    };
    hooks.log = [](const std::string& text) { applog::PostLog(text); };
    hooks.sentData = [this](const std::uint8_t* d, std::size_t n) { WriteSentDataFile(d, n); };
    m_network = std::make_unique<netout::NetworkOutput>(std::move(in), std::move(hooks));
    static_cast<CFrameConsumers*>(m_dataConsumers.get())
        ->SetNetworkOutput(m_network.get(), &m_bTelemetrySending);
}

void CMainFrame::ApplyNetworkSendSettings() {
    m_network->SetHeaderSettings(netout::HeaderSettingsOf(m_para.networkSend));
}

// Command 32836: effective at the next packet.
void CMainFrame::OnNetworkSendParam() {
    CNetworkSendDlg dlg(this, m_para.networkSend, SendGeometryOf(m_dataPath->Geometry()));
    if (dlg.exec() != QDialog::Accepted) return;
    m_para.networkSend = dlg.Settings();
    ApplyNetworkSendSettings();
    SaveNetworkSendConfig();
}

// Command 32781: the sockets are made again from the confirmed section.
void CMainFrame::OnNetworkConfig() {
    CNetworkConfigDlg dlg(this, m_para.network);
    if (dlg.exec() != QDialog::Accepted) return;
    m_para.network = dlg.Settings();
    SaveNetworkConfig();
    CloseNetworkEndpoints();
    QThread::msleep(10);
    OpenNetworkEndpoints();
}

void CMainFrame::FillNetworkStatus(mainframe::StatusSnapshot& s) const {
    if (!m_network) return;
    const netout::OutputReadout r = m_network->Readout();
    s.broadcastReady = r.broadcastOk;
    s.gnssMulticastReady = r.gnssOk;
    s.telemetryReady = r.multicastOk;
    CopyReceived(r.linkMonitor, s.linkMonitorReceived);
    CopyReceived(r.liftOff, s.liftOffReceived);
    if (r.telemetrySent) CopyHeader(r.lastTelemetry, s.telemetrySent);
    s.linkMonitorSent = r.linkMonitorSent;
    s.linkMonitorSentSequence = r.lastLinkMonitorSequence;
}

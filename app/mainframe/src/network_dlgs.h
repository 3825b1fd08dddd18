// The two network dialogs: "发送参数设置" (header values, stream number and
// packet factor) and "遥测计算机网络配置" (addresses and ports). Both refuse
// OK with a message and stay open while a value is wrong.
#pragma once

#include <config/para_config.h>
#include <netout/packet_format.h>

#include <QDialog>

class QCheckBox;
class QLineEdit;

class CNetworkSendDlg : public QDialog {
    Q_OBJECT

public:
    // `geometry` is the current frame's, for the datagram-size check.
    CNetworkSendDlg(QWidget* parent, const cfg::NetworkSendConfig& settings,
                    const netout::SendGeometry& geometry);
    cfg::NetworkSendConfig Settings() const;
    void accept() override;

private:
    netout::SendGeometry m_geometry;
    QLineEdit *m_version, *m_taskFlag, *m_source, *m_dest, *m_linkBid, *m_telemetryBid;
    QLineEdit *m_stream, *m_factor;
};

class CNetworkConfigDlg : public QDialog {
    Q_OBJECT

public:
    CNetworkConfigDlg(QWidget* parent, const cfg::NetworkConfig& settings);
    // The section with the dialog's fields applied (call after accept).
    cfg::NetworkConfig Settings() const;
    void accept() override;

private:
    void ChooseOutputAddress();

    cfg::NetworkConfig m_settings;
    QLineEdit *m_multicastPort, *m_multicastDestPort, *m_multicastAddr, *m_broadcastPort;
    QLineEdit *m_unicastLocalPort, *m_unicastDestPort, *m_unicastDestIp, *m_outputIp;
    QCheckBox* m_showErrors;
};

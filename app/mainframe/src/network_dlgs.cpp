#include "network_dlgs.h"

#include <netout/dialog_checks.h>
#include <platform/notify.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

QLineEdit* Field(QWidget* parent, const char* name, const QString& text) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

// A hexadecimal field of at most `digits` digits.
QLineEdit* HexField(QWidget* parent, const char* name, std::uint32_t value, int digits) {
    auto* e = Field(parent, name, QString::asprintf("%0*X", digits, value));
    e->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,%1}").arg(digits)), e));
    return e;
}

std::uint32_t HexValue(const QLineEdit* e) {
    return e->text().toUInt(nullptr, 16);
}

// An integer as typed; text that is no number gives `fallback`.
int IntValue(const QLineEdit* e, int fallback) {
    bool ok = false;
    const int v = e->text().trimmed().toInt(&ok);
    return ok ? v : fallback;
}

std::string Text(const QLineEdit* e) {
    return e->text().trimmed().toStdString();
}

void Finish(QDialog* dlg, QLayout* form) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    auto* layout = new QVBoxLayout(dlg);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void Refuse(const std::string& text) {
    plat::MessageBox(text.c_str(), "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
}

}  // namespace

CNetworkSendDlg::CNetworkSendDlg(QWidget* parent, const cfg::NetworkSendConfig& s,
                                 const netout::SendGeometry& geometry)
    : QDialog(parent), m_geometry(geometry) {
    setWindowTitle(QStringLiteral("发送参数设置"));
    m_version = HexField(this, "version", s.version, 2);
    m_taskFlag = HexField(this, "taskFlag", s.taskFlag, 4);
    m_source = HexField(this, "source", s.sourceAddr, 8);
    m_dest = HexField(this, "dest", s.destAddr, 8);
    m_linkBid = HexField(this, "linkBid", s.linkMonitorBid, 8);
    m_telemetryBid = HexField(this, "telemetryBid", s.telemetryBid, 8);
    m_stream = Field(this, "stream", QString::number(s.streamNo));
    m_factor = Field(this, "factor", QString::number(s.packetSizeFactor));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("版本号（HEX）"), m_version);
    form->addRow(QStringLiteral("任务标志（HEX）"), m_taskFlag);
    form->addRow(QStringLiteral("信源地址（HEX）"), m_source);
    form->addRow(QStringLiteral("信宿地址（HEX）"), m_dest);
    form->addRow(QStringLiteral("链监信息BID（HEX）"), m_linkBid);
    form->addRow(QStringLiteral("遥测数据BID（HEX）"), m_telemetryBid);
    form->addRow(QStringLiteral("遥测数据流号（DEC）"), m_stream);
    form->addRow(QStringLiteral("遥测发送全帧包数/次"), m_factor);
    Finish(this, form);
}

cfg::NetworkSendConfig CNetworkSendDlg::Settings() const {
    cfg::NetworkSendConfig s;
    s.version = std::uint8_t(HexValue(m_version));
    s.taskFlag = std::uint16_t(HexValue(m_taskFlag));
    s.sourceAddr = HexValue(m_source);
    s.destAddr = HexValue(m_dest);
    s.linkMonitorBid = HexValue(m_linkBid);
    s.telemetryBid = HexValue(m_telemetryBid);
    s.streamNo = IntValue(m_stream, 0);
    s.packetSizeFactor = IntValue(m_factor, 0);
    return s;
}

void CNetworkSendDlg::accept() {
    const cfg::NetworkSendConfig s = Settings();
    const std::string refused =
        netout::CheckSendParameters(s.packetSizeFactor, s.streamNo, m_geometry);
    if (!refused.empty()) return Refuse(refused);
    QDialog::accept();
}

CNetworkConfigDlg::CNetworkConfigDlg(QWidget* parent, const cfg::NetworkConfig& s)
    : QDialog(parent), m_settings(s) {
    setWindowTitle(QStringLiteral("遥测计算机网络配置"));
    m_multicastPort = Field(this, "multicastPort", QString::number(s.multicastPort));
    m_multicastDestPort = Field(this, "multicastDestPort", QString::number(s.multicastDestPort));
    m_multicastAddr = Field(this, "multicastAddr", QString::fromStdString(s.multicastAddr));
    m_broadcastPort = Field(this, "broadcastPort", QString::number(s.broadcastPort));
    m_unicastLocalPort = Field(this, "unicastLocalPort", QString::number(s.unicastLocalPort));
    m_unicastDestPort = Field(this, "unicastDestPort", QString::number(s.unicastDestPort));
    m_unicastDestIp = Field(this, "unicastDestIp", QString::fromStdString(s.unicastDestIp));
    m_outputIp = Field(this, "outputIp", QString::fromStdString(s.multicastLocalIp));
    m_showErrors = new QCheckBox(QStringLiteral("出错提示"), this);
    m_showErrors->setObjectName(QStringLiteral("showErrors"));
    m_showErrors->setChecked(s.showNetworkErrors == 1);
    auto* choose = new QPushButton(QStringLiteral("..."), this);
    choose->setObjectName(QStringLiteral("chooseOutputIp"));
    connect(choose, &QPushButton::clicked, this, &CNetworkConfigDlg::ChooseOutputAddress);
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(m_outputIp);
    outputRow->addWidget(choose);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("组播源端口:"), m_multicastPort);
    form->addRow(QStringLiteral("组播目标端口:"), m_multicastDestPort);
    form->addRow(QStringLiteral("组播发送地址:"), m_multicastAddr);
    form->addRow(QStringLiteral("接收中心端口:"), m_broadcastPort);
    form->addRow(QStringLiteral("单播源端口:"), m_unicastLocalPort);
    form->addRow(QStringLiteral("单播目标端口:"), m_unicastDestPort);
    form->addRow(QStringLiteral("单播目标地址:"), m_unicastDestIp);
    form->addRow(QStringLiteral("输出网卡IP:"), outputRow);
    form->addRow(m_showErrors);
    Finish(this, form);
}

void CNetworkConfigDlg::ChooseOutputAddress() {
    QMenu menu(this);
    for (const std::string& a : netout::OwnIpv4Addresses()) {
        const QString text = QString::fromStdString(a);
        menu.addAction(text, this, [this, text] { m_outputIp->setText(text); });
    }
    menu.exec(QCursor::pos());
}

cfg::NetworkConfig CNetworkConfigDlg::Settings() const {
    cfg::NetworkConfig s = m_settings;
    s.multicastPort = netout::ParsePort(Text(m_multicastPort));
    s.multicastDestPort = netout::ParsePort(Text(m_multicastDestPort));
    s.multicastAddr = Text(m_multicastAddr);
    s.broadcastPort = netout::ParsePort(Text(m_broadcastPort));
    s.unicastLocalPort = netout::ParsePort(Text(m_unicastLocalPort));
    s.unicastDestPort = netout::ParsePort(Text(m_unicastDestPort));
    s.unicastDestIp = Text(m_unicastDestIp);
    s.multicastLocalIp = s.broadcastLocalIp = Text(m_outputIp);
    s.showNetworkErrors = m_showErrors->isChecked() ? 1 : 0;
    return s;
}

void CNetworkConfigDlg::accept() {
    netout::NetworkDialogValues v;
    v.broadcastPort = Text(m_broadcastPort);
    v.multicastPort = Text(m_multicastPort);
    v.gnssPort = std::to_string(m_settings.gpsMulticastPort);
    v.monitorPort = std::to_string(m_settings.monitorPort);
    v.multicastDestPort = Text(m_multicastDestPort);
    v.unicastLocalPort = Text(m_unicastLocalPort);
    v.unicastDestPort = Text(m_unicastDestPort);
    v.multicastAddr = Text(m_multicastAddr);
    v.unicastDestIp = Text(m_unicastDestIp);
    v.outputIp = Text(m_outputIp);
    const std::string refused = netout::CheckNetworkDialog(v, netout::OwnIpv4Addresses());
    if (!refused.empty()) return Refuse(refused);
    QDialog::accept();
}

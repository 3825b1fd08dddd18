#include "stat_settings_dlg.h"

#include <platform/notify.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int kMaxPosition = 2048;

QSpinBox* Spin(QWidget* parent, const char* name, int low, int high, int value) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(low, high);
    s->setValue(value);  // a stored value out of range is clamped
    return s;
}

// Lays out the rows with OK and Cancel below them.
void Finish(QDialog* dlg, QFormLayout* form) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    auto* layout = new QVBoxLayout(dlg);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

}  // namespace

CFrameCountStatDlg::CFrameCountStatDlg(QWidget* parent, const cfg::FrameCountConfig& settings)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("帧计数统计设置"));
    m_highEnable = new QCheckBox(QStringLiteral("帧计数高位"), this);
    m_highEnable->setObjectName(QStringLiteral("highEnable"));
    m_highEnable->setChecked(settings.highWordEnabled != 0);
    m_highPos = Spin(this, "highPos", 1, kMaxPosition, settings.highWordPos);
    m_highPos->setEnabled(m_highEnable->isChecked());
    m_lowPos = Spin(this, "lowPos", 1, kMaxPosition, settings.lowWordPos);
    connect(m_highEnable, &QCheckBox::toggled, m_highPos, &QWidget::setEnabled);
    auto* form = new QFormLayout;
    form->addRow(m_highEnable, m_highPos);
    form->addRow(new QLabel(QStringLiteral("   帧计数低位"), this), m_lowPos);
    Finish(this, form);
}

cfg::FrameCountConfig CFrameCountStatDlg::Settings() const {
    return {.highWordEnabled = m_highEnable->isChecked() ? 1 : 0,
            .highWordPos = m_highPos->value(),
            .lowWordPos = m_lowPos->value()};
}

void CFrameCountStatDlg::accept() {
    if (m_highEnable->isChecked() && m_highPos->value() == m_lowPos->value()) {
        plat::MessageBox("帧计数高位和低位不能相同！", "Talvora",
                         plat::MB_OK | plat::MB_ICONWARNING);
        return;
    }
    QDialog::accept();
}

CIdStatDlg::CIdStatDlg(QWidget* parent, const cfg::IdCountConfig& settings) : QDialog(parent) {
    setWindowTitle(QStringLiteral("ID统计"));
    m_idPos = Spin(this, "idPos", 1, kMaxPosition, settings.idWordPos);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("ID路序"), m_idPos);
    Finish(this, form);
}

cfg::IdCountConfig CIdStatDlg::Settings() const {
    return {.idWordPos = m_idPos->value()};
}

CTimeContinuityDlg::CTimeContinuityDlg(QWidget* parent, const cfg::TimeContinuityConfig& settings)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("时间连续性检查"));
    m_bitRate = Spin(this, "bitRate", 1000, 20000000, settings.bitRate);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("实际码率"), m_bitRate);
    Finish(this, form);
}

cfg::TimeContinuityConfig CTimeContinuityDlg::Settings() const {
    return {.bitRate = m_bitRate->value()};
}

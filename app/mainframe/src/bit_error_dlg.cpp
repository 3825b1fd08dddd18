#include "bit_error_dlg.h"

#include <platform/notify.h>

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

namespace {

constexpr unsigned kWarnBox = plat::MB_OK | plat::MB_ICONWARNING;

QRadioButton* Radio(QWidget* parent, const char* name, const QString& text) {
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

QSpinBox* Channel(QWidget* parent, const char* name, int value) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(0, INT_MAX);  // out-of-range channels are refused on OK, with their text
    s->setValue(value);
    return s;
}

void Warn(const std::string& text) {
    plat::MessageBox(text, "Talvora", kWarnBox);
}

}  // namespace

CBitErrorDlg::CBitErrorDlg(QWidget* parent, const cfg::BitErrorConfig& settings,
                           const stats::ChannelGeometry& geometry)
    : QDialog(parent), m_settings(settings), m_geometry(geometry) {
    setWindowTitle(QStringLiteral("误码统计参数配置对话框"));

    auto* display = new QGroupBox(this);
    m_rate = Radio(display, "rateMode", QStringLiteral("误码率"));
    m_count = Radio(display, "countMode", QStringLiteral("误码位数"));
    (settings.displayMode == 1 ? m_count : m_rate)->setChecked(true);
    auto* displayRow = new QHBoxLayout(display);
    displayRow->addWidget(m_rate);
    displayRow->addWidget(m_count);

    auto* channels = new QGroupBox(this);
    m_range = Radio(channels, "rangeMode", QStringLiteral("连续波道"));
    m_auto = Radio(channels, "autoMode", QStringLiteral("自动捕获 (自动剔除变化路)"));
    m_manual = Radio(channels, "manualMode", QStringLiteral("手动设置 (例：1,2,3,4,5,6)"));
    m_auto->setEnabled(false);  // not offered
    m_auto->hide();
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_range);
    modes->addButton(m_auto);
    modes->addButton(m_manual);
    (settings.channelMode == 2   ? m_manual
     : settings.channelMode == 1 ? m_auto
                                 : m_range)
        ->setChecked(true);

    m_start = Channel(channels, "startChannel", settings.startChannel);
    m_end = Channel(channels, "endChannel", settings.endChannel);
    m_text = new QPlainTextEdit(QString::fromStdString(settings.manualText), channels);
    m_text->setObjectName(QStringLiteral("manualText"));
    auto* derive = new QPushButton(QStringLiteral("自动推导"), channels);
    derive->setObjectName(QStringLiteral("derive"));
    connect(derive, &QPushButton::clicked, this, &CBitErrorDlg::OnDerive);

    auto* grid = new QGridLayout(channels);
    grid->addWidget(m_range, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("起始波道"), channels), 0, 1);
    grid->addWidget(m_start, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("结束波道"), channels), 0, 3);
    grid->addWidget(m_end, 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("注：剔除连续变化波道"), channels), 1, 1, 1, 4);
    grid->addWidget(m_auto, 2, 0);
    grid->addWidget(m_manual, 3, 0);
    grid->addWidget(m_text, 3, 1, 1, 3);
    grid->addWidget(derive, 3, 4);
    grid->addWidget(
        new QLabel(QStringLiteral("注：剔除变化波道；‘,’分隔符需要半角符号。(按全帧剔除)"),
                   channels),
        4, 1, 1, 4);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(display);
    layout->addWidget(channels);
    layout->addWidget(buttons);
}

void CBitErrorDlg::OnDerive() {
    const stats::DeriveResult r =
        stats::DeriveFullFrameText(m_text->toPlainText().toStdString(), m_geometry);
    if (!r.ok()) {
        Warn(r.error);
        return;
    }
    m_text->setPlainText(QString::fromStdString(r.text));
}

void CBitErrorDlg::accept() {
    cfg::BitErrorConfig c = m_settings;
    c.displayMode = m_count->isChecked() ? 1 : 0;
    c.channelMode = m_manual->isChecked() ? 2 : m_auto->isChecked() ? 1 : 0;
    c.startChannel = m_start->value();
    c.endChannel = m_end->value();
    c.manualText = m_text->toPlainText().toStdString();
    c.manualTextWhole = true;
    if (c.channelMode == 0) {
        stats::ListResult r = stats::BuildRangeList(c.startChannel, c.endChannel, m_geometry);
        if (!r.ok()) {
            Warn(r.error);
            return;
        }
        c.excludedBytes = std::move(r.bytes);
        c.excludedBytesWhole = true;
    } else if (c.channelMode == 2) {
        stats::ListResult r = stats::BuildManualList(c.manualText, m_geometry);
        if (!r.ok()) {
            Warn(r.error);
            return;
        }
        if (c.manualText.back() != ',') c.manualText += ',';
        c.excludedBytes = std::move(r.bytes);
        c.excludedBytesWhole = true;
    }
    m_settings = std::move(c);
    QDialog::accept();
}

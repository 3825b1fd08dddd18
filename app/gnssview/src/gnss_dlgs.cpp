#include "gnssview/gnss_dlgs.h"

#include <platform/notify.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gnssview/gnss_view.h"

namespace gnssview {

CGnssProtocolDlg::CGnssProtocolDlg(int version, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("外测协议版本选择"));
    auto* layout = new QVBoxLayout(this);
    const char* texts[] = {"旧版本协议(LX4-12协议：10D7)", "新版本协议(AA5511BB有接收机ID)",
                           "新版本协议(AA5511BB无接收机ID)"};
    for (int i = 0; i < 3; ++i) {
        buttons_[std::size_t(i)] = new QRadioButton(QString::fromUtf8(texts[i]), this);
        layout->addWidget(buttons_[std::size_t(i)]);
    }
    buttons_[version == 0 ? 0 : version == 1 ? 1 : 2]->setChecked(true);
    auto* box = new QDialogButtonBox(this);
    box->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    box->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
}

int CGnssProtocolDlg::Version() const {
    for (int i = 0; i < 3; ++i)
        if (buttons_[std::size_t(i)]->isChecked()) return i;
    return 0;
}

CGpsChannelDlg::CGpsChannelDlg(const std::array<int, 4>& stored, unsigned subframeBytes,
                               QWidget* parent)
    : QDialog(parent), subframeBytes_(subframeBytes) {
    setWindowTitle(QStringLiteral("外测数据路序选择对话框"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (int i = 0; i < 4; ++i) {
        auto* edit = new QLineEdit(QString::number(stored[std::size_t(i)]), this);
        edit->setObjectName(QStringLiteral("路序%1").arg(i + 1));
        fields_[std::size_t(i)] = edit;
        form->addRow(QStringLiteral("路序%1:").arg(i + 1), edit);
    }
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("*路序填0表示\n 无该路数据*"), this));
    auto* box = new QDialogButtonBox(this);
    box->addButton(QStringLiteral("确认"), QDialogButtonBox::AcceptRole);
    box->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, &CGpsChannelDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
}

void CGpsChannelDlg::accept() {
    std::array<std::string, 4> texts;
    for (std::size_t i = 0; i < 4; ++i) texts[i] = fields_[i]->text().trimmed().toStdString();
    const std::string refused = CheckPickPositions(texts, subframeBytes_, positions_);
    if (!refused.empty()) {
        plat::MessageBox(refused, "外测数据路序选择对话框", plat::MB_OK | plat::MB_ICONWARNING);
        return;
    }
    QDialog::accept();
}

}  // namespace gnssview

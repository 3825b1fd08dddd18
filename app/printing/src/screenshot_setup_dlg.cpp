#include <printing/screenshot_setup_dlg.h>

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace printing {

CScreenshotSetupDlg::CScreenshotSetupDlg(QWidget* parent, int mode) : QDialog(parent) {
    setWindowTitle(QStringLiteral("曲线截屏设置"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QButtonGroup(this);
    const char* texts[3] = {"图片仅存盘", "图片仅打印", "存盘且打印"};
    for (int i = 0; i < 3; ++i) {
        m_choice[i] = new QRadioButton(QString::fromUtf8(texts[i]), this);
        m_choice[i]->setObjectName(QString::fromUtf8(texts[i]));
        group->addButton(m_choice[i], i);
        layout->addWidget(m_choice[i]);
    }
    m_choice[mode >= 0 && mode <= 2 ? mode : 0]->setChecked(true);
    auto* row = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("确定"));
    ok->setDefault(true);
    row->addStretch();
    row->addWidget(ok);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

int CScreenshotSetupDlg::Mode() const {
    for (int i = 0; i < 3; ++i)
        if (m_choice[i]->isChecked()) return i;
    return 0;
}

}  // namespace printing

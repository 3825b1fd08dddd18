#include "storage_dlg.h"

#include <platform/notify.h>

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CStorageDlg::CStorageDlg(QWidget* parent, const cfg::StorageConfig& settings)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(QStringLiteral("存盘设置"));
    auto* layout = new QVBoxLayout(this);
    auto group = [&](const QString& title, const std::string& dir, int headerOption,
                     const char* name, QLineEdit*& edit, QRadioButton*& with,
                     QRadioButton*& without) {
        auto* box = new QGroupBox(title, this);
        auto* grid = new QGridLayout(box);
        edit = new QLineEdit(QString::fromStdString(dir), box);
        edit->setObjectName(QString::fromLatin1(name) + QStringLiteral("Dir"));
        auto* browse = new QPushButton(QStringLiteral("浏览..."), box);
        browse->setObjectName(QString::fromLatin1(name) + QStringLiteral("Browse"));
        with = new QRadioButton(QStringLiteral("有文件头"), box);
        without = new QRadioButton(QStringLiteral("无文件头"), box);
        auto* choice = new QButtonGroup(box);
        choice->addButton(with);
        choice->addButton(without);
        (headerOption == 0 ? with : without)->setChecked(true);
        grid->addWidget(edit, 0, 0, 1, 2);
        grid->addWidget(browse, 0, 2);
        grid->addWidget(with, 1, 0);
        grid->addWidget(without, 1, 1);
        QLineEdit* target = edit;
        connect(browse, &QPushButton::clicked, this, [this, target] { Browse(target); });
        layout->addWidget(box);
    };
    group(QStringLiteral("解密前文件"), settings.beforeDir, settings.beforeHeaderOption, "before",
          m_beforeDir, m_beforeWithHeader, m_beforeWithout);
    group(QStringLiteral("解密后文件"), settings.afterDir, settings.afterHeaderOption, "after",
          m_afterDir, m_afterWithHeader, m_afterWithout);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CStorageDlg::Browse(QLineEdit* edit) {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("请选择需要存盘的目录"), edit->text());
    if (!chosen.isEmpty()) TakeChosenDirectory(edit, chosen);
}

void CStorageDlg::TakeChosenDirectory(QLineEdit* edit, const QString& chosen) {
    if (!QDir(chosen).exists()) {
        plat::MessageBox("你选择的目录不存在", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
        return;
    }
    edit->setText(chosen);
}

cfg::StorageConfig CStorageDlg::Settings() const {
    cfg::StorageConfig s = m_settings;
    s.beforeDir = m_beforeDir->text().toStdString();
    s.afterDir = m_afterDir->text().toStdString();
    s.beforeHeaderOption = m_beforeWithHeader->isChecked() ? 0 : 1;
    s.afterHeaderOption = m_afterWithHeader->isChecked() ? 0 : 1;
    return s;
}

// Qt's own texts (file dialogs, button boxes) read in Chinese, as the rest of
// the program does, once the program has loaded Qt's translations.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>

#include "telemetry_app.h"

namespace {

TEST(QtTexts, FileDialogAndButtonBoxesReadInChinese) {
    const QString loaded = InstallQtTranslations(*QCoreApplication::instance());
    ASSERT_FALSE(loaded.isEmpty()) << "qtbase_zh_CN.qm is not installed (qt6-translations-l10n)";
    EXPECT_TRUE(loaded.endsWith(QStringLiteral("qtbase_zh_CN.qm"))) << loaded.toStdString();

    // The dialog the program shows for 打开文件… (Qt's own, not the desktop's).
    QFileDialog dialog(nullptr, QStringLiteral("回放文件"), QDir::tempPath());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.show();
    QApplication::processEvents();
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QStringList texts;
    for (QAbstractButton* b : box->buttons()) texts << b->text();
    EXPECT_TRUE(texts.filter(QStringLiteral("打开")).size() == 1) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.filter(QStringLiteral("取消")).size() == 1) << texts.join('|').toStdString();
    dialog.reject();

    QDialogButtonBox okCancel(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(okCancel.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(okCancel.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
}

}  // namespace

// Pictures of the other top-level windows beside the main window's: which
// windows get one, their names, and the program writing a dialog's picture
// when a command left the dialog open.
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/codepage.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>
#include <fstream>
#include <set>

#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"
#include "window_snapshots.h"

namespace {

// Distinct colours of an image, up to `enough`.
std::size_t Colours(const QImage& img, std::size_t enough = 3) {
    std::set<QRgb> seen;
    for (int y = 0; y < img.height() && seen.size() < enough; ++y)
        for (int x = 0; x < img.width() && seen.size() < enough; ++x) seen.insert(img.pixel(x, y));
    return seen.size();
}

QDialog* MakeDialog(const QString& title, QWidget* parent) {
    auto* dlg = new QDialog(parent);
    dlg->setWindowTitle(title);
    auto* layout = new QVBoxLayout(dlg);
    layout->addWidget(new QLabel(title + QStringLiteral(": 组播发送地址 224.0.0.9"), dlg));
    layout->addWidget(new QPushButton(QStringLiteral("OK"), dlg));
    return dlg;
}

TEST(WindowSnapshots, FileNamesFollowTheFramesPicture) {
    using mainframe::WindowSnapshotFile;
    EXPECT_EQ(WindowSnapshotFile("/d/shot.png", 1), "/d/shot-window-1.png");
    EXPECT_EQ(WindowSnapshotFile("/d/a.b.png", 2), "/d/a.b-window-2.png");
    EXPECT_EQ(WindowSnapshotFile("/d/shot", 3), "/d/shot-window-3.png");
}

TEST(WindowSnapshots, EveryVisibleOtherWindowButMenusGetsAPictureInTitleOrder) {
    talvora::test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    QMainWindow frame;
    frame.resize(400, 300);
    frame.show();
    std::unique_ptr<QDialog> second(MakeDialog(QStringLiteral("网络配置"), &frame));
    std::unique_ptr<QDialog> first(MakeDialog(QStringLiteral("帧计数统计"), &frame));
    std::unique_ptr<QDialog> hidden(MakeDialog(QStringLiteral("隐藏"), &frame));
    second->show();
    first->show();
    QMenu menu(&frame);
    menu.addAction(QStringLiteral("显示设置..."));
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(
        talvora::test::WaitUntil([&] { return menu.isVisible(); }, std::chrono::seconds(5)));

    const QString shot = QString::fromStdString(dir / "shot.png");
    const QStringList files = mainframe::SaveWindowSnapshots(&frame, shot);
    ASSERT_EQ(files.size(), 2) << files.join(' ').toStdString();
    EXPECT_EQ(files[0], QString::fromStdString(dir / "shot-window-1.png"));
    EXPECT_EQ(files[1], QString::fromStdString(dir / "shot-window-2.png"));
    EXPECT_FALSE(QFileInfo::exists(shot));  // the frame's own picture is the caller's
    const QImage a(files[0]), b(files[1]);
    ASSERT_FALSE(a.isNull());
    ASSERT_FALSE(b.isNull());
    EXPECT_EQ(a.size(), first->size());  // "帧计数统计" sorts before "网络配置"
    EXPECT_EQ(b.size(), second->size());
    EXPECT_GE(Colours(a), 3u);
    menu.close();
}

// The program with a dialog left open by --command: its picture is written
// beside the frame's and shows the dialog, not an empty square.
TEST(WindowSnapshots, TheProgramWritesThePictureOfTheDialogACommandOpened) {
    const QString program = QCoreApplication::applicationDirPath() + "/Talvora";
    if (!QFileInfo::exists(program)) GTEST_SKIP() << "Talvora not built";
    talvora::test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const QString base = QString::fromStdString(dir.path());
    QDir().mkpath(base + "/home");
    {
        // Every local address of the network output on loopback.
        std::ofstream ini(dir / "home/Para.ini", std::ios::binary);
        ini << plat::Utf8ToGbk(
            "[网络配置参数]\r\n网络组播本地IP地址=127.0.0.1\r\n网络广播本地IP地址=127.0.0.1\r\n"
            "单播目标IP=127.0.0.1\r\n");
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", base);
    env.insert("TALVORA_OBJECT_NAMESPACE",
               "snapshots-" + QString::number(QCoreApplication::applicationPid()));
    env.insert("XDG_CONFIG_HOME", base + "/config");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("MCASTLIB_IF", "127.0.0.1");
    env.remove("TALVORA_HOME");
    // No card: a loopback port nobody listens on.
    const QString engine =
        QStringLiteral("127.0.0.1:%1").arg(cardengine::testkit::FreeLoopbackPort());
    ASSERT_TRUE(talvora::test::RequireLoopback(engine.toStdString()));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, {"--home", base + "/home", "--engine", engine, "--quit-after", "7",
                      "--snapshot", base + "/shot.png", "--command", "32781"});
    ASSERT_TRUE(p.waitForStarted());
    if (!p.waitForFinished(90000)) {
        p.kill();
        p.waitForFinished(10000);
        FAIL() << "the program did not leave";
    }
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(QFileInfo::exists(base + "/shot.png"));
    const QImage dialog(base + "/shot-window-1.png");
    ASSERT_FALSE(dialog.isNull()) << p.readAllStandardOutput().toStdString();
    EXPECT_GT(dialog.width(), 50);
    EXPECT_GT(dialog.height(), 50);
    EXPECT_GE(Colours(dialog), 3u);
    EXPECT_TRUE(p.readAllStandardOutput().contains("shot-window-1.png"));
}

}  // namespace

// The plot demo against the loopback card engine: its four windows open, the
// engine's frames reach all three PCM windows, a closed window takes no more
// data and comes back from the menu; the program itself runs and reports.
#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <pcmplot/pcmplot.h>
#include <platform/paths.h>
#include <plotdemo/plot_demo_wnd.h>
#include <spanplot/spanplot.h>

#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QRegularExpression>
#include <cstdlib>

#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace plotdemo {
namespace {

using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

void CloseByOperator(QWidget* w) {
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(PlotDemo, FramesReachThePcmWindowsAndClosedWindowsComeBack) {
    talvora::test::TempHome home;
    plat::SetModuleDirectory(home.path());
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(talvora::test::RequireLoopback(engine.Address()));
    ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);
    {
        CPlotDemoWnd wnd;
        wnd.show();
        QString error;
        ASSERT_TRUE(wnd.Start(&error)) << error.toStdString();
        for (std::uint32_t k = 0; k < 3; ++k) EXPECT_NE(BB_GetPcmPlotWnd(0, k), nullptr) << k;
        ASSERT_NE(BB_GetRadioPlotWnd(0), nullptr);
        EXPECT_EQ(wnd.Area()->subWindowList().size(), 4);
        ASSERT_WAIT_UNTIL(CPlotDemoWnd::BlocksTaken(0) >= 3 && CPlotDemoWnd::BlocksTaken(1) >= 3 &&
                              CPlotDemoWnd::BlocksTaken(2) >= 3,
                          20s);

        // Closed by the operator: the slot is empty and blocks are refused.
        CloseByOperator(BB_GetPcmPlotWnd(0, 0));
        EXPECT_EQ(BB_GetPcmPlotWnd(0, 0), nullptr);
        const std::uint64_t takenAtClose = CPlotDemoWnd::BlocksTaken(0);
        const std::uint64_t seen = CPlotDemoWnd::BlocksReceived();
        ASSERT_WAIT_UNTIL(CPlotDemoWnd::BlocksReceived() >= seen + 3, 20s);
        EXPECT_LE(CPlotDemoWnd::BlocksTaken(0), takenAtClose + 1);  // one may be under way

        // Opened again, it learns the geometry and takes blocks again.
        ASSERT_TRUE(wnd.OpenWindow(kPcmTable));
        ASSERT_NE(BB_GetPcmPlotWnd(0, 0), nullptr);
        const std::uint64_t before = CPlotDemoWnd::BlocksTaken(0);
        ASSERT_WAIT_UNTIL(CPlotDemoWnd::BlocksTaken(0) >= before + 3, 20s);
        // A second open raises the window rather than making another.
        ASSERT_TRUE(wnd.OpenWindow(kPcmTable));
        EXPECT_EQ(wnd.Area()->subWindowList().size(), 4);

        CloseByOperator(BB_GetRadioPlotWnd(0));
        EXPECT_EQ(BB_GetRadioPlotWnd(0), nullptr);
        ASSERT_TRUE(wnd.OpenWindow(kRadioScan));
        EXPECT_NE(BB_GetRadioPlotWnd(0), nullptr);
        EXPECT_FALSE(wnd.OpenWindow(7));
    }
    // The demo closed the card and its windows.
    EXPECT_EQ(BB_GetActiveBandCaseSumInApp(), 0u);
    EXPECT_EQ(BB_GetPcmPlotWnd(0, 1), nullptr);
    EXPECT_EQ(BB_GetRadioPlotWnd(0), nullptr);
    plat::SetModuleDirectory("");
}

// The program as a user starts it: against the engine for a few seconds, it
// quits by itself and says how many blocks each window took.
TEST(PlotDemo, TheProgramRunsAgainstTheEngineAndReportsTheBlocks) {
    talvora::test::TempHome home;
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(talvora::test::RequireLoopback(engine.Address()));
    const char* dir = std::getenv("TALVORA_BIN_DIR");
    ASSERT_NE(dir, nullptr);
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TALVORA_HOME", QString::fromStdString(home.path()));
    demo.setProcessEnvironment(env);
    demo.start(QString::fromUtf8(dir) + "/plotdemo",
               {"--engine", QString::fromStdString(engine.Address()), "--quit-after", "3"});
    ASSERT_TRUE(demo.waitForFinished(60000));
    EXPECT_EQ(demo.exitCode(), 0) << demo.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(demo.readAllStandardOutput());
    const auto m = QRegularExpression(
                       "plotdemo: (\\d+) blocks, taken by the table (\\d+), curve (\\d+), "
                       "histogram (\\d+)")
                       .match(out);
    ASSERT_TRUE(m.hasMatch()) << out.toStdString();
    EXPECT_GT(m.captured(1).toULongLong(), 0u);
    for (int i = 2; i <= 4; ++i) EXPECT_GT(m.captured(i).toULongLong(), 0u) << i;

    QProcess bad;
    bad.start(QString::fromUtf8(dir) + "/plotdemo", {"--engine", "127.0.0.1:0"});
    ASSERT_TRUE(bad.waitForFinished(20000));
    EXPECT_EQ(bad.exitCode(), 2);
}

}  // namespace
}  // namespace plotdemo

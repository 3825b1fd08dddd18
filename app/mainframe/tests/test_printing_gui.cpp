// Screenshots of the raw curve in the running frame against a loopback card
// engine: the settings dialog, Ctrl+C, the bitmap in the task's folder, the
// printed page, and what the operator is told when the print server cannot
// print it.
#include <pwd.h>
#include <testsupport/wait.h>
#include <unistd.h>

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <set>

#include "command_ids.h"
#include "frame_test_kit.h"
#include "private_cupsd.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
using PrintingFrameTest = frametest::EngineFrameTest;

QDir PdfFolder() {
    return QDir(QString::fromLocal8Bit(::getpwuid(::getuid())->pw_dir) + "/PDF");
}

// Output of `command args`, empty when it did not run.
QString CommandOutput(const QString& command, const QStringList& args) {
    QProcess p;
    p.start(command, args);
    if (!p.waitForFinished(30000)) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Ids of the jobs of `queue` the server lists ("<queue>-<id> ..." lines).
std::set<int> Jobs(const QString& queue, const char* which) {
    std::set<int> ids;
    const QRegularExpression line("^" + QRegularExpression::escape(queue) + "-(\\d+)\\s");
    for (const QString& l : CommandOutput("lpstat", {"-W", which, "-o", queue}).split('\n')) {
        const auto m = line.match(l);
        if (m.hasMatch()) ids.insert(m.captured(1).toInt());
    }
    return ids;
}

// The PDFs in the output folder written at or after `since`: the printer
// names its file after the job's title and writes it again for every job.
QStringList PdfsWrittenSince(const QDateTime& since) {
    QStringList names;
    for (const QFileInfo& f : PdfFolder().entryInfoList({"*.pdf"}, QDir::Files))
        if (f.lastModified() >= since) names.push_back(f.absoluteFilePath());
    return names;
}

std::string PdfPages(const QString& path) {
    QProcess p;
    p.start("pdfinfo", {path});
    if (!p.waitForFinished(30000)) return "no pdfinfo";
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (line.startsWith("Pages:")) return line.simplified().toStdString();
    return "no page count";
}

// The mode chosen in "曲线截屏设置" by its radio button.
void ChooseMode(CMainFrame* f, const char* button) {
    frametest::AnswerNextDialog([button](QDialog& d) {
        auto* b = d.findChild<QRadioButton*>(QString::fromUtf8(button));
        ASSERT_NE(b, nullptr);
        b->setChecked(true);
    });
    f->OnCommand(ID_SCREENSHOT_SETUP);
}

QStringList Bitmaps(const std::string& home) {
    return QDir(QString::fromStdString(home + "/Data/当前任务")).entryList({"*.bmp"}, QDir::Files);
}

TEST_F(PrintingFrameTest, CtrlCSavesTheCurveAndPrintsOnePage) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    QAction* shot = f->Action(ID_SCREENSHOT_PRINT);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
    f->UpdateCommandUI();
    EXPECT_FALSE(shot->isEnabled());  // no curve window yet

    f->OnCommand(ID_RAW_CURVE);
    QWidget* curve = f->View(FrameView::RawCurve).wnd;
    ASSERT_NE(curve, nullptr);
    f->UpdateCommandUI();
    EXPECT_TRUE(shot->isEnabled());

    ChooseMode(f, "存盘且打印");
    EXPECT_EQ(f->m_para.screenshot.mode, 2);
    EXPECT_EQ(cfg::LoadScreenshotConfig(Home()).mode, 2);

    const QString queue = QPrinterInfo::defaultPrinter().printerName();
    const std::set<int> jobsBefore = queue.isEmpty() ? std::set<int>{} : Jobs(queue, "all");
    // File times have whole seconds on some file systems.
    const QDateTime sent = QDateTime::currentDateTime().addSecs(-1);
    shot->trigger();
    ASSERT_TRUE(f->WaitForScreenshots());
    const QStringList files = Bitmaps(Home());
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression("^\\d{12}\\.bmp$").match(files[0]).hasMatch())
        << files[0].toStdString();
    const QImage saved(QString::fromStdString(Home() + "/Data/当前任务/") + files[0], "BMP");
    EXPECT_EQ(saved.size(), curve->size());
    if (!queue.isEmpty()) {
        // Our job, found by its id among the completed ones, then its file.
        int job = 0;
        ASSERT_WAIT_UNTIL(([&] {
                              for (int id : Jobs(queue, "completed"))
                                  if (!jobsBefore.count(id)) job = id;
                              return job > 0;
                          }()),
                          60s);
        ASSERT_WAIT_UNTIL(([&] {
                              for (const QString& f : PdfsWrittenSince(sent))
                                  if (PdfPages(f) == "Pages: 1") return true;
                              return false;
                          }()),
                          60s);
    } else {
        // Without a print server nothing can be printed either.
        const bool server = CommandOutput("lpstat", {"-r"}).contains("is running");
        EXPECT_TRUE(boxes_->Saw(server ? "没有默认的打印机！" : "打印机未准备好！"));
    }

    // A second screenshot in the same second keeps the first file.
    shot->trigger();
    shot->trigger();
    ASSERT_TRUE(f->WaitForScreenshots());
    EXPECT_EQ(Bitmaps(Home()).size(), 3);
}

TEST_F(PrintingFrameTest, PrintOnlyWritesNoFileAndWithoutCurveNothingHappens) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_SCREENSHOT_PRINT);  // no curve window: nothing
    ASSERT_TRUE(f->WaitForScreenshots());
    EXPECT_FALSE(QDir(QString::fromStdString(Home() + "/Data")).exists());

    f->OnCommand(ID_RAW_CURVE);
    ChooseMode(f, "图片仅打印");
    f->OnCommand(ID_SCREENSHOT_PRINT);
    ASSERT_TRUE(f->WaitForScreenshots());
    EXPECT_TRUE(Bitmaps(Home()).isEmpty());
    f->OnCommand(ID_ZERO_PRINT);  // a command without effect
    EXPECT_TRUE(Bitmaps(Home()).isEmpty());
}

// A frame whose print server is the test's own: the default queue it found
// at start-up is changed under it before Ctrl+C.
class PrivateQueueFrameTest : public PrintingFrameTest {
protected:
    // Prints a screenshot of the raw curve alone; the boxes it showed.
    std::vector<std::string> PrintOnce(CMainFrame* f) {
        if (!f->View(FrameView::RawCurve).wnd) f->OnCommand(ID_RAW_CURVE);
        ChooseMode(f, "图片仅打印");
        const std::size_t before = boxes_->Texts().size();
        f->OnCommand(ID_SCREENSHOT_PRINT);
        EXPECT_TRUE(f->WaitForScreenshots());
        const std::vector<std::string> all = boxes_->Texts();
        return {all.begin() + static_cast<long>(before), all.end()};
    }
    using Boxes = std::vector<std::string>;
};

#define REQUIRE_CUPSD()                               \
    if (!printtest::CupsdInstalled())                 \
    GTEST_SKIP() << "cupsd is not installed (Debian " \
                    "cups-daemon)"

TEST_F(PrivateQueueFrameTest, AQueueRemovedAfterStartUpIsNoDefaultPrinter) {
    REQUIRE_CUPSD();
    printtest::PrivateCupsd cupsd;
    ASSERT_TRUE(cupsd.AddQueue("Station", true));
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    EXPECT_EQ(PrintOnce(f), Boxes{});  // the queue is there and takes the job
    ASSERT_TRUE(cupsd.Remove("Station"));
    EXPECT_EQ(PrintOnce(f), Boxes{"没有默认的打印机！"});
}

TEST_F(PrivateQueueFrameTest, ARejectingQueueOrAStoppedServerIsNotReady) {
    REQUIRE_CUPSD();
    printtest::PrivateCupsd cupsd;
    ASSERT_TRUE(cupsd.AddQueue("Station", true));
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_TRUE(cupsd.Reject("Station"));
    EXPECT_EQ(PrintOnce(f), Boxes{"打印机未准备好！"});
    cupsd.Stop();
    EXPECT_EQ(PrintOnce(f), Boxes{"打印机未准备好！"});
}

TEST_F(PrivateQueueFrameTest, AJobTheServerRefusesIsAFailedScreenshotPrint) {
    REQUIRE_CUPSD();
    // The scheduler takes no request above 1 KiB: the queue looks ready, the
    // page is refused.
    printtest::PrivateCupsd cupsd("MaxRequestSize 1k");
    ASSERT_TRUE(cupsd.AddQueue("Station", true));
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    EXPECT_EQ(PrintOnce(f), Boxes{"截屏打印失败！"});
    EXPECT_TRUE(QDir(QString::fromStdString(cupsd.OutDir())).isEmpty());
}

}  // namespace

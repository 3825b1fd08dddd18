// Screenshots of the raw curve in the running frame against a loopback card
// engine: the settings dialog, Ctrl+C, the bitmap in the task's folder and
// the printed page.
#include <pwd.h>
#include <testsupport/wait.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <set>

#include "command_ids.h"
#include "frame_test_kit.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
using PrintingFrameTest = frametest::EngineFrameTest;

QDir PdfFolder() {
    return QDir(QString::fromLocal8Bit(::getpwuid(::getuid())->pw_dir) + "/PDF");
}

std::set<QString> Pdfs() {
    std::set<QString> names;
    for (const QString& n : PdfFolder().entryList({"*.pdf"}, QDir::Files)) names.insert(n);
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

    const std::set<QString> before = Pdfs();
    const bool queue = !QPrinterInfo::defaultPrinter().isNull();
    shot->trigger();
    ASSERT_TRUE(f->WaitForScreenshots());
    const QStringList files = Bitmaps(Home());
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression("^\\d{12}\\.bmp$").match(files[0]).hasMatch())
        << files[0].toStdString();
    const QImage saved(QString::fromStdString(Home() + "/Data/当前任务/") + files[0], "BMP");
    EXPECT_EQ(saved.size(), curve->size());
    if (queue) {
        QString made;
        ASSERT_WAIT_UNTIL(([&] {
                              for (const QString& n : Pdfs())
                                  if (!before.count(n)) made = n;
                              return !made.isEmpty() &&
                                     PdfPages(PdfFolder().filePath(made)) == "Pages: 1";
                          }()),
                          60s);
    } else {
        EXPECT_TRUE(boxes_->Saw("没有默认的打印机！"));
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

}  // namespace

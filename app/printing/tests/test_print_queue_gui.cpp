// Printing a screenshot on the default queue of a print server of the test's
// own: the queue is looked up at every print, a queue that rejects jobs, is
// gone or whose server has stopped is reported, and a job the server does
// not take is a failure.
#include <gtest/gtest.h>
#include <printing/screenshot_qt.h>
#include <testsupport/wait.h>

#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>

#include "private_cupsd.h"

namespace {

using namespace printing;
using namespace std::chrono_literals;

#define REQUIRE_CUPSD()                               \
    if (!printtest::CupsdInstalled())                 \
    GTEST_SKIP() << "cupsd is not installed (Debian " \
                    "cups-daemon)"

// Noise, so that the page's document does not compress to almost nothing.
QImage Picture() {
    QImage img(320, 200, QImage::Format_RGB32);
    std::uint32_t x = 12345;
    for (int r = 0; r < img.height(); ++r)
        for (int c = 0; c < img.width(); ++c) {
            x = x * 1103515245u + 12345u;
            img.setPixel(c, r, x >> 8);
        }
    return img;
}

std::string Pages(const std::string& path) {
    QProcess p;
    p.start("pdfinfo", {QString::fromStdString(path)});
    if (!p.waitForFinished(30000)) return "no pdfinfo";
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (line.startsWith("Pages:")) return line.simplified().toStdString();
    return "no page count";
}

TEST(DefaultQueuePrint, TheQueueIsLookedUpAtEveryPrintAndTheJobIsOnePage) {
    REQUIRE_CUPSD();
    printtest::PrivateCupsd cupsd;
    ASSERT_TRUE(cupsd.Running()) << cupsd.ErrorLog();
    const QImage picture = Picture();
    PrintOutcome none = PrintScreenshotOnDefaultQueue(picture, nullptr);
    EXPECT_STREQ(none.failure, kNoPrinterText);

    // A queue that appears later is used at the next print.
    ASSERT_TRUE(cupsd.AddQueue("Later", true));
    const PrintOutcome done = PrintScreenshotOnDefaultQueue(picture, nullptr);
    ASSERT_EQ(done.failure, nullptr) << done.detail;
    EXPECT_EQ(done.queue, "Later");
    ASSERT_GT(done.jobId, 0);
    const std::string out = cupsd.JobOutput(done.jobId);
    ASSERT_WAIT_UNTIL(QFile::exists(QString::fromStdString(out)), 30s);
    EXPECT_EQ(Pages(out), "Pages: 1");

    // Settings for that queue give the layout and the copies.
    QPrinter settings(QPrinter::HighResolution);
    settings.setPrinterName("Later");
    settings.setPageOrientation(QPageLayout::Landscape);
    settings.setCopyCount(2);
    const PrintOutcome second = PrintScreenshotOnDefaultQueue(picture, &settings);
    ASSERT_EQ(second.failure, nullptr) << second.detail;
    EXPECT_GT(second.jobId, done.jobId);
    ASSERT_WAIT_UNTIL(QFile::exists(QString::fromStdString(cupsd.JobOutput(second.jobId))), 30s);
}

TEST(DefaultQueuePrint, ARemovedDefaultQueueMeansNoDefaultPrinter) {
    REQUIRE_CUPSD();
    printtest::PrivateCupsd cupsd;
    ASSERT_TRUE(cupsd.AddQueue("Gone", true));
    ASSERT_EQ(PrintScreenshotOnDefaultQueue(Picture(), nullptr).failure, nullptr);
    ASSERT_TRUE(cupsd.Remove("Gone"));
    EXPECT_STREQ(PrintScreenshotOnDefaultQueue(Picture(), nullptr).failure, kNoPrinterText);
}

TEST(DefaultQueuePrint, ARejectingQueueOrAStoppedServerIsNotReady) {
    REQUIRE_CUPSD();
    printtest::PrivateCupsd cupsd;
    ASSERT_TRUE(cupsd.AddQueue("Busy", true));
    ASSERT_TRUE(cupsd.Reject("Busy"));
    PrintOutcome r = PrintScreenshotOnDefaultQueue(Picture(), nullptr);
    EXPECT_STREQ(r.failure, kPrinterNotReadyText);
    EXPECT_EQ(r.queue, "Busy");
    EXPECT_EQ(r.jobId, 0);

    cupsd.Stop();
    r = PrintScreenshotOnDefaultQueue(Picture(), nullptr);
    EXPECT_STREQ(r.failure, kPrinterNotReadyText);
    EXPECT_EQ(r.jobId, 0);
}

TEST(DefaultQueuePrint, AJobTheServerDoesNotTakeIsAFailedPrint) {
    REQUIRE_CUPSD();
    // A scheduler that takes no request larger than 2 KiB: the queue looks
    // ready, the page's document is refused.
    printtest::PrivateCupsd cupsd("MaxRequestSize 2k");
    ASSERT_TRUE(cupsd.AddQueue("Small", true));
    const PrintOutcome r = PrintScreenshotOnDefaultQueue(Picture(), nullptr);
    EXPECT_STREQ(r.failure, kPrintFailedText);
    EXPECT_EQ(r.queue, "Small");
    EXPECT_EQ(r.jobId, 0);
    EXPECT_FALSE(r.detail.empty());
}

}  // namespace

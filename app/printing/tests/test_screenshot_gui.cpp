// Screenshots offscreen: bitmaps read back by Qt's own reader, the capture of
// a window partly off the screen, and printing to a real queue or a PDF.
#include <gtest/gtest.h>
#include <printing/screenshot_qt.h>
#include <pwd.h>
#include <testsupport/temp_home.h>
#include <testsupport/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <set>

namespace {

using namespace printing;

QList<QRgb> PaletteOf(int depth) {
    if (depth == 1) return {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    if (depth == 4)
        return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
                qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
                qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
                qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    QList<QRgb> grey;
    for (int i = 0; i < 256; ++i) grey.push_back(qRgb(i, i, i));
    return grey;
}

// 101 x 50 pixels whose colours the depth can hold exactly.
QImage Pattern(int depth) {
    QImage img(101, 50, QImage::Format_RGB32);
    const QList<QRgb> palette = PaletteOf(depth);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (depth == 24)
                img.setPixel(x, y, qRgb(x * 2, y * 5, (x + y) % 256));
            else
                img.setPixel(x, y, palette[(x * 7 + y * 3) % palette.size()]);
        }
    return img;
}

TEST(ScreenshotBmp, QtsReaderSeesTheSamePixelsAtEveryDepth) {
    talvora::test::TempDir dir;
    struct Case {
        int depth;
        qint64 bytes;
    };
    for (const Case c : {Case{1, 862}, Case{4, 2718}, Case{8, 6278}, Case{24, 15254}}) {
        SCOPED_TRACE(c.depth);
        const QImage source = Pattern(c.depth);
        const std::string path = SaveScreenshotBmp(source, c.depth, dir.path() + "/Data/t",
                                                   "d" + std::to_string(c.depth));
        ASSERT_FALSE(path.empty());
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(bytes.size(), c.bytes);
        EXPECT_EQ(std::uint8_t(bytes[28]) | std::uint8_t(bytes[29]) << 8, c.depth);
        const QImage back(QString::fromStdString(path), "BMP");
        ASSERT_FALSE(back.isNull());
        ASSERT_EQ(back.size(), source.size());
        int differing = 0;
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                differing += (back.pixel(x, y) & 0xFFFFFF) != (source.pixel(x, y) & 0xFFFFFF);
        EXPECT_EQ(differing, 0);
    }
}

TEST(ScreenshotCapture, AWindowPartlyOffTheScreenGivesItsVisiblePart) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QSize size = screen->size();
    QWidget w;
    w.setAutoFillBackground(true);
    QPalette pal = w.palette();
    pal.setColor(QPalette::Window, QColor(10, 200, 30));
    w.setPalette(pal);
    w.resize(300, 200);
    w.move(size.width() - 100, size.height() - 60);
    w.show();
    ASSERT_WAIT_UNTIL((QApplication::processEvents(),
                       w.isVisible() && w.windowHandle() && w.windowHandle()->isExposed()),
                      std::chrono::seconds(10));
    const Capture c = CaptureVisiblePart(&w);
    ASSERT_FALSE(c.image.isNull());
    RecordProperty("capture", c.grabbed ? "window grab" : "screen grab");
    // The client area sits inside the window's frame: what shows of it is
    // less than 100 x 60 by the frame's margins.
    const QRect client(w.mapToGlobal(QPoint(0, 0)), w.size());
    const QSize visible = client.intersected(QRect(QPoint(0, 0), size)).size();
    EXPECT_LE(visible.width(), 100);
    EXPECT_GT(visible.width(), 80);
    EXPECT_EQ(c.image.size(), visible) << (c.grabbed ? "window grab" : "screen grab");
    EXPECT_EQ(c.screenDepth, screen->depth());
    EXPECT_EQ(QColor(c.image.pixel(50, 30)), QColor(10, 200, 30));

    w.move(size.width() + 10, 0);  // wholly off the screen: nothing
    QApplication::processEvents();
    EXPECT_TRUE(CaptureVisiblePart(&w).image.isNull());
    EXPECT_TRUE(CaptureVisiblePart(nullptr).image.isNull());
}

std::string PdfPages(const QString& path) {
    QProcess p;
    p.start("pdfinfo", {path});
    if (!p.waitForFinished(30000)) return "no pdfinfo";
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (line.startsWith("Pages:")) return line.simplified().toStdString();
    return "no page count";
}

TEST(ScreenshotPrint, OnePageOnAPdfDeviceAndNothingWithoutAPrinter) {
    const QImage picture = Pattern(24);
    EXPECT_STREQ(PrintScreenshot(nullptr, picture), kNoPrinterText);
    QPrinter none{QPrinterInfo()};
    none.setOutputFormat(QPrinter::NativeFormat);
    if (none.printerName().isEmpty()) {
        EXPECT_STREQ(PrintScreenshot(&none, picture), kNoPrinterText);
    }
    talvora::test::TempDir dir;
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    const QString out = QString::fromStdString(dir.path() + "/out.pdf");
    pdf.setOutputFileName(out);
    ASSERT_EQ(PrintScreenshot(&pdf, picture), nullptr);
    EXPECT_EQ(PdfPages(out), "Pages: 1");
    // A file that cannot be written is a failed print, not a success.
    pdf.setOutputFileName(QString::fromStdString(dir.path() + "/missing/out.pdf"));
    EXPECT_NE(PrintScreenshot(&pdf, picture), nullptr);
}

}  // namespace

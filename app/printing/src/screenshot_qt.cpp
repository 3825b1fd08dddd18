#include <printing/bmp_writer.h>
#include <printing/print_queue.h>
#include <printing/screenshot_files.h>
#include <printing/screenshot_qt.h>
#include <unistd.h>

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QScreen>
#include <QTemporaryFile>
#include <QWidget>
#include <algorithm>

namespace printing {

namespace {

// The sixteen colours of a 4-bit display and the two of a 1-bit one.
QList<QRgb> FourBitColours() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// The picture as the writer takes it: 32-bit words for depth 24, one index
// byte per pixel with a full colour table below that.
bool ToBmpPicture(const QImage& image, int depth, QImage* holder, BmpPicture* out) {
    out->width = image.width();
    out->height = image.height();
    out->depth = depth;
    if (depth == 24) {
        *holder = image.convertToFormat(QImage::Format_RGB32);
    } else {
        QList<QRgb> table;
        if (depth == 1) table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
        if (depth == 4) table = FourBitColours();
        *holder = depth == 8
                      ? image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
                      : image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
        QList<QRgb> colours = holder->colorTable();
        const int entries = 1 << depth;
        if (colours.size() > entries) return false;
        while (colours.size() < entries) colours.push_back(qRgb(0, 0, 0));
        out->colours.clear();
        for (QRgb c : colours) out->colours.push_back(std::uint32_t(c) & 0x00FFFFFFu);
    }
    if (holder->isNull()) return false;
    out->pixels = holder->constBits();
    out->stride = std::size_t(holder->bytesPerLine());
    return true;
}

}  // namespace

Capture CaptureVisiblePart(QWidget* window) {
    Capture c;
    if (!window || !window->isVisible()) return c;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return c;
    c.screenDepth = screen->depth();
    const QRect onScreen(window->mapToGlobal(QPoint(0, 0)), window->size());
    if (onScreen.isEmpty()) return c;
    // Left and top not below 0, right and bottom not beyond the screen.
    const QSize size = screen->size();
    const QRect visible = onScreen.intersected(QRect(QPoint(0, 0), size));
    if (visible.isEmpty()) return c;
    const QPixmap shot =
        screen->grabWindow(0, visible.x(), visible.y(), visible.width(), visible.height());
    if (!shot.isNull() && shot.width() > 0 && shot.height() > 0) {
        c.image = shot.toImage();
        return c;
    }
    const QRect local(window->mapFromGlobal(visible.topLeft()), visible.size());
    c.image = window->grab(local).toImage();
    c.grabbed = true;
    return c;
}

std::string SaveScreenshotBmp(const QImage& image, int depth, const std::string& folder,
                              const std::string& stem) {
    if (image.isNull()) return {};
    QImage holder;
    BmpPicture picture;
    if (!ToBmpPicture(image, depth, &holder, &picture)) return {};
    const std::vector<std::uint8_t> bytes = EncodeBmp(picture);
    if (bytes.empty()) return {};
    std::string path;
    const int fd = CreateScreenshotFile(folder, stem, &path);
    if (fd < 0) return {};
    const bool written = WriteAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    if (written && closed) return path;
    ::unlink(path.c_str());
    return {};
}

namespace {

// The picture on one page, scaled to fit and centred. False when the page
// could not be started, the picture does not fit a page, or the device did
// not finish the document.
bool DrawPage(QPrinter* printer, const QImage& image, bool* started) {
    printer->setDocName(QStringLiteral("图片打印"));
    printer->setFromTo(1, 1);
    QPainter painter;
    *started = painter.begin(printer);
    if (!*started) return false;
    const QRect page = painter.viewport();
    const double scale =
        std::min(double(page.width()) / image.width(), double(page.height()) / image.height());
    const bool fits = page.width() > 0 && page.height() > 0 && scale > 0;
    if (fits) {
        const QSizeF drawn(image.width() * scale, image.height() * scale);
        const QRectF target(page.x() + (page.width() - drawn.width()) / 2.0,
                            page.y() + (page.height() - drawn.height()) / 2.0, drawn.width(),
                            drawn.height());
        painter.drawImage(target, image);
    }
    const bool ended = painter.end();
    return fits && ended && printer->printerState() != QPrinter::Error;
}

}  // namespace

const char* PrintScreenshot(QPrinter* printer, const QImage& image) {
    if (!printer) return kNoPrinterText;
    // Neither a queue nor a file: without a print server Qt makes a PDF
    // printer of a printer that names no queue.
    if (printer->outputFormat() == QPrinter::NativeFormat && printer->printerName().isEmpty())
        return kNoPrinterText;
    if (printer->outputFormat() == QPrinter::PdfFormat && printer->outputFileName().isEmpty())
        return kNoPrinterText;
    if (image.isNull()) return kPrintFailedText;
    bool started = false;
    if (DrawPage(printer, image, &started)) return nullptr;
    return started ? kPrintFailedText : kPrinterNotReadyText;
}

PrintOutcome PrintScreenshotOnDefaultQueue(const QImage& image, const QPrinter* settings) {
    PrintOutcome out;
    const QueueLookup queue = LookUpDefaultQueue();
    out.queue = queue.name;
    out.detail = queue.detail;
    switch (queue.state) {
        case QueueState::Missing:
            out.failure = kNoPrinterText;
            return out;
        case QueueState::Rejecting:
        case QueueState::Unreachable:
            out.failure = kPrinterNotReadyText;
            return out;
        case QueueState::Ready:
            break;
    }
    out.failure = kPrintFailedText;
    if (image.isNull()) return out;
    // The page goes into a document of our own that the server then takes
    // as a job, so that its answer is known.
    QTemporaryFile document(QDir::tempPath() + QStringLiteral("/talvora-print-XXXXXX.pdf"));
    if (!document.open()) {
        out.detail = "no temporary file";
        return out;
    }
    document.close();
    QPrinter pdf(QPrinter::HighResolution);
    int copies = 1;
    if (settings && settings->printerName().toStdString() == queue.name) {
        pdf.setPageLayout(settings->pageLayout());
        pdf.setColorMode(settings->colorMode());
        copies = std::max(1, settings->copyCount());
    }
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(document.fileName());
    bool started = false;
    if (!DrawPage(&pdf, image, &started)) {
        out.detail = "the page could not be drawn";
        return out;
    }
    const Submission job =
        SubmitFile(queue.name, document.fileName().toStdString(), "图片打印", copies);
    if (job.jobId == 0) {
        out.detail = job.detail;
        return out;
    }
    out.failure = nullptr;
    out.jobId = job.jobId;
    out.detail.clear();
    return out;
}

}  // namespace printing

// Screenshots of a window: the capture on the GUI thread, and the saving
// and printing that a worker does with its own copy of the picture.
#pragma once

#include <QImage>
#include <string>

class QPrinter;
class QWidget;

namespace printing {

struct Capture {
    QImage image;          // null when the window shows nothing on the screen
    int screenDepth = 32;  // bits per pixel of the window's screen
    bool grabbed = false;  // the screen gave nothing; the window painted itself
};

// The part of `window` that lies on its screen, taken from the screen; where
// the platform returns an empty picture, the window's own rendering of the
// same part. GUI thread only.
Capture CaptureVisiblePart(QWidget* window);

// Saves the picture as a bitmap of `depth` bits (1, 4, 8 or 24) in a new
// file "<folder>/<stem>.bmp" ("-2", "-3" ... when taken). Returns the path,
// or empty when the folder or file could not be made or written.
std::string SaveScreenshotBmp(const QImage& image, int depth, const std::string& folder,
                              const std::string& stem);

// Prints the picture on one page of `printer` (document "图片打印"), scaled
// to fit and centred. Null on success, else the message to show: no printer,
// printer not ready, or the drawing failed. Any thread; the caller keeps
// others off the printer meanwhile.
const char* PrintScreenshot(QPrinter* printer, const QImage& image);

struct PrintOutcome {
    const char* failure = nullptr;  // null: the print server took the job
    std::string queue;              // the default queue found, if any
    int jobId = 0;                  // the job the server took
    std::string detail;             // the server's words for a failure
};

// Prints the picture on the queue that is the default now: looks the queue
// up and checks that it accepts jobs, draws the page into a document and
// checks that the print server took it as a job. `settings` (may be null)
// gives the page layout and copies when it is set up for that same queue.
// Any thread.
PrintOutcome PrintScreenshotOnDefaultQueue(const QImage& image, const QPrinter* settings);

inline constexpr const char* kNoPrinterText = "没有默认的打印机！";
inline constexpr const char* kPrinterNotReadyText = "打印机未准备好！";
inline constexpr const char* kPrintFailedText = "截屏打印失败！";

}  // namespace printing

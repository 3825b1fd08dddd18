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

inline constexpr const char* kNoPrinterText = "没有默认的打印机！";
inline constexpr const char* kPrinterNotReadyText = "打印机未准备好！";
inline constexpr const char* kPrintFailedText = "截屏打印失败！";

}  // namespace printing

// Screenshots of the raw curve (32789, Ctrl+C), their settings (32790) and
// the print set-up (57606): the capture on the GUI thread, then a worker per
// screenshot that owns its picture, saves it and prints it.
#include <log/system_log.h>
#include <platform/notify.h>
#include <printing/bmp_writer.h>
#include <printing/screenshot_files.h>
#include <printing/screenshot_qt.h>
#include <printing/screenshot_setup_dlg.h>

#include <QPrintDialog>
#include <QPrinter>
#include <cstring>
#include <ctime>

#include "main_frame.h"
#include "printer_defaults.h"

namespace {

// How long the exit sequence waits for screenshots still being saved or printed.
constexpr auto kScreenshotExitWait = std::chrono::seconds(10);

}  // namespace

void CMainFrame::UsePrinter(PrinterDefaults* printer) {
    m_appPrinter = printer;
}

PrinterDefaults* CMainFrame::Printer() {
    if (m_appPrinter) return m_appPrinter;
    if (!m_ownPrinter) {
        m_ownPrinter = std::make_unique<PrinterDefaults>();
        ReadPrinterDefaults(m_ownPrinter.get());
    }
    return m_ownPrinter.get();
}

bool CMainFrame::RawCurveWindowOpen() {
    const ViewSlot& slot = View(FrameView::RawCurve);
    return slot.open && slot.wnd;
}

void CMainFrame::OnScreenshotPrint() {
    if (!RawCurveWindowOpen()) return;
    const printing::Capture capture = printing::CaptureVisiblePart(View(FrameView::RawCurve).wnd);
    if (capture.image.isNull()) return;
    m_lastCaptureGrabbed = capture.grabbed;
    const int mode = m_para.screenshot.mode;
    const int depth = printing::BmpDepthForScreen(capture.screenDepth);
    const std::string task(m_taskInfo->任务名,
                           ::strnlen(m_taskInfo->任务名, sizeof m_taskInfo->任务名));
    const std::string folder = printing::ScreenshotFolder(m_strModuleDir, task);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const std::string stem = printing::ScreenshotStem(local);
    PrinterDefaults* printer = (mode == 1 || mode == 2) ? Printer() : nullptr;
    std::mutex* printLock = &m_printLock;
    // The worker owns its copy of the picture; the next screenshot takes a new one.
    const bool started = m_screenshots.Start([image = capture.image, mode, depth, folder, stem,
                                              printer, printLock] {
        if (mode == 0 || mode == 2) {
            if (printing::SaveScreenshotBmp(image, depth, folder, stem).empty())
                applog::PostLog("截屏文件保存失败：" + folder + "/" + stem + ".bmp");
        }
        if (mode == 1 || mode == 2) {
            // The default queue is looked up again for every print: it may
            // have been added, removed or stopped since start-up.
            printing::PrintOutcome outcome;
            {
                std::lock_guard lock(*printLock);
                const QPrinter* settings = printer ? printer->printer.get() : nullptr;
                outcome = printing::PrintScreenshotOnDefaultQueue(image, settings);
            }
            if (outcome.failure) {
                if (!outcome.detail.empty())
                    applog::PostLog(std::string(outcome.failure) + " " + outcome.queue + " " +
                                    outcome.detail);
                plat::MessageBox(outcome.failure, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
            }
        }
    });
    if (!started) applog::PostLog("截屏线程创建失败！");
}

void CMainFrame::OnScreenshotSetup() {
    printing::CScreenshotSetupDlg dlg(this, m_para.screenshot.mode);
    if (dlg.exec() != QDialog::Accepted) return;
    m_para.screenshot.mode = dlg.Mode();
    SaveScreenshotConfig();
}

void CMainFrame::OnPrintSetup() {
    PrinterDefaults* printer = Printer();
    if (!printer->available || !printer->printer) {
        plat::MessageBox(printing::kNoPrinterText, "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
        return;
    }
    // No screenshot prints while the settings change.
    std::lock_guard lock(m_printLock);
    QPrintDialog dlg(printer->printer.get(), this);
    dlg.setWindowTitle(QStringLiteral("打印设置"));
    dlg.exec();
}

bool CMainFrame::WaitForScreenshots() {
    return m_screenshots.WaitAll(kScreenshotExitWait);
}

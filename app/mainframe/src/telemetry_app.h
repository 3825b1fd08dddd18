// CTelemetryApp: the application object. Start-up checks for a running copy,
// creates and shows the main frame and reads the printer defaults; the
// process ends with exit code 0 once the frame's exit sequence has run.
#pragma once

#include <QApplication>
#include <memory>

#include "command_line.h"
#include "instance_guard.h"
#include "printer_defaults.h"

class CMainFrame;
class QtNotifySink;

// Loads Qt's own texts in Chinese into `app`; the file loaded, or empty (with
// a line on standard error) when the translation is not installed.
QString InstallQtTranslations(QCoreApplication& app);

class CTelemetryApp : public QApplication {
    Q_OBJECT

public:
    CTelemetryApp(int& argc, char** argv);
    ~CTelemetryApp() override;

    // True when the event loop should run; otherwise *exitCode says how the
    // process ends (second copy, bad command line, failed frame).
    bool InitInstance(int* exitCode);

    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }
    const PrinterDefaults& Printer() const { return m_printer; }

private:
    bool ApplyCommandLine(int* exitCode);
    bool RaiseMainFrame();
    void LeaveUnattended(bool takeSnapshot);

    mainframe::CommandLine m_cmd;
    InstanceClaim m_instance;  // held for the life of the process
    std::unique_ptr<InstanceServer> m_instanceServer;
    std::shared_ptr<QtNotifySink> m_sink;
    bool m_started = false;  // InitInstance has returned; the main loop runs next
    PrinterDefaults m_printer;
    std::unique_ptr<CMainFrame> m_pMainWnd;
};

#include "telemetry_app.h"

#include <platform/notify.h>
#include <platform/paths.h>

#include <QDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "main_frame.h"
#include "main_frame_params.h"
#include "qt_notify.h"
#include "window_snapshots.h"

QString InstallQtTranslations(QCoreApplication& app) {
    // The program speaks Chinese: Qt's own texts (file dialogs, button boxes,
    // the window menus) follow the locale when it is a Chinese one, and are
    // Simplified Chinese otherwise.
    QLocale locale = QLocale::system();
    if (locale.language() != QLocale::Chinese) locale = QLocale(QLocale::Chinese, QLocale::China);
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), dir) ||
        translator->load(QStringLiteral("qtbase_zh_CN"), dir)) {
        app.installTranslator(translator);
        return translator->filePath();
    }
    delete translator;
    std::fprintf(stderr, "Talvora: Qt's Chinese texts (qtbase_zh_CN.qm) are missing in %s\n",
                 dir.toLocal8Bit().constData());
    return {};
}

CTelemetryApp::CTelemetryApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Talvora"));
    // The application profile (QSettings) lives under this key.
    setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    setQuitOnLastWindowClosed(false);
    InstallQtTranslations(*this);
    // The Chinese texts need a CJK font; without it they show as boxes.
    if (QFontDatabase::families().contains(QStringLiteral("WenQuanYi Zen Hei")))
        setFont(QFont(QStringLiteral("WenQuanYi Zen Hei"), 10));
}

CTelemetryApp::~CTelemetryApp() {
    m_pMainWnd.reset();
    plat::SetBeepSink(nullptr);  // the tone thread ends before the application
    plat::SetNotifySink(nullptr);
}

bool CTelemetryApp::ApplyCommandLine(int* exitCode) {
    std::vector<std::string> args;
    const QStringList all = arguments();
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    const mainframe::CommandLineResult parsed = mainframe::ParseCommandLine(args);
    if (!parsed.line) {
        std::fprintf(stderr, "Talvora: %s\n%s", parsed.error.c_str(),
                     mainframe::CommandLineUsage().c_str());
        *exitCode = 2;
        return false;
    }
    m_cmd = *parsed.line;
    if (m_cmd.help) {
        std::fputs(mainframe::CommandLineUsage().c_str(), stdout);
        *exitCode = 0;
        return false;
    }
    if (!m_cmd.home.empty()) {
        const QString home = QFileInfo(QString::fromStdString(m_cmd.home)).absoluteFilePath();
        if (!plat::CreateDirectoryPath(home.toStdString())) {
            std::fprintf(stderr, "Talvora: cannot create the home directory %s\n",
                         home.toLocal8Bit().constData());
            *exitCode = 2;
            return false;
        }
        plat::SetModuleDirectory(home.toStdString());
    }
    if (!m_cmd.engine.empty()) ::setenv("TALVORA_ENGINE", m_cmd.engine.c_str(), 1);
    return true;
}

bool CTelemetryApp::InitInstance(int* exitCode) {
    // The options decide where the frame's files are, so they come first.
    if (!ApplyCommandLine(exitCode)) return false;

    m_sink = std::make_shared<QtNotifySink>();
    if (!m_cmd.commands.empty())
        QTimer::singleShot(4000, this, [this] {
            if (CMainFrame* f = m_pMainWnd.get())
                for (unsigned id : m_cmd.commands) f->PostCommand(id);
        });
    // The deadline counts from the start: boxes shown during the start-up
    // share it rather than each waiting the whole time.
    if (m_cmd.quitAfterSeconds > 0) {
        m_sink->SetDeadline(std::chrono::steady_clock::now() +
                            std::chrono::seconds(m_cmd.quitAfterSeconds));
        QTimer::singleShot(m_cmd.quitAfterSeconds * 1000, this, [this] { LeaveUnattended(true); });
    }
    plat::SetNotifySink(m_sink);
    plat::SetBeepSink(MakeAlarmToneSink());

    // One copy per user and object namespace.
    const std::string instanceDir = mainframe::InstanceDir();
    m_instance = ClaimSingleInstance(instanceDir);
    if (m_instance.refused) {
        *exitCode = 1;
        return false;
    }
    if (m_instance.lock) {
        m_instanceServer = std::make_unique<InstanceServer>(InstanceSocketPath(instanceDir),
                                                            [this] { return RaiseMainFrame(); });
        m_instanceServer->Listen();
    }

    // The main frame.
    m_pMainWnd = std::make_unique<CMainFrame>();
    if (!m_pMainWnd->OnCreate()) {
        *exitCode = 1;
        return false;
    }
    connect(m_pMainWnd.get(), &CMainFrame::exitConfirmed, this,
            [this] { m_sink->SetShuttingDown(true); });
    connect(
        m_pMainWnd.get(), &CMainFrame::exitSequenceFinished, this,
        [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    // Shown maximised; then the printer defaults.
    // Without a window manager (a virtual display) the maximised state is
    // ignored, so the frame also takes the whole available screen itself.
    if (QScreen* screen = primaryScreen()) m_pMainWnd->setGeometry(screen->availableGeometry());
    m_pMainWnd->showMaximized();
    ReadPrinterDefaults(&m_printer);
    m_pMainWnd->UsePrinter(&m_printer);
    m_started = true;
    return true;
}

bool CTelemetryApp::RaiseMainFrame() {
    CMainFrame* frame = m_pMainWnd.get();
    if (!frame || frame->windowTitle() != QStringLiteral("Talvora")) return false;
    frame->showNormal();
    frame->raise();
    frame->activateWindow();
    return true;
}

void CTelemetryApp::LeaveUnattended(bool takeSnapshot) {
    // A box of the frame's creation may hold the deadline: it closes itself,
    // and the exit runs once the start-up is through.
    if (!m_started) {
        QTimer::singleShot(50, this, [this, takeSnapshot] { LeaveUnattended(takeSnapshot); });
        return;
    }
    CMainFrame* frame = m_pMainWnd.get();
    if (!frame) return;
    if (takeSnapshot && !m_cmd.snapshot.empty()) {
        const QString file = QFileInfo(QString::fromStdString(m_cmd.snapshot)).absoluteFilePath();
        if (frame->grab().save(file, "PNG"))
            std::fprintf(stdout, "Talvora: snapshot saved to %s\n", file.toLocal8Bit().constData());
        else
            std::fprintf(stderr, "Talvora: cannot save the snapshot %s\n",
                         file.toLocal8Bit().constData());
        // Open dialogs and other windows get pictures of their own.
        for (const QString& other : mainframe::SaveWindowSnapshots(frame, file))
            std::fprintf(stdout, "Talvora: snapshot saved to %s\n",
                         other.toLocal8Bit().constData());
        std::fflush(stdout);
    }
    // Close any open dialog first, a message box with its default answer;
    // leave from the main event loop only.
    for (QWidget* w : topLevelWidgets()) {
        auto* dlg = qobject_cast<QDialog*>(w);
        if (!dlg || !dlg->isVisible()) continue;
        auto* box = qobject_cast<QMessageBox*>(dlg);
        if (QPushButton* answer = box ? box->defaultButton() : nullptr)
            answer->click();
        else
            dlg->reject();
    }
    if (QThread::currentThread()->loopLevel() > 1) {
        QTimer::singleShot(50, this, [this] { LeaveUnattended(false); });
        return;
    }
    frame->CloseWithoutAsking();
}

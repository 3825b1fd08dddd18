// plotdemo: shows the scan and PCM raw-code plot windows of card 0, fed by
// the card's frames.
// Usage: plotdemo [--engine host:port] [--quit-after S] [--snapshot FILE.png]
#include <plotdemo/plot_demo_wnd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Usage() {
    std::fprintf(
        stderr,
        "Usage: plotdemo [--engine host:port] [--quit-after SECONDS] [--snapshot FILE.png]\n");
    return 2;
}

bool ValidEngine(const std::string& v) {
    const auto colon = v.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= v.size()) return false;
    const std::string port = v.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    const long p = std::strtol(port.c_str(), nullptr, 10);
    return p >= 1 && p <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
    int quitAfter = 0;
    std::string snapshot;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--engine" || a == "--quit-after" || a == "--snapshot") && i + 1 >= argc)
            return Usage();
        if (a == "--engine") {
            const std::string v = argv[++i];
            if (!ValidEngine(v)) return Usage();
            ::setenv("TALVORA_ENGINE", v.c_str(), 1);
        } else if (a == "--quit-after") {
            const std::string v = argv[++i];
            if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos)
                return Usage();
            quitAfter = std::atoi(v.c_str());
        } else if (a == "--snapshot") {
            snapshot = argv[++i];
        } else {
            return Usage();
        }
    }
    QApplication app(argc, argv);
    plotdemo::CPlotDemoWnd wnd;
    wnd.show();
    QString error;
    if (!wnd.Start(&error)) {
        std::fprintf(stderr, "plotdemo: %s\n", error.toUtf8().constData());
        if (quitAfter == 0) QMessageBox::warning(&wnd, wnd.windowTitle(), error);
        return 1;
    }
    if (!snapshot.empty() && quitAfter == 0) quitAfter = 5;
    if (quitAfter > 0)
        QTimer::singleShot(quitAfter * 1000, &wnd, [&] {
            // The picture is taken before the windows close.
            if (!snapshot.empty() && !wnd.grab().save(QString::fromStdString(snapshot), "PNG"))
                std::fprintf(stderr, "plotdemo: cannot write %s\n", snapshot.c_str());
            wnd.close();
        });
    const int rc = app.exec();
    std::printf("plotdemo: %llu blocks, taken by the table %llu, curve %llu, histogram %llu\n",
                static_cast<unsigned long long>(plotdemo::CPlotDemoWnd::BlocksReceived()),
                static_cast<unsigned long long>(plotdemo::CPlotDemoWnd::BlocksTaken(0)),
                static_cast<unsigned long long>(plotdemo::CPlotDemoWnd::BlocksTaken(1)),
                static_cast<unsigned long long>(plotdemo::CPlotDemoWnd::BlocksTaken(2)));
    return rc;
}

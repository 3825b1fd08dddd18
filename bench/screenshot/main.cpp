// What one screenshot costs the GUI thread: the capture of a 1920 x 1080
// window from the screen and its hand-off to a worker, against a plain copy
// of an image of the same size, both measured in the same run.
//   bench_screenshot [RUNS]
#include <printing/screenshot_jobs.h>
#include <printing/screenshot_qt.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A window that paints like a busy curve window.
class PlotLike : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        p.setPen(Qt::green);
        for (int x = 0; x < width(); x += 2) p.drawLine(x, height() / 2, x, (x * 37) % height());
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 50;
    // An offscreen screen large enough for the whole window.
    const std::string config = "/tmp/bench_screenshot_" + std::to_string(::getpid()) + ".json";
    std::ofstream(config) << R"({"screens":[{"name":"bench","x":0,"y":0,"width":1920,)"
                          << R"("height":1080,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})";
    const std::string platform = "offscreen:configfile=" + config;
    std::vector<char*> args = {argv[0], const_cast<char*>("-platform"),
                               const_cast<char*>(platform.c_str())};
    int n = int(args.size());
    QApplication app(n, args.data());

    PlotLike w;
    w.setWindowFlag(Qt::FramelessWindowHint);
    w.setGeometry(0, 0, 1920, 1080);
    w.show();
    for (int i = 0; i < 100 && !(w.windowHandle() && w.windowHandle()->isExposed()); ++i)
        QApplication::processEvents();
    QApplication::processEvents();

    printing::ScreenshotJobs jobs;
    std::vector<double> shot, copy;
    QSize size;
    bool grabbed = false;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const printing::Capture c = printing::CaptureVisiblePart(&w);
        jobs.Start([image = c.image] { (void)image.width(); });
        shot.push_back(t.nsecsElapsed() / 1e6);
        size = c.image.size();
        grabbed = c.grabbed;

        const QImage source(1920, 1080, QImage::Format_RGB32);
        t.restart();
        const QImage dup = source.copy();
        copy.push_back(t.nsecsElapsed() / 1e6);
        (void)dup.width();
    }
    jobs.WaitAll(std::chrono::seconds(10));
    ::unlink(config.c_str());
    const double a = Median(shot), b = Median(copy);
    std::printf("picture %dx%d (%s)\n", size.width(), size.height(),
                grabbed ? "window grab" : "screen grab");
    std::printf("screenshot on the GUI thread  median %.2f ms over %d\n", a, runs);
    std::printf("plain QImage copy             median %.2f ms\n", b);
    std::printf("ratio                         %.1f\n", b > 0 ? a / b : 0.0);
    return 0;
}

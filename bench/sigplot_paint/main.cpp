// The signal plot window at 1920 x 1080: a paint of the whole window with
// new blocks each time (four spectra with all curves, an 8192-point vector
// block in each of its three modes), and the curve painter with 8192 bins x
// 4 curves, each against a plain drawPolyline of the same points into the
// same image in the same run. Then the refresh against the loopback card
// engine: blocks painted per plot against blocks sent, and the GUI thread's
// CPU share.
#include <bbdevice/bbdevice.h>
#include <bbdevice/card_plot_words.h>
#include <cardengine/testkit/engine_process.h>
#include <platform/paths.h>
#include <sigplot/signal_plot_wnd.h>
#include <sigplot/sigplot.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

namespace plot = bbdev::plot;
using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1920, kHeight = 1080, kRuns = 200;

double ThreadCpuUs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

struct Stats {
    double median, p90, cpu;
};

template <class F>
Stats Time(F&& f) {
    for (int i = 0; i < 5; ++i) f(i);
    std::vector<double> us, cpu;
    for (int i = 0; i < kRuns; ++i) {
        const double c0 = ThreadCpuUs();
        const auto t0 = Clock::now();
        f(i + 5);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        cpu.push_back(ThreadCpuUs() - c0);
    }
    std::sort(us.begin(), us.end());
    std::sort(cpu.begin(), cpu.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10], cpu[cpu.size() / 2]};
}

void Print(const char* what, const Stats& s) {
    std::printf("%-52s median %8.1f us  p90 %8.1f us  cpu median %8.1f us\n", what, s.median, s.p90,
                s.cpu);
}

void FillSpectrum(std::vector<std::uint32_t>& w, std::uint32_t counter) {
    w.assign(BB_SPECTRUM_PLOT_WORDS, 0);
    w[plot::kAttrBlockCounter] = counter;
    w[plot::kAttrBinCount] = 264;
    w[plot::kAttrBinSpacingHz] = 151515;
    w[plot::kAttrCentreKHz] = 2300500;
    for (std::size_t b = 0; b < 264; ++b) {
        const double x = (double(b) - 132) / 20;
        w[plot::kAttributeWords + b] =
            plot::LevelWord(-80 + 60 * std::exp(-x * x) + ((b * 7 + counter * 13) % 11) * 0.5);
    }
}

void FillVector(std::vector<std::uint32_t>& w, std::uint32_t counter) {
    w.assign(BB_VECTOR_PLOT_WORDS, 0);
    w[plot::kVecBlockCounter] = counter;
    w[plot::kVecPointCount] = 8192;
    w[plot::kVecMode] = 3;
    std::uint32_t r = counter * 2654435761u;
    for (std::size_t k = 0; k < 8192; ++k) {
        r = r * 1664525u + 1013904223u;
        const int i = (r & 1) ? 8000 : -8000, q = (r & 2) ? 8000 : -8000;
        const int ni = int((r >> 8) & 0x3FF) - 512, nq = int((r >> 18) & 0x3FF) - 512;
        w[plot::kVectorHeaderWords + k] =
            plot::PackIq(static_cast<std::int16_t>(i + ni), static_cast<std::int16_t>(q + nq));
    }
}

void PaintPart() {
    sigplot::CMdiSignalPlotWnd wnd(0, "信号频谱图");
    wnd.resize(kWidth, kHeight);
    wnd.show();
    QCoreApplication::processEvents();
    wnd.TilePlots();
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::vector<std::uint32_t> spectrum, vector;
    const char* names[3] = {"window paint, vector mode 显示矢量图",
                            "window paint, vector mode 显示星座图",
                            "window paint, vector mode 热点成像"};
    const sigplot::VectorMode modes[3] = {sigplot::VectorMode::Vector,
                                          sigplot::VectorMode::Constellation,
                                          sigplot::VectorMode::Density};
    std::uint32_t counter = 1;
    for (int m = 0; m < 3; ++m) {
        wnd.Vector()->SetMode(modes[m]);
        Print(names[m], Time([&](int) {
                  ++counter;
                  FillSpectrum(spectrum, counter);
                  for (int s = 0; s < 4; ++s) wnd.Spectrum(s)->Feed(spectrum.data());
                  FillVector(vector, counter);
                  wnd.Vector()->Feed(vector.data());
                  wnd.render(&image);
              }));
    }
    // The reference: the same points as polylines into the same image.
    std::vector<QPointF> pts(8192);
    const Stats ref = Time([&](int i) {
        FillVector(vector, std::uint32_t(i));
        QPainter p(&image);
        p.fillRect(image.rect(), Qt::black);
        for (int s = 0; s < 4; ++s)
            for (std::size_t b = 0; b < 264; ++b)
                pts[b] = QPointF(s * 384 + b * 384.0 / 264,
                                 500 - plot::LevelDbm(spectrum[plot::kAttributeWords + b]) * 5);
        for (int s = 0; s < 4; ++s)
            for (int c = 0; c < 4; ++c) p.drawPolyline(pts.data(), 264);
        for (std::size_t k = 0; k < 8192; ++k)
            pts[k] = QPointF(1700 + plot::WordI(vector[10 + k]) / 80.0,
                             540 + plot::WordQ(vector[10 + k]) / 80.0);
        p.drawPolyline(pts.data(), 8192);
    });
    Print("reference drawPolyline of the same points", ref);
}

void CurvePainterPart() {
    constexpr std::size_t kBins = 8192;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::vector<float> v(4 * kBins);
    // The curves' shape is worked out once, so that the timed part is the
    // new noise and the paint, not the exponentials.
    std::vector<double> shape(4 * kBins);
    for (std::size_t c = 0; c < 4; ++c)
        for (std::size_t b = 0; b < kBins; ++b) {
            const double x = (double(b) - kBins / 2.0) / 300;
            shape[c * kBins + b] = -80 + 60 * std::exp(-x * x) - 5.0 * c;
        }
    auto fill = [&](int round) {
        for (std::size_t c = 0; c < 4; ++c)
            for (std::size_t b = 0; b < kBins; ++b)
                v[c * kBins + b] =
                    float(shape[c * kBins + b] + ((b * 7 + std::size_t(round) * 13) % 11) * 0.5);
    };
    sigplot::CCurvePainter painter;
    const QRect plotRect(0, 0, kWidth, kHeight);
    const Stats ours = Time([&](int i) {
        fill(i);
        QPainter p(&image);
        p.fillRect(image.rect(), Qt::black);
        for (std::size_t c = 0; c < 4; ++c)
            painter.Draw(p, plotRect, v.data() + c * kBins, nullptr, kBins, -100, 0, Qt::red);
    });
    std::vector<QPointF> pts(kBins);
    const Stats ref = Time([&](int i) {
        fill(i);
        QPainter p(&image);
        p.fillRect(image.rect(), Qt::black);
        p.setPen(Qt::red);
        for (std::size_t c = 0; c < 4; ++c) {
            for (std::size_t b = 0; b < kBins; ++b)
                pts[b] = QPointF((b + 0.5) * kWidth / kBins, -v[c * kBins + b] * kHeight / 100.0);
            p.drawPolyline(pts.data(), int(kBins));
        }
    });
    Print("curve painter, 8192 bins x 4 curves", ours);
    Print("reference drawPolyline, 8192 bins x 4 curves", ref);
    std::printf("ratio curve painter / drawPolyline: %.2f (median wall), %.2f (cpu)\n",
                ours.median / ref.median, ours.cpu / ref.cpu);
}

int RefreshPart(int seconds) {
    char dir[] = "/tmp/bench-sigplot-XXXXXX";
    if (!::mkdtemp(dir)) return 1;
    plat::SetModuleDirectory(dir);
    ::setenv("TALVORA_OBJECT_NAMESPACE", ("bsig-" + std::to_string(::getpid())).c_str(), 1);
    cardengine::testkit::EngineProcess engine({"--spectrum-ms", "50"});
    if (!engine.started()) {
        std::printf("cardengine did not start\n");
        return 1;
    }
    ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);
    CardFunctionInfo info{};
    if (!BB_OpenDevice(
            0, [](DemReportBlock*) { return 0; }, 0, &info)) {
        std::printf("card open failed\n");
        return 1;
    }
    QMainWindow main;
    auto* area = new QMdiArea;
    main.setCentralWidget(area);
    main.resize(kWidth, kHeight);
    main.show();
    if (!BB_CreateSignalPlotWnd(0, "信号频谱图", area)) return 1;
    auto* w = static_cast<sigplot::CMdiSignalPlotWnd*>(BB_GetSignalPlotWnd(0));
    BB_SetSignalPlotElapse(0, 50);
    auto* sub = static_cast<QWidget*>(w->parentWidget());
    sub->setGeometry(0, 0, kWidth, 300);
    // Settle: every plot has painted once.
    QElapsedTimer settle;
    settle.start();
    auto allPainted = [&] {
        for (int i = 0; i < 5; ++i)
            if (w->Plot(i)->PaintedBlocks() == 0) return false;
        return true;
    };
    while (!allPainted() && settle.elapsed() < 10000) QCoreApplication::processEvents();
    unsigned painted0[5];
    std::uint32_t counter0[5];
    for (int i = 0; i < 5; ++i) {
        painted0[i] = w->Plot(i)->PaintedBlocks();
        counter0[i] = w->Plot(i)->LastPaintedCounter();
    }
    const double cpu0 = ThreadCpuUs();
    QElapsedTimer run;
    run.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double wallUs = run.nsecsElapsed() / 1e3, cpuUs = ThreadCpuUs() - cpu0;
    for (int i = 0; i < 5; ++i) {
        const unsigned painted = w->Plot(i)->PaintedBlocks() - painted0[i];
        const std::uint32_t sent = w->Plot(i)->LastPaintedCounter() - counter0[i];
        std::printf("%-12s painted %4u distinct blocks of %4u sent: %.3f\n",
                    w->Plot(i)->Title().toUtf8().constData(), painted, sent,
                    sent ? double(painted) / sent : 0.0);
    }
    std::printf("GUI thread busy share over %d s: %.1f %%\n", seconds, 100.0 * cpuUs / wallUs);
    BB_DestroySignalPlotWnd(0, 1);
    BB_CloseDevice(0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    PaintPart();
    CurvePainterPart();
    return RefreshPart(seconds);
}

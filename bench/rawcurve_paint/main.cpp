// Draws the curve window's plot at 1920 x 1080 with 16 curves of 10,000
// slowly varying points (twice the window's eight channels) and compares it
// with a plain drawPolyline of every point of the same curves in the same
// run; then times SetRawcurveData of 64 KiB against memcpy of the same bytes.
#include <platform/paths.h>
#include <rawcurve/curve_engine.h>
#include <rawcurve/curve_plot.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kCurves = 16;
constexpr std::size_t kPoints = 10000;
constexpr int kRuns = 200;

struct Stats {
    double median, p90, min;
    double cpuMedian = 0;  // CPU time of this thread: what the drawing costs without the other load
};

double ThreadCpuUs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

Stats Summarise(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10], us.front()};
}

void Print(const char* what, const Stats& s) {
    std::printf("%-48s median %9.1f us  p90 %9.1f us  min %9.1f us  cpu median %9.1f us\n", what,
                s.median, s.p90, s.min, s.cpuMedian);
}

template <class F>
Stats Time(int runs, F&& f) {
    for (int i = 0; i < 5; ++i) f();
    std::vector<double> us, cpu;
    us.reserve(std::size_t(runs));
    cpu.reserve(std::size_t(runs));
    for (int i = 0; i < runs; ++i) {
        const double c0 = ThreadCpuUs();
        const auto t0 = Clock::now();
        f();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        cpu.push_back(ThreadCpuUs() - c0);
    }
    Stats s = Summarise(us);
    std::sort(cpu.begin(), cpu.end());
    s.cpuMedian = cpu[cpu.size() / 2];
    return s;
}

// Words like the engine's: sines of different periods, slow staircases and
// counters that wrap, all 8-bit.
std::vector<std::vector<std::uint32_t>> Curves() {
    std::vector<std::vector<std::uint32_t>> c(kCurves, std::vector<std::uint32_t>(kPoints));
    for (int k = 0; k < kCurves; ++k)
        for (std::size_t i = 0; i < kPoints; ++i) {
            const double t = double(i);
            std::uint32_t v;
            switch (k % 4) {
                case 0:
                    v = std::uint32_t(127.5 + 127.5 * std::sin(t * 2 * M_PI / (900 + 300 * k)));
                    break;
                case 1:
                    v = std::uint32_t((i / (k + 2)) % 256);
                    break;
                case 2:
                    v = std::uint32_t(i % 256);
                    break;
                default:
                    v = std::uint32_t(100 + 20 * std::sin(t / 50.0) + (i / 97) % 30);
            }
            c[k][i] = v;
        }
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/bench_rawcurve_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    plat::SetModuleDirectory(tmpl);

    const auto curves = Curves();
    std::vector<rawcurve::PlotSeries> series;
    for (int k = 0; k < kCurves; ++k)
        series.push_back({curves[k].data(), kPoints, 255.0, 0xFF000000u | (0x3F7F1Fu * (k + 1))});

    // The window's way: spans per column over the cached background, then
    // the image onto the window's surface.
    rawcurve::CurvePlotter plotter;
    plotter.Resize(QSize(kWidth, kHeight));
    QImage surface(kWidth, kHeight, QImage::Format_RGB32);
    const Stats render = Time(kRuns, [&] { plotter.Render(series.data(), kCurves); });
    const Stats window = Time(kRuns, [&] {
        QPainter p(&surface);
        p.drawImage(0, 0, plotter.Render(series.data(), kCurves));
    });

    // Every point through drawPolyline, over the same background.
    const QRect area = plotter.Area();
    std::vector<QPolygonF> lines(kCurves);
    for (int k = 0; k < kCurves; ++k) {
        lines[k].reserve(qsizetype(kPoints));
        for (std::size_t i = 0; i < kPoints; ++i)
            lines[k].append(QPointF(area.left() + double(i) * (area.width() - 1) / (kPoints - 1),
                                    area.bottom() - curves[k][i] * (area.height() - 1) / 255.0));
    }
    QImage background = plotter.Render(nullptr, 0).copy();
    const Stats polyline = Time(kRuns, [&] {
        QPainter p(&surface);
        p.drawImage(0, 0, background);
        for (int k = 0; k < kCurves; ++k) {
            p.setPen(QColor::fromRgb(series[k].color));
            p.drawPolyline(lines[k]);
        }
    });

    std::printf("plot %dx%d, %d curves of %zu points\n", kWidth, kHeight, kCurves, kPoints);
    Print("spans per column (Render)", render);
    Print("spans per column + drawImage (window's paint)", window);
    Print("drawPolyline of every point", polyline);
    std::printf("window's paint / drawPolyline (medians): %.3f wall, %.3f cpu\n",
                window.median / polyline.median, window.cpuMedian / polyline.cpuMedian);

    // The data call: 64 KiB of 8-bit 24 x 4 frames, the worker running.
    _FRAME_STRUCT_PARAM_EX f{};
    f.nWordsPerSubframe = 24;
    f.nSubframes = 4;
    f.nFrameWords = 96;
    f.nWordBits = 8;
    f.nWordBytes = 1;
    f.nTimeBytes = 8;
    f.nBitRate = 4000000;
    f.nFramesPerBuffer = 512;  // 512 x 128 = 65,536 bytes
    std::vector<std::uint8_t> data(65536);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 7);
    std::vector<std::uint8_t> copy(65536);
    rawcurve::CurveEngine engine(nullptr, rawcurve::CurverSettings{});
    engine.Start();
    const Stats setData = Time(5000, [&] { engine.SetData(&f, data.data()); });
    engine.Stop();
    const Stats memcpyStats = Time(5000, [&] {
        std::memcpy(copy.data(), data.data(), data.size());
        asm volatile("" : : "r"(copy.data()) : "memory");
    });
    Print("SetRawcurveData of 65,536 bytes", setData);
    Print("memcpy of 65,536 bytes", memcpyStats);
    std::printf(
        "SetRawcurveData / memcpy (medians): %.2f; hand-offs dropped while measuring: %llu\n",
        setData.median / memcpyStats.median, (unsigned long long)engine.Dropped());
    return 0;
}

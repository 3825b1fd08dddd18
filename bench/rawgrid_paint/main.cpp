// Paints one full visible page of a 2048-word x 256-subframe frame of 16-bit
// words in hexadecimal into an image, 200 times, and prints the median; also
// times the data call that copies such a frame.
#include <platform/paths.h>
#include <rawgrid/table_grid_wnd.h>
#include <rawgrid/table_menu_wnd.h>
#include <rawgrid/table_wnd.h>
#include <rawgrid/table_wnd_class.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 200;

struct Stats {
    double median, p90, min;
};

Stats Summarise(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10], us.front()};
}

void Print(const char* what, const Stats& s) {
    std::printf("%-44s median %9.1f us   p90 %9.1f us   min %9.1f us\n", what, s.median, s.p90,
                s.min);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/bench_rawgrid_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    plat::SetModuleDirectory(tmpl);  // keep the settings file out of the build tree

    _FRAME_STRUCT_PARAM f{};
    f.nWordsPerSubframe = 2048;
    f.nSubframes = 256;
    f.nFrameWords = 2048 * 256;
    f.nWordBits = 16;
    f.nWordBytes = 2;
    f.nTimeBytes = 8;
    f.nBitRate = 10'000'000;
    f.fFramePeriod = float(f.nFrameWords) * 1000.0f * 16 / float(f.nBitRate);
    std::vector<unsigned char> data(std::size_t(256) * (2048 * 2 + 8));
    std::uint32_t seed = 12345;
    for (auto& b : data) b = std::uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);

    QMainWindow main;
    auto* area = new QMdiArea;
    main.setCentralWidget(area);
    main.resize(2000, 1200);
    main.show();
    CTableWndClass views;
    auto* wnd = static_cast<rawgrid::CTableWnd*>(
        static_cast<QWidget*>(views.InitTableWnd(area, &f, 250, -1)));
    wnd->SettingsMenu()->WholeFrameAction()->trigger();
    views.SetRawgridData(&f, data.data(), -1);
    wnd->Refresh();

    for (QSize size : {QSize(1920, 1080), QSize(800, 400)}) {
        wnd->resize(size);
        app.processEvents();
        rawgrid::TableGridView* grid = wnd->Grid();
        const QRect page = grid->viewport()->rect();
        QImage image(page.size(), QImage::Format_ARGB32_Premultiplied);
        std::vector<double> us;
        for (int i = 0; i < kRuns + 5; ++i) {
            // A new frame before each paint, as on a live stream.
            data[8 + (i % 64) * 2] ^= 0x5A;
            views.SetRawgridData(&f, data.data(), -1);
            QPainter p(&image);
            const auto t0 = Clock::now();
            grid->PaintGrid(p, page);
            const auto t1 = Clock::now();
            if (i >= 5) us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        }
        char what[96];
        std::snprintf(what, sizeof what, "paint page %dx%d (%d x %d cells)", page.width(),
                      page.height(), grid->verticalScrollBar()->pageStep(),
                      grid->horizontalScrollBar()->pageStep());
        Print(what, Summarise(us));
    }

    std::vector<double> changed, same;
    for (int i = 0; i < kRuns; ++i) {
        data[100 + i] ^= 0xFF;
        auto t0 = Clock::now();
        views.SetRawgridData(&f, data.data(), -1);
        auto t1 = Clock::now();
        views.SetRawgridData(&f, data.data(), -1);
        auto t2 = Clock::now();
        changed.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        same.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    Print("SetRawgridData 1,050,624-byte frame, new", Summarise(changed));
    Print("SetRawgridData 1,050,624-byte frame, same", Summarise(same));
    return 0;
}

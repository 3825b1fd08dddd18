// Draws the parameter curve window at 1920 x 1080 with 16 panels of 2000
// samples each, and in the same run a plain drawPolyline of the same points
// on a bare image; prints both medians and their ratio.
#include <paramviews/deal_wnds.h>
#include <paramviews/param_groups.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1920, kHeight = 1080, kPanels = 16, kRuns = 200;

template <class F>
double MedianUs(F&& f) {
    for (int i = 0; i < 5; ++i) f();
    std::vector<double> us;
    us.reserve(kRuns);
    for (int i = 0; i < kRuns; ++i) {
        const auto t0 = Clock::now();
        f();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    using namespace paramviews;
    std::vector<ParStructEx> lists[kLevels];
    lists[0].resize(kPanels);
    for (int k = 0; k < kPanels; ++k) {
        ParStructEx& p = lists[0][std::size_t(k)];
        std::snprintf(p.strName, sizeof p.strName, "正弦波%d", k + 1);
        std::snprintf(p.strUnit, sizeof p.strUnit, "V");
        p.dMin = -2.54;
        p.dMax = 2.54;
        p.dUpper = 2.0;
        p.dLower = -2.0;
        p.nSelCurve = p.nSelected = 1;
    }
    ParamGroups& groups = ParamGroups::Instance();
    groups.SetForTest(lists);
    for (int k = 0; k < kPanels; ++k) {
        DealResult& r = groups.Group(0).results[k];
        r.nValid = kResultHistory;
        for (int i = 0; i < kResultHistory; ++i) r.dValue[i] = 2.54 * std::sin(0.01 * i + 0.3 * k);
    }

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::vector<QPointF> scratch(kResultHistory);
    const double window = MedianUs([&] {
        QPainter p(&image);
        PaintCurvePanels(p, image.rect(), groups, true, scratch);
    });

    // The same points, computed once, drawn with nothing else.
    std::vector<std::vector<QPointF>> points(kPanels);
    const double panelH = double(kHeight) / kPanels;
    for (int k = 0; k < kPanels; ++k) {
        const DealResult& r = groups.Group(0).results[k];
        for (int i = 0; i < kResultHistory; ++i)
            points[std::size_t(k)].push_back(
                QPointF(56 + i * (kWidth - 61.0) / (kResultHistory - 1),
                        k * panelH + panelH * (1 - (r.dValue[i] + 2.54) / 5.08)));
    }
    QImage bare(kWidth, kHeight, QImage::Format_RGB32);
    const double reference = MedianUs([&] {
        QPainter p(&bare);
        p.setPen(Qt::white);
        for (const auto& pts : points) p.drawPolyline(pts.data(), int(pts.size()));
    });

    std::printf("curve window, %d panels of %d samples, %dx%d: median %8.1f us\n", kPanels,
                kResultHistory, kWidth, kHeight, window);
    std::printf("drawPolyline of the same points on a bare QImage:   median %8.1f us\n", reference);
    std::printf("ratio window / reference: %.2f\n", window / reference);
    return 0;
}

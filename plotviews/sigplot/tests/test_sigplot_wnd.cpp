// The signal plot window offscreen: the window table against a card of the
// loopback engine, the timers, the curves, the labels of a hand-built block
// and where a peak lands in the painted image.
#include <bbdevice/bbdevice.h>
#include <bbdevice/card_plot_words.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <plot_window_test.h>
#include <sigplot/signal_plot_wnd.h>
#include <sigplot/sigplot.h>
#include <unistd.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <climits>
#include <filesystem>
#include <vector>

#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace sigplot {
namespace {

using namespace std::chrono_literals;
namespace plot = bbdev::plot;
using cardengine::testkit::EngineProcess;

// Windows closed with delete-on-close go once deferred deletions run.
bool Gone(const QPointer<CMdiSignalPlotWnd>& w) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return w.isNull();
}

constexpr const char* kNoCard = "当前系统中未发现基带设备。";

std::vector<std::uint32_t> Block(std::uint32_t counter, std::size_t peakBin = 1000) {
    std::vector<std::uint32_t> w(BB_SPECTRUM_PLOT_WORDS, 0);
    w[plot::kAttrBlockCounter] = counter;
    w[plot::kAttrBinCount] = 256;
    w[plot::kAttrBinSpacingHz] = 156250;
    w[plot::kAttrCentreKHz] = 2300500;
    for (std::size_t b = 0; b < 256; ++b)
        w[plot::kAttributeWords + b] = plot::LevelWord(b == peakBin ? -10.0 : -90.0);
    return w;
}

class SigplotTest : public plotviews::testing::PlotWindowTest {
protected:
    SigplotTest() : PlotWindowTest("sig") {}
    void TearDown() override {
        BB_DestroySignalPlotWnd(0, 1);
        PlotWindowTest::TearDown();
    }
    CMdiSignalPlotWnd* Window() { return static_cast<CMdiSignalPlotWnd*>(BB_GetSignalPlotWnd(0)); }
};

TEST_F(SigplotTest, WithoutAnOpenCardCreateShowsTheMessageAndNothingOpens) {
    EXPECT_FALSE(BB_CreateSignalPlotWnd(0, "信号频谱图", area_));
    EXPECT_TRUE(Shown(kNoCard));
    EXPECT_EQ(BB_GetSignalPlotWnd(0), nullptr);
    EXPECT_TRUE(area_->subWindowList().isEmpty());
    EXPECT_FALSE(BB_CreateSignalPlotWnd(8, nullptr, area_));
    EXPECT_FALSE(BB_SetSignalPlotElapse(0, 100));
    EXPECT_FALSE(BB_EnableSignalPlotGradualCurve(0));
    EXPECT_FALSE(BB_SetSignalFreqMod(0, 4, 0, 0, 2));
    EXPECT_EQ(BB_GetSignalPlotWnd(100), nullptr);
}

TEST_F(SigplotTest, TableRulesAndAnOperatorCloseEmptiesTheSlot) {
    EngineProcess engine({"--spectrum-ms", "50"});
    ASSERT_TRUE(OpenCard(engine));
    EXPECT_FALSE(BB_CreateSignalPlotWnd(0, "x", nullptr));
    EXPECT_FALSE(BB_CreateSignalPlotWnd(1, "x", area_));  // one card open
    EXPECT_TRUE(Shown(kNoCard));
    ASSERT_TRUE(BB_CreateSignalPlotWnd(0, "", area_));
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(Window()->windowTitle().toStdString(), "信号频谱图");
    EXPECT_EQ(Window()->Spectrum(0)->Title().toStdString(), "信号源频谱");
    EXPECT_EQ(Window()->Spectrum(0)->Unit(), 2u);
    EXPECT_EQ(Window()->Vector()->Title().toStdString(), "解调矢量图");
    EXPECT_FALSE(BB_CreateSignalPlotWnd(0, "again", area_));
    ASSERT_TRUE(BB_SetSignalPlotElapse(0, 100));

    // The operator closes the window: its timers stop and the slot is free.
    QPointer<CMdiSignalPlotWnd> old = Window();
    CSpectrumWnd* spectrum = old->Spectrum(3);
    auto* sub = qobject_cast<QMdiSubWindow*>(old->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->close();
    EXPECT_FALSE(spectrum->TimerActive());
    EXPECT_EQ(BB_GetSignalPlotWnd(0), nullptr);
    EXPECT_FALSE(BB_SetSignalPlotElapse(0, 100));
    EXPECT_FALSE(BB_EnableSignalPlotGradualCurve(0));
    ASSERT_WAIT_UNTIL(Gone(old), 5s);
    EXPECT_TRUE(BB_CreateSignalPlotWnd(0, "信号频谱图", area_));
    EXPECT_NE(BB_GetSignalPlotWnd(0), nullptr);

    // Destroy without the close flag leaves the window but frees the slot;
    // that window's own close later leaves the new one alone.
    QPointer<CMdiSignalPlotWnd> kept = Window();
    EXPECT_TRUE(BB_DestroySignalPlotWnd(0, 0));
    EXPECT_EQ(BB_GetSignalPlotWnd(0), nullptr);
    ASSERT_TRUE(BB_CreateSignalPlotWnd(0, "信号频谱图", area_));
    CMdiSignalPlotWnd* fresh = Window();
    qobject_cast<QMdiSubWindow*>(kept->parentWidget())->close();
    ASSERT_WAIT_UNTIL(Gone(kept), 5s);
    EXPECT_EQ(Window(), fresh);
}

TEST_F(SigplotTest, PeriodsAreBoundedOnAllFiveTimersAndCurvesComeBackRed) {
    EngineProcess engine({"--spectrum-ms", "50"});
    ASSERT_TRUE(OpenCard(engine));
    ASSERT_TRUE(BB_CreateSignalPlotWnd(0, "信号频谱图", area_));
    CMdiSignalPlotWnd* w = Window();
    ASSERT_TRUE(BB_SetSignalPlotElapse(0, 10));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w->Plot(i)->TimerInterval(), 50) << i;
        EXPECT_TRUE(w->Plot(i)->TimerActive()) << i;
    }
    ASSERT_TRUE(BB_SetSignalPlotElapse(0, 0xFFFFFFFFu));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(w->Plot(i)->TimerInterval(), INT_MAX) << i;

    for (int i = 0; i < 4; ++i) {
        w->Spectrum(i)->SetCurveVisible(i, false);
        w->Spectrum(i)->SetCurveColour(0xFF00);
    }
    ASSERT_TRUE(BB_EnableSignalPlotGradualCurve(0));
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 4; ++c) EXPECT_TRUE(w->Spectrum(i)->CurveVisible(c));
        EXPECT_EQ(w->Spectrum(i)->CurveColour(), 255u);
    }
    EXPECT_EQ(ColorOfRef(255), QColor(255, 0, 0));

    // An index above 3 is the vector plot.
    ASSERT_TRUE(BB_SetSignalFreqMod(0, 9, 0, 0, 3));
    EXPECT_EQ(w->Vector()->ModulationText(), "QPSK");
}

TEST_F(SigplotTest, TheFivePlotsPaintLiveBlocksOfTheEngine) {
    EngineProcess engine({"--spectrum-ms", "50"});
    ASSERT_TRUE(OpenCard(engine));
    ASSERT_TRUE(BB_CreateSignalPlotWnd(0, "信号频谱图", area_));
    ASSERT_TRUE(BB_SetSignalPlotElapse(0, 50));
    CMdiSignalPlotWnd* w = Window();
    for (int i = 0; i < 5; ++i) EXPECT_WAIT_UNTIL(w->Plot(i)->PaintedBlocks() >= 3, 10s);
}

TEST(SpectrumLabels, HandBuiltBlockGivesTheLabelTextsOfEachUnit) {
    const char* tags[4] = {"Input L", "Input R", "Sim", "Dem"};
    for (std::uint32_t unit = 0; unit < 4; ++unit) {
        CSpectrumWnd w(0, unit, "s", nullptr);
        EXPECT_EQ(w.LabelTexts().tag.toStdString(), tags[unit]);
        const auto b = Block(1, 128);
        ASSERT_TRUE(w.Feed(b.data()));
        EXPECT_FALSE(w.Feed(b.data()));  // the same counter again
        const auto l = w.LabelTexts();
        EXPECT_EQ(l.centre.toStdString(), "Center 2300.50 MHz");
        EXPECT_EQ(l.span.toStdString(), "Span 40.00 MHz");
        // Peak bin 128: 2280.5 + 128.5 * 0.15625 MHz.
        EXPECT_EQ(l.marker.toStdString(), "Mkr ( 2300.58 MHz,   -10.0 dBm )");
        EXPECT_TRUE(l.snr.startsWith("SNR ")) << l.snr.toStdString();
    }
}

TEST(SpectrumLabels, StatisticsResetAndDefaultsComeBack) {
    CSpectrumWnd w(0, 3, "s", nullptr);
    w.Feed(Block(1, 10).data());
    w.Feed(Block(2, 20).data());
    EXPECT_EQ(w.Statistics().Count(), 2u);
    EXPECT_FLOAT_EQ(w.Statistics().Max(10), -10.f);
    EXPECT_FLOAT_EQ(w.Statistics().Min(10), -90.f);
    EXPECT_FLOAT_EQ(w.Statistics().Average(20), -50.f);
    w.ResetStatistics();
    EXPECT_EQ(w.Statistics().Count(), 0u);
    w.SetMode(MeasureMode::Power);
    w.SetCurveVisible(kAverage, false);
    w.SetCurveColour(0x00FF00);
    w.RestoreDefaults();
    EXPECT_EQ(w.Mode(), MeasureMode::Marker);
    EXPECT_TRUE(w.CurveVisible(kAverage));
    EXPECT_EQ(w.CurveColour(), 255u);
}

// The highest red pixel of the plot's instantaneous curve.
int TopRedColumn(const QImage& img, const QRect& plot) {
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        for (int x = plot.left(); x <= plot.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) return x;
        }
    return -1;
}

TEST(SpectrumPaint, APeakIsPaintedAtItsColumnAndTinyWindowsPaintNothing) {
    for (std::size_t peak : {40u, 200u}) {
        CSpectrumWnd w(0, 1, "s", nullptr);
        w.resize(700, 300);
        for (int c = kMaximum; c <= kMinimum; ++c) w.SetCurveVisible(c, false);
        w.Feed(Block(1, peak).data());
        const QImage img = w.grab().toImage();
        const QRect plot = w.PlotRect();
        const double expected = plot.left() + (peak + 0.5) * plot.width() / 256.0;
        EXPECT_NEAR(TopRedColumn(img, plot), expected, 1.5) << peak;
    }
    CSpectrumWnd w(0, 1, "s", nullptr);
    w.Feed(Block(1, 3).data());
    for (QSize s : {QSize(0, 0), QSize(10, 8), QSize(40, 1)}) {
        w.resize(s);
        EXPECT_GE(w.PlotRect().width(), 0);
        EXPECT_GE(w.PlotRect().height(), 0);
        w.grab();
    }
    CVectorWnd v(0, "v", nullptr);
    v.resize(3, 3);
    v.grab();
}

// A card that leaves word 0 alone: new levels and new points under the same
// counter still reach the screen, and only a block equal in every word is
// skipped.
TEST(SpectrumPaint, NewWordsUnderAnUnchangedCounterArePaintedAgain) {
    CSpectrumWnd w(0, 1, "s", nullptr);
    w.resize(700, 300);
    for (int c = kMaximum; c <= kMinimum; ++c) w.SetCurveVisible(c, false);
    const QRect plot = w.PlotRect();
    for (std::size_t peak : {40u, 200u}) {
        ASSERT_TRUE(w.Feed(Block(7, peak).data())) << peak;
        const double expected = plot.left() + (peak + 0.5) * plot.width() / 256.0;
        EXPECT_NEAR(TopRedColumn(w.grab().toImage(), plot), expected, 1.5) << peak;
    }
    EXPECT_FALSE(w.Feed(Block(7, 200).data()));
    EXPECT_EQ(w.PaintedBlocks(), 2u);
    EXPECT_EQ(w.Statistics().Count(), 2u);

    CVectorWnd v(0, "v", nullptr);
    std::vector<std::uint32_t> words(BB_VECTOR_PLOT_WORDS, 0);
    words[plot::kVecBlockCounter] = 3;
    words[plot::kVecPointCount] = 1;
    words[plot::kVecMode] = 2;
    words[plot::kVectorHeaderWords] = plot::PackIq(1000, 0);
    ASSERT_TRUE(v.Feed(words.data()));
    v.grab();
    words[plot::kVectorHeaderWords] = plot::PackIq(-1000, 500);
    EXPECT_TRUE(v.Feed(words.data()));
    v.grab();
    EXPECT_FALSE(v.Feed(words.data()));
    EXPECT_EQ(v.PaintedBlocks(), 2u);
}

TEST(VectorPlot, ModulationFromTheHeaderOrTheOverrideAndAllModesPaint) {
    CVectorWnd v(0, "v", nullptr);
    v.resize(300, 300);
    std::vector<std::uint32_t> w(BB_VECTOR_PLOT_WORDS, 0);
    w[plot::kVecBlockCounter] = 1;
    w[plot::kVecPointCount] = 4;
    w[plot::kVecMode] = 2;
    w[plot::kVectorHeaderWords + 0] = plot::PackIq(1000, 0);
    w[plot::kVectorHeaderWords + 1] = plot::PackIq(-1000, 0);
    ASSERT_TRUE(v.Feed(w.data()));
    EXPECT_EQ(v.ModulationText(), "BPSK");
    v.SetOverride({0, 0, 6});
    EXPECT_EQ(v.ModulationText(), "OQPSK");
    for (VectorMode m : {VectorMode::Vector, VectorMode::Constellation, VectorMode::Density}) {
        v.SetMode(m);
        const QImage img = v.grab().toImage();
        // A point at the right edge of the scale shows near +180 of 200.
        bool lit = false;
        for (int x = img.width() / 2 + 10; x < img.width(); ++x)
            for (int y = img.height() / 2 - 4; y < img.height() / 2 + 12; ++y) {
                const QColor c = img.pixelColor(x, y);
                if (c.red() > 150 && c.blue() < 60 && c.green() != c.red()) lit = true;
                if (c.red() > 150 && c.green() > 150 && c.blue() < 60) lit = true;
            }
        EXPECT_TRUE(lit) << static_cast<int>(m);
    }
}

}  // namespace
}  // namespace sigplot

namespace sigplot {
namespace {

TEST(CurvePainter, MoreBinsThanColumnsKeepEachColumnsPeakAndDip) {
    QImage img(500, 200, QImage::Format_RGB32);
    img.fill(Qt::black);
    std::vector<float> v(8192, -90.f);
    v[4096] = -10.f;   // one bin high
    v[1000] = -100.f;  // one bin at the bottom
    CCurvePainter painter;
    {
        QPainter p(&img);
        painter.Draw(p, img.rect(), v.data(), nullptr, v.size(), -100, 0, Qt::red);
    }
    auto redAt = [&](int x, int y) { return img.pixelColor(x, y) == QColor(Qt::red); };
    const int peakColumn = 4096 * 500 / 8192, dipColumn = 1000 * 500 / 8192;
    const int peakY = int((0 - -10.0) / 100 * 199 + 0.5), floorY = int(90.0 / 100 * 199 + 0.5);
    EXPECT_TRUE(redAt(peakColumn, peakY));
    EXPECT_TRUE(redAt(dipColumn, 199));
    EXPECT_TRUE(redAt(10, floorY));
    EXPECT_FALSE(redAt(10, peakY));
    EXPECT_FALSE(redAt(peakColumn + 3, peakY));
}

}  // namespace
}  // namespace sigplot

namespace sigplot {
namespace {

// Lines written into the image land on the pixels the painter's own
// one-pixel line takes, give or take one pixel where the two round a tie
// differently, and never outside the clip.
TEST(ImageLine, SegmentsMatchThePaintersLineAndStayInTheClip) {
    const QRgb lit = qRgb(255, 255, 0);
    std::uint32_t r = 12345;
    auto next = [&](int range) {
        r = r * 1664525u + 1013904223u;
        return int((r >> 8) % std::uint32_t(range));
    };
    auto near = [&](const QImage& img, int x, int y) {
        for (int j = std::max(y - 1, 0); j <= std::min(y + 1, img.height() - 1); ++j)
            for (int i = std::max(x - 1, 0); i <= std::min(x + 1, img.width() - 1); ++i)
                if (img.pixel(i, j) == lit) return true;
        return false;
    };
    for (int round = 0; round < 300; ++round) {
        const int x0 = next(64), y0 = next(48), x1 = next(64), y1 = next(48);
        QImage ours(64, 48, QImage::Format_RGB32), ref(64, 48, QImage::Format_RGB32);
        ours.fill(Qt::black);
        ref.fill(Qt::black);
        DrawImageLine(ours, ours.rect(), x0, y0, x1, y1, lit);
        {
            QPainter p(&ref);
            p.setPen(QPen(QColor(lit), 0));
            p.drawLine(x0, y0, x1, y1);
        }
        int count = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                if (ours.pixel(x, y) == lit) {
                    ++count;
                    EXPECT_TRUE(near(ref, x, y)) << x0 << "," << y0 << " " << x1 << "," << y1;
                }
                if (ref.pixel(x, y) == lit) {
                    EXPECT_TRUE(near(ours, x, y));
                }
            }
        // One pixel per step of the longer axis, both ends included.
        EXPECT_EQ(count, std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1);
        EXPECT_EQ(ours.pixel(x0, y0), lit);
        EXPECT_EQ(ours.pixel(x1, y1), lit);
    }
    // Ends outside the clip: the part inside is drawn, nothing outside.
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(Qt::black);
    const QRect clip(10, 10, 30, 20);
    DrawImageLine(img, clip, -50, 5, 120, 40, lit);
    DrawImageLine(img, clip, 25, -100, 25, 200, lit);
    int inside = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if (img.pixel(x, y) == lit) {
                EXPECT_TRUE(clip.contains(x, y)) << x << "," << y;
                ++inside;
            }
    EXPECT_EQ(inside, 30 + 20 - 1);  // the two cross at one pixel
}

// Every pixel where stepwise line drawing puts it: along the longer axis (n
// steps) the shorter offset of pixel k is floor((2 k m + n) / 2 n). Covers the
// run-wise shallow and near-diagonal paths and the per-pixel one, in all
// eight directions, short and long.
TEST(ImageLine, EveryDirectionAndSlopeHitsTheSteppedPixels) {
    const QRgb lit = qRgb(255, 255, 0);
    QImage img(1201, 1201, QImage::Format_RGB32);
    const int c = 600;
    auto check = [&](int dx, int dy) {
        img.fill(Qt::black);
        DrawImageLine(img, img.rect(), c, c, c + dx, c + dy, lit);
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const long long n = xMajor ? std::abs(dx) : std::abs(dy);
        const long long m = xMajor ? std::abs(dy) : std::abs(dx);
        const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
        int lit_count = 0;
        for (long long k = 0; k <= n; ++k) {
            const long long off = n == 0 ? 0 : (2 * k * m + n) / (2 * n);
            const int x = c + sx * int(xMajor ? k : off), y = c + sy * int(xMajor ? off : k);
            if (img.pixel(x, y) != lit)
                return ::testing::AssertionFailure() << dx << "," << dy << " pixel " << k;
            ++lit_count;
        }
        int all = 0;
        const int x0 = std::min(c, c + dx), x1 = std::max(c, c + dx);
        const int y0 = std::min(c, c + dy), y1 = std::max(c, c + dy);
        for (int y = y0; y <= y1; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = x0; x <= x1; ++x) all += line[x] == lit;
        }
        if (all != lit_count) return ::testing::AssertionFailure() << dx << "," << dy << " extra";
        return ::testing::AssertionSuccess();
    };
    for (int dy = -24; dy <= 24; ++dy)
        for (int dx = -24; dx <= 24; ++dx) ASSERT_TRUE(check(dx, dy));
    for (int dx : {-600, -599, -577, 600, 599, 583})
        for (int dy : {-600, -451, -450, -300, -151, -150, -149, -7,  -1,  0,
                       1,    7,    149,  150,  151,  300,  450,  451, 599, 600}) {
            ASSERT_TRUE(check(dx, dy));
            ASSERT_TRUE(check(dy, dx));
        }
}

// The mask gives the pixels of one DrawImageLine per line, for areas that do
// not start at the image's corner, widths off a word, and ends outside.
TEST(ImageLine, MaskOfManyLinesMatchesTheLinesOneByOne) {
    const QRgb lit = qRgb(255, 255, 0);
    std::uint32_t r = 777;
    auto next = [&](int range) {
        r = r * 1664525u + 1013904223u;
        return int((r >> 8) % std::uint32_t(range)) - range / 4;
    };
    CLineMask mask;
    for (const QRect area : {QRect(0, 0, 200, 150), QRect(13, 7, 130, 61), QRect(70, 3, 64, 1)}) {
        QImage ours(220, 170, QImage::Format_RGB32), ref(220, 170, QImage::Format_RGB32);
        ours.fill(Qt::blue);
        ref.fill(Qt::blue);
        mask.Reset(area);
        for (int k = 0; k < 400; ++k) {
            const int x0 = next(280), y0 = next(220), x1 = next(280), y1 = next(220);
            mask.Line(x0, y0, x1, y1);
            DrawImageLine(ref, area, x0, y0, x1, y1, lit);
        }
        mask.Paint(ours, lit);
        EXPECT_EQ(ours, ref) << area.x() << "," << area.y();
    }
}

// A plot painted straight into the image behind its painter: at its place
// inside a parent, and within the part being repainted only.
TEST(VectorPlot, PaintsStraightIntoThePaintersImageAtItsPlaceAndWithinItsClip) {
    std::vector<std::uint32_t> w(BB_VECTOR_PLOT_WORDS, 0);
    w[plot::kVecBlockCounter] = 1;
    w[plot::kVecPointCount] = 64;
    w[plot::kVecMode] = 3;
    for (int k = 0; k < 64; ++k)
        w[plot::kVectorHeaderWords + std::size_t(k)] =
            plot::PackIq(static_cast<std::int16_t>(k % 2 ? 7000 : -7000),
                         static_cast<std::int16_t>(k % 4 < 2 ? 7000 : -7000 + 100 * k));
    QWidget parent;
    parent.resize(420, 360);
    auto* v = new CVectorWnd(0, "v", &parent);
    v->setGeometry(37, 21, 300, 300);
    v->SetMode(VectorMode::Vector);
    ASSERT_TRUE(v->Feed(w.data()));
    QImage alone(300, 300, QImage::Format_RGB32);
    v->render(&alone);
    QImage whole(420, 360, QImage::Format_RGB32);
    whole.fill(Qt::blue);
    parent.render(&whole, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(whole.copy(37, 21, 300, 300), alone);
    int lines = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x) lines += alone.pixel(x, y) == qRgb(255, 255, 0);
    EXPECT_GT(lines, 1000);
    // A repaint of one band leaves the rest of the image as it was.
    QImage part(300, 300, QImage::Format_RGB32);
    part.fill(Qt::blue);
    const QRect band(0, 120, 300, 40);
    v->render(&part, band.topLeft(), QRegion(band));
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x) {
            const QRgb px = part.pixel(x, y);
            if (band.contains(x, y))
                ASSERT_EQ(px, alone.pixel(x, y)) << x << "," << y;
            else
                ASSERT_EQ(px, qRgb(0, 0, 255)) << x << "," << y;
        }
}

// Right-clicks `w` and picks the entry `text` of the menu that opens.
bool ChooseFromMenu(QWidget* w, const char* text) {
    bool found = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : menu->actions())
            if (a->text() == QString::fromUtf8(text)) {
                found = true;
                menu->setActiveAction(a);
                a->trigger();
            }
        menu->close();
    });
    const QPoint at = w->rect().center();
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
    QCoreApplication::sendEvent(w, &e);
    return found;
}

void Drag(QWidget* w, int fromX, int toX) {
    const int y = w->height() / 2;
    auto send = [&](QEvent::Type t, int x, Qt::MouseButtons buttons) {
        QMouseEvent e(t, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, fromX, Qt::LeftButton);
    send(QEvent::MouseMove, (fromX + toX) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, toX, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, toX, Qt::NoButton);
}

// The operator's menus and mouse modes: the marker follows the mouse, a
// power drag measures the dragged channel, the span drags narrow and move
// the band shown, the curve entries switch curves, and the defaults entry
// puts everything back.
TEST(SpectrumMenus, MenuEntriesAndMouseModesDoWhatTheySay) {
    CSpectrumWnd w(0, 3, "s", nullptr);
    w.resize(700, 300);
    w.show();
    ASSERT_TRUE(w.Feed(Block(1, 128).data()));
    const QRect plot = w.PlotRect();
    auto xOfBin = [&](int bin) { return plot.left() + int((bin + 0.5) * plot.width() / 256.0); };
    const CSpectrumWnd::Labels start = w.LabelTexts();

    EXPECT_EQ(w.MarkerBin(), 128);  // at the peak until moved
    Drag(&w, xOfBin(60), xOfBin(64));
    EXPECT_EQ(w.MarkerBin(), 64);
    EXPECT_TRUE(w.LabelTexts().marker.contains("-90.0 dBm")) << w.LabelTexts().marker.toStdString();

    ASSERT_TRUE(ChooseFromMenu(&w, "功率测量"));
    EXPECT_EQ(w.Mode(), MeasureMode::Power);
    Drag(&w, xOfBin(100), xOfBin(139));
    // 40 bins of 0.15625 MHz.
    EXPECT_TRUE(w.LabelTexts().power.contains(" 6.2500 MHz")) << w.LabelTexts().power.toStdString();

    ASSERT_TRUE(ChooseFromMenu(&w, "Span宽度调整"));
    Drag(&w, plot.left() + 10, plot.left() + 10 + plot.width() / 2);
    const CSpectrumWnd::Labels narrow = w.LabelTexts();
    EXPECT_EQ(narrow.span.toStdString(), "Span 20.00 MHz");
    EXPECT_EQ(narrow.centre, start.centre);  // narrowed about the centre

    ASSERT_TRUE(ChooseFromMenu(&w, "Span起始调整"));
    Drag(&w, plot.left() + plot.width() / 2, plot.left() + plot.width() / 4);
    EXPECT_EQ(w.LabelTexts().span, narrow.span);
    EXPECT_EQ(w.LabelTexts().centre.toStdString(), "Center 2305.50 MHz");

    ASSERT_TRUE(ChooseFromMenu(&w, "最大值曲线"));
    EXPECT_FALSE(w.CurveVisible(kMaximum));
    ASSERT_TRUE(ChooseFromMenu(&w, "清零频谱统计量"));
    EXPECT_EQ(w.Statistics().Count(), 0u);

    ASSERT_TRUE(ChooseFromMenu(&w, "恢复默认参数"));
    EXPECT_EQ(w.Mode(), MeasureMode::Marker);
    EXPECT_TRUE(w.CurveVisible(kMaximum));
    EXPECT_EQ(w.LabelTexts().span, start.span);
    EXPECT_EQ(w.LabelTexts().centre, start.centre);
    EXPECT_EQ(w.MarkerBin(), 128);
}

TEST(VectorMenus, TheMenuSwitchesTheVectorMode) {
    CVectorWnd v(0, "v", nullptr);
    v.resize(300, 300);
    v.show();
    ASSERT_TRUE(ChooseFromMenu(&v, "显示矢量图"));
    EXPECT_EQ(v.Mode(), VectorMode::Vector);
    ASSERT_TRUE(ChooseFromMenu(&v, "热点成像"));
    EXPECT_EQ(v.Mode(), VectorMode::Density);
    ASSERT_TRUE(ChooseFromMenu(&v, "显示星座图"));
    EXPECT_EQ(v.Mode(), VectorMode::Constellation);
}

}  // namespace
}  // namespace sigplot

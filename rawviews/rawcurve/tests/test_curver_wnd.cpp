// The curve window in an MDI area: creation rules, title and menu, the
// painted caption, the plot's spans, and closing with its message.
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/winmsg.h>
#include <rawcurve/curve_plot.h>
#include <rawcurve/curver_wnd.h>
#include <rawcurve/curver_wnd_class.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <mutex>
#include <vector>

#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace rawcurve {
namespace {

using namespace std::chrono_literals;

class Receiver : public plat::MessageReceiver {
public:
    void OnMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) override {
        std::lock_guard lock(mutex);
        posted.emplace_back(msg, wparam);
    }
    std::vector<std::pair<std::uint32_t, std::uintptr_t>> Messages() {
        std::lock_guard lock(mutex);
        return posted;
    }
    std::mutex mutex;
    std::vector<std::pair<std::uint32_t, std::uintptr_t>> posted;
};

_FRAME_STRUCT_PARAM_EX Shape() {
    _FRAME_STRUCT_PARAM_EX f{};
    f.nWordsPerSubframe = 24;
    f.nSubframes = 4;
    f.nFrameWords = 96;
    f.nWordBits = 8;
    f.nWordBytes = 1;
    f.nTimeBytes = 8;
    f.nBitRate = 4000000;
    f.fFramePeriod = 0.192f;
    f.nFramesPerBuffer = 1;
    return f;
}

class CurverWndTest : public ::testing::Test {
protected:
    void SetUp() override {
        main_.setCentralWidget(area_);
        main_.resize(1000, 700);
        main_.show();
        plat::RegisterWindow(static_cast<QWidget*>(&main_), &receiver_);
    }
    void TearDown() override { plat::UnregisterWindow(static_cast<QWidget*>(&main_)); }

    talvora::test::TempHome home_;
    QMainWindow main_;
    QMdiArea* area_ = new QMdiArea;
    Receiver receiver_;
};

TEST_F(CurverWndTest, StreamsOutsideTheRangeGetNoWindowAndNoData) {
    CurverWndClass c;
    _FRAME_STRUCT_PARAM_EX f = Shape();
    std::vector<std::uint8_t> data(4 * 32);
    EXPECT_EQ(c.Init_Curver(area_, &f, 50, 3), nullptr);
    EXPECT_EQ(c.Init_Curver(area_, &f, 50, -2), nullptr);
    EXPECT_EQ(c.SetRawcurveData(&f, data.data(), 3), 0);
    EXPECT_EQ(c.SetRawcurveData(&f, data.data(), -2), 0);
    EXPECT_EQ(c.SetRawcurveData(&f, data.data(), -1), 0);  // no window yet
    EXPECT_EQ(c.SetErrorCode(nullptr, 0, -1), 0);
}

TEST_F(CurverWndTest, WindowHasNoTitleBarItsTitlesAndItsMenu) {
    CurverWndClass c;
    _FRAME_STRUCT_PARAM_EX f = Shape();
    QMenu menu;
    menu.addAction(QStringLiteral("a"));
    menu.addAction(QStringLiteral("b"));
    auto* w = static_cast<CCurverWnd*>(c.Init_Curver(area_, &f, 50, -1, &menu, 1));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("源码曲线显示"));
    EXPECT_EQ(w->geometry(), QRect(0, 0, 500, 200));
    ASSERT_EQ(menu.actions().size(), 3);
    EXPECT_EQ(menu.actions()[1]->text(), QStringLiteral("显示配置(&C)"));
    auto* w2 = static_cast<CCurverWnd*>(c.Init_Curver(area_, &f, 50, 1));
    ASSERT_NE(w2, nullptr);
    EXPECT_EQ(w2->windowTitle(), QStringLiteral("遥测流2源码曲线显示"));
    EXPECT_EQ(c.GetCurverWnd(1), static_cast<QWidget*>(w2));
}

TEST_F(CurverWndTest, CaptionFrameCodeAndPointsFromTheData) {
    CurverWndClass c;
    _FRAME_STRUCT_PARAM_EX f = Shape();
    auto* w = static_cast<CCurverWnd*>(c.Init_Curver(area_, &f, 20, -1));
    ASSERT_NE(w, nullptr);
    std::vector<std::uint8_t> data;
    for (int r = 0; r < 4; ++r) {
        for (int t = 0; t < 8; ++t) data.push_back(std::uint8_t(t));
        for (int i = 0; i < 24; ++i) data.push_back(std::uint8_t(i == 0 ? 0xEB : 10 * r + i));
    }
    ASSERT_EQ(c.SetRawcurveData(&f, data.data(), -1), 1);
    ASSERT_WAIT_UNTIL(w->View()->Snapshot().channel[0].values.size() == 4, 10s);
    EXPECT_EQ(w->View()->Caption(),
              QStringLiteral(
                  "源码曲线显示：码速率4000000bps，字长8, 帧格式24×4，帧长96，帧周期0.192ms "));
    EXPECT_EQ(w->View()->Snapshot().frameCode,
              "帧码: 00 01 02 03 04 05 06 07 EB 01 02 03 04 05 06 07");
    EXPECT_EQ(w->View()->Snapshot().channel[1].values, (std::vector<std::uint32_t>{1, 11, 21, 31}));
    EXPECT_EQ(w->View()->Label(4), QStringLiteral("P0005"));

    _ERROR_CODE_STATISTIC err{};
    err.dCodeCount = 10;
    EXPECT_EQ(c.SetErrorCode(nullptr, 1, -1), 0);
    EXPECT_EQ(c.SetErrorCode(&err, 1, -1), 1);
    EXPECT_TRUE(w->View()->Caption().endsWith(
        QStringLiteral("    码元计数: 000000000010 误码个数: 000000000000 误码率:0.000000e+00")));
    // The painted face holds the caption and the frame code.
    const QImage face = w->View()->grab().toImage();
    EXPECT_FALSE(face.isNull());
}

TEST_F(CurverWndTest, CallersRecordSetsTheStartingModeAndTheStoredOneFollows) {
    CurverSettings stored;
    stored.channel[0] = 30;
    ASSERT_TRUE(SaveCurverSettings(CurverSettingsPath(), -1, stored));
    CurverWndClass c;
    _FRAME_STRUCT_PARAM_EX f = Shape();
    f.nShowWholeFrame = 1;
    auto* w = static_cast<CCurverWnd*>(c.Init_Curver(area_, &f, 20, -1));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Settings().nShowWfMode, 1);
    EXPECT_TRUE(w->SettingsMenu()->WholeFrameAction()->isChecked());
    EXPECT_EQ(LoadCurverSettings(CurverSettingsPath(), -1).nShowWfMode, 1);
    // Position 30 counted through the frame: word 6 of subframe 2.
    std::vector<std::uint8_t> data;
    for (int r = 0; r < 4; ++r) {
        for (int t = 0; t < 8; ++t) data.push_back(0);
        for (int i = 0; i < 24; ++i) data.push_back(std::uint8_t(10 * r + i));
    }
    ASSERT_EQ(c.SetRawcurveData(&f, data.data(), -1), 1);
    ASSERT_WAIT_UNTIL(!w->View()->Snapshot().channel[0].values.empty(), 10s);
    EXPECT_EQ(w->View()->Snapshot().channel[0].values, (std::vector<std::uint32_t>{15}));
    EXPECT_EQ(f.nShowWholeFrame, 1);
}

TEST_F(CurverWndTest, ClosingJoinsTheWorkerPostsTheMessageAndStopsTheData) {
    CurverWndClass c;
    _FRAME_STRUCT_PARAM_EX f = Shape();
    auto* w = static_cast<CCurverWnd*>(c.Init_Curver(area_, &f, 50, 2));
    ASSERT_NE(w, nullptr);
    std::shared_ptr<CurveEngine> engine = w->Engine();
    EXPECT_TRUE(engine->Running());
    std::vector<std::uint8_t> data(4 * 32, 1);
    EXPECT_EQ(c.SetRawcurveData(&f, data.data(), 2), 1);
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(engine->Running());
    EXPECT_EQ(c.SetRawcurveData(&f, data.data(), 2), 0);
    EXPECT_EQ(c.GetCurverWnd(2), nullptr);
    ASSERT_WAIT_UNTIL(!receiver_.Messages().empty(), 10s);
    EXPECT_EQ(receiver_.Messages()[0], std::make_pair(std::uint32_t{1155}, std::uintptr_t{2}));
}

TEST(CurvePlot, OneSpanPerColumnFromTheLowestToTheHighestPoint) {
    CurvePlotter plot;
    plot.Resize(QSize(108, 108));
    const QRect a = plot.Area();
    ASSERT_GT(a.width(), 50);
    // Twice as many points as columns, alternating 0 and full scale: every
    // column is painted from the bottom to the top.
    std::vector<std::uint32_t> zigzag(std::size_t(a.width()) * 2);
    for (std::size_t i = 0; i < zigzag.size(); ++i) zigzag[i] = i % 2 ? 255 : 0;
    const QRgb red = 0xFFFF0000;
    PlotSeries s{zigzag.data(), zigzag.size(), 255.0, red};
    const QImage& img = plot.Render(&s, 1);
    for (int x = a.left(); x <= a.right(); ++x) {
        ASSERT_EQ(img.pixel(x, a.top()), red) << x;
        ASSERT_EQ(img.pixel(x, a.bottom()), red) << x;
    }
    // A constant curve is one row.
    std::vector<std::uint32_t> flat(30, 0);
    PlotSeries f{flat.data(), flat.size(), 255.0, red};
    const QImage& one = plot.Render(&f, 1);
    int painted = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) painted += one.pixel(x, y) == red;
    EXPECT_EQ(painted, a.width());
    for (int x = a.left(); x <= a.right(); ++x) ASSERT_EQ(one.pixel(x, a.bottom()), red);
}

}  // namespace
}  // namespace rawcurve

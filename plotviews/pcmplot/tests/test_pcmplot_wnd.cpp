// The PCM plot windows offscreen: the window table against a card of the
// loopback engine, bad input, the timer periods, an operator close while a
// thread keeps feeding, and what the three windows show of hand-built frames.
#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <pcmplot/pcm_plot_wnd.h>
#include <pcmplot/pcmplot.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <plot_window_test.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <atomic>
#include <climits>
#include <thread>
#include <vector>

#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace pcmplot {
namespace {

using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

bool Gone(const QPointer<CBcdPlotWnd>& w) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return w.isNull();
}

DemChannelDescriptor Descriptor(std::uint32_t bits, std::uint32_t words, std::uint32_t minors,
                                std::uint32_t hostTags = 0) {
    DemChannelDescriptor d{};
    d.字长 = bits;
    d.子帧长 = words;
    d.副帧长 = minors;
    d.tagBytesPerMinorFrame = 8;
    d.配时密度 = 1;
    d.配时精度 = hostTags;
    return d;
}

// Major frames of 8-bit words: card tags, EB 90, the minor index, then
// word k holding (frame * 16 + k) & 0xFF.
std::vector<std::uint8_t> CardFrames(std::uint32_t majors, std::uint32_t words,
                                     std::uint32_t minors) {
    std::vector<std::uint8_t> v;
    for (std::uint32_t f = 0; f < majors; ++f)
        for (std::uint32_t m = 0; m < minors; ++m) {
            const std::uint8_t tag[8] = {0x76, 0x98, 0x59, 0x34, 0xE3, 0x7B, std::uint8_t(m), 0};
            v.insert(v.end(), tag, tag + 8);
            for (std::uint32_t k = 0; k < words; ++k) {
                std::uint8_t w = std::uint8_t(f * 16 + k);
                if (k == 0) w = 0xEB;
                if (k == 1) w = 0x90;
                if (k == 2) w = std::uint8_t(m);
                v.push_back(w);
            }
        }
    return v;
}

class PcmplotTest : public plotviews::testing::PlotWindowTest {
protected:
    PcmplotTest() : PlotWindowTest("pcm") {}
    void TearDown() override {
        for (std::uint32_t k = 0; k < 3; ++k) BB_DestroyPcmPlotWnd(0, k, 1);
        PlotWindowTest::TearDown();
    }
    CBcdPlotWnd* Window(std::uint32_t kind) {
        return static_cast<CBcdPlotWnd*>(BB_GetPcmPlotWnd(0, kind));
    }
};

TEST_F(PcmplotTest, WithoutAnOpenCardNothingOpensAndDataCallsFail) {
    const auto d = Descriptor(8, 24, 4);
    const std::uint8_t b[128] = {};
    for (std::uint32_t k = 0; k < 3; ++k) {
        EXPECT_FALSE(BB_CreatePcmPlotWnd(0, k, 0, nullptr, area_));
        EXPECT_EQ(BB_GetPcmPlotWnd(0, k), nullptr);
        EXPECT_FALSE(BB_SetPcmPlotElapse(0, k, 100));
        EXPECT_FALSE(BB_SetDemFrameInfo(0, k, &d));
        EXPECT_FALSE(BB_SendPcmFrameData(0, k, b, sizeof b));
        EXPECT_FALSE(BB_DestroyPcmPlotWnd(0, k, 1));
    }
    EXPECT_TRUE(area_->subWindowList().isEmpty());
}

TEST_F(PcmplotTest, TableRulesTitlesAndBadInput) {
    EngineProcess engine;
    ASSERT_TRUE(OpenCard(engine));
    EXPECT_FALSE(BB_CreatePcmPlotWnd(0, 0, 0, "x", nullptr));
    EXPECT_FALSE(BB_CreatePcmPlotWnd(0, 3, 0, "x", area_));
    EXPECT_FALSE(BB_CreatePcmPlotWnd(1, 0, 0, "x", area_));  // one card open
    EXPECT_FALSE(BB_CreatePcmPlotWnd(8, 0, 0, "x", area_));
    const char* titles[3] = {"【板卡0】-- PCM原码表格", "【板卡0】-- PCM原码曲线",
                             "【板卡0】-- PCM原码直方图"};
    for (std::uint32_t k = 0; k < 3; ++k) {
        ASSERT_TRUE(BB_CreatePcmPlotWnd(0, k, 5, k == 1 ? "" : nullptr, area_));
        ASSERT_NE(Window(k), nullptr);
        EXPECT_EQ(Window(k)->Kind(), k);
        EXPECT_EQ(Window(k)->Value(), 5u);
        EXPECT_EQ(Window(k)->parentWidget()->windowTitle().toStdString(), titles[k]);
        EXPECT_FALSE(BB_CreatePcmPlotWnd(0, k, 0, "again", area_));
    }
    EXPECT_NE(dynamic_cast<CBcdTableWnd*>(Window(0)), nullptr);
    EXPECT_NE(dynamic_cast<CBcdCurveWnd*>(Window(1)), nullptr);
    EXPECT_NE(dynamic_cast<CBcdStripeWnd*>(Window(2)), nullptr);
    EXPECT_EQ(BB_GetPcmPlotWnd(0, 3), nullptr);
    EXPECT_EQ(BB_GetPcmPlotWnd(9, 0), nullptr);
    EXPECT_FALSE(BB_SetDemFrameInfo(0, 0, nullptr));
    EXPECT_FALSE(BB_SetDemFrameInfo(0, 3, nullptr));
    const auto d = Descriptor(8, 24, 4);
    EXPECT_FALSE(BB_SetDemFrameInfo(1, 0, &d));
    EXPECT_FALSE(BB_SetDemFrameInfo(0, 4, &d));
    ASSERT_TRUE(BB_SetDemFrameInfo(0, 0, &d));
    const auto bad = Descriptor(40, 24, 4);
    EXPECT_FALSE(BB_SetDemFrameInfo(0, 0, &bad));
    EXPECT_EQ(Window(0)->Store()->Geometry().majorBytes, 128u);
    const std::uint8_t b[128] = {};
    EXPECT_FALSE(BB_SendPcmFrameData(0, 0, nullptr, 128));
    EXPECT_FALSE(BB_SendPcmFrameData(0, 0, b, 0));
    EXPECT_FALSE(BB_SendPcmFrameData(0, 3, b, 128));
    EXPECT_FALSE(BB_SendPcmFrameData(0, 1, b, 128));  // no geometry yet
    EXPECT_TRUE(BB_SendPcmFrameData(0, 0, b, 128));
    // Each window has its own store.
    EXPECT_EQ(Window(0)->Store()->Frames(), 1u);
    EXPECT_EQ(Window(1)->Store()->Frames(), 0u);
}

TEST_F(PcmplotTest, PeriodsZeroAndHugeAreBoundedAndTheTimerRuns) {
    EngineProcess engine;
    ASSERT_TRUE(OpenCard(engine));
    ASSERT_TRUE(BB_CreatePcmPlotWnd(0, 2, 0, nullptr, area_));
    EXPECT_TRUE(Window(2)->TimerActive());
    EXPECT_EQ(Window(2)->TimerInterval(), kDefaultPeriodMs);
    ASSERT_TRUE(BB_SetPcmPlotElapse(0, 2, 0));
    EXPECT_EQ(Window(2)->TimerInterval(), 1);
    ASSERT_TRUE(BB_SetPcmPlotElapse(0, 2, 0xFFFFFFFFu));
    EXPECT_EQ(Window(2)->TimerInterval(), INT_MAX);
    ASSERT_TRUE(BB_SetPcmPlotElapse(0, 2, 7));
    EXPECT_EQ(Window(2)->TimerInterval(), 7);
    EXPECT_FALSE(BB_SetPcmPlotElapse(0, 1, 7));
    // The timer alone brings new frames to the window.
    const auto d = Descriptor(8, 24, 4);
    ASSERT_TRUE(BB_SetDemFrameInfo(0, 2, &d));
    const auto frames = CardFrames(2, 24, 4);
    ASSERT_TRUE(BB_SendPcmFrameData(0, 2, frames.data(), std::uint32_t(frames.size())));
    ASSERT_WAIT_UNTIL(Window(2)->Shown().frames == 2, 5s);
    EXPECT_EQ(static_cast<CBcdStripeWnd*>(Window(2))->Samples(), 8u);
}

TEST_F(PcmplotTest, OperatorCloseWhileAThreadFeedsLeavesTheFeederOnTheStoreOnly) {
    EngineProcess engine;
    ASSERT_TRUE(OpenCard(engine));
    for (std::uint32_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(BB_CreatePcmPlotWnd(0, k, 3, nullptr, area_));
        ASSERT_TRUE(BB_SetPcmPlotElapse(0, k, 1));
        const auto d = Descriptor(8, 24, 4);
        ASSERT_TRUE(BB_SetDemFrameInfo(0, k, &d));
        std::atomic<int> accepted{0};
        std::atomic<bool> seen{false};
        std::thread feeder([&] {
            const auto block = CardFrames(40, 24, 4);
            for (int i = 0; i < 10000; ++i) {
                // Most of the blocks come after the window has shown data,
                // so the close falls in the middle of the feed.
                if (i == 100) {
                    const auto limit = std::chrono::steady_clock::now() + 10s;
                    while (!seen && std::chrono::steady_clock::now() < limit)
                        std::this_thread::yield();
                }
                if (BB_SendPcmFrameData(0, k, block.data(), std::uint32_t(block.size() - i % 50)))
                    ++accepted;
            }
        });
        QPointer<CBcdPlotWnd> w = Window(k);
        const bool shown = talvora::test::WaitUntil([&] { return w->Shown().frames > 0; }, 10s);
        seen = true;
        if (!shown) {
            feeder.join();
            FAIL() << "no frames reached the window";
        }
        qobject_cast<QMdiSubWindow*>(w->parentWidget())->close();
        const int acceptedAtClose = accepted.load();
        EXPECT_EQ(BB_GetPcmPlotWnd(0, k), nullptr);
        ASSERT_WAIT_UNTIL(Gone(w), 5s);
        feeder.join();
        // Only a call already under way when the slot emptied gets through.
        EXPECT_LE(accepted.load(), acceptedAtClose + 1);
        EXPECT_GE(acceptedAtClose, 100);
        EXPECT_FALSE(BB_SendPcmFrameData(0, k, CardFrames(1, 24, 4).data(), 128));
        EXPECT_FALSE(BB_SetDemFrameInfo(0, k, &d));
        // The slot takes a new window.
        ASSERT_TRUE(BB_CreatePcmPlotWnd(0, k, 0, nullptr, area_));
        ASSERT_TRUE(BB_DestroyPcmPlotWnd(0, k, 1));
    }
}

TEST_F(PcmplotTest, DestroyWithoutCloseFreesTheSlotAndTheOldWindowsCloseLeavesTheNewOne) {
    EngineProcess engine;
    ASSERT_TRUE(OpenCard(engine));
    ASSERT_TRUE(BB_CreatePcmPlotWnd(0, 0, 0, nullptr, area_));
    QPointer<CBcdPlotWnd> kept = Window(0);
    ASSERT_TRUE(BB_DestroyPcmPlotWnd(0, 0, 0));
    EXPECT_FALSE(BB_DestroyPcmPlotWnd(0, 0, 0));
    EXPECT_EQ(BB_GetPcmPlotWnd(0, 0), nullptr);
    EXPECT_FALSE(kept.isNull());
    const std::uint8_t b[128] = {};
    EXPECT_FALSE(BB_SendPcmFrameData(0, 0, b, 128));
    ASSERT_TRUE(BB_CreatePcmPlotWnd(0, 0, 0, nullptr, area_));
    CBcdPlotWnd* fresh = Window(0);
    qobject_cast<QMdiSubWindow*>(kept->parentWidget())->close();
    ASSERT_WAIT_UNTIL(Gone(kept), 5s);
    EXPECT_EQ(Window(0), fresh);
    ASSERT_TRUE(BB_DestroyPcmPlotWnd(0, 0, 1));
    EXPECT_EQ(BB_GetPcmPlotWnd(0, 0), nullptr);
}

TEST(PcmTableWnd, NewestMajorFrameOneRowPerMinorFrameInEitherTagForm) {
    auto store = std::make_shared<PcmFrameStore>();
    CBcdTableWnd w(0, 0, store, nullptr);
    w.resize(900, 300);
    ASSERT_TRUE(store->SetGeometry(Descriptor(8, 6, 3)));
    const auto frames = CardFrames(3, 6, 3);
    ASSERT_TRUE(store->Append(frames.data(), frames.size()));
    ASSERT_TRUE(w.Pull());
    EXPECT_FALSE(w.Pull());
    ASSERT_EQ(w.Rows(), 3u);
    EXPECT_EQ(w.RowTexts(0), (QStringList{"00-23 :34 :59: 987.6", "EB", "90", "00", "23", "24",
                                          "25"}));  // frame 2: 2 * 16 + k
    EXPECT_EQ(w.RowTexts(2)[3], "02");
    EXPECT_TRUE(w.RowTexts(3).isEmpty());
    w.grab();
    EXPECT_GE(w.RenderCount(), 1u);
    // Paging through the word columns stops at the last word; a window too
    // narrow for one page still moves by one word.
    std::unique_ptr<QMenu> menu(w.CreateMenu(nullptr));
    menu->actions()[1]->trigger();
    EXPECT_EQ(w.FirstWord(), 5u);
    menu->actions()[0]->trigger();
    EXPECT_EQ(w.FirstWord(), 0u);
    w.resize(40, 300);
    menu->actions()[1]->trigger();
    EXPECT_EQ(w.FirstWord(), 1u);
    w.resize(900, 300);

    DemChannelDescriptor host = Descriptor(8, 6, 3, 1);
    ASSERT_TRUE(store->SetGeometry(host));
    std::vector<std::uint8_t> f = CardFrames(1, 6, 3);
    const std::uint8_t tag[8] = {0x14, 0x0A, 0x0C, 0x0F, 0x6B, 0x0F, 0x5A, 0x40};
    std::copy(tag, tag + 8, f.begin());
    ASSERT_TRUE(store->Append(f.data(), f.size()));
    ASSERT_TRUE(w.Pull());
    EXPECT_EQ(w.RowTexts(0)[0], "5A-123:45296:789012");

    // 12-bit words in two bytes show three digits; 4-bit words one.
    ASSERT_TRUE(store->SetGeometry(Descriptor(12, 2, 1)));
    const std::uint8_t twelve[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xB9, 0x00, 0x05};
    ASSERT_TRUE(store->Append(twelve, sizeof twelve));
    ASSERT_TRUE(w.Pull());
    EXPECT_EQ(w.RowTexts(0), (QStringList{"00-0 :00 :00: 000.0", "EB9", "005"}));
    for (QSize s : {QSize(0, 0), QSize(5, 5), QSize(2000, 3)}) {
        w.resize(s);
        w.grab();
    }
}

TEST(PcmStripeWnd, CountsOneWordPositionOverAllBufferedMinorFrames) {
    auto store = std::make_shared<PcmFrameStore>();
    CBcdStripeWnd w(0, 2, store, nullptr);  // word 3: the minor index
    w.resize(600, 300);
    ASSERT_TRUE(store->SetGeometry(Descriptor(8, 6, 4)));
    const auto frames = CardFrames(5, 6, 4);
    ASSERT_TRUE(store->Append(frames.data(), frames.size()));
    ASSERT_TRUE(w.Pull());
    ASSERT_EQ(w.Counts().size(), 256u);
    EXPECT_EQ(w.Samples(), 20u);
    for (std::uint32_t v = 0; v < 4; ++v) EXPECT_EQ(w.Counts()[v], 5u) << v;
    EXPECT_DOUBLE_EQ(w.Mean(), 1.5);
    w.SetPosition(0);
    EXPECT_EQ(w.Counts()[0xEB], 20u);
    // 16-bit words fall into 256 bins by their high byte.
    ASSERT_TRUE(store->SetGeometry(Descriptor(16, 1, 1)));
    const std::uint8_t b[20] = {0, 0, 0, 0, 0, 0, 0, 0, 0xEB, 0x90,
                                0, 0, 0, 0, 0, 0, 0, 0, 0xEB, 0x01};
    ASSERT_TRUE(store->Append(b, sizeof b));
    ASSERT_TRUE(w.Pull());
    EXPECT_EQ(w.Counts().size(), 256u);
    EXPECT_EQ(w.Counts()[0xEB], 2u);
    w.grab();
    // Menu: the next and the previous word, wrapping.
    std::unique_ptr<QMenu> menu(w.CreateMenu(nullptr));
    ASSERT_NE(menu, nullptr);
    menu->actions()[0]->trigger();
    EXPECT_EQ(w.Position(), 0u);  // one word per minor frame
}

TEST(PcmCurveWnd, PositionsComeFromTheValueAndTheMenuAndAllPaint) {
    auto store = std::make_shared<PcmFrameStore>();
    CBcdCurveWnd w(0, 4, store, nullptr);
    w.resize(800, 300);
    EXPECT_EQ(w.Positions(), (std::vector<std::uint32_t>{4}));
    ASSERT_TRUE(store->SetGeometry(Descriptor(8, 6, 4)));
    const auto frames = CardFrames(50, 6, 4);
    ASSERT_TRUE(store->Append(frames.data(), frames.size()));
    ASSERT_TRUE(w.Pull());
    std::unique_ptr<QMenu> menu(w.CreateMenu(nullptr));
    ASSERT_EQ(menu->actions().size(), 4);
    menu->actions()[2]->trigger();  // one more curve, the next word
    EXPECT_EQ(w.Positions(), (std::vector<std::uint32_t>{4, 5}));
    menu.reset(w.CreateMenu(nullptr));
    menu->actions()[1]->trigger();  // all one word on, wrapping
    EXPECT_EQ(w.Positions(), (std::vector<std::uint32_t>{5, 0}));
    // The sync word's constant curve lies on the row of 0xEB.
    w.SetPositions({0});
    // Wide: 200 points joined; narrow: more frames than columns.
    for (int width : {800, 200}) {
        w.resize(width, 300);
        const QImage img = w.grab().toImage();
        const QRect plot = w.PlotRect();
        const int y = plot.bottom() - int(0xEB * (plot.height() - 1) / 255.0 + 0.5);
        EXPECT_EQ(img.pixelColor(plot.center().x(), y), QColor(220, 0, 0)) << width;
        EXPECT_NE(img.pixelColor(plot.center().x(), y + 4), QColor(220, 0, 0)) << width;
    }
    w.SetPositions({1, 2, 3, 4, 5, 0});
    EXPECT_EQ(w.Positions().size(), CBcdCurveWnd::kMaxCurves);
    w.resize(3, 3);
    w.grab();
}

}  // namespace
}  // namespace pcmplot

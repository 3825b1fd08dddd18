// The three PCM windows fed from the data callback of a card on the loopback
// engine, the way a host program does it: the descriptor when it changes,
// every block as it comes.
#include <bbdevice/bbdevice.h>
#include <bbdevice/dev_records.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <pcmplot/pcm_plot_wnd.h>
#include <pcmplot/pcmplot.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <plot_window_test.h>
#include <unistd.h>

#include <QMainWindow>
#include <QMdiArea>
#include <QRegularExpression>
#include <atomic>
#include <cstring>

#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace pcmplot {
namespace {

using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

DemChannelDescriptor g_last{};  // report thread only
std::atomic<int> g_blocks{0};

int FeedWindows(DemReportBlock* block) {
    if (block->descriptor.channel != 0) return 0;
    if (std::memcmp(&g_last, &block->descriptor, sizeof g_last) != 0) {
        for (std::uint32_t k = 0; k < 3; ++k) BB_SetDemFrameInfo(0, k, &block->descriptor);
        g_last = block->descriptor;
    }
    for (std::uint32_t k = 0; k < 3; ++k) BB_SendPcmFrameData(0, k, block->data, block->byteCount);
    ++g_blocks;
    return 0;
}

class PcmplotEngineTest : public plotviews::testing::PlotWindowTest {
protected:
    PcmplotEngineTest() : PlotWindowTest("pcme", QSize(1200, 800)) {}
    void TearDown() override {
        for (std::uint32_t k = 0; k < 3; ++k) BB_DestroyPcmPlotWnd(0, k, 1);
        PlotWindowTest::TearDown();
    }
    CBcdTableWnd* Table() { return static_cast<CBcdTableWnd*>(BB_GetPcmPlotWnd(0, kTable)); }
};

TEST_F(PcmplotEngineTest, TheTableShowsTheEnginesSyncWordAndBothTagForms) {
    EngineProcess engine;
    ASSERT_TRUE(OpenCard(engine, FeedWindows));
    for (std::uint32_t k = 0; k < 3; ++k) {
        ASSERT_TRUE(BB_CreatePcmPlotWnd(0, k, 2, nullptr, area_));
        ASSERT_TRUE(BB_SetPcmPlotElapse(0, k, 50));
    }
    DemParam p;
    ASSERT_TRUE(BB_GetDefaultDemParam(0, &p));
    ASSERT_TRUE(BB_SetDemParam(0, &p));

    const QRegularExpression card(R"(^[0-9A-F]{2}-(\d{1,2}) :\d{2} :\d{2}: \d{3}\.\d$)");
    const QRegularExpression host(R"(^[0-9A-F]{2}-\d{3}:\d{5}:\d{6}$)");
    ASSERT_WAIT_UNTIL(Table()->Rows() == p.副帧长, 20s);
    QStringList row = Table()->RowTexts(0);
    ASSERT_EQ(row.size(), qsizetype(p.子帧长) + 1);
    EXPECT_EQ(row[1], "EB");
    EXPECT_EQ(row[2], "90");
    const auto m = card.match(row[0]);
    ASSERT_TRUE(m.hasMatch()) << row[0].toStdString();
    EXPECT_LE(m.captured(1).toInt(), 23);  // the day bits stay out of the hours
    // Minor index of the tag (byte 6) counts the rows.
    EXPECT_TRUE(Table()->RowTexts(1)[0].startsWith("01-")) << Table()->RowTexts(1)[0].toStdString();
    auto* curve = static_cast<CBcdPlotWnd*>(BB_GetPcmPlotWnd(0, kCurve));
    auto* stripe = static_cast<CBcdStripeWnd*>(BB_GetPcmPlotWnd(0, kStripe));
    ASSERT_WAIT_UNTIL(curve->Shown().frames > 0 && stripe->Samples() > 0, 10s);
    EXPECT_GE(Table()->RenderCount(), 1u);

    p.配时精度 = 1;
    ASSERT_TRUE(BB_SetDemParam(0, &p));
    ASSERT_WAIT_UNTIL(host.match(Table()->RowTexts(0).value(0)).hasMatch(), 20s);
    row = Table()->RowTexts(0);
    EXPECT_EQ(row[1], "EB");
    EXPECT_EQ(row[2], "90");
    EXPECT_GT(g_blocks.load(), 0);
}

}  // namespace
}  // namespace pcmplot

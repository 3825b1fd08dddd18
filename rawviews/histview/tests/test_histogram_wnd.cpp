// The histogram window in an MDI area: maximised, caption, bar heights and
// labels, no bars for unusable word sizes, the channel dialog and closing.
#include <gtest/gtest.h>
#include <histview/histogram_wnd.h>
#include <histview/histogram_wnd_class.h>
#include <platform/profile.h>
#include <platform/winmsg.h>

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMdiArea>
#include <QSpinBox>
#include <QTimer>
#include <mutex>
#include <vector>

#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace histview {
namespace {

using namespace std::chrono_literals;

class Receiver : public plat::MessageReceiver {
public:
    void OnMessage(std::uint32_t msg, std::uintptr_t, std::intptr_t) override {
        std::lock_guard lock(mutex);
        posted.push_back(msg);
    }
    std::vector<std::uint32_t> Messages() {
        std::lock_guard lock(mutex);
        return posted;
    }
    std::mutex mutex;
    std::vector<std::uint32_t> posted;
};

_FRAME_STRUCT_PARAM Shape(int wordBits) {
    _FRAME_STRUCT_PARAM f{};
    f.nWordsPerSubframe = 24;
    f.nSubframes = 4;
    f.nFrameWords = 96;
    f.nWordBits = std::uint8_t(wordBits);
    f.nWordBytes = std::uint8_t((wordBits + 7) / 8);
    f.nTimeBytes = 8;
    f.nBitRate = 4000000;
    f.fFramePeriod = float(96 * 1000.0 * wordBits / 4000000);
    f.nByteOrder = 1;
    return f;
}

// Word 1 = 235, word 2 = 144 and word w = w otherwise, in every subframe.
std::vector<std::uint8_t> Frame(const _FRAME_STRUCT_PARAM& f) {
    std::vector<std::uint8_t> out;
    for (int r = 0; r < f.nSubframes; ++r) {
        for (int t = 0; t < 8; ++t) out.push_back(std::uint8_t(t));
        for (int w = 1; w <= f.nWordsPerSubframe; ++w) {
            const int v = w == 1 ? 235 : w == 2 ? 144 : w;
            for (int b = f.nWordBytes; b-- > 0;) out.push_back(std::uint8_t(v >> (8 * b)));
        }
    }
    return out;
}

class HistogramWndTest : public ::testing::Test {
protected:
    void SetUp() override {
        main_.setCentralWidget(area_);
        main_.resize(1400, 900);
        main_.show();
        plat::RegisterWindow(static_cast<QWidget*>(&main_), &receiver_);
    }
    void TearDown() override { plat::UnregisterWindow(static_cast<QWidget*>(&main_)); }

    talvora::test::TempHome home_;
    QMainWindow main_;
    QMdiArea* area_ = new QMdiArea;
    Receiver receiver_;
};

TEST_F(HistogramWndTest, MaximisedWindowShowsBarsOfTheNewestFrame) {
    CHistogramWndClass c;
    _FRAME_STRUCT_PARAM f = Shape(8);
    std::vector<std::uint8_t> data = Frame(f);
    EXPECT_EQ(c.SetHistviewData(&f, data.data()), 0);  // no window yet
    auto* w = static_cast<CHistogramWnd*>(c.InitHistogramWnd(area_, &f, 20));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isMaximized());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("源码柱状图显示"));
    ASSERT_EQ(c.SetHistviewData(&f, data.data()), 1);
    HistView* v = w->View();
    ASSERT_WAIT_UNTIL(v->Snapshot().rows == 4, 10s);
    EXPECT_EQ(v->Caption(),
              QStringLiteral(
                  "源码柱状图显示：码速率4000000bps，字长8, 帧格式24×4，帧长96，帧周期0.192ms "));
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(v->BarPixels(r, 0), (235 * HistView::kFullBarHeight + 127) / 255);
        EXPECT_EQ(v->BarPixels(r, 1), (144 * HistView::kFullBarHeight + 127) / 255);
    }
    EXPECT_EQ(v->HexText(0, 0), QStringLiteral("EB"));
    EXPECT_EQ(v->PercentText(0, 0), QStringLiteral("92.16%"));
    EXPECT_EQ(v->Snapshot().frameCode, "帧码: 00 01 02 03 04 05 06 07 EB 90 03 04 05 06 07 08");
    EXPECT_FALSE(v->grab().isNull());

    _ERROR_CODE_STATISTIC err{};
    EXPECT_EQ(c.SetErrorCode(nullptr, 1), 0);
    EXPECT_EQ(c.SetErrorCode(&err, 1), 1);
    EXPECT_TRUE(v->Caption().contains(QStringLiteral("码元计数: 000000000000")));
}

TEST_F(HistogramWndTest, WordSizesWithoutAFullScaleDrawNoBars) {
    CHistogramWndClass c;
    auto* w = static_cast<CHistogramWnd*>(c.InitHistogramWnd(area_, nullptr, 20));
    ASSERT_NE(w, nullptr);
    for (int bits : {0, 33, 40}) {
        _FRAME_STRUCT_PARAM f = Shape(16);
        f.nWordBits = std::uint8_t(bits);
        std::vector<std::uint8_t> data = Frame(f);
        ASSERT_EQ(c.SetHistviewData(&f, data.data()), 1);
        ASSERT_WAIT_UNTIL(w->View()->Snapshot().shape.nWordBits == bits, 10s);
        EXPECT_EQ(w->View()->BarPixels(0, 0), -1) << bits;
        EXPECT_TRUE(w->View()->HexText(0, 0).isEmpty());
        w->View()->grab();  // paints without a bar or a division by zero
    }
}

TEST_F(HistogramWndTest, ChannelDialogWritesTheChannelsAndTheBarsFollow) {
    CHistogramWndClass c;
    auto* w = static_cast<CHistogramWnd*>(c.InitHistogramWnd(area_, nullptr, 20));
    ASSERT_NE(w, nullptr);
    _FRAME_STRUCT_PARAM f = Shape(16);
    std::vector<std::uint8_t> data = Frame(f);
    ASSERT_EQ(c.SetHistviewData(&f, data.data()), 1);
    QTimer::singleShot(0, [] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg) return;
        dlg->findChild<QSpinBox*>("channel01")->setValue(2);
        dlg->findChild<QSpinBox*>("channel24")->setValue(30);
        dlg->accept();
    });
    w->AskChannels();
    EXPECT_EQ(w->Settings().channel[0], 2);
    const std::string file = HistogramSettingsPath();
    EXPECT_EQ(plat::GetPrivateProfileString("HISTOGRAM_CHANNEL", "CHANNEL01", "", 64, file), "2");
    EXPECT_EQ(plat::GetPrivateProfileString("HISTOGRAM_CHANNEL", "CHANNEL24", "", 64, file), "30");
    EXPECT_EQ(w->View()->HexText(0, 0), QStringLiteral("0090"));
    EXPECT_EQ(w->View()->BarPixels(0, 23), -1);  // position 30 is beyond the subframe
}

TEST_F(HistogramWndTest, ClosingPostsTheMessageAndEndsTheData) {
    CHistogramWndClass c;
    _FRAME_STRUCT_PARAM f = Shape(8);
    auto* w = static_cast<CHistogramWnd*>(c.InitHistogramWnd(area_, &f, 20));
    ASSERT_NE(w, nullptr);
    std::vector<std::uint8_t> data = Frame(f);
    EXPECT_TRUE(w->close());
    EXPECT_EQ(c.SetHistviewData(&f, data.data()), 0);
    EXPECT_EQ(c.GetHistogramWnd(), nullptr);
    ASSERT_WAIT_UNTIL(!receiver_.Messages().empty(), 10s);
    EXPECT_EQ(receiver_.Messages()[0], 1135u);
}

}  // namespace
}  // namespace histview

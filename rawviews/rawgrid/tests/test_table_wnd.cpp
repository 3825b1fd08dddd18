#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <platform/winmsg.h>
#include <rawgrid/cell_text.h>
#include <rawgrid/table_grid_wnd.h>
#include <rawgrid/table_menu_wnd.h>
#include <rawgrid/table_settings.h>
#include <rawgrid/table_wnd.h>
#include <rawgrid/table_wnd_class.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QScrollBar>
#include <mutex>
#include <vector>

#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace rawgrid {
namespace {

using namespace std::chrono_literals;

struct Posted {
    std::uint32_t msg;
    std::uintptr_t wparam;
};

class Receiver : public plat::MessageReceiver {
public:
    void OnMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) override {
        std::lock_guard lock(mutex);
        posted.push_back({msg, wparam});
    }
    std::vector<Posted> Messages() {
        std::lock_guard lock(mutex);
        return posted;
    }
    std::mutex mutex;
    std::vector<Posted> posted;
};

_FRAME_STRUCT_PARAM Shape(int words, int subframes, int wordBits) {
    _FRAME_STRUCT_PARAM f{};
    f.nWordsPerSubframe = static_cast<std::uint16_t>(words);
    f.nSubframes = static_cast<std::uint16_t>(subframes);
    f.nFrameWords = words * subframes;
    f.nWordBits = static_cast<std::uint8_t>(wordBits);
    f.nWordBytes = static_cast<std::uint8_t>((wordBits + 7) / 8);
    f.nTimeBytes = 8;
    f.nBitRate = 2000000;
    f.fFramePeriod = float(f.nFrameWords) * 1000.0f * float(wordBits) / float(f.nBitRate);
    return f;
}

// 16-bit words, high byte first: row r word w = r * 0x100 + w, except word 0
// of row 0, which is 0x8000, and word 1 of row 0, which is 0xF123. Each tag
// reads 12:34:56:789.r (r = row % 10).
std::vector<std::uint8_t> Frame16(const _FRAME_STRUCT_PARAM& f) {
    std::vector<std::uint8_t> out;
    for (int r = 0; r < f.nSubframes; ++r) {
        const std::uint8_t tag[8] = {
            std::uint8_t(0x90 | (r % 10)), 0x78, 0x56, 0x34, 0x12, 0, 0, 0};
        out.insert(out.end(), tag, tag + 8);
        for (int w = 0; w < f.nWordsPerSubframe; ++w) {
            std::uint16_t v = std::uint16_t(r * 0x100 + w);
            if (r == 0 && w == 0) v = 0x8000;
            if (r == 0 && w == 1) v = 0xF123;
            out.push_back(std::uint8_t(v >> 8));
            out.push_back(std::uint8_t(v));
        }
    }
    return out;
}

class TableWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(home_.path().empty());
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
        main_ = new QMainWindow;
        area_ = new QMdiArea;
        main_->setCentralWidget(area_);
        main_->resize(1200, 800);
        main_->show();
        plat::RegisterWindow(static_cast<QWidget*>(main_), &receiver_);
    }
    void TearDown() override {
        views_.reset();
        plat::UnregisterWindow(static_cast<QWidget*>(main_));
        delete main_;
        plat::SetNotifySink(nullptr);
    }
    CTableWnd* Window(int stream) {
        return static_cast<CTableWnd*>(static_cast<QWidget*>(views_->GetTableWnd(stream)));
    }
    talvora::test::TempHome home_;  // module directory: TableParameter.ini
    const std::string& dir_ = home_.path();
    std::shared_ptr<plat::CapturingSink> sink_;
    QMainWindow* main_ = nullptr;
    QMdiArea* area_ = nullptr;
    Receiver receiver_;
    std::unique_ptr<CTableWndClass> views_ = std::make_unique<CTableWndClass>();
};

TEST_F(TableWindow, StreamsOutsideMinusOneToTwoAreRefused) {
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 16);
    std::vector<std::uint8_t> data = Frame16(f);
    EXPECT_EQ(views_->InitTableWnd(area_, &f, 50, 3), nullptr);
    EXPECT_EQ(views_->InitTableWnd(area_, &f, 50, -2), nullptr);
    EXPECT_EQ(views_->SetRawgridData(&f, data.data(), 3), 0);
    EXPECT_EQ(views_->SetRawgridData(&f, data.data(), -2), 0);
    EXPECT_TRUE(area_->subWindowList().isEmpty());
    // A valid stream without a window takes nothing either.
    EXPECT_EQ(views_->SetRawgridData(&f, data.data(), 1), 0);
    EXPECT_EQ(views_->InitTableWnd(nullptr, &f, 50, 0), nullptr);
}

TEST_F(TableWindow, CreatesChildWithTitleSizeAndSettingsMenu) {
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 16);
    QMenu menu;
    menu.addAction("a");
    menu.addAction("b");
    void* h = views_->InitTableWnd(area_, &f, 50, -1, &menu, 1);
    ASSERT_NE(h, nullptr);
    CTableWnd* w = Window(-1);
    ASSERT_EQ(static_cast<void*>(static_cast<QWidget*>(w)), h);
    EXPECT_TRUE(area_->subWindowList().contains(w));
    EXPECT_EQ(w->size(), QSize(500, 200));
    EXPECT_EQ(w->windowTitle().left(6), QStringLiteral("源码表格显示"));
    ASSERT_EQ(menu.actions().size(), 3);
    ASSERT_NE(menu.actions()[1]->menu(), nullptr);
    EXPECT_EQ(menu.actions()[1]->text(), QStringLiteral("显示配置(&C)"));

    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, 1), nullptr);
    EXPECT_TRUE(Window(1)->windowTitle().startsWith(QStringLiteral("遥测流2源码表格显示")));

    // Stream -1 is stream 0: creating 0 replaces the window, its menu entry
    // goes, and the frame is not told (it did not ask for the close).
    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, 0), nullptr);
    EXPECT_EQ(views_->GetTableWnd(-1), views_->GetTableWnd(0));
    EXPECT_EQ(area_->subWindowList().size(), 2);
    EXPECT_EQ(menu.actions().size(), 2);
    QApplication::processEvents();
    EXPECT_TRUE(receiver_.Messages().empty());
    EXPECT_TRUE(Window(0)->windowTitle().startsWith(QStringLiteral("遥测流1源码表格显示")));
}

TEST_F(TableWindow, CellsFollowViewModeAndMasking) {
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 12);
    std::vector<std::uint8_t> data = Frame16(f);
    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, -1), nullptr);
    CTableWnd* w = Window(-1);
    ASSERT_EQ(views_->SetRawgridData(&f, data.data(), -1), 1);
    w->Refresh();
    TableGridView* g = w->Grid();

    EXPECT_EQ(g->CellText(0, 0), "8000");
    EXPECT_EQ(g->CellText(0, 1), "F123");
    EXPECT_EQ(g->CellText(3, 7), "0307");
    EXPECT_EQ(g->TimeText(2), "12:34:56:789.2");
    TableSettings s = w->Settings();
    s.nDataViewMode = kDecimal;
    w->ApplySettings(s);
    EXPECT_EQ(g->CellText(0, 0), "32768");
    s.nDataViewMode = kPercent;
    w->ApplySettings(s);
    EXPECT_EQ(g->CellText(0, 0), "50.00%");
    s.nDataViewMode = kVoltage;
    s.fConvertVoltage = 10.0;
    w->ApplySettings(s);
    EXPECT_EQ(g->CellText(0, 0), "5.000");
    s.nDataViewMode = kHex;
    s.nDataBitsLimit = 1;
    w->ApplySettings(s);
    EXPECT_EQ(g->CellText(0, 1), "0123");
    EXPECT_EQ(g->CellText(0, 0), "0000");

    // Chosen from the menu, stored in the stream's section.
    w->SettingsMenu()->ViewModeAction(kPercent)->trigger();
    const TableSettings stored = LoadTableSettings(dir_ + "/TableParameter.ini", -1);
    EXPECT_EQ(stored.nDataViewMode, kPercent);
    EXPECT_EQ(stored.nDataBitsLimit, 1);
    EXPECT_DOUBLE_EQ(stored.fConvertVoltage, 10.0);
}

TEST_F(TableWindow, StoredSettingsAreUsedByTheNextWindow) {
    TableSettings s;
    s.nDataViewMode = kPercent;
    ASSERT_TRUE(SaveTableSettings(dir_ + "/TableParameter.ini", 2, s));
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 16);
    std::vector<std::uint8_t> data = Frame16(f);
    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, 2), nullptr);
    ASSERT_EQ(views_->SetRawgridData(&f, data.data(), 2), 1);
    EXPECT_EQ(Window(2)->Grid()->CellText(0, 0), "50.00%");
    EXPECT_TRUE(Window(2)->SettingsMenu()->ViewModeAction(kPercent)->isChecked());
}

TEST_F(TableWindow, TimerRepaintsAndRetitlesFromTheData) {
    _FRAME_STRUCT_PARAM f = Shape(2048, 256, 16);
    std::vector<std::uint8_t> data = Frame16(f);
    ASSERT_NE(views_->InitTableWnd(area_, &f, 20, -1), nullptr);
    CTableWnd* w = Window(-1);
    w->resize(900, 500);
    w->SettingsMenu()->WholeFrameAction()->trigger();
    f.nBitRate = 4000000;
    f.fFramePeriod = 2048 * 256 * 1000.0f * 16 / 4000000;
    ASSERT_EQ(views_->SetRawgridData(&f, data.data(), -1), 1);

    const QString want = QString::fromUtf8(
        "源码表格显示：码速率4000000bps，字长16, 帧格式2048×256，帧长524288，帧周期2097.152ms ");
    EXPECT_TRUE(talvora::test::WaitUntil([&] { return w->windowTitle() == want; }, 30s,
                                         "the window title of the new frame shape"));
    EXPECT_EQ(w->windowTitle(), want);
    EXPECT_EQ(w->Grid()->ShownWords(), 2048);

    // Something other than the background was painted in the cell area.
    const QImage img = w->Grid()->viewport()->grab().toImage();
    if (qEnvironmentVariableIsSet("RAWGRID_SAVE")) img.save(qEnvironmentVariable("RAWGRID_SAVE"));
    int dark = 0;
    for (int y = img.height() / 2; y < img.height(); ++y)
        for (int x = img.width() / 2; x < img.width(); ++x) dark += qGray(img.pixel(x, y)) < 96;
    EXPECT_GT(dark, 50);
}

TEST_F(TableWindow, WholeFrameSettingIsExchangedWithTheCaller) {
    _FRAME_STRUCT_PARAM f = Shape(16, 32, 16);
    std::vector<std::uint8_t> data = Frame16(f);
    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, 1), nullptr);
    CTableWnd* w = Window(1);
    ASSERT_EQ(views_->SetRawgridData(&f, data.data(), 1), 1);
    w->Refresh();
    EXPECT_EQ(w->Grid()->ShownRows(), 1);

    // The window's menu: shown at once, told to the caller at the next call.
    w->SettingsMenu()->WholeFrameAction()->trigger();
    EXPECT_EQ(w->Grid()->ShownRows(), 32);
    EXPECT_EQ(LoadTableSettings(dir_ + "/TableParameter.ini", 1).nShowWfMode, 1);
    EXPECT_EQ(f.nShowWholeFrame, 0);
    ASSERT_EQ(views_->SetRawgridData(&f, data.data(), 1), 1);
    EXPECT_EQ(f.nShowWholeFrame, 1);

    // The caller: the window follows, and so do its menu and profile.
    f.nShowWholeFrame = 0;
    ASSERT_EQ(views_->SetRawgridData(&f, data.data(), 1), 1);
    w->Refresh();
    EXPECT_EQ(w->Grid()->ShownRows(), 1);
    EXPECT_FALSE(w->SettingsMenu()->WholeFrameAction()->isChecked());
    EXPECT_EQ(LoadTableSettings(dir_ + "/TableParameter.ini", 1).nShowWfMode, 0);
    EXPECT_EQ(f.nShowWholeFrame, 0);
}

TEST_F(TableWindow, KeysScrollByPageLineAndColumn) {
    _FRAME_STRUCT_PARAM f = Shape(2048, 256, 16);
    std::vector<std::uint8_t> data = Frame16(f);
    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, -1), nullptr);
    CTableWnd* w = Window(-1);
    w->resize(700, 400);
    w->SettingsMenu()->WholeFrameAction()->trigger();
    ASSERT_EQ(views_->SetRawgridData(&f, data.data(), -1), 1);
    w->Refresh();
    QApplication::processEvents();
    TableGridView* g = w->Grid();
    ASSERT_EQ(g->ShownRows(), 256);
    QScrollBar* v = g->verticalScrollBar();
    QScrollBar* h = g->horizontalScrollBar();
    ASSERT_GT(v->pageStep(), 1);
    ASSERT_GT(h->pageStep(), 1);

    auto press = [&](Qt::Key k) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(g, &e);
    };
    press(Qt::Key_PageDown);
    EXPECT_EQ(v->value(), v->pageStep());
    press(Qt::Key_Down);
    EXPECT_EQ(v->value(), v->pageStep() + 1);
    press(Qt::Key_Up);
    press(Qt::Key_PageUp);
    EXPECT_EQ(v->value(), 0);
    press(Qt::Key_End);
    EXPECT_EQ(h->value(), h->pageStep());
    press(Qt::Key_Right);
    EXPECT_EQ(h->value(), h->pageStep() + 1);
    press(Qt::Key_Left);
    press(Qt::Key_Home);
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(v->value(), 0);
}

TEST_F(TableWindow, ClosingTellsTheFrameAndStopsTakingData) {
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 16);
    std::vector<std::uint8_t> data = Frame16(f);
    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, 2), nullptr);
    ASSERT_EQ(views_->SetRawgridData(&f, data.data(), 2), 1);
    Window(2)->close();
    QApplication::processEvents();
    const std::vector<Posted> got = receiver_.Messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, 1145u);
    EXPECT_EQ(got[0].wparam, 2u);
    EXPECT_EQ(views_->GetTableWnd(2), nullptr);
    EXPECT_EQ(views_->SetRawgridData(&f, data.data(), 2), 0);
    EXPECT_TRUE(area_->subWindowList().isEmpty());
}

TEST_F(TableWindow, DeletingTheViewsClosesTheirWindowsQuietly) {
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 16);
    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, 0), nullptr);
    ASSERT_NE(views_->InitTableWnd(area_, &f, 50, 1), nullptr);
    views_.reset();
    QApplication::processEvents();
    EXPECT_TRUE(area_->subWindowList().isEmpty());
    EXPECT_TRUE(receiver_.Messages().empty());
}

}  // namespace
}  // namespace rawgrid

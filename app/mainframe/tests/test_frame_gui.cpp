// The main frame as the operator meets it: command surface, exit question,
// exit sequence and its journal, window placement, window messages.
#include <config/window_pos.h>
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <platform/codepage.h>
#include <platform/winmsg.h>

#include <QAbstractButton>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <fstream>
#include <sstream>
#include <thread>

#include "command_ids.h"
#include "command_table.h"
#include "dock_page_bar.h"
#include "frame_fixture.h"
#include "qt_notify.h"
#include "testsupport/wait.h"

using namespace mainframe;

namespace {

std::string ReadFileUtf8(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return plat::GbkToUtf8(ss.str());
}

unsigned IdOf(QAction* a) {
    return a->isSeparator() ? 0 : a->data().toUInt();
}

}  // namespace

TEST_F(FrameTest, MenuBarCarriesEveryCommandWithItsTextAndAccelerator) {
    CMainFrame* f = MakeFrame();
    const QList<QAction*> popups = f->menuBar()->actions();
    const auto table = MainMenu();
    ASSERT_EQ(popups.size(), qsizetype(table.size()));
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(popups[i]->text(), QString::fromUtf8(table[i].title));
        const QList<QAction*> items = popups[i]->menu()->actions();
        // 数据查看 ends with a separator and the submenu that repeats the
        // workspace menu.
        const bool view = QString::fromUtf8(table[i].title).contains(QStringLiteral("数据查看"));
        ASSERT_EQ(items.size(), qsizetype(table[i].entries.size()) + (view ? 2 : 0))
            << table[i].title;
        if (view) {
            EXPECT_TRUE(items[items.size() - 2]->isSeparator());
            ASSERT_NE(items.back()->menu(), nullptr);
            EXPECT_EQ(items.back()->menu()->actions(), f->WorkspaceMenu()->actions());
        }
        for (std::size_t j = 0; j < table[i].entries.size(); ++j) {
            const MenuEntry& e = table[i].entries[j];
            EXPECT_EQ(IdOf(items[j]), e.id);
            if (e.id == 0) continue;
            EXPECT_EQ(items[j]->text(), QString::fromUtf8(e.text));
            EXPECT_EQ(items[j]->shortcut(), e.accelerator
                                                ? QKeySequence(QString::fromLatin1(e.accelerator))
                                                : QKeySequence());
        }
    }
    // Ctrl+P sits on the toolbar-only zero-position print.
    EXPECT_EQ(f->Action(ID_ZERO_PRINT)->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Talvora"));
}

TEST_F(FrameTest, ToolbarButtonsInOrderWithTooltipsAt32Pixels) {
    CMainFrame* f = MakeFrame();
    std::vector<unsigned> ids;
    for (QAction* a : f->ToolBar()->actions()) ids.push_back(IdOf(a));
    const std::vector<unsigned> expected{32835, 32772, 32834, 0,     32777, 32778, 0,     32780,
                                         32787, 0,     32813, 32814, 0,     32788, 32789, 0,
                                         32791, 32792, 0,     32776, 32774, 57651, 0,     32779};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(f->ToolBar()->iconSize(), QSize(32, 32));
    EXPECT_EQ(f->Action(ID_STATUS_BAR_TOGGLE)->toolTip(), QStringLiteral("打开、隐藏状态显示框"));
    EXPECT_EQ(f->Action(ID_EXIT_SOFTWARE)->toolTip(), QStringLiteral("退出软件"));
    EXPECT_TRUE(f->Action(ID_REOPEN_CARD)->toolTip().isEmpty());
    EXPECT_FALSE(f->Action(ID_FILE_STORAGE)->icon().isNull());
}

TEST_F(FrameTest, StatusDisplayBarDockedAtTheBottomWithTheStatusPage) {
    CMainFrame* f = MakeFrame();
    CDockPageBar* bar = f->StatusBarDock();
    EXPECT_EQ(bar->windowTitle(), QStringLiteral("显示框"));
    EXPECT_EQ(f->dockWidgetArea(bar), Qt::BottomDockWidgetArea);
    ASSERT_EQ(bar->Pages()->count(), 1);
    EXPECT_EQ(bar->Pages()->tabText(0), QStringLiteral("状态查看"));
    EXPECT_TRUE(bar->isVisible());  // first start: no placement file yet
}

TEST_F(FrameTest, UpdateHandlersFollowTheFlags) {
    CMainFrame* f = MakeFrame();
    f->UpdateCommandUI();
    EXPECT_FALSE(f->Action(ID_ALLOW_LIFTOFF)->isEnabled());
    EXPECT_FALSE(f->Action(ID_CLOSE_ALL_WINDOWS)->isEnabled());
    EXPECT_FALSE(f->Action(ID_DOWN_CONVERTER)->isEnabled());
    EXPECT_TRUE(f->Action(ID_STREAM_1)->isChecked());
    // The card-open attempt against the closed port clears the card flags when
    // it fails: let it end before the flags are set by hand.
    ASSERT_WAIT_UNTIL(!f->CardOpenThreadBusy(), std::chrono::seconds(20));
    f->m_bCardOpen = 1;
    f->m_bLiftOffEnable = 1;
    f->m_bRecording = 1;
    f->View(FrameView::RawTable).open = 1;
    f->OnCommand(ID_STREAM_2);
    f->UpdateCommandUI();
    EXPECT_TRUE(f->Action(ID_ALLOW_LIFTOFF)->isEnabled());
    EXPECT_TRUE(f->Action(ID_ALLOW_LIFTOFF)->isChecked());
    EXPECT_TRUE(f->Action(ID_FILE_STORAGE)->isChecked());
    EXPECT_TRUE(f->Action(ID_CLOSE_ALL_WINDOWS)->isEnabled());
    EXPECT_TRUE(f->Action(ID_STREAM_2)->isChecked());
    EXPECT_FALSE(f->Action(ID_STREAM_1)->isChecked());
    f->m_bCardOpen = 0;  // nothing to close at exit
}

TEST_F(FrameTest, CancellingTheExitQuestionKeepsEverythingRunning) {
    CMainFrame* f = MakeFrame();
    sink_->AnswerExit(plat::IDCANCEL);
    EXPECT_FALSE(f->close());
    ASSERT_EQ(sink_->ExitQuestions().size(), 1u);
    EXPECT_EQ(sink_->ExitQuestions()[0].type & plat::MB_TYPEMASK, plat::MB_OKCANCEL);
    EXPECT_EQ(f->m_bThreadRun.load(), 1);
    EXPECT_TRUE(f->isVisible());
    EXPECT_FALSE(f->ExitSequenceDone());
    EXPECT_TRUE(f->TimerActive(TIMER_REFRESH));
    EXPECT_TRUE(f->m_replayTimer.Running());
    EXPECT_TRUE(f->m_telemetryTimer.Running());
    EXPECT_TRUE(f->m_buffers.Allocated());
    EXPECT_EQ(CMainFrame::Instance(), f);
}

TEST_F(FrameTest, ConfirmedExitRunsTheSequenceAndTheJournalEndsWithExit) {
    CMainFrame* f = MakeFrame();
    const std::string logFile = applog::g_strLogFile;
    ASSERT_FALSE(logFile.empty());
    bool finished = false;
    QObject::connect(f, &CMainFrame::exitSequenceFinished, [&] { finished = true; });
    sink_->AnswerExit(plat::IDOK);
    EXPECT_TRUE(f->close());
    EXPECT_TRUE(finished);
    EXPECT_TRUE(f->ExitSequenceDone());
    EXPECT_EQ(f->m_bThreadRun.load(), 0);
    EXPECT_FALSE(f->m_buffers.Allocated());
    EXPECT_FALSE(f->m_replayTimer.Running());
    EXPECT_FALSE(f->m_linkMonitorTimer.Running());
    EXPECT_FALSE(f->m_telemetryTimer.Running());
    EXPECT_EQ(CMainFrame::Instance(), nullptr);

    const std::string log = ReadFileUtf8(logFile);
    const std::string tail = "    退出软件！\r\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    EXPECT_NE(log.find("启动系统日志记录"), std::string::npos);
    // The placement file is written on the way out.
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(cfg::WindowPosIniPath(Home()))));
}

TEST_F(FrameTest, TimerRecordsTheBarRectangleAndTheToggleItsVisibility) {
    CMainFrame* f = MakeFrame();
    f->OnTimer(TIMER_BAR_PLACEMENT);
    EXPECT_FALSE(f->TimerActive(TIMER_BAR_PLACEMENT));
    const cfg::WindowPlacement shown = f->m_windowPos[cfg::PlacedWindow::DockPageBar];
    CDockPageBar* bar = f->StatusBarDock();
    EXPECT_TRUE(shown.open);
    EXPECT_EQ(shown.cx, bar->width());
    EXPECT_EQ(shown.cy, bar->height());
    EXPECT_GT(shown.y, 0);  // below the toolbar, in client coordinates

    f->OnCommand(ID_STATUS_BAR_TOGGLE);
    EXPECT_TRUE(bar->isHidden());
    const cfg::WindowPlacement hidden = f->m_windowPos[cfg::PlacedWindow::DockPageBar];
    EXPECT_FALSE(hidden.open);
    EXPECT_EQ(hidden.cy, shown.cy);  // the last rectangle is kept
    f->UpdateCommandUI();
    EXPECT_FALSE(f->Action(ID_STATUS_BAR_TOGGLE)->isChecked());
}

TEST_F(FrameTest, PlacementRoundTripKeepsAClosedWindowsGeometry) {
    cfg::WindowPosConfig before;
    before[cfg::PlacedWindow::BCDTableWnd] = {true, 10, 20, 300, 200};
    before[cfg::PlacedWindow::DockPageBar] = {false, 0, 600, 1200, 260};
    ASSERT_TRUE(cfg::SaveWindowPos(Home(), before));

    CMainFrame* f = MakeFrame();
    // The table reopened from the file is closed again by the operator.
    QApplication::processEvents();
    ASSERT_NE(f->View(FrameView::RawTable).wnd, nullptr);
    f->View(FrameView::RawTable).wnd->close();
    QApplication::processEvents();
    EXPECT_TRUE(f->StatusBarDock()->isHidden());  // closed at the last exit
    // A curve window that is open at exit has its geometry written.
    auto* curve = new QWidget;
    QMdiSubWindow* sub = f->MdiArea()->addSubWindow(curve);
    sub->setGeometry(40, 50, 400, 300);
    sub->show();
    f->View(FrameView::RawCurve) = {1, curve};

    sink_->AnswerExit(plat::IDOK);
    ASSERT_TRUE(f->close());
    const cfg::WindowPosConfig after = cfg::LoadWindowPos(Home());
    const cfg::WindowPlacement table = after[cfg::PlacedWindow::BCDTableWnd];
    EXPECT_FALSE(table.open);  // no table window was open at exit
    EXPECT_EQ(table.x, 10);
    EXPECT_EQ(table.y, 20);
    EXPECT_EQ(table.cx, 300);
    EXPECT_EQ(table.cy, 200);
    const cfg::WindowPlacement c = after[cfg::PlacedWindow::BCDCurveWnd];
    EXPECT_TRUE(c.open);
    EXPECT_EQ(c.x, 40);
    EXPECT_EQ(c.cx, 400);
    EXPECT_FALSE(after[cfg::PlacedWindow::DockPageBar].open);
    EXPECT_EQ(after[cfg::PlacedWindow::DockPageBar].cy, 260);
}

// Where `w`'s outer window sits in the frame's client area (below the menu).
QRect InFrameClient(CMainFrame* f, QWidget* w) {
    return QRect(w->mapTo(f, QPoint(0, 0)) - QPoint(0, f->menuBar()->height()), w->size());
}

TEST_F(FrameTest, OpenWindowsAreStoredInFrameClientCoordinates) {
    CMainFrame* f = MakeFrame();
    auto* curve = new QWidget;
    QMdiSubWindow* sub = f->MdiArea()->addSubWindow(curve);
    sub->setGeometry(40, 50, 400, 300);
    sub->show();
    f->View(FrameView::RawCurve) = {1, curve};
    QApplication::processEvents();
    const QRect where = InFrameClient(f, sub);
    ASSERT_GT(where.y(), 50);  // the toolbar lies above the MDI area

    sink_->AnswerExit(plat::IDOK);
    ASSERT_TRUE(f->close());
    const cfg::WindowPlacement c = cfg::LoadWindowPos(Home())[cfg::PlacedWindow::BCDCurveWnd];
    EXPECT_TRUE(c.open);
    EXPECT_EQ(QRect(c.x, c.y, c.cx, c.cy), where);
}

TEST_F(FrameTest, WindowsComeBackToThePixelOverThreeRestarts) {
    // Stand-ins for windows reopened from the placement file, placed as the
    // frame reopens them; the raw table is the frame's own.
    struct Placed {
        FrameView view;
        cfg::PlacedWindow placement;
        QRect first;
    };
    const Placed placed[] = {
        {FrameView::RawCurve, cfg::PlacedWindow::BCDCurveWnd, QRect(30, 40, 400, 250)},
        {FrameView::ParamTable, cfg::PlacedWindow::DealTableWnd, QRect(470, 15, 300, 200)},
        {FrameView::ParamCurve, cfg::PlacedWindow::DealCurveWnd, QRect(0, 0, 350, 180)},
    };
    QRect firstTable;
    for (int start = 0; start < 4; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        CMainFrame* f = MakeFrame();
        if (start == 0) f->OnCommand(ID_RAW_TABLE);
        QApplication::processEvents();
        QWidget* table = f->View(FrameView::RawTable).wnd;
        ASSERT_NE(table, nullptr);
        QWidget* tableWindow = table->parentWidget();
        ASSERT_NE(tableWindow, nullptr);
        if (start == 0)
            firstTable = tableWindow->geometry();
        else
            EXPECT_EQ(tableWindow->geometry(), firstTable);
        for (const Placed& p : placed) {
            QRect rect = p.first;
            if (start > 0) {
                ASSERT_TRUE(f->m_windowPos[p.placement].open);
                rect = f->PlacementInMdi(p.placement);
            }
            auto* view = new QWidget;
            QMdiSubWindow* sub = f->MdiArea()->addSubWindow(view);
            sub->setGeometry(rect);
            sub->show();
            f->View(p.view) = {1, view};
            EXPECT_EQ(sub->geometry(), p.first);
        }
        sink_->AnswerExit(plat::IDOK);
        ASSERT_TRUE(f->close());
        frame_.reset();
    }
}

TEST_F(FrameTest, WindowsOpenAtTheLastExitAreReopenedWithoutACard) {
    cfg::WindowPosConfig before;
    before[cfg::PlacedWindow::BCDTableWnd] = {true, 10, 20, 300, 200};
    before[cfg::PlacedWindow::DealTableWnd] = {true, 1, 2, 3, 4};
    before[cfg::PlacedWindow::DockPageBar] = {true, 0, 600, 1200, 260};
    ASSERT_TRUE(cfg::SaveWindowPos(Home(), before));
    NewFrame();
    std::vector<unsigned> ran;
    QObject::connect(frame_.get(), &CMainFrame::commandExecuted,
                     [&](unsigned id) { ran.push_back(id); });
    ASSERT_TRUE(frame_->OnCreate());
    QApplication::processEvents();
    EXPECT_EQ(ran, (std::vector<unsigned>{ID_RAW_TABLE, ID_PARAM_TABLE}));
    EXPECT_EQ(frame_->m_bCardOpen.load(), 0);
    EXPECT_FALSE(frame_->StatusBarDock()->isHidden());
}

TEST_F(FrameTest, DataPathWorksWithTheDefaultTaskFromCreationOn) {
    CMainFrame* f = MakeFrame();
    const DemParam dem = f->GetDataPath()->DemodulatorRecord();
    EXPECT_NE(f->m_demParam->dem.码率, 0u);
    EXPECT_EQ(dem.码率, f->m_demParam->dem.码率);
    EXPECT_EQ(dem.子帧长, f->m_demParam->dem.子帧长);
    EXPECT_EQ(dem.副帧长, f->m_demParam->dem.副帧长);
}

TEST_F(FrameTest, CardOfALoopbackEngineFeedsTheDataPathWithTheTasksFrames) {
    cardengine::testkit::EngineProcess engine;
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    CMainFrame* f = MakeFrame();
    ASSERT_WAIT_UNTIL(f->m_bCardOpen && !f->m_bCardInitialising, std::chrono::seconds(20));
    // Whole superframes of the default task (24 words of 8 bits, 4 subframes).
    ASSERT_WAIT_UNTIL(f->GetDataPath()->Assembler().Count() > 0, std::chrono::seconds(20));
    EXPECT_EQ(f->GetDataPath()->Geometry().superframeRecord, 128u);
    sink_->AnswerExit(plat::IDOK);
    ASSERT_TRUE(f->close());
    EXPECT_EQ(f->m_bCardOpen.load(), 0);
}

TEST_F(FrameTest, TaskRecordsDoNotMoveDuringCreation) {
    // The session keeps pointers to the records from creation on.
    NewFrame();
    const DemTaskRecord* dem = frame_->m_demParam.get();
    ASSERT_NE(dem, nullptr);
    ASSERT_TRUE(frame_->OnCreate());
    EXPECT_EQ(frame_->m_demParam.get(), dem);
}

TEST_F(FrameTest, ViewClosedMessagesArriveThroughWindowMessages) {
    CMainFrame* f = MakeFrame();
    auto* table = new QWidget;
    f->MdiArea()->addSubWindow(table)->show();
    f->View(FrameView::RawTable) = {1, table};
    f->View(FrameView::ParamCurve).open = 1;
    f->m_windowPos[cfg::PlacedWindow::BCDTableWnd].open = true;
    f->m_bGnssSearchOn = 1;

    // Posted from another thread, as a view library would.
    std::thread poster([f] {
        plat::PostMessage(f, WM_RAW_TABLE_CLOSED, 0, 0);
        plat::PostMessage(f, WM_PARAM_CURVE_CLOSED, 0, 0);
        plat::PostMessage(f, WM_GNSS_SEARCH_CLOSED, 0, 0);
    });
    poster.join();
    QApplication::processEvents();
    EXPECT_EQ(f->View(FrameView::RawTable).open, 0);
    EXPECT_EQ(f->View(FrameView::RawTable).wnd, nullptr);
    EXPECT_FALSE(f->m_windowPos[cfg::PlacedWindow::BCDTableWnd].open);
    EXPECT_EQ(f->View(FrameView::ParamCurve).open, 0);
    EXPECT_EQ(f->m_bGnssSearchOn.load(), 0);
    f->UpdateCommandUI();
    EXPECT_FALSE(f->Action(ID_CLOSE_ALL_WINDOWS)->isEnabled());
}

TEST_F(FrameTest, TilingPlacesTheOpenWindowsAndRestoresMaximisedOnes) {
    CMainFrame* f = MakeFrame();
    auto* curve = new QWidget;
    auto* table = new QWidget;
    QMdiSubWindow* cs = f->MdiArea()->addSubWindow(curve);
    QMdiSubWindow* ts = f->MdiArea()->addSubWindow(table);
    cs->show();
    ts->showMaximized();
    f->View(FrameView::RawCurve) = {1, curve};
    f->View(FrameView::RawTable) = {1, table};
    f->OnCommand(ID_WINDOW_TILE);
    EXPECT_FALSE(ts->isMaximized());
    EXPECT_EQ(cs->geometry().topLeft(), QPoint(0, 300));
    EXPECT_EQ(ts->geometry().x(), cs->geometry().width());
    EXPECT_EQ(ts->geometry().width(), f->width() / 2);
}

TEST_F(FrameTest, CloseAllAsksEveryOpenViewToClose) {
    CMainFrame* f = MakeFrame();
    auto* curve = new QWidget;
    QPointer<QMdiSubWindow> cs = f->MdiArea()->addSubWindow(curve);
    cs->show();
    f->View(FrameView::RawCurve) = {1, curve};
    f->m_bGnssSearchOn = 1;
    f->OnCommand(ID_CLOSE_ALL_WINDOWS);
    // The close may take a turn of the event loop on a loaded machine.
    EXPECT_WAIT_UNTIL(!cs || !cs->isVisible(), std::chrono::seconds(10));
    EXPECT_EQ(f->m_bGnssSearchOn.load(), 0);
}

TEST(QtNotifySinkTest, CallerOnAnotherThreadWaitsForTheOperatorsAnswer) {
    QtNotifySink sink;
    std::atomic<int> answer{0};
    QString shownText;
    // Answer the box as the operator would; it runs in the box's own loop.
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        shownText = box->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == QStringLiteral("取消")) b->click();
    });
    operatorHand.start(5);
    std::thread caller([&] {
        answer = sink.Show({"设备连接打开失败！", "初始化基带卡", plat::MB_OKCANCEL});
    });
    const bool answered =
        talvora::test::WaitUntil([&] { return answer != 0; }, std::chrono::seconds(30));
    if (!answered) {
        // Let the caller return so the test can end.
        operatorHand.stop();
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->reject();
    }
    caller.join();
    ASSERT_TRUE(answered) << "the box was never answered";
    EXPECT_EQ(shownText, QStringLiteral("设备连接打开失败！"));
    EXPECT_EQ(answer.load(), plat::IDCANCEL);
}

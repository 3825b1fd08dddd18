// The commands of the workspace menu reached from the menu bar while the
// start-up windows cover the workspace, the size the histogram opens at,
// and closing the frameless windows from their own menus.
#include <histview/histogram_wnd.h>
#include <paramviews/deal_wnds.h>
#include <rawcurve/curver_wnd.h>
#include <testsupport/wait.h>

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

#include "command_ids.h"
#include "frame_test_kit.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;

// The menu-bar menu whose title contains `title`.
QMenu* MenuBarMenu(CMainFrame* f, const QString& title) {
    for (QAction* a : f->menuBar()->actions())
        if (a->text().contains(title) && a->menu()) return a->menu();
    return nullptr;
}

QMenu* SubMenu(QMenu* menu, const QString& title) {
    for (QAction* a : menu ? menu->actions() : QList<QAction*>{})
        if (a->text().contains(title) && a->menu()) return a->menu();
    return nullptr;
}

QAction* EntryNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu ? menu->actions() : QList<QAction*>{})
        if (a->text() == text) return a;
    return nullptr;
}

// The entry of a window's own right-click menu that closes it.
QAction* CloseEntry(QWidget* w) {
    for (QMenu* m : w->findChildren<QMenu*>())
        for (QAction* a : m->actions())
            if (a->objectName() == QStringLiteral("closeWindow")) return a;
    return nullptr;
}

QWidget* Outer(QWidget* w) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) return sub;
    return w;
}

using WorkspaceFrameTest = frametest::EngineFrameTest;

TEST_F(WorkspaceFrameTest, MenuBarOpensTheWorkspaceCommandsWhileTheStartupWindowsCoverIt) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    // The frame opens and tiles its start-up windows 3 s after start.
    ASSERT_WAIT_UNTIL(f->View(FrameView::SignalSpectrum).open &&
                          f->View(FrameView::RawCurve).open && f->View(FrameView::RawTable).open,
                      30s);

    QMenu* more = SubMenu(MenuBarMenu(f, QStringLiteral("数据查看")), QStringLiteral("其他窗口"));
    ASSERT_NE(more, nullptr);
    // Every workspace command is there too, the later-added ones included.
    for (QAction* a : f->WorkspaceMenu()->actions()) {
        if (!a->isSeparator()) {
            EXPECT_TRUE(more->actions().contains(a)) << a->text().toStdString();
        }
    }
    EXPECT_NE(EntryNamed(more, QStringLiteral("实时数据参数处理")), nullptr);

    QAction* histogram = EntryNamed(more, QStringLiteral("源码条图显示"));
    ASSERT_NE(histogram, nullptr);
    histogram->trigger();
    ASSERT_EQ(f->View(FrameView::RawHistogram).open, 1);
    auto* h = qobject_cast<histview::CHistogramWnd*>(f->View(FrameView::RawHistogram).wnd.data());
    ASSERT_NE(h, nullptr);
    // It fills the workspace, not a corner of it, and stays large when the
    // operator turns to another window.
    const QSize area = f->MdiArea()->viewport()->size();
    ASSERT_WAIT_UNTIL(h->width() * 2 >= area.width() && h->height() * 2 >= area.height(), 10s);
    EXPECT_GE(h->View()->width(), area.width() / 2);
    auto* table = qobject_cast<QMdiSubWindow*>(f->View(FrameView::RawTable).wnd.data());
    ASSERT_NE(table, nullptr);
    f->MdiArea()->setActiveSubWindow(table);
    QApplication::processEvents();
    EXPECT_GE(h->width() * 2, area.width());
    EXPECT_GE(h->height() * 2, area.height());
    ASSERT_WAIT_UNTIL(h->View()->Snapshot().rows == 4, 20s);

    QAction* paramTable = EntryNamed(more, QStringLiteral("参数表格显示"));
    ASSERT_NE(paramTable, nullptr);
    paramTable->trigger();
    ASSERT_EQ(f->View(FrameView::ParamTable).open, 1);
    ASSERT_NE(f->View(FrameView::ParamTable).wnd.data(), nullptr);
    EXPECT_TRUE(f->View(FrameView::ParamTable).wnd->isVisible());
    EXPECT_TRUE(f->close());
}

TEST_F(WorkspaceFrameTest, FramelessCurveAndParameterWindowsCloseFromTheirOwnMenus) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_RAW_CURVE);
    f->OnCommand(ID_PARAM_CURVE);
    f->OnCommand(ID_PARAM_STRIPE);
    for (FrameView v : {FrameView::RawCurve, FrameView::ParamCurve, FrameView::ParamStripe}) {
        SCOPED_TRACE(int(v));
        QWidget* w = f->View(v).wnd.data();
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(Outer(w)->windowFlags() & Qt::FramelessWindowHint);
        QAction* close = CloseEntry(Outer(w));
        ASSERT_NE(close, nullptr);
        EXPECT_EQ(close->text(), QStringLiteral("关闭窗口(&X)"));
        close->trigger();
        ASSERT_WAIT_UNTIL(f->View(v).open == 0, 10s);
        EXPECT_EQ(f->View(v).wnd.data(), nullptr);
    }
    // A closed raw curve opens again.
    f->OnCommand(ID_RAW_CURVE);
    EXPECT_EQ(f->View(FrameView::RawCurve).open, 1);
    EXPECT_TRUE(f->close());
}

}  // namespace

// The raw curve (32776) and raw histogram (32775) windows on the frame's
// side: creating and placing them, the histogram's share of the 250 ms
// refresh, deleting the objects after their windows closed, and the
// workspace's right-click menu with the commands that have no menu or
// toolbar entry.
#include <datapath/data_path.h>
#include <datapath/frame_geometry.h>
#include <histview/histogram_wnd_class.h>
#include <rawcurve/curver_wnd_class.h>

#include <QAction>
#include <QActionEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <algorithm>
#include <set>

#include "command_table.h"
#include "frame_consumers.h"
#include "main_frame.h"

namespace {

// Redraw period of the curve window.
constexpr unsigned kCurveRedrawMs = 50;
// Repaint period of the histogram window: like the table's, since the data
// arrive every 250 ms.
constexpr unsigned kHistogramRepaintMs = 100;

}  // namespace

// Command 32776.
void CMainFrame::OpenRawCurve() {
    ViewSlot& slot = View(FrameView::RawCurve);
    if (slot.open && slot.wnd) {
        slot.wnd->showMaximized();
        return;
    }
    if (!m_rawCurve) m_rawCurve = std::make_unique<CurverWndClass>();
    datapath::FillCurveRecord(m_curveRecord, m_dataPath->DemodulatorRecord(), 0);
    auto* wnd = static_cast<QWidget*>(
        m_rawCurve->Init_Curver(m_mdiArea, &m_curveRecord, kCurveRedrawMs, -1, nullptr, 0));
    if (!wnd) return;
    // Left half of the client area, 300 below its top, a third of its height.
    // A window that the placement file marks open comes back at the frame
    // client's left edge: the MDI area's offset there is the status bar's
    // width and edge when the bar is docked at the left, 0 otherwise.
    const QRect client = m_mdiArea->viewport()->rect();
    int x = client.left();
    if (m_windowPos[cfg::PlacedWindow::BCDCurveWnd].open) x -= MdiOffsetInClient().x();
    wnd->setGeometry(x, client.top() + 300, client.width() / 2, client.height() / 3);
    slot.wnd = wnd;
    slot.open = 1;
    m_windowPos[cfg::PlacedWindow::BCDCurveWnd].open = true;
    static_cast<CFrameConsumers*>(m_dataConsumers.get())->AttachRawCurve(m_rawCurve.get());
}

// The object goes once its window has closed; the window joined its worker
// when it closed, and the data path lets go of it first.
void CMainFrame::DeleteRawCurveObject() {
    static_cast<CFrameConsumers*>(m_dataConsumers.get())->AttachRawCurve(nullptr);
    m_rawCurve.reset();
}

// Command 32775.
void CMainFrame::OpenRawHistogram() {
    ViewSlot& slot = View(FrameView::RawHistogram);
    if (slot.open && slot.wnd) {
        slot.wnd->showMaximized();
        return;
    }
    if (!m_rawHistogram) m_rawHistogram = std::make_unique<CHistogramWndClass>();
    datapath::FillFrameRecord(m_histRecord, m_dataPath->DemodulatorRecord());
    // Words are stored high byte first.
    m_histRecord.nByteOrder = 1;
    auto* wnd = static_cast<QWidget*>(
        m_rawHistogram->InitHistogramWnd(m_mdiArea, &m_histRecord, kHistogramRepaintMs));
    if (!wnd) return;
    wnd->showMaximized();
    slot.wnd = wnd;
    slot.open = 1;
}

// Timer 11, before the table.
void CMainFrame::RefreshRawHistogram() {
    if (!m_rawHistogram || !View(FrameView::RawHistogram).open) return;
    datapath::FillFrameRecord(m_histRecord, m_dataPath->DemodulatorRecord());
    m_histRecord.nByteOrder = 1;
    if (const std::uint8_t* data = m_dataPath->RawViewData(m_histRecord))
        m_rawHistogram->SetHistviewData(&m_histRecord, const_cast<std::uint8_t*>(data));
}

namespace {

// Keeps `copy` holding the same actions, in the same order, as the menu it
// watches, so commands added to the workspace menu later appear in both.
class MenuMirror : public QObject {
public:
    MenuMirror(QMenu* watched, QMenu* copy) : QObject(watched), copy_(copy) {
        copy_->addActions(watched->actions());
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (!copy_) return false;
        if (e->type() == QEvent::ActionAdded) {
            auto* ae = static_cast<QActionEvent*>(e);
            copy_->insertAction(ae->before(), ae->action());
        } else if (e->type() == QEvent::ActionRemoved) {
            copy_->removeAction(static_cast<QActionEvent*>(e)->action());
        }
        return false;
    }

private:
    QPointer<QMenu> copy_;
};

// The submenu of " 数据查看(&V)" that repeats the workspace menu.
constexpr const char* kMoreViewsTitle = "其他窗口和命令(&O)";

}  // namespace

void CMainFrame::CreateWorkspaceMenu() {
    m_workspaceMenu = new QMenu(this);
    std::set<unsigned> placed;
    for (const mainframe::MenuPopup& popup : mainframe::MainMenu())
        for (const mainframe::MenuEntry& e : popup.entries) placed.insert(e.id);
    for (unsigned id : mainframe::ToolbarLayout()) placed.insert(id);
    for (const auto& [id, action] : m_actions)
        if (!placed.count(id)) m_workspaceMenu->addAction(action);
    connect(m_workspaceMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);

    // The same commands from the menu bar: the start-up windows may cover
    // the whole workspace, leaving nowhere to right-click.
    for (QAction* top : menuBar()->actions()) {
        if (!top->text().contains(QStringLiteral("数据查看")) || !top->menu()) continue;
        top->menu()->addSeparator();
        QMenu* more = top->menu()->addMenu(QString::fromUtf8(kMoreViewsTitle));
        more->setObjectName(QStringLiteral("moreViewsMenu"));
        new MenuMirror(m_workspaceMenu, more);
        connect(more, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
        break;
    }

    // Qt hands the viewport's context-menu events to the area, so the
    // policy belongs on the area itself.
    m_mdiArea->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_mdiArea, &QWidget::customContextMenuRequested, this, &CMainFrame::ShowWorkspaceMenu);
}

// A scroll area reports its context-menu position in viewport coordinates.
void CMainFrame::ShowWorkspaceMenu(const QPoint& atViewport) {
    QWidget* workspace = m_mdiArea->viewport();
    // Only the empty workspace: a window's own clicks are its own.
    if (!workspace->rect().contains(atViewport) || workspace->childAt(atViewport)) return;
    m_workspaceMenu->popup(workspace->mapToGlobal(atViewport));
}

void CMainFrame::DeleteRawHistogramObject() {
    m_rawHistogram.reset();
}

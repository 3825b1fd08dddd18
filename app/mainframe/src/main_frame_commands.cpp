// The command surface of the main frame: actions, menus, the command
// dispatch, update handlers, window timers and window messages.
#include <datapath/data_path.h>
#include <platform/notify.h>
#include <session/card_session.h>

#include <QAction>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QThread>
#include <QTimer>

#include "about_dlg.h"
#include "command_ids.h"
#include "command_table.h"
#include "dock_page_bar.h"
#include "main_frame.h"
#include "qt_winmsg.h"
#include "tiling.h"
#include "toolbar_icons.h"

using namespace mainframe;

namespace {

constexpr unsigned kToggleCommands[] = {
    ID_STATUS_BAR_TOGGLE, ID_FILE_STORAGE,      ID_DATA_REPLAY,
    ID_ALLOW_LIFTOFF,     ID_BIT_ERROR_STAT,    ID_FRAME_COUNT_STAT,
    ID_ID_STAT,           ID_FRAME_PERIOD_STAT, ID_FULL_FRAME_BROADCAST,
    ID_GPS_MULTICAST,     ID_DECRYPTION_CHOICE, ID_STREAM_1,
    ID_STREAM_2,          ID_STREAM_3,          ID_GNSS_RECEPTION,
    ID_MULTICAST_CENTER,
};

// Commands reached from places other than the menu and the toolbar.
constexpr unsigned kOtherCommands[] = {
    ID_RAW_HISTOGRAM,
    ID_PARAM_TABLE,
    ID_PARAM_CURVE,
    ID_PARAM_STRIPE,
    ID_FULL_FRAME_BROADCAST,
    ID_GPS_MULTICAST,
    ID_DECRYPTION_CHOICE,
    ID_STREAM_1,
    ID_STREAM_2,
    ID_STREAM_3,
    ID_DOWN_CONVERTER,
    ID_GPS_CHANNEL,
    ID_GNSS_RECEPTION,
    ID_GNSS_PROTOCOL,
    ID_SELECT_PARAM_DB,
};

std::optional<cfg::PlacedWindow> PlacementOf(FrameView v) {
    switch (v) {
        case FrameView::SignalSpectrum:
            return cfg::PlacedWindow::SignalPlotWnd;
        case FrameView::RawCurve:
            return cfg::PlacedWindow::BCDCurveWnd;
        case FrameView::RawTable:
            return cfg::PlacedWindow::BCDTableWnd;
        case FrameView::ParamCurve:
            return cfg::PlacedWindow::DealCurveWnd;
        case FrameView::ParamTable:
            return cfg::PlacedWindow::DealTableWnd;
        default:
            return std::nullopt;
    }
}

// The MDI sub-window around a view, or the view itself.
QWidget* OuterWindow(QWidget* w) {
    if (!w) return nullptr;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) return sub;
    return w;
}

}  // namespace

void CMainFrame::CreateActions() {
    auto make = [this](unsigned id, const QString& text) {
        if (m_actions.count(id)) return;
        auto* a = new QAction(text, this);
        a->setData(id);
        a->setIconVisibleInMenu(false);
        const std::string_view s = CommandString(id);
        if (!s.empty()) a->setStatusTip(QString::fromUtf8(s.data(), s.size()));
        a->setToolTip(QString::fromStdString(ToolTipText(id)));
        connect(a, &QAction::triggered, this, [this, id] {
            OnCommand(id);
            UpdateCommandUI();
        });
        addAction(a);  // accelerators work wherever the focus is in the frame
        m_actions[id] = a;
    };
    for (const MenuPopup& popup : MainMenu())
        for (const MenuEntry& e : popup.entries)
            if (e.id != 0) make(e.id, QString::fromUtf8(e.text));
    for (unsigned id : ToolbarLayout())
        if (id != 0) make(id, QString::fromStdString(std::string(CommandString(id))));
    for (unsigned id : kOtherCommands)
        make(id, QString::fromStdString(std::string(CommandString(id))));
    for (unsigned id : kToggleCommands) m_actions[id]->setCheckable(true);
    for (const Accelerator& acc : Accelerators())
        m_actions[acc.id]->setShortcut(QKeySequence(QString::fromLatin1(acc.key)));
    for (auto& [id, a] : m_actions) a->setIcon(CommandIcon(id));
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    for (const MenuPopup& popup : MainMenu()) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(popup.title));
        for (const MenuEntry& e : popup.entries) {
            if (e.id == 0)
                menu->addSeparator();
            else
                menu->addAction(Action(e.id));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
}

QAction* CMainFrame::Action(unsigned id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::PostCommand(unsigned id) {
    QMetaObject::invokeMethod(
        this, [this, id] { OnCommand(id); }, Qt::QueuedConnection);
}

void CMainFrame::OnCommand(unsigned id) {
    switch (id) {
        case ID_APP_EXIT:
        case ID_EXIT_SOFTWARE:
            close();
            break;
        case ID_WINDOW_TILE:
            TileViews();
            break;
        case ID_CLOSE_ALL_WINDOWS:
            OnCloseAllWindows();
            break;
        case ID_REOPEN_CARD:
            OnReopenCard();
            break;
        case ID_APP_ABOUT:
            OnAbout();
            break;
        case ID_STATUS_BAR_TOGGLE:
            OnStatusBarToggle();
            break;
        case ID_SIGNAL_SPECTRUM:
            OpenView(FrameView::SignalSpectrum);
            break;
        case ID_RAW_CURVE:
            OpenView(FrameView::RawCurve);
            break;
        case ID_RAW_TABLE:
            OpenView(FrameView::RawTable);
            break;
        case ID_RAW_HISTOGRAM:
            OpenView(FrameView::RawHistogram);
            break;
        case ID_PARAM_CURVE:
            OpenView(FrameView::ParamCurve);
            break;
        case ID_PARAM_TABLE:
            OpenView(FrameView::ParamTable);
            break;
        case ID_PARAM_STRIPE:
            OpenView(FrameView::ParamStripe);
            break;
        case ID_SELECT_PARAM_DB:
            OnSelectParamDatabase();
            break;
        case ID_DECRYPTION_CHOICE:
            OnAfterDecryptionChoice();
            break;
        case ID_FRAME_COUNT_STAT:
            OnFrameCountStat();
            break;
        case ID_ID_STAT:
            OnIdStat();
            break;
        case ID_FRAME_PERIOD_STAT:
            OnTimeContinuityStat();
            break;
        case ID_CAPTURE_STD_FRAME:
            OnCaptureStandardFrame();
            break;
        case ID_BIT_ERROR_STAT:
            OnBitErrorMeasurement();
            break;
        // The task-macro dialog posts its apply message to the frame's handle.
        case ID_TASK_MANAGE:
            m_session->TaskManagement(m_receiver ? m_receiver->Handle() : nullptr);
            break;
        case ID_DEVICE_MANAGE:
            m_session->DeviceManagement(m_receiver ? m_receiver->Handle() : nullptr);
            break;
        case ID_ALLOW_LIFTOFF:
            m_session->AllowLiftOff();
            break;
        case ID_MANUAL_LIFTOFF:
            m_session->ManualLiftOff();
            break;
        case ID_GNSS_TIME_TO_PC:
            m_session->StartClockCalibration();
            break;
        case ID_STREAM_1:
        case ID_STREAM_2:
        case ID_STREAM_3:
            m_nStreamNo = id == ID_STREAM_1 ? 1 : id == ID_STREAM_2 ? 2 : 3;
            m_para.stream.streamNo = m_nStreamNo;
            SaveStreamConfig();
            break;
        // Network output.
        case ID_NETWORK_CONFIG:
            OnNetworkConfig();
            break;
        case ID_NETWORK_SEND_PARAM:
            OnNetworkSendParam();
            break;
        case ID_MULTICAST_CENTER:
            m_bTelemetrySending = m_bTelemetrySending ? 0 : 1;
            break;
        case ID_FULL_FRAME_BROADCAST:
            m_bFullFrameBroadcast = m_bFullFrameBroadcast ? 0 : 1;
            break;
        case ID_GPS_MULTICAST:
            m_bGpsMulticast = m_bGpsMulticast ? 0 : 1;
            break;
        case ID_FILE_STORAGE:
            OnFileStorage();
            break;
        case ID_GNSS_RECEPTION:
            OnGnssReception();
            break;
        case ID_GNSS_PROTOCOL:
            OnGnssProtocol();
            break;
        case ID_GPS_CHANNEL:
            OnGpsChannel();
            break;
        case ID_STORAGE_PATH:
            OnStorageSettings();
            break;
        case ID_DATA_REPLAY:
            OnDataReplay();
            break;
        case ID_SCREENSHOT_PRINT:
            OnScreenshotPrint();
            break;
        case ID_SCREENSHOT_SETUP:
            OnScreenshotSetup();
            break;
        case ID_FILE_PRINT_SETUP:
            OnPrintSetup();
            break;
        // Commands without a case here do nothing (32788 "零位打印" among them).
        default:
            break;
    }
    emit commandExecuted(id);
}

void CMainFrame::UpdateCommandUI() {
    auto check = [this](unsigned id, bool on) {
        if (QAction* a = Action(id)) a->setChecked(on);
    };
    auto enable = [this](unsigned id, bool on) {
        if (QAction* a = Action(id)) a->setEnabled(on);
    };
    check(ID_STATUS_BAR_TOGGLE, m_dockBar && !m_dockBar->isHidden());
    check(ID_FILE_STORAGE, m_bRecording != 0);
    check(ID_DATA_REPLAY, m_bReplayRunning != 0);
    enable(ID_ALLOW_LIFTOFF, m_bCardOpen != 0);
    check(ID_ALLOW_LIFTOFF, m_bLiftOffEnable != 0);
    enable(ID_CAPTURE_STD_FRAME, m_bBitErrorOn == 0);
    enable(ID_BIT_ERROR_STAT, m_bStdFrameCaptured != 0);
    check(ID_BIT_ERROR_STAT, m_bBitErrorOn != 0);
    check(ID_FRAME_COUNT_STAT, m_bFrameCountStatOn != 0);
    check(ID_ID_STAT, m_bIdStatOn != 0);
    check(ID_FRAME_PERIOD_STAT, m_bTimeStatOn != 0);
    check(ID_FULL_FRAME_BROADCAST, m_bFullFrameBroadcast != 0);
    check(ID_GPS_MULTICAST, m_bGpsMulticast != 0);
    check(ID_MULTICAST_CENTER, m_bTelemetrySending != 0);
    enable(ID_DECRYPTION_CHOICE, m_bCardOpen != 0 && m_bDecryptionSwitch != 0);
    check(ID_DECRYPTION_CHOICE, m_bAfterDecryption != 0);
    check(ID_STREAM_1, m_nStreamNo == 1);
    check(ID_STREAM_2, m_nStreamNo == 2);
    check(ID_STREAM_3, m_nStreamNo == 3);
    enable(ID_DOWN_CONVERTER, false);  // its enabling flag is never set
    check(ID_GNSS_RECEPTION, m_bGnssSearchOn != 0);
    enable(ID_CLOSE_ALL_WINDOWS, AnyDataWindowOpen());
    enable(ID_SCREENSHOT_PRINT, RawCurveWindowOpen());
}

// --- window timers ---

void CMainFrame::SetTimer(int id, int intervalMs) {
    QTimer*& t = m_timers[id];
    if (!t) {
        t = new QTimer(this);
        connect(t, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    t->start(intervalMs);
}

void CMainFrame::KillTimer(int id) {
    auto it = m_timers.find(id);
    if (it != m_timers.end() && it->second) it->second->stop();
}

bool CMainFrame::TimerActive(int id) const {
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second && it->second->isActive();
}

void CMainFrame::PostTimer(int id) {
    QMetaObject::invokeMethod(
        this, [this, id] { OnTimer(id); }, Qt::QueuedConnection);
}

void CMainFrame::OnTimer(int id) {
    switch (id) {
        case TIMER_REFRESH:
            RefreshRawViews();
            setWindowTitle(QStringLiteral("Talvora（网络基带卡）-【Orvanta】"));
            break;
        case TIMER_BAR_PLACEMENT:
            KillTimer(TIMER_BAR_PLACEMENT);
            RecordStatusBarPlacement();
            break;
        case TIMER_OPEN_VIEWS: {
            KillTimer(TIMER_OPEN_VIEWS);
            if (!m_bCardOpen) break;
            // 300 ms before each window, without blocking the interface.
            const QPointer<CMainFrame> self(this);
            QTimer::singleShot(300, this, [self] {
                self->OpenView(FrameView::SignalSpectrum);
                QTimer::singleShot(300, self, [self] {
                    self->OpenView(FrameView::RawCurve);
                    QTimer::singleShot(300, self, [self] {
                        self->OpenView(FrameView::RawTable);
                        self->TileViews();
                    });
                });
            });
            break;
        }
        case TIMER_REPLAY_DONE:
            KillTimer(TIMER_REPLAY_DONE);
            plat::MessageBox("软件回放完成！", "Talvora", plat::MB_OK);
            break;
        default:
            break;
    }
}

// --- window messages ---

void CMainFrame::OnWindowMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) {
    switch (msg) {
        case WM_APPLY_TASK_PARAM:
            ApplyTaskParameters(wparam);
            break;
        case WM_RAW_CURVE_CLOSED:
            OnViewClosed(FrameView::RawCurve, true);
            break;
        case WM_RAW_HISTOGRAM_CLOSED:
            OnViewClosed(FrameView::RawHistogram, true);
            break;
        case WM_RAW_TABLE_CLOSED:
            OnViewClosed(FrameView::RawTable, true);
            break;
        case WM_PARAM_CURVE_CLOSED:
            OnViewClosed(FrameView::ParamCurve, false);
            break;
        case WM_PARAM_TABLE_CLOSED:
            OnViewClosed(FrameView::ParamTable, false);
            break;
        case WM_PARAM_STRIPE_CLOSED:
            OnViewClosed(FrameView::ParamStripe, false);
            break;
        case WM_GNSS_SEARCH_CLOSED:
            m_bGnssSearchOn = 0;
            break;
        default:
            break;
    }
}

void CMainFrame::OnViewClosed(FrameView v, bool deleteObject) {
    ViewSlot& slot = View(v);
    slot.open = 0;
    slot.wnd = nullptr;
    if (auto p = PlacementOf(v)) m_windowPos[*p].open = false;
    UpdateParamFeed();
    // The view's window may still be finishing its close; give it 100 ms.
    if (deleteObject) QTimer::singleShot(100, this, [this, v] { DeleteViewObject(v); });
}

// --- status display bar ---

QRect CMainFrame::ToClientRect(QWidget* w) const {
    // Frame client coordinates start below the menu bar.
    const int menuHeight = menuWidget() && menuWidget()->isVisible() ? menuWidget()->height() : 0;
    const QPoint topLeft = mapFromGlobal(w->mapToGlobal(QPoint(0, 0))) - QPoint(0, menuHeight);
    return QRect(topLeft, w->size());
}

QPoint CMainFrame::MdiOffsetInClient() const {
    return m_mdiArea ? ToClientRect(m_mdiArea->viewport()).topLeft() : QPoint();
}

QRect CMainFrame::PlacementInMdi(cfg::PlacedWindow p) const {
    const cfg::WindowPlacement& wp = m_windowPos[p];
    return QRect(wp.x, wp.y, wp.cx, wp.cy).translated(-MdiOffsetInClient());
}

void CMainFrame::RecordStatusBarPlacement() {
    cfg::WindowPlacement& p = m_windowPos[cfg::PlacedWindow::DockPageBar];
    if (m_dockBar && !m_dockBar->isHidden()) {
        const QRect r = ToClientRect(m_dockBar);
        p = {true, r.x(), r.y(), r.width(), r.height()};
    } else {
        p.open = false;
    }
}

void CMainFrame::OnStatusBarToggle() {
    if (m_dockBar->isHidden()) {
        m_dockBar->show();
        // The bar has its place only after the layout ran.
        QTimer::singleShot(0, this, [this] { RecordStatusBarPlacement(); });
    } else {
        m_dockBar->hide();
    }
    RecordStatusBarPlacement();
}

// --- window commands ---

void CMainFrame::TileViews() {
    const int menuHeight = menuWidget() && menuWidget()->isVisible() ? menuWidget()->height() : 0;
    const TileRect client{0, 0, width(), height() - menuHeight};
    const TileLayout t = ComputeTiling(client, m_dockBar ? m_dockBar->height() : 0);
    auto place = [](QWidget* view, const TileRect& r) {
        QWidget* w = OuterWindow(view);
        if (!w) return;
        if (w->isMaximized() || w->isMinimized()) w->showNormal();
        w->setGeometry(r.x, r.y, r.width, r.height);
    };
    place(View(FrameView::SignalSpectrum).wnd, t.spectrum);
    place(View(FrameView::RawCurve).wnd, t.curve);
    place(View(FrameView::RawTable).wnd, t.table);
}

void CMainFrame::OnCloseAllWindows() {
    if (m_bGnssSearchOn) {
        CloseGnssSearchWindow();
        m_bGnssSearchOn = 0;
    }
    for (FrameView v : {FrameView::RawCurve, FrameView::RawHistogram, FrameView::RawTable}) {
        if (View(v).open) {
            CloseView(v);
            QCoreApplication::processEvents();
        }
    }
    for (FrameView v : {FrameView::ParamCurve, FrameView::ParamTable, FrameView::ParamStripe})
        CloseView(v);
}

void CMainFrame::CloseView(FrameView v) {
    // A close request; the view reports its closing with its window message.
    if (QWidget* w = OuterWindow(View(v).wnd))
        QMetaObject::invokeMethod(w, &QWidget::close, Qt::QueuedConnection);
}

void CMainFrame::OnReopenCard() {
    // An open still under way (it may be showing its failure message) is
    // left to finish rather than waited for.
    if (m_bCardOpenThreadBusy) return;
    if (m_bCardOpen) CloseCard();
    QThread::msleep(100);
    StartCardOpenThread();
    if (m_dataPath) m_dataPath->ResetAssembly();
    m_bReplayFeed = 0;
}

void CMainFrame::OnAbout() {
    CAboutDlg dlg(this);
    dlg.exec();
}

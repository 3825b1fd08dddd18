// The solved-parameter windows on the frame's side: the curve (32818), table
// (32816) and stripe (32817) windows with their placement, feeding them from
// the data path, choosing the parameter database (32823), and the switch
// that solves live card data as well.
#include "main_frame_params.h"

#include <config/para_config.h>
#include <datapath/data_path.h>
#include <log/system_log.h>
#include <paramviews/para_view_wnds.h>
#include <platform/paths.h>
#include <platform/tone_sink.h>
#include <preferences/preferences.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMdiArea>
#include <QMenu>
#include <QSettings>
#include <QToolBar>
#include <algorithm>
#include <climits>

#include "command_ids.h"
#include "frame_consumers.h"
#include "main_frame.h"

using namespace mainframe;

namespace {

constexpr const char* kLiveSolvingText = "实时数据参数处理";

}  // namespace

std::shared_ptr<plat::BeepSink> MakeAlarmToneSink() {
    // The bell has no pitch; it is rung on the GUI thread.
    return std::make_shared<plat::ToneBeepSink>(
        plat::AlarmSoundDevice(), [](const plat::BeepRequest&) {
            QMetaObject::invokeMethod(
                qApp, [] { QApplication::beep(); }, Qt::QueuedConnection);
        });
}

void CMainFrame::UpdateParamFeed() {
    auto* consumers = static_cast<CFrameConsumers*>(m_dataConsumers.get());
    if (!consumers) return;
    consumers->SetParamWindowsOpen(View(FrameView::ParamCurve).open ||
                                   View(FrameView::ParamTable).open ||
                                   View(FrameView::ParamStripe).open);
}

void CMainFrame::OpenParamView(FrameView v) {
    ViewSlot& slot = View(v);
    if (slot.open && slot.wnd) return;
    if (!m_paraViews) m_paraViews = std::make_unique<CParaViewWnds>();
    const unsigned style = kWsChild | kWsVisible | kWsOverlappedWindow;
    QWidget* wnd = nullptr;
    std::optional<cfg::PlacedWindow> placed;
    switch (v) {
        case FrameView::ParamCurve:
            wnd = m_paraViews->CreateDealCurveWnd(nullptr, "参数曲线显示", style, QRect(),
                                                  m_mdiArea, nullptr, nullptr, 0);
            if (wnd) m_paraViews->SetDealCurveWndPar("", nullptr, nullptr, nullptr, nullptr, 0);
            placed = cfg::PlacedWindow::DealCurveWnd;
            break;
        case FrameView::ParamTable:
            wnd = m_paraViews->CreateDealTableWnd(nullptr, "参数表格显示", style, QRect(),
                                                  m_mdiArea, nullptr, nullptr, 0);
            if (wnd) m_paraViews->SetDealTableWndPar("", nullptr, nullptr, nullptr, nullptr, 0);
            placed = cfg::PlacedWindow::DealTableWnd;
            break;
        case FrameView::ParamStripe:
            wnd = m_paraViews->CreateDealStripeWnd(nullptr, "参数柱状图显示", style, QRect(),
                                                   m_mdiArea, nullptr, nullptr, 0);
            if (wnd) m_paraViews->SetDealStripeWndPar("", nullptr, nullptr, nullptr, nullptr, 0);
            break;
        default:
            return;
    }
    if (!wnd) return;
    // Back where the placement file had it (frame client coordinates less
    // the workspace's offset and the toolbar), else a computed place.
    const QRect client = m_mdiArea->viewport()->rect();
    if (placed && m_windowPos[*placed].open && m_windowPos[*placed].cx > 0 &&
        m_windowPos[*placed].cy > 0) {
        const cfg::WindowPlacement& wp = m_windowPos[*placed];
        const int toolbar = m_toolBar && m_toolBar->isVisible() ? m_toolBar->height() + 2 : 0;
        wnd->setGeometry(wp.x - MdiOffsetInClient().x(), wp.y - toolbar, wp.cx, wp.cy);
    } else {
        wnd->setGeometry(client.width() / 2, client.height() / 3, client.width() / 2,
                         client.height() / 3);
    }
    slot.wnd = wnd;
    slot.open = 1;
    if (placed) m_windowPos[*placed].open = true;
    UpdateParamFeed();
}

void CFrameConsumers::SetDealDSDemData(const std::uint8_t* data, std::size_t length) {
    if (paramPath_) {
        // The solver refuses data of another frame than its database's; the
        // journal hears of it once, and again when the frames agree again.
        const datapath::DataGeometry g = paramPath_->Geometry();
        auto i32 = [](std::uint32_t v) { return int(std::min<std::uint32_t>(v, INT32_MAX)); };
        const int agreement =
            SetDealDataFrameStruct(i32(g.wordBits), i32(g.subframeWords), i32(g.superframeLength),
                                   int(datapath::kTimeTagBytes));
        if (agreement == -1) {
            char text[512];
            if (GetDealFrameMismatch(text, sizeof text) > 0) applog::PostLogF("%s\n", text);
        } else if (agreement == 2) {
            applog::PostLog("数据帧与参数数据库的帧结构相符，参数解算恢复\n");
        }
    }
    ::SetDealDSDemData(const_cast<std::uint8_t*>(data), unsigned(length));
}

void CMainFrame::OnSelectParamDatabase() {
    QFileDialog dlg(this, QStringLiteral("选择新参数数据库"));
    dlg.setNameFilter(QStringLiteral("Database files(*.mdb)"));
    dlg.setDefaultSuffix(QStringLiteral("mdb"));
    dlg.setFileMode(QFileDialog::ExistingFile);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    const std::string path = dlg.selectedFiles().front().toStdString();
    for (FrameView v : {FrameView::ParamCurve, FrameView::ParamTable, FrameView::ParamStripe})
        if (QWidget* w = View(v).wnd) w->close();
    if (ConfigODBCDataSource(path.c_str())) {
        CleanAllParaSelFlg(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
        int n[3] = {};
        InitialDealParam(n[0], n[1], n[2]);
        QSettings profile;
        profile.setValue(QStringLiteral("MDB_FILE/Name"), QString::fromStdString(path));
        applog::PostLogF("参数数据库加载成功！（%s）\n", path.c_str());
    } else {
        applog::PostLogF("参数数据库加载失败！（%s）\n", path.c_str());
    }
}

void CMainFrame::CreateParamMenuItems() {
    if (!m_workspaceMenu) return;
    m_workspaceMenu->addSeparator();
    m_liveSolvingAction = m_workspaceMenu->addAction(QString::fromUtf8(kLiveSolvingText));
    m_liveSolvingAction->setCheckable(true);
    const bool on = cfg::LoadParamSolvingConfig(plat::ModuleDirectory()).liveSolving == 1;
    m_liveSolvingAction->setChecked(on);
    if (auto* consumers = static_cast<CFrameConsumers*>(m_dataConsumers.get()))
        consumers->SetLiveParamSolving(on);
    connect(m_liveSolvingAction, &QAction::toggled, this,
            [this](bool checked) { OnLiveSolvingToggled(checked); });
}

void CMainFrame::OnLiveSolvingToggled(bool on) {
    m_para.paramSolving.liveSolving = on ? 1 : 0;
    cfg::SaveParamSolvingConfig(plat::ModuleDirectory(), m_para.paramSolving);
    if (auto* consumers = static_cast<CFrameConsumers*>(m_dataConsumers.get()))
        consumers->SetLiveParamSolving(on);
}

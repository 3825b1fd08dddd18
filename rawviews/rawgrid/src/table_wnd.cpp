#include <platform/notify.h>
#include <platform/winmsg.h>
#include <rawgrid/cell_text.h>
#include <rawgrid/table_grid_wnd.h>
#include <rawgrid/table_menu_wnd.h>
#include <rawgrid/table_wnd.h>

#include <QCloseEvent>
#include <QInputDialog>
#include <algorithm>

namespace rawgrid {

namespace {
// The window system's shortest timer period; shorter requests are raised to it.
constexpr unsigned kMinPeriodMs = 10;
}  // namespace

CTableWnd::CTableWnd(int stream, const _FRAME_STRUCT_PARAM* frame, void* frameHandle,
                     void* areaHandle, QWidget* parent)
    : QMdiSubWindow(parent),
      stream_(stream),
      frameHandle_(frameHandle),
      areaHandle_(areaHandle),
      iniFile_(SettingsFilePath()) {
    setAttribute(Qt::WA_DeleteOnClose);
    settings_ = LoadTableSettings(iniFile_, stream_);
    store_ = std::make_shared<TableStore>(stream_ < 0 ? 0 : stream_, frame, settings_.nShowWfMode);

    grid_ = new TableGridView(store_, this);
    grid_->SetSettings(settings_);
    setWidget(grid_);
    setWindowTitle(QString::fromUtf8(BaseTitle(stream_)));

    menu_ = new TableSettingsMenu(this);
    menu_->ShowSettings(settings_);
    connect(grid_, &TableGridView::contextMenuWanted, menu_,
            [this](const QPoint& at) { menu_->popup(at); });
    connect(menu_, &TableSettingsMenu::viewModeChosen, this, [this](int mode) {
        TableSettings s = settings_;
        s.nDataViewMode = mode;
        ApplySettings(s);
    });
    connect(menu_, &TableSettingsMenu::wholeFrameToggled, this, [this](bool on) {
        TableSettings s = settings_;
        s.nShowWfMode = on;
        ApplySettings(s);
    });
    connect(menu_, &TableSettingsMenu::bitsLimitToggled, this, [this](bool on) {
        TableSettings s = settings_;
        s.nDataBitsLimit = on;
        ApplySettings(s);
    });
    connect(menu_, &TableSettingsMenu::timeColumnToggled, this, [this](bool on) {
        TableSettings s = settings_;
        s.nShowTbType = on;
        ApplySettings(s);
    });
    connect(menu_, &TableSettingsMenu::voltageRequested, this, &CTableWnd::AskVoltage);
    connect(&timer_, &QTimer::timeout, this, &CTableWnd::Refresh);
    Refresh();
}

CTableWnd::~CTableWnd() = default;

bool CTableWnd::StartRefresh(unsigned periodMs) {
    timer_.start(int(std::clamp<unsigned>(periodMs, kMinPeriodMs, 0x7FFFFFFF)));
    if (timer_.isActive()) return true;
    plat::MessageBox("Not enough timers available for this window.", "MDI：源码表格显示",
                     plat::MB_ICONEXCLAMATION | plat::MB_OK);
    return false;
}

void CTableWnd::Refresh() {
    const StoreUpdate u = store_->Take();
    if (u.wholeFrameFromCaller) {
        // The main program switched the mode; keep the stored setting in step.
        settings_.nShowWfMode = u.wholeFrame;
        SaveTableSettings(iniFile_, stream_, settings_);
        menu_->ShowSettings(settings_);
    }
    if (u.title) setWindowTitle(QString::fromUtf8(TitleText(stream_, u.shape)));
    if (u.layout) {
        grid_->SetFrameLayout(u.shape, u.wholeFrame != 0);
    } else if (u.data) {
        grid_->RefreshData();
    }
}

void CTableWnd::ApplySettings(const TableSettings& s) {
    const bool wholeFrameChanged = s.nShowWfMode != settings_.nShowWfMode;
    settings_ = s;
    SaveTableSettings(iniFile_, stream_, settings_);
    menu_->ShowSettings(settings_);
    grid_->SetSettings(settings_);
    if (wholeFrameChanged) {
        // Handed to the caller's record at the next data call.
        store_->SetOwnWholeFrame(settings_.nShowWfMode);
        Refresh();
    }
}

void CTableWnd::AskVoltage() {
    bool ok = false;
    const double v = QInputDialog::getDouble(this, QStringLiteral("满量程电压设置"),
                                             QStringLiteral("满量程电压(V)："),
                                             settings_.fConvertVoltage, 0.001, 100000.0, 3, &ok);
    if (!ok) return;
    TableSettings s = settings_;
    s.fConvertVoltage = v;
    ApplySettings(s);
}

void CTableWnd::closeEvent(QCloseEvent* e) {
    QMdiSubWindow::closeEvent(e);
    if (!e->isAccepted()) return;
    timer_.stop();
    emit windowClosed();
    const std::uintptr_t index = stream_ < 0 ? 0 : std::uintptr_t(stream_);
    if (!plat::PostMessage(frameHandle_, kTableClosedMessage, index, 0))
        plat::PostMessage(areaHandle_, kTableClosedMessage, index, 0);
}

}  // namespace rawgrid

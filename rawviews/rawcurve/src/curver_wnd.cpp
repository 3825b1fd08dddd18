#include <gdikit/gdikit.h>
#include <platform/notify.h>
#include <platform/winmsg.h>
#include <rawcurve/curver_wnd.h>

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPainter>
#include <QSpinBox>
#include <algorithm>
#include <cstdio>

namespace rawcurve {

namespace {

// The window system's shortest timer period; shorter requests are raised to it.
constexpr unsigned kMinPeriodMs = 10;
constexpr int kLineHeight = 18;
constexpr int kTextLines = 3;  // caption, frame code, labels

}  // namespace

QRgb CurveColor(int k) {
    static const QRgb colors[kChannels] = {0xFFFF4040, 0xFF40FF40, 0xFF4080FF, 0xFFFFFF40,
                                           0xFFFF40FF, 0xFF40FFFF, 0xFFFFA040, 0xFFFFFFFF};
    return colors[k & 7];
}

// --- CurveView ---

CurveView::CurveView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont f = font();
    f.setPixelSize(13);
    setFont(f);
}

void CurveView::SwapSnapshot(CurveSnapshot& s) {
    std::swap(snapshot_, s);
}

QString CurveView::Label(int k) const {
    char text[16];
    std::snprintf(text, sizeof text, "P%04d", snapshot_.channel[k & 7].position);
    return QString::fromLatin1(text);
}

void CurveView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(212, 208, 200));
    p.setBackground(QColor(212, 208, 200));
    p.setPen(Qt::black);
    TXTOutWriteText(&p, caption_.toUtf8().constData(), 4, 2);
    TXTOutWriteText(&p, snapshot_.frameCode.c_str(), 4, 2 + kLineHeight);
    p.setBackground(Qt::black);
    for (int k = 0; k < kChannels; ++k) {
        p.setPen(QColor::fromRgb(CurveColor(k)));
        TXTOutWriteText(&p, Label(k).toLatin1().constData(), 4 + k * 60, 2 + 2 * kLineHeight);
    }

    const int top = kTextLines * kLineHeight + 4;
    plotter_.Resize(QSize(width(), std::max(0, height() - top)));
    PlotSeries series[kChannels];
    int n = 0;
    const double full = snapshot_.wordBits >= 32
                            ? 4294967295.0
                            : double((std::uint64_t{1} << std::max(snapshot_.wordBits, 1)) - 1);
    for (int k = 0; k < kChannels; ++k) {
        const auto& c = snapshot_.channel[k];
        if (!c.valid || c.values.empty()) continue;
        series[n++] = PlotSeries{c.values.data(), c.values.size(), full, CurveColor(k)};
    }
    p.drawImage(0, top, plotter_.Render(series, n));
}

void CurveView::contextMenuEvent(QContextMenuEvent* e) {
    emit contextMenuWanted(e->globalPos());
    e->accept();
}

// --- CurveSettingsMenu ---

CurveSettingsMenu::CurveSettingsMenu(QWidget* parent) : QMenu(parent) {
    setTitle(QStringLiteral("显示配置(&C)"));
    channels_ = addAction(QStringLiteral("曲线通道设置(&P)..."));
    addSeparator();
    wholeFrame_ = addAction(QStringLiteral("按整帧计路序(&W)"));
    wholeFrame_->setCheckable(true);
    bitsLimit_ = addAction(QStringLiteral("数据按字长屏蔽(&B)"));
    bitsLimit_->setCheckable(true);
    connect(channels_, &QAction::triggered, this, &CurveSettingsMenu::channelsRequested);
    connect(wholeFrame_, &QAction::triggered, this, &CurveSettingsMenu::wholeFrameToggled);
    connect(bitsLimit_, &QAction::triggered, this, &CurveSettingsMenu::bitsLimitToggled);
}

void CurveSettingsMenu::ShowSettings(const CurverSettings& s) {
    wholeFrame_->setChecked(s.nShowWfMode != 0);
    bitsLimit_->setChecked(s.nDataBitsLimit != 0);
}

// --- CCurverWnd ---

CCurverWnd::CCurverWnd(int stream, const _FRAME_STRUCT_PARAM_EX* frame, void* frameHandle,
                       void* areaHandle, QWidget* parent)
    : QMdiSubWindow(parent, Qt::SubWindow | Qt::FramelessWindowHint),
      stream_(stream),
      frameHandle_(frameHandle),
      areaHandle_(areaHandle),
      iniFile_(CurverSettingsPath()) {
    setAttribute(Qt::WA_DeleteOnClose);
    settings_ = LoadCurverSettings(iniFile_, stream_);
    if (frame && (frame->nShowWholeFrame != 0) != (settings_.nShowWfMode != 0)) {
        // The caller's record sets the starting mode; the stored one follows.
        settings_.nShowWfMode = frame->nShowWholeFrame != 0;
        SaveCurverSettings(iniFile_, stream_, settings_);
    }
    engine_ = std::make_shared<CurveEngine>(frame, settings_);
    view_ = new CurveView(this);
    setWidget(view_);
    setWindowTitle(Title());
    view_->SetCaption(Title());

    menu_ = new CurveSettingsMenu(this);
    menu_->ShowSettings(settings_);
    connect(view_, &CurveView::contextMenuWanted, menu_,
            [this](const QPoint& at) { menu_->popup(at); });
    connect(menu_, &CurveSettingsMenu::channelsRequested, this, &CCurverWnd::AskChannels);
    connect(menu_, &CurveSettingsMenu::wholeFrameToggled, this, [this](bool on) {
        CurverSettings s = settings_;
        s.nShowWfMode = on;
        ApplySettings(s);
    });
    connect(menu_, &CurveSettingsMenu::bitsLimitToggled, this, [this](bool on) {
        CurverSettings s = settings_;
        s.nDataBitsLimit = on;
        ApplySettings(s);
    });
    // The window has no frame and so no close button of its own.
    menu_->addSeparator();
    QAction* closeItem = menu_->addAction(QStringLiteral("关闭窗口(&X)"));
    closeItem->setObjectName(QStringLiteral("closeWindow"));
    connect(closeItem, &QAction::triggered, this, &QWidget::close, Qt::QueuedConnection);
    connect(&timer_, &QTimer::timeout, this, &CCurverWnd::Refresh);
}

CCurverWnd::~CCurverWnd() {
    engine_->Stop();
}

QString CCurverWnd::Title() const {
    if (stream_ < 0) return QStringLiteral("源码曲线显示");
    return QStringLiteral("遥测流%1源码曲线显示").arg(stream_ + 1);
}

bool CCurverWnd::Start(unsigned periodMs) {
    engine_->Start();
    timer_.start(int(std::clamp<unsigned>(periodMs, kMinPeriodMs, 0x7FFFFFFF)));
    if (timer_.isActive()) return true;
    plat::MessageBox("Not enough timers available for this window.", "MDI：源码曲线显示",
                     plat::MB_ICONEXCLAMATION | plat::MB_OK);
    return false;
}

void CCurverWnd::Refresh() {
    int mode = 0;
    if (engine_->TakeCallerWholeFrame(mode)) {
        // The main program switched the mode; keep the stored setting in step.
        settings_.nShowWfMode = mode;
        SaveCurverSettings(iniFile_, stream_, settings_);
        menu_->ShowSettings(settings_);
    }
    // Nothing new since the last picture (also while no frame has come yet):
    // no repaint, so an idle window costs nothing.
    if (!forceCaption_ && shown_ && engine_->Version() == view_->Snapshot().version) return;
    forceCaption_ = false;
    shown_ = true;
    CurveSnapshot& s = spare_;  // the view's previous points, reused
    engine_->Read(s, kShownPoints);
    QString caption = Title();
    if (s.hasShape) {
        char line[rawviews::kCaptionTextMax];
        rawviews::FormatFrameLine(line, sizeof line, s.shape);
        caption += QString::fromUtf8(line);
    }
    if (showErrors_) {
        char line[rawviews::kCaptionTextMax];
        rawviews::FormatErrorLine(line, sizeof line, errors_);
        caption += QString::fromUtf8(line);
    }
    view_->SetCaption(caption);
    view_->SwapSnapshot(s);
    view_->update();
}

void CCurverWnd::ApplySettings(const CurverSettings& s) {
    settings_ = s;
    SaveCurverSettings(iniFile_, stream_, settings_);
    menu_->ShowSettings(settings_);
    engine_->SetSettings(settings_);
}

void CCurverWnd::SetErrorCode(const _ERROR_CODE_STATISTIC* statistic, bool show) {
    showErrors_ = show;
    if (statistic) errors_ = *statistic;
    forceCaption_ = true;
    Refresh();
}

void CCurverWnd::AskChannels() {
    QDialog dlg(this);
    dlg.setWindowTitle(QStringLiteral("曲线通道设置"));
    auto* form = new QFormLayout(&dlg);
    QSpinBox* boxes[kChannels];
    for (int k = 0; k < kChannels; ++k) {
        boxes[k] = new QSpinBox(&dlg);
        boxes[k]->setObjectName(QStringLiteral("channel%1").arg(k + 1));
        boxes[k]->setRange(1, 65535 * 2048);
        boxes[k]->setValue(std::max(1, settings_.channel[k]));
        form->addRow(QStringLiteral("曲线%1路序：").arg(k + 1), boxes[k]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (dlg.exec() != QDialog::Accepted) return;
    CurverSettings s = settings_;
    for (int k = 0; k < kChannels; ++k) s.channel[k] = boxes[k]->value();
    ApplySettings(s);
}

void CCurverWnd::closeEvent(QCloseEvent* e) {
    QMdiSubWindow::closeEvent(e);
    if (!e->isAccepted()) return;
    timer_.stop();
    // The worker ends before the window and its data can go.
    engine_->Stop();
    emit windowClosed();
    const std::uintptr_t index = stream_ < 0 ? 0 : std::uintptr_t(stream_);
    if (!plat::PostMessage(frameHandle_, kCurveClosedMessage, index, 0))
        plat::PostMessage(areaHandle_, kCurveClosedMessage, index, 0);
}

}  // namespace rawcurve

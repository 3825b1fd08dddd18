#include <bbdevice/bbdevice.h>
#include <platform/notify.h>
#include <spanplot/radio_plot_wnd.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSpinBox>
#include <algorithm>
#include <bit>
#include <climits>

namespace spanplot {
namespace {

// The scan is stopped at its upper end, 2.25 GHz, handed over as the two
// halves of the double, low half first.
constexpr double kStopHz = 2'250'000'000.0;
constexpr std::uint64_t kStopBits = std::bit_cast<std::uint64_t>(kStopHz);
constexpr std::uint32_t kStopLow = static_cast<std::uint32_t>(kStopBits);
constexpr std::uint32_t kStopHigh = static_cast<std::uint32_t>(kStopBits >> 32);
static_assert(kStopLow == 0xD0000000u && kStopHigh == 0x41E0C388u);

constexpr int kFrame = 6;     // left and right edge of the client
constexpr int kTop = 8;       // above the panels
constexpr int kBottom = 20;   // below the panels
constexpr int kColumns = 10;  // grid divisions across a panel
constexpr int kRows = 10;     // grid divisions down a panel, 10 dB each
constexpr int kTopLevel = 0;  // dB at the top edge

constexpr DeviceCalls kLibraryCalls{&BB_GetRadioPlotData, &BB_StopRadioSpan};
DeviceCalls g_calls = kLibraryCalls;

}  // namespace

void SetDeviceCallsForTest(const DeviceCalls* calls) {
    g_calls = calls ? *calls : kLibraryCalls;
}

int PlotWidthFor(int clientWidth) {
    return std::max((clientWidth - 2 * kFrame) / kPanels - kLeftMargin, 0);
}

CRadioPlotWnd::CRadioPlotWnd(std::uint32_t card, const QString& title, QWidget* parent)
    : CPlotViewWnd(parent), card_(card), scroll_(new QScrollBar(Qt::Horizontal, this)) {
    setWindowTitle(title);
    setMinimumSize(40, 40);
    scroll_->hide();
    refresh_.setProperty("timerId", kRefreshTimerId);
    redraw_.setProperty("timerId", kRedrawTimerId);
    redraw_.setSingleShot(true);
    redraw_.setInterval(0);
    connect(&refresh_, &QTimer::timeout, this, [this] { Poll(); });
    connect(&redraw_, &QTimer::timeout, this, [this] { update(); });
}

CRadioPlotWnd::~CRadioPlotWnd() {
    Shutdown();
}

bool CRadioPlotWnd::SetElapse(int periodMs) {
    if (shutDown_) return false;
    period_ = std::max(periodMs, 1);
    refresh_.start(period_);
    if (refresh_.isActive()) return true;
    plat::MessageBox("此窗口没有足够的计时器。", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
    return false;
}

void CRadioPlotWnd::StopTimers() {
    refresh_.stop();
    redraw_.stop();
}

void CRadioPlotWnd::RequestRedraw() {
    if (!shutDown_) redraw_.start();
}

bool CRadioPlotWnd::Poll() {
    // The library has no pointer argument for the area; it is told the
    // area's size in words and must leave it alone when it has no scan.
    if (!g_calls.getData(card_, static_cast<std::uint32_t>(kDataWords))) return false;
    if (width() <= 0 || height() <= 0) return false;
    update();
    return true;
}

void CRadioPlotWnd::SetScrollBarShown(bool on) {
    scrollShown_ = on;
    scroll_->setVisible(on);
    PlaceScrollBar();
    update();
}

void CRadioPlotWnd::PlaceScrollBar() {
    const int h = scroll_->sizeHint().height();
    scroll_->setGeometry(0, std::max(height() - h, 0), width(), h);
}

QRect CRadioPlotWnd::PanelRect(int i) const {
    const int w = PlotWidth();
    const int bottom = height() - kBottom - (scrollShown_ ? scroll_->sizeHint().height() : 0);
    const int h = bottom - kTop;
    if (i < 0 || i >= kPanels || w <= 0 || h <= 0) return {};
    const int panel = (width() - 2 * kFrame) / kPanels;
    return {kFrame + i * panel + kLeftMargin, kTop, w, h};
}

const QImage& CRadioPlotWnd::Background(const QSize& size) {
    if (background_.size() == size && backgroundScroll_ == scrollShown_) return background_;
    backgroundScroll_ = scrollShown_;
    background_ = QImage(size, QImage::Format_RGB32);
    background_.fill(Qt::black);
    QPainter p(&background_);
    QFont f("Times New Roman");
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(10);
    p.setFont(f);
    const QColor grid(0, 80, 0), frame(0, 160, 0);
    for (int i = 0; i < kPanels; ++i) {
        const QRect r = PanelRect(i);
        if (r.isEmpty()) continue;
        p.setPen(grid);
        for (int c = 1; c < kColumns; ++c) {
            const int x = r.left() + c * (r.width() - 1) / kColumns;
            p.drawLine(x, r.top(), x, r.bottom());
        }
        for (int row = 1; row < kRows; ++row) {
            const int y = r.top() + row * (r.height() - 1) / kRows;
            p.drawLine(r.left(), y, r.right(), y);
        }
        p.setPen(frame);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(Qt::gray);
        for (int row = 0; row <= kRows; row += 2) {
            const int y = r.top() + row * (r.height() - 1) / kRows;
            p.drawText(QRect(r.left() - kLeftMargin, y - 6, kLeftMargin - 3, 12),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(kTopLevel - 10 * row));
        }
    }
    return background_;
}

void CRadioPlotWnd::Render(QPainter& p, const QRect& area) {
    p.drawImage(area.topLeft(), Background(area.size()));
}

void CRadioPlotWnd::resizeEvent(QResizeEvent* e) {
    CPlotViewWnd::resizeEvent(e);
    PlaceScrollBar();
}

std::unique_ptr<QMenu> CRadioPlotWnd::MakeContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const char* toggle = scrollShown_ ? "隐藏滚动条" : "显示滚动条";
    menu->addAction(QString::fromUtf8(toggle), this, [this] { SetScrollBarShown(!scrollShown_); });
    menu->addAction(QString::fromUtf8("显示设置..."), this, [this] {
        std::unique_ptr<QDialog> dlg(MakeSettingsDialog());
        dlg->exec();
    });
    return menu;
}

QDialog* CRadioPlotWnd::MakeSettingsDialog() {
    auto* dlg = new QDialog(this);
    dlg->setObjectName("spanplotSettings");
    dlg->setWindowTitle(QString::fromUtf8("显示设置"));
    auto* form = new QFormLayout(dlg);
    auto* period = new QSpinBox(dlg);
    period->setObjectName("period");
    period->setRange(1, INT_MAX);
    period->setSuffix(" ms");
    period->setValue(period_);
    form->addRow(QString::fromUtf8("刷新周期:"), period);
    auto* gradual = new QCheckBox(QString::fromUtf8("渐变曲线"), dlg);
    gradual->setObjectName("gradual");
    gradual->setChecked(gradual_);
    form->addRow(gradual);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    connect(dlg, &QDialog::accepted, this, [this, period, gradual] {
        gradual_ = gradual->isChecked();
        SetElapse(period->value());
        update();
    });
    return dlg;
}

void CRadioPlotWnd::contextMenuEvent(QContextMenuEvent* e) {
    std::unique_ptr<QMenu> menu = MakeContextMenu();
    if (!menu) {
        plat::MessageBox("创建弹出菜单失败！", "Talvora", plat::MB_OK | plat::MB_ICONERROR);
        return;
    }
    menu->exec(e->globalPos());
}

void CRadioPlotWnd::closeEvent(QCloseEvent* e) {
    Shutdown();
    CPlotViewWnd::closeEvent(e);
}

void CRadioPlotWnd::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    StopTimers();
    g_calls.stopSpan(card_, kStopLow, kStopHigh);
    ReleaseSlot(this);
}

}  // namespace spanplot

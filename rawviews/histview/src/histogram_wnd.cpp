#include <histview/histogram_wnd.h>
#include <platform/notify.h>
#include <platform/winmsg.h>

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QSpinBox>
#include <algorithm>

namespace histview {

namespace {

constexpr unsigned kMinPeriodMs = 10;
const QColor kPaper(255, 255, 255);
const QColor kBar(0, 64, 192);
const QColor kRowLabel(0, 162, 0);  // "F%d"

}  // namespace

// --- HistView ---

HistView::HistView(QWidget* parent) : QAbstractScrollArea(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont f = font();
    f.setPixelSize(12);
    setFont(f);
}

void HistView::SetSnapshot(HistSnapshot&& s) {
    snapshot_ = std::move(s);
    UpdateScrollBars();
    viewport()->update();
}

const HistSnapshot::Bar* HistView::BarAt(int row, int k) const {
    if (row < 0 || row >= snapshot_.rows || k < 0 || k >= kChannels) return nullptr;
    const HistSnapshot::Bar& b = snapshot_.bars[std::size_t(row) * kChannels + k];
    if (!b.valid || BarRatio(b.value, snapshot_.shape.nWordBits) < 0) return nullptr;
    return &b;
}

int HistView::BarPixels(int row, int k) const {
    const HistSnapshot::Bar* b = BarAt(row, k);
    if (!b) return -1;
    return int(BarRatio(b->value, snapshot_.shape.nWordBits) * kFullBarHeight + 0.5);
}

QString HistView::HexText(int row, int k) const {
    const HistSnapshot::Bar* b = BarAt(row, k);
    return b ? QString::fromStdString(HexLabel(b->value, snapshot_.shape.nWordBytes)) : QString();
}

QString HistView::PercentText(int row, int k) const {
    const HistSnapshot::Bar* b = BarAt(row, k);
    return b ? QString::fromStdString(PercentLabel(BarRatio(b->value, snapshot_.shape.nWordBits)))
             : QString();
}

void HistView::UpdateScrollBars() {
    const int width = kLeft + kChannels * kBarPitch;
    const int height = kHeaderHeight + std::max(1, snapshot_.rows) * kRowHeight;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
}

void HistView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollBars();
}

void HistView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), kPaper);
    p.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    const QFontMetrics fm(font());
    p.setPen(Qt::black);
    p.drawText(4, 2 + fm.ascent(), caption_);
    p.drawText(4, 22 + fm.ascent(), QString::fromUtf8(snapshot_.frameCode));
    const int bits = snapshot_.shape.nWordBits;
    // Only the rows in view.
    const int scrolled = verticalScrollBar()->value() - kHeaderHeight;
    const int firstRow = std::max(0, scrolled / kRowHeight);
    const int lastRow =
        std::min(snapshot_.rows - 1, (scrolled + viewport()->height()) / kRowHeight);
    for (int r = firstRow; r <= lastRow; ++r) {
        const int top = kHeaderHeight + r * kRowHeight;
        const int bottom = top + 20 + kFullBarHeight;
        p.setPen(kRowLabel);
        p.drawText(4, top + 20 + kFullBarHeight / 2, QStringLiteral("F%1").arg(r + 1));
        p.setPen(QColor(192, 192, 192));
        for (int tick = 0; tick <= 4; ++tick) {
            const int y = bottom - tick * kFullBarHeight / 4;
            p.drawLine(kLeft - 4, y, kLeft + kChannels * kBarPitch, y);
        }
        for (int k = 0; k < kChannels; ++k) {
            const int x = kLeft + k * kBarPitch;
            p.setPen(Qt::black);
            p.drawText(x, bottom + 2 + fm.ascent(), QStringLiteral("R%1").arg(k + 1));
            const int h = BarPixels(r, k);
            if (h < 0) continue;
            p.fillRect(x, bottom - h, kBarWidth, h, kBar);
            p.drawText(x, top + 2 + fm.ascent(), HexText(r, k));
            p.drawText(x, bottom + 16 + fm.ascent(), PercentText(r, k));
            if (bits > 0) {
                const std::string number = NumberLabel(
                    BarRatio(snapshot_.bars[std::size_t(r) * kChannels + k].value, bits));
                p.drawText(x, bottom + 30 + fm.ascent(), QString::fromStdString(number));
            }
        }
    }
}

void HistView::contextMenuEvent(QContextMenuEvent* e) {
    emit contextMenuWanted(e->globalPos());
    e->accept();
}

// --- CHistogramWnd ---

CHistogramWnd::CHistogramWnd(const _FRAME_STRUCT_PARAM* frame, void* frameHandle, void* areaHandle,
                             QWidget* parent)
    : QMdiSubWindow(parent),
      frameHandle_(frameHandle),
      areaHandle_(areaHandle),
      iniFile_(HistogramSettingsPath()) {
    setAttribute(Qt::WA_DeleteOnClose);
    settings_ = LoadHistogramSettings(iniFile_);
    store_ = std::make_shared<HistStore>();
    view_ = new HistView(this);
    setWidget(view_);
    setWindowTitle(QStringLiteral("源码柱状图显示"));
    view_->SetCaption(windowTitle());
    if (frame) {
        char line[rawviews::kCaptionTextMax];
        rawviews::FormatFrameLine(line, sizeof line, *frame);
        view_->SetCaption(windowTitle() + QString::fromUtf8(line));
    }
    menu_ = new QMenu(QStringLiteral("显示配置(&C)"), this);
    connect(menu_->addAction(QStringLiteral("柱状图通道设置(&P)...")), &QAction::triggered, this,
            &CHistogramWnd::AskChannels);
    connect(view_, &HistView::contextMenuWanted, menu_,
            [this](const QPoint& at) { menu_->popup(at); });
    connect(&timer_, &QTimer::timeout, this, &CHistogramWnd::Refresh);
}

CHistogramWnd::~CHistogramWnd() = default;

bool CHistogramWnd::StartRefresh(unsigned periodMs) {
    timer_.start(int(std::clamp<unsigned>(periodMs, kMinPeriodMs, 0x7FFFFFFF)));
    if (timer_.isActive()) return true;
    plat::MessageBox("Not enough timers available for this window.", "MDI：源码柱状图显示",
                     plat::MB_ICONEXCLAMATION | plat::MB_OK);
    return false;
}

void CHistogramWnd::Refresh() {
    if (store_->Version() == shownVersion_) return;
    HistSnapshot s;
    store_->Read(settings_, s);
    shownVersion_ = s.version;
    QString caption = windowTitle();
    if (s.hasData) {
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
    view_->SetSnapshot(std::move(s));
}

void CHistogramWnd::ApplySettings(const HistogramSettings& s) {
    settings_ = s;
    SaveHistogramSettings(iniFile_, settings_);
    shownVersion_ = ~std::uint64_t{0};
    Refresh();
}

void CHistogramWnd::SetErrorCode(const _ERROR_CODE_STATISTIC* statistic, bool show) {
    showErrors_ = show;
    if (statistic) errors_ = *statistic;
    shownVersion_ = ~std::uint64_t{0};
    Refresh();
}

void CHistogramWnd::AskChannels() {
    QDialog dlg(this);
    dlg.setObjectName(QStringLiteral("histogramChannels"));
    dlg.setWindowTitle(QStringLiteral("柱状图通道设置"));
    auto* grid = new QGridLayout(&dlg);
    QSpinBox* boxes[kChannels];
    for (int k = 0; k < kChannels; ++k) {
        boxes[k] = new QSpinBox(&dlg);
        boxes[k]->setObjectName(QStringLiteral("channel%1").arg(k + 1, 2, 10, QLatin1Char('0')));
        boxes[k]->setRange(1, 0x7FFFFFFF);
        boxes[k]->setValue(std::max(1, settings_.channel[k]));
        grid->addWidget(new QLabel(QStringLiteral("R%1：").arg(k + 1), &dlg), k % 12, (k / 12) * 2);
        grid->addWidget(boxes[k], k % 12, (k / 12) * 2 + 1);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    grid->addWidget(buttons, 12, 0, 1, 4);
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (dlg.exec() != QDialog::Accepted) return;
    HistogramSettings s = settings_;
    for (int k = 0; k < kChannels; ++k) s.channel[k] = boxes[k]->value();
    ApplySettings(s);
}

void CHistogramWnd::closeEvent(QCloseEvent* e) {
    QMdiSubWindow::closeEvent(e);
    if (!e->isAccepted()) return;
    timer_.stop();
    emit windowClosed();
    if (!plat::PostMessage(frameHandle_, kHistogramClosedMessage, 0, 0))
        plat::PostMessage(areaHandle_, kHistogramClosedMessage, 0, 0);
}

}  // namespace histview

#include <rawgrid/cell_text.h>
#include <rawgrid/table_grid_wnd.h>

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace rawgrid {

namespace {

const QColor kBackground(0xFF, 0xFF, 0xFF);
const QColor kHeaderBackground(0xEC, 0xEC, 0xEC);
const QColor kGridLine(0xC8, 0xC8, 0xC8);
const QColor kText(0x00, 0x00, 0x00);
const QColor kTimeText(0x00, 0x00, 0x80);
constexpr int kPad = 12;  // horizontal room around a cell text

int CeilDiv(int a, int b) {
    return b > 0 ? (a + b - 1) / b : 0;
}

}  // namespace

TableGridView::TableGridView(std::shared_ptr<TableStore> store, QWidget* parent)
    : QAbstractScrollArea(parent), store_(std::move(store)) {
    font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_.reserve(kCellTextMax);
    batch_.SetFont(font_);
    UpdateMetrics();
}

bool TableGridView::TimeColumnShown() const {
    return settings_.nShowTbType != 0 && shape_.nTimeBytes == TableStore::kTimeTagBytes;
}

void TableGridView::SetFrameLayout(const _FRAME_STRUCT_PARAM& shape, bool wholeFrame) {
    shape_ = shape;
    wholeFrame_ = wholeFrame;
    const bool usable = TableStore::FrameBytes(shape) != 0;
    shownWords_ = usable ? shape.nWordsPerSubframe : 0;
    shownRows_ = usable ? (wholeFrame ? shape.nSubframes : 1) : 0;
    UpdateMetrics();
    viewport()->update();
}

void TableGridView::SetSettings(const TableSettings& s) {
    settings_ = s;
    UpdateMetrics();
    viewport()->update();
}

void TableGridView::RefreshData() {
    if (shownRows_ == 0) return;
    const QRect r = viewport()->rect().adjusted(labelW_, headerH_, 0, 0);
    if (r.isValid()) viewport()->update(r);
}

void TableGridView::UpdateMetrics() {
    const QFontMetrics fm(font_);
    charW_ = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    ascent_ = fm.ascent();
    rowH_ = fm.height() + 6;
    headerH_ = rowH_;

    char buf[kCellTextMax];
    std::size_t n = FormatRowLabel(buf, std::max(1, int(shape_.nSubframes)));
    labelW_ = fm.horizontalAdvance(QLatin1String(buf, int(n))) + kPad;
    timeW_ = std::max(fm.horizontalAdvance(QStringLiteral("00:00:00:000.0")),
                      fm.horizontalAdvance(QStringLiteral("数据配时时间"))) +
             kPad;

    // Widest text of the current mode: full scale, zero, and the last column label.
    const int wb = std::clamp(int(shape_.nWordBytes), 1, 4);
    const std::uint32_t full = wb == 4 ? 0xFFFFFFFFu : (1u << (8 * wb)) - 1u;
    std::size_t longest = 0;
    for (std::uint32_t v : {full, 0u}) {
        n = FormatCell(buf, v, settings_.nDataViewMode, wb, settings_.fConvertVoltage);
        longest = std::max(longest, n);
        n = FormatCell(buf, v, settings_.nDataViewMode, wb, -settings_.fConvertVoltage);
        if (settings_.nDataViewMode == kVoltage) longest = std::max(longest, n);
    }
    n = FormatColumnLabel(buf, std::max(1, int(shape_.nWordsPerSubframe)));
    cellW_ =
        std::max(int(longest) * charW_, fm.horizontalAdvance(QLatin1String(buf, int(n)))) + kPad;

    colHeaderKey_ = rowHeaderKey_ = -1;
    UpdateScrollBars();
}

void TableGridView::UpdateScrollBars() {
    const int fullRows = std::max(1, (viewport()->height() - headerH_) / rowH_);
    const int fullWords = std::max(1, (viewport()->width() - DataLeft()) / cellW_);
    verticalScrollBar()->setRange(0, std::max(0, shownRows_ - fullRows));
    verticalScrollBar()->setPageStep(fullRows);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, shownWords_ - fullWords));
    horizontalScrollBar()->setPageStep(fullWords);
    horizontalScrollBar()->setSingleStep(1);
}

const QPixmap& TableGridView::ColumnHeader(int firstWord, int width) {
    if (colHeaderKey_ == firstWord && colHeaderWidth_ == width) return colHeader_;
    colHeaderKey_ = firstWord;
    colHeaderWidth_ = width;
    const qreal dpr = devicePixelRatioF();
    colHeader_ = QPixmap(QSize(std::max(1, width), headerH_) * dpr);
    colHeader_.setDevicePixelRatio(dpr);
    colHeader_.fill(kHeaderBackground);
    QPainter p(&colHeader_);
    p.setFont(font_);
    p.setPen(kGridLine);
    p.drawLine(0, headerH_ - 1, width, headerH_ - 1);
    p.drawLine(labelW_ - 1, 0, labelW_ - 1, headerH_);
    const int baseline = (rowH_ - QFontMetrics(font_).height()) / 2 + ascent_;
    if (TimeColumnShown()) {
        p.drawLine(labelW_ + timeW_ - 1, 0, labelW_ + timeW_ - 1, headerH_);
        p.setPen(kText);
        p.drawText(QRect(labelW_, 0, timeW_, headerH_), Qt::AlignCenter,
                   QStringLiteral("数据配时时间"));
    }
    char buf[kCellTextMax];
    const int left = DataLeft();
    for (int c = 0, w = firstWord; w < shownWords_ && left + c * cellW_ < width; ++c, ++w) {
        const int x = left + c * cellW_;
        p.setPen(kGridLine);
        p.drawLine(x + cellW_ - 1, 0, x + cellW_ - 1, headerH_);
        p.setPen(kText);
        DrawText(p, x, cellW_, baseline, buf, FormatColumnLabel(buf, w + 1));
    }
    return colHeader_;
}

const QPixmap& TableGridView::RowHeader(int firstRow, int height) {
    if (rowHeaderKey_ == firstRow && rowHeaderHeight_ == height) return rowHeader_;
    rowHeaderKey_ = firstRow;
    rowHeaderHeight_ = height;
    const qreal dpr = devicePixelRatioF();
    rowHeader_ = QPixmap(QSize(labelW_, std::max(1, height)) * dpr);
    rowHeader_.setDevicePixelRatio(dpr);
    rowHeader_.fill(kHeaderBackground);
    QPainter p(&rowHeader_);
    p.setFont(font_);
    p.setPen(kGridLine);
    p.drawLine(labelW_ - 1, 0, labelW_ - 1, height);
    char buf[kCellTextMax];
    const int textTop = (rowH_ - QFontMetrics(font_).height()) / 2 + ascent_;
    for (int r = 0, row = firstRow; row < shownRows_ && r * rowH_ < height; ++r, ++row) {
        p.setPen(kGridLine);
        p.drawLine(0, (r + 1) * rowH_ - 1, labelW_, (r + 1) * rowH_ - 1);
        p.setPen(kText);
        DrawText(p, 0, labelW_, r * rowH_ + textTop, buf, FormatRowLabel(buf, row + 1));
    }
    return rowHeader_;
}

void TableGridView::DrawText(QPainter& p, int x, int width, int baseline, const char* text,
                             std::size_t n) {
    text_.resize(qsizetype(n));
    QChar* d = text_.data();
    for (std::size_t i = 0; i < n; ++i) d[i] = QLatin1Char(text[i]);
    p.drawText(x + (width - int(n) * charW_) / 2, baseline, text_);
}

void TableGridView::PaintGrid(QPainter& p, const QRect& exposed) {
    const int W = viewport()->width();
    const int H = viewport()->height();
    p.fillRect(exposed, kBackground);
    if (shownRows_ == 0 || shownWords_ == 0) return;
    p.setFont(font_);

    const int firstRow = verticalScrollBar()->value();
    const int firstWord = horizontalScrollBar()->value();
    const int left = DataLeft();
    const int visRows = std::min(shownRows_ - firstRow, CeilDiv(H - headerH_, rowH_));
    const int visWords = std::min(shownWords_ - firstWord, CeilDiv(W - left, cellW_));

    if (exposed.top() < headerH_) p.drawPixmap(0, 0, ColumnHeader(firstWord, W));
    if (exposed.left() < labelW_ && exposed.bottom() >= headerH_)
        p.drawPixmap(0, headerH_, RowHeader(firstRow, H - headerH_));
    if (visRows <= 0 || exposed.bottom() < headerH_) return;

    // Only the rows and columns that the exposed rectangle touches.
    const int r0 = std::max(0, (exposed.top() - headerH_) / rowH_);
    const int r1 = std::min(visRows, std::max(0, (exposed.bottom() - headerH_) / rowH_ + 1));
    const bool timeExposed =
        TimeColumnShown() && exposed.left() < left && exposed.right() >= labelW_;
    const int c0 = std::max(0, (exposed.left() - left) / cellW_);
    const int c1 =
        exposed.right() < left ? 0 : std::min(visWords, (exposed.right() - left) / cellW_ + 1);
    if (r1 <= r0) return;

    store_->ReadPage(wholeFrame_ ? firstRow + r0 : 0, r1 - r0, firstWord + c0, std::max(0, c1 - c0),
                     page_);

    // Grid lines of the touched cells.
    p.setPen(kGridLine);
    const int yTop = headerH_ + r0 * rowH_;
    const int yBottom = headerH_ + r1 * rowH_;
    for (int r = r0; r < r1; ++r) {
        const int y = headerH_ + (r + 1) * rowH_ - 1;
        p.drawLine(labelW_, y, W, y);
    }
    if (TimeColumnShown()) p.drawLine(left - 1, yTop, left - 1, yBottom);
    for (int c = c0; c < c1; ++c) {
        const int x = left + (c + 1) * cellW_ - 1;
        p.drawLine(x, yTop, x, yBottom);
    }
    if (!page_.hasData) return;

    char buf[kCellTextMax];
    const int baseOffset = (rowH_ - QFontMetrics(font_).height()) / 2 + ascent_;
    const int wb = page_.shape.nWordBytes;
    const int bits = settings_.nDataBitsLimit ? page_.shape.nWordBits : 0;
    const int mode = settings_.nDataViewMode;
    const double volts = settings_.fConvertVoltage;
    if (!batch_.Usable()) {
        for (int r = 0; r < page_.rows; ++r) {
            const int baseline = headerH_ + (r0 + r) * rowH_ + baseOffset;
            if (timeExposed && page_.hasTime) {
                p.setPen(kTimeText);
                DrawText(p, labelW_, timeW_, baseline, buf,
                         FormatTimeCode(buf, &page_.tags[r * TableStore::kTimeTagBytes]));
            }
            p.setPen(kText);
            const std::uint32_t* v = &page_.values[std::size_t(r) * page_.words];
            for (int c = 0; c < page_.words; ++c) {
                const std::size_t n = FormatCell(buf, MaskWord(v[c], bits), mode, wb, volts);
                DrawText(p, left + (c0 + c) * cellW_, cellW_, baseline, buf, n);
            }
        }
        return;
    }

    // The whole page goes out as two glyph runs: time texts, then the words.
    const double adv = batch_.Advance();
    if (timeExposed && page_.hasTime) {
        for (int r = 0; r < page_.rows; ++r) {
            const std::size_t n = FormatTimeCode(buf, &page_.tags[r * TableStore::kTimeTagBytes]);
            batch_.Add(labelW_ + (timeW_ - double(n) * adv) / 2,
                       headerH_ + (r0 + r) * rowH_ + baseOffset, buf, n);
        }
        p.setPen(kTimeText);
        batch_.Flush(p);
    }
    for (int r = 0; r < page_.rows; ++r) {
        const int baseline = headerH_ + (r0 + r) * rowH_ + baseOffset;
        const std::uint32_t* v = &page_.values[std::size_t(r) * page_.words];
        for (int c = 0; c < page_.words; ++c) {
            const std::size_t n = FormatCell(buf, MaskWord(v[c], bits), mode, wb, volts);
            batch_.Add(left + (c0 + c) * cellW_ + (cellW_ - double(n) * adv) / 2, baseline, buf, n);
        }
    }
    p.setPen(kText);
    batch_.Flush(p);
}

void TableGridView::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    PaintGrid(p, e->rect());
}

void TableGridView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollBars();
}

void TableGridView::scrollContentsBy(int, int) {
    viewport()->update();
}

void TableGridView::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_PageUp:
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case Qt::Key_PageDown:
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case Qt::Key_Up:
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Down:
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        case Qt::Key_Home:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case Qt::Key_End:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case Qt::Key_Left:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Right:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        default:
            QAbstractScrollArea::keyPressEvent(e);
            return;
    }
    e->accept();
}

void TableGridView::contextMenuEvent(QContextMenuEvent* e) {
    emit contextMenuWanted(e->globalPos());
    e->accept();
}

QString TableGridView::CellText(int row, int word) const {
    PageCopy one;
    store_->ReadPage(row, 1, word, 1, one);
    if (!one.hasData || one.rows != 1 || one.words != 1) return {};
    char buf[kCellTextMax];
    const int bits = settings_.nDataBitsLimit ? one.shape.nWordBits : 0;
    const std::size_t n = FormatCell(buf, MaskWord(one.values[0], bits), settings_.nDataViewMode,
                                     one.shape.nWordBytes, settings_.fConvertVoltage);
    return QString::fromLatin1(buf, qsizetype(n));
}

QString TableGridView::TimeText(int row) const {
    PageCopy one;
    store_->ReadPage(row, 1, 0, 0, one);
    if (!one.hasData || !one.hasTime || one.rows != 1) return {};
    char buf[kCellTextMax];
    return QString::fromLatin1(buf, qsizetype(FormatTimeCode(buf, one.tags.data())));
}

}  // namespace rawgrid

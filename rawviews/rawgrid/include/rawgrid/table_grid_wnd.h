// The painted grid of the table window: frozen header row, row labels and time
// column, and the word cells of the visible part of the frame. Scrolling is by
// whole rows and columns. Cells are formatted while painting from a copy of
// just the visible words; the header strips are cached as pixmaps.
#pragma once

#include <rawgrid/glyph_batch_wnd.h>
#include <rawgrid/table_settings.h>
#include <rawgrid/table_store.h>

#include <QAbstractScrollArea>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <memory>

namespace rawgrid {

class TableGridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TableGridView(std::shared_ptr<TableStore> store, QWidget* parent = nullptr);

    // GUI thread only, like everything here.
    void SetFrameLayout(const _FRAME_STRUCT_PARAM& shape, bool wholeFrame);
    void SetSettings(const TableSettings& s);
    // New frame contents: repaints the time column and the cells, nothing else.
    void RefreshData();

    // Paints the grid as it stands into `area` (the viewport's rectangle).
    void PaintGrid(QPainter& p, const QRect& area);

    // Texts as painted; empty when the cell is not in the frame or no data came.
    QString CellText(int row, int word) const;
    QString TimeText(int row) const;

    int ShownRows() const { return shownRows_; }
    int ShownWords() const { return shownWords_; }
    bool TimeColumnShown() const;

signals:
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void UpdateMetrics();
    void UpdateScrollBars();
    int DataLeft() const { return labelW_ + (TimeColumnShown() ? timeW_ : 0); }
    const QPixmap& ColumnHeader(int firstWord, int width);
    const QPixmap& RowHeader(int firstRow, int height);
    void DrawText(QPainter& p, int x, int width, int baseline, const char* text, std::size_t n);

    std::shared_ptr<TableStore> store_;
    _FRAME_STRUCT_PARAM shape_{};
    bool wholeFrame_ = false;
    TableSettings settings_;
    int shownRows_ = 0;   // rows of the table: 1 or nSubframes
    int shownWords_ = 0;  // columns of words

    QFont font_;
    int charW_ = 8, ascent_ = 12, rowH_ = 18, headerH_ = 18;
    int labelW_ = 60, timeW_ = 120, cellW_ = 40;

    // Header strips; rebuilt when the first visible row or column, the size or
    // the layout changes.
    QPixmap colHeader_, rowHeader_;
    int colHeaderKey_ = -1, colHeaderWidth_ = -1;
    int rowHeaderKey_ = -1, rowHeaderHeight_ = -1;

    GlyphBatch batch_;
    PageCopy page_;  // reused between paints
    QString text_;   // reused between cells
};

}  // namespace rawgrid

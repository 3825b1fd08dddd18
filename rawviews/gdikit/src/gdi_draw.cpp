#include <gdikit/gdikit.h>

#include <QColor>
#include <QPainter>
#include <atomic>
#include <cstdlib>

namespace {

// The two module colours: white background, grey grid until set.
std::atomic<std::uint32_t> g_background{0x00FFFFFF};
std::atomic<std::uint32_t> g_grid{0x00808080};

// Current position for GraghDrawLine, per thread and painter.
thread_local const QPainter* t_linePainter = nullptr;
thread_local int t_lineX = 0, t_lineY = 0;

// Edge colours of the classic three-dimensional look.
const QColor kHighlight(255, 255, 255);
const QColor kLight(227, 227, 227);
const QColor kShadow(160, 160, 160);
const QColor kDarkShadow(105, 105, 105);

QColor FromColorRef(std::uint32_t c) {
    return QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
}

// Saves and restores the painter state around one helper.
class Saved {
public:
    explicit Saved(QPainter* p) : p_(p) { p_->save(); }
    ~Saved() { p_->restore(); }
    Saved(const Saved&) = delete;
    Saved& operator=(const Saved&) = delete;

private:
    QPainter* p_;
};

void Fill(QPainter* p, int left, int top, int right, int bottom, const QColor& c) {
    if (right > left && bottom > top) p->fillRect(left, top, right - left, bottom - top, c);
}

// One line of an edge: top and left in `topLeft`, bottom and right in
// `bottomRight`, which owns the two far corners.
void EdgeLine(QPainter* p, int l, int t, int r, int b, const QColor& topLeft,
              const QColor& bottomRight) {
    if (r - l < 1 || b - t < 1) return;
    Fill(p, l, t, r - 1, t + 1, topLeft);
    Fill(p, l, t, l + 1, b - 1, topLeft);
    Fill(p, l, b - 1, r, b, bottomRight);
    Fill(p, r - 1, t, r, b, bottomRight);
}

void RaisedOuterEdge(QPainter* p, int l, int t, int r, int b) {
    EdgeLine(p, l, t, r, b, kLight, kDarkShadow);
}

void BumpEdge(QPainter* p, int l, int t, int r, int b) {
    EdgeLine(p, l, t, r, b, kLight, kDarkShadow);
    EdgeLine(p, l + 1, t + 1, r - 1, b - 1, kShadow, kHighlight);
}

}  // namespace

extern "C" {

void GraghDrawColorSet(const std::uint32_t* colors) {
    if (!colors) return;
    g_background = colors[0];
    g_grid = colors[1];
}

std::uint32_t GraghBackgroundColor() {
    return g_background;
}

std::uint32_t GraghGridColor() {
    return g_grid;
}

void GraghDrawCurveBGround(QPainter* p, GdiRect r) {
    if (!p) return;
    Saved s(p);
    RaisedOuterEdge(p, r.left, r.top, r.right, r.bottom);
    RaisedOuterEdge(p, r.left - 1, r.top - 1, r.right + 1, r.bottom + 1);
}

void GraghDrawCurveBKColor(QPainter* p, int left, int top, int right, int bottom) {
    if (!p) return;
    Saved s(p);
    Fill(p, left - 2, top - 2, right + 2, bottom + 2, FromColorRef(g_background));
}

void GraghDrawCurveEdge(QPainter* p, int left, int top, int right, int bottom) {
    if (!p) return;
    Saved s(p);
    BumpEdge(p, left - 2, top - 2, right + 2, bottom + 2);
}

void GraghDrawStripeEdge(QPainter* p, int left, int top, int right, int bottom) {
    GraghDrawCurveEdge(p, left, top, right, bottom);
}

void GraghDrawCurveGrid(QPainter* p, int n, int left, int top, int right, int bottom) {
    if (!p || n <= 1 || right <= left) return;
    Saved s(p);
    p->setPen(FromColorRef(g_grid));
    const int spacing = (bottom - top + 4) / n;
    // Every other pixel, from the left end, as a dotted cosmetic pen draws.
    QPoint dots[256];
    for (int k = 1; k < n; ++k) {
        const int y = bottom - spacing * k;
        int count = 0;
        for (int x = left; x < right; x += 2) {
            dots[count++] = QPoint(x, y);
            if (count == 256) {
                p->drawPoints(dots, count);
                count = 0;
            }
        }
        if (count) p->drawPoints(dots, count);
    }
}

void GraghMoveTo(QPainter* p, int x, int y) {
    t_linePainter = p;
    t_lineX = x;
    t_lineY = y;
}

void GraghDrawLine(QPainter* p, int x, int y, std::uint32_t color) {
    if (!p) return;
    if (t_linePainter != p) GraghMoveTo(p, 0, 0);
    const int x0 = t_lineX, y0 = t_lineY;
    t_lineX = x;
    t_lineY = y;
    if (x0 == x && y0 == y) return;
    Saved s(p);
    p->setRenderHint(QPainter::Antialiasing, false);
    // Walks the line as Bresenham does and leaves out the end point, as a
    // device context's line does.
    p->setPen(FromColorRef(color));
    const int dx = std::abs(x - x0), dy = -std::abs(y - y0);
    const int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
    int err = dx + dy, cx = x0, cy = y0;
    QPoint dots[256];
    int count = 0;
    while (cx != x || cy != y) {
        dots[count++] = QPoint(cx, cy);
        if (count == 256) {
            p->drawPoints(dots, count);
            count = 0;
        }
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            cx += sx;
        }
        if (e2 <= dx) {
            err += dx;
            cy += sy;
        }
    }
    if (count) p->drawPoints(dots, count);
}

void GraghDrawStripeBlt(QPainter* p, std::uint32_t color, int left, int top, int right,
                        int bottom) {
    if (!p) return;
    Saved s(p);
    Fill(p, left, top, right, bottom, FromColorRef(color));
}

void GraphDelStripe(QPainter* p, int left, int top, int right, int bottom) {
    GraghDrawStripeBlt(p, 0x00FFFFFF, left, top, right, bottom);
}

void GraphDrawCircle(QPainter* p, int left, int top, std::uint32_t color) {
    if (!p) return;
    Saved s(p);
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(Qt::NoPen);
    p->setBrush(FromColorRef(color));
    p->drawEllipse(QRectF(left, top, 15, 20));
}

}  // extern "C"

// Base of the device plot windows. A plot is drawn straight into the image
// behind the window when the painter has one (the raster backing store, or
// an image the window is rendered into); otherwise into an image of the
// client size that is then put on screen. A window without area (minimised,
// or shrunk to nothing) draws nothing.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

class QPainter;

// The image a painter writes into, for code that sets pixels itself: where
// the painter's origin lies in it and the pixels it may touch. Null when the
// painter has no plain 32-bit image behind it, a transform other than a
// whole-pixel shift, or a clip that is not one rectangle.
struct PlotRasterTarget {
    QImage* image = nullptr;
    QPoint origin;
    QRect clip;

    explicit operator bool() const { return image != nullptr; }
    // A rectangle of the painter's coordinates in image pixels, clipped.
    QRect ToImage(const QRect& r) const { return r.translated(origin) & clip; }
};
PlotRasterTarget PlotRasterTargetOf(QPainter& p);

class CPlotViewWnd : public QWidget {
    Q_OBJECT
public:
    explicit CPlotViewWnd(QWidget* parent = nullptr);

    // Renders of the plot so far (each one a full render).
    unsigned RenderCount() const { return renders_; }

protected:
    // Draws the whole plot, every pixel of `area`; `area` is never empty.
    virtual void Render(QPainter& p, const QRect& area) = 0;
    // Called after each render, on the GUI thread.
    virtual void Rendered() {}

    void paintEvent(QPaintEvent* e) override;

private:
    QImage image_;  // only when the window's painter has no image behind it
    unsigned renders_ = 0;
};

// Pixels [y0, y1] of column x (painter coordinates), as far as the target
// lets them be touched.
void PaintPlotColumn(const PlotRasterTarget& t, int x, int y0, int y1, QRgb rgb);

// Base of the device plot windows: the plot is drawn into an image of the
// client size, made again on every resize, and the image is put on screen.
// A window without area (minimised, or shrunk to nothing) draws nothing.
#pragma once

#include <QImage>
#include <QWidget>

class CPlotViewWnd : public QWidget {
    Q_OBJECT
public:
    explicit CPlotViewWnd(QWidget* parent = nullptr);

    // Paints of the image so far (each one a full render).
    unsigned RenderCount() const { return renders_; }
    // The image of the last render; null before the first.
    const QImage& Image() const { return image_; }

protected:
    // Draws the whole plot; `area` is never empty.
    virtual void Render(QPainter& p, const QRect& area) = 0;
    // Called after each render, on the GUI thread.
    virtual void Rendered() {}

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    QImage image_;
    unsigned renders_ = 0;
};

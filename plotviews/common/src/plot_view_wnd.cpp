#include <plotviews/plot_view_wnd.h>

#include <QPaintEvent>
#include <QPainter>

CPlotViewWnd::CPlotViewWnd(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPlotViewWnd::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const QSize s = size();
    if (s.width() <= 0 || s.height() <= 0)
        image_ = QImage();
    else
        image_ = QImage(s, QImage::Format_RGB32);
}

void CPlotViewWnd::paintEvent(QPaintEvent*) {
    if (image_.isNull() || image_.size() != size()) {
        const QSize s = size();
        if (s.width() <= 0 || s.height() <= 0) return;
        image_ = QImage(s, QImage::Format_RGB32);
    }
    {
        QPainter ip(&image_);
        Render(ip, image_.rect());
    }
    ++renders_;
    QPainter wp(this);
    wp.drawImage(0, 0, image_);
    Rendered();
}

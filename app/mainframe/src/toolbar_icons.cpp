#include "toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "command_ids.h"

using namespace mainframe;

namespace {

constexpr int kSize = 32;
const QColor kInk(40, 60, 90);
const QColor kBlue(40, 110, 200);
const QColor kGreen(30, 150, 70);
const QColor kRed(200, 50, 40);
const QColor kOrange(230, 130, 20);
const QColor kPaper(250, 250, 245);

QPen Pen(const QColor& c, qreal w = 2.0) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawCard(QPainter& p) {  // baseband card with a circular arrow
    p.setPen(Pen(kInk));
    p.setBrush(QColor(90, 160, 90));
    p.drawRect(4, 12, 20, 14);
    p.setBrush(QColor(230, 200, 60));
    for (int x = 7; x < 22; x += 4) p.drawRect(x, 26, 2, 3);
    p.setBrush(Qt::NoBrush);
    p.setPen(Pen(kBlue, 2.5));
    p.drawArc(QRect(14, 2, 15, 15), 30 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(28, 4);
    head.lineTo(29, 10);
    head.lineTo(23, 8);
    head.closeSubpath();
    p.fillPath(head, kBlue);
}

void DrawStatusPanel(QPainter& p) {  // window with a docked panel at the bottom
    p.setPen(Pen(kInk));
    p.setBrush(kPaper);
    p.drawRect(3, 4, 26, 24);
    p.fillRect(4, 5, 25, 4, kBlue);
    p.fillRect(4, 19, 25, 9, QColor(170, 200, 235));
    p.setPen(Pen(kInk, 1.5));
    p.drawLine(7, 23, 16, 23);
    p.drawLine(19, 23, 25, 23);
}

void DrawSpectrum(QPainter& p) {
    p.fillRect(2, 3, 28, 26, QColor(20, 30, 45));
    p.setPen(Pen(QColor(90, 230, 120), 1.8));
    const QPointF pts[] = {{3, 26}, {8, 24},  {11, 22}, {14, 8}, {16, 5},
                           {18, 8}, {21, 22}, {24, 24}, {29, 26}};
    p.drawPolyline(pts, 9);
}

void DrawTaskBook(QPainter& p) {  // clipboard with lines
    p.setPen(Pen(kInk));
    p.setBrush(kPaper);
    p.drawRect(6, 5, 20, 24);
    p.setBrush(kOrange);
    p.drawRect(11, 2, 10, 5);
    p.setPen(Pen(kBlue, 1.8));
    for (int y = 12; y <= 24; y += 4) p.drawLine(10, y, 22, y);
}

void DrawDevice(QPainter& p) {  // rack unit with lamps and a knob
    p.setPen(Pen(kInk));
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(2, 9, 28, 15);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(7, 16.5), 2, 2);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(13, 16.5), 2, 2);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(24, 16.5), 4, 4);
}

void DrawDisk(QPainter& p) {
    p.setPen(Pen(kInk));
    p.setBrush(kBlue);
    p.drawRoundedRect(4, 4, 24, 24, 2, 2);
    p.setBrush(kPaper);
    p.drawRect(9, 4, 14, 9);
    p.setBrush(QColor(220, 225, 235));
    p.drawRect(8, 18, 16, 10);
    p.fillRect(18, 6, 3, 5, kInk);
}

void DrawReplay(QPainter& p) {
    p.setPen(Pen(kInk));
    p.setBrush(kPaper);
    p.drawRoundedRect(3, 5, 26, 22, 3, 3);
    QPainterPath tri;
    tri.moveTo(12, 10);
    tri.lineTo(23, 16);
    tri.lineTo(12, 22);
    tri.closeSubpath();
    p.fillPath(tri, kGreen);
}

void DrawRocket(QPainter& p, const QColor& body) {
    QPainterPath r;
    r.moveTo(16, 2);
    r.cubicTo(22, 8, 22, 16, 20, 22);
    r.lineTo(12, 22);
    r.cubicTo(10, 16, 10, 8, 16, 2);
    p.setPen(Pen(kInk, 1.5));
    p.setBrush(body);
    p.drawPath(r);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(16, 11), 2.5, 2.5);
    p.setBrush(kRed);
    p.drawPolygon(QPolygonF({QPointF(12, 18), QPointF(7, 25), QPointF(12, 22)}));
    p.drawPolygon(QPolygonF({QPointF(20, 18), QPointF(25, 25), QPointF(20, 22)}));
    p.setBrush(kOrange);
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(13, 23), QPointF(16, 30), QPointF(19, 23)}));
}

void DrawHand(QPainter& p) {  // rocket with a hand pointer: manual lift-off
    DrawRocket(p, QColor(250, 220, 180));
    p.setPen(Pen(kInk, 2));
    p.drawLine(26, 30, 26, 22);
    p.drawLine(23, 25, 26, 22);
    p.drawLine(29, 25, 26, 22);
}

void DrawPrinter(QPainter& p, const QString& mark) {
    p.setPen(Pen(kInk));
    p.setBrush(kPaper);
    p.drawRect(9, 3, 14, 10);
    p.setBrush(QColor(180, 185, 195));
    p.drawRoundedRect(3, 12, 26, 12, 2, 2);
    p.setBrush(kPaper);
    p.drawRect(8, 20, 16, 9);
    QFont f = p.font();
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kRed);
    p.drawText(QRect(8, 20, 16, 9), Qt::AlignCenter, mark);
}

void DrawCameraPrint(QPainter& p) {
    p.setPen(Pen(kInk));
    p.setBrush(QColor(70, 80, 95));
    p.drawRoundedRect(2, 9, 22, 16, 2, 2);
    p.drawRect(7, 6, 8, 4);
    p.setBrush(QColor(150, 200, 250));
    p.drawEllipse(QPointF(13, 17), 5, 5);
    p.setBrush(kPaper);
    p.drawRect(20, 18, 10, 12);
    p.setPen(Pen(kBlue, 1.2));
    p.drawLine(22, 22, 28, 22);
    p.drawLine(22, 25, 28, 25);
}

void DrawStandardFrame(QPainter& p) {  // frame grid with one row marked
    p.setPen(Pen(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRect(3, 5, 26, 22);
    p.fillRect(4, 13, 25, 6, QColor(250, 210, 90));
    for (int x = 9; x < 29; x += 5) p.drawLine(x, 5, x, 27);
    for (int y = 11; y < 27; y += 6) p.drawLine(3, y, 29, y);
}

void DrawBitError(QPainter& p) {
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kInk);
    p.drawText(QRect(1, 2, 30, 12), Qt::AlignCenter, QStringLiteral("0101"));
    p.drawText(QRect(1, 17, 30, 12), Qt::AlignCenter, QStringLiteral("0111"));
    p.setPen(Pen(kRed, 2));
    p.drawEllipse(QRectF(16.5, 15.5, 8, 14));
}

void DrawCurve(QPainter& p) {
    p.setPen(Pen(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRect(3, 4, 26, 24);
    p.setPen(Pen(kRed, 2));
    QPainterPath wave;
    wave.moveTo(4, 16);
    wave.cubicTo(9, 4, 12, 4, 16, 16);
    wave.cubicTo(20, 28, 23, 28, 28, 16);
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
}

void DrawTable(QPainter& p) {
    p.setPen(Pen(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRect(3, 4, 26, 24);
    p.fillRect(4, 5, 25, 5, kBlue);
    for (int y = 10; y < 28; y += 5) p.drawLine(3, y, 29, y);
    for (int x = 12; x < 29; x += 9) p.drawLine(x, 4, x, 28);
}

void DrawTile(QPainter& p) {
    p.setPen(Pen(kInk, 1.2));
    p.setBrush(QColor(200, 225, 250));
    p.drawRect(3, 3, 26, 10);
    p.setBrush(QColor(250, 225, 200));
    p.drawRect(3, 16, 12, 13);
    p.setBrush(QColor(215, 245, 215));
    p.drawRect(17, 16, 12, 13);
}

void DrawExit(QPainter& p) {  // power symbol
    p.setPen(Pen(kRed, 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(6, 7, 20, 20), 125 * 16, 290 * 16);
    p.drawLine(16, 4, 16, 16);
}

void DrawGeneric(QPainter& p, unsigned id) {
    p.setPen(Pen(kInk));
    p.setBrush(kPaper);
    p.drawRoundedRect(3, 3, 26, 26, 4, 4);
    QFont f = p.font();
    f.setPixelSize(9);
    p.setFont(f);
    p.drawText(QRect(3, 3, 26, 26), Qt::AlignCenter, QString::number(id % 1000));
}

}  // namespace

QIcon CommandIcon(unsigned id) {
    QPixmap pm(kSize, kSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (id) {
        case ID_REOPEN_CARD:
            DrawCard(p);
            break;
        case ID_STATUS_BAR_TOGGLE:
            DrawStatusPanel(p);
            break;
        case ID_SIGNAL_SPECTRUM:
            DrawSpectrum(p);
            break;
        case ID_TASK_MANAGE:
            DrawTaskBook(p);
            break;
        case ID_DEVICE_MANAGE:
            DrawDevice(p);
            break;
        case ID_FILE_STORAGE:
            DrawDisk(p);
            break;
        case ID_DATA_REPLAY:
            DrawReplay(p);
            break;
        case ID_ALLOW_LIFTOFF:
            DrawRocket(p, QColor(235, 240, 250));
            break;
        case ID_MANUAL_LIFTOFF:
            DrawHand(p);
            break;
        case ID_ZERO_PRINT:
            DrawPrinter(p, QStringLiteral("0"));
            break;
        case ID_SCREENSHOT_PRINT:
            DrawCameraPrint(p);
            break;
        case ID_CAPTURE_STD_FRAME:
            DrawStandardFrame(p);
            break;
        case ID_BIT_ERROR_STAT:
            DrawBitError(p);
            break;
        case ID_RAW_CURVE:
            DrawCurve(p);
            break;
        case ID_RAW_TABLE:
            DrawTable(p);
            break;
        case ID_WINDOW_TILE:
            DrawTile(p);
            break;
        case ID_EXIT_SOFTWARE:
            DrawExit(p);
            break;
        default:
            DrawGeneric(p, id);
            break;
    }
    return QIcon(pm);
}

QIcon ProgramIcon() {
    QPixmap pm(kSize, kSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Pen(kInk, 1.5));
    p.setBrush(QColor(30, 80, 150));
    p.drawEllipse(QRectF(2, 2, 28, 28));
    p.setPen(Pen(QColor(120, 240, 160), 2));
    const QPointF pts[] = {{6, 20},  {10, 20}, {10, 11}, {15, 11},
                           {15, 20}, {20, 20}, {20, 11}, {26, 11}};
    p.drawPolyline(pts, 8);
    return QIcon(pm);
}

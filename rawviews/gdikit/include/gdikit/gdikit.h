// Drawing helpers for the curve and stripe graphics of the raw-code views:
// edges, grids, stripes, circles and fixed-format texts on a painter, plus the
// number scanners of str_scan.h.
//
// Geometry follows the device-context conventions the views were drawn for:
// rectangles and ellipses leave out their right and bottom edge, and text is
// placed by the top-left corner of its cell and drawn on an opaque background
// in the painter's background colour, so a cleared cell holds only background.
// Colours are 0x00BBGGRR. Every function leaves the painter's pen, brush, font
// and background mode as it found them.
//
// A painter has no current position, so GraghMoveTo sets one and GraghDrawLine
// moves it to the line's end. The position is kept per thread for the last
// painter used there; another painter starts at (0, 0).
#pragma once

#include <gdikit/str_scan.h>

#include <cstdint>

class QPainter;

// Left, top, right and bottom; right and bottom lie just outside.
struct GdiRect {
    int left, top, right, bottom;
};

extern "C" {

// colors[0] = background, colors[1] = grid.
void GraghDrawColorSet(const std::uint32_t* colors);
std::uint32_t GraghBackgroundColor();
std::uint32_t GraghGridColor();

// A raised outer edge around r and another around r grown by 1 pixel.
void GraghDrawCurveBGround(QPainter* p, GdiRect r);
// Fills the rectangle grown by 2 pixels with the background colour.
void GraghDrawCurveBKColor(QPainter* p, int left, int top, int right, int bottom);
// A bump edge (raised outer line, sunken inner line) around the rectangle
// grown by 2 pixels.
void GraghDrawCurveEdge(QPainter* p, int left, int top, int right, int bottom);
void GraghDrawStripeEdge(QPainter* p, int left, int top, int right, int bottom);
// n - 1 dotted lines of the grid colour from left to right, (bottom - top + 4)
// / n apart, the first one spacing above bottom; nothing for n <= 1.
void GraghDrawCurveGrid(QPainter* p, int n, int left, int top, int right, int bottom);
void GraghMoveTo(QPainter* p, int x, int y);
// A 1-pixel line from the current position to (x, y), (x, y) itself left out.
void GraghDrawLine(QPainter* p, int x, int y, std::uint32_t color);
// A rectangle outlined and filled with `color`; GraphDelStripe in white.
void GraghDrawStripeBlt(QPainter* p, std::uint32_t color, int left, int top, int right, int bottom);
void GraphDelStripe(QPainter* p, int left, int top, int right, int bottom);
// An ellipse filled with `color` in (left, top)-(left + 15, top + 20).
void GraphDrawCircle(QPainter* p, int left, int top, std::uint32_t color);

// Texts at (x, y), the top-left corner of the text: "%03d", "%4d", "%02X",
// "%02x", eight binary digits, and eight blanks.
void TXTOutWriteDec3B(QPainter* p, int value, int x, int y);
void TXTOutWriteDec4B(QPainter* p, int value, int x, int y);
void TXTOutWriteHex2BL(QPainter* p, unsigned char value, int x, int y);
void TXTOutWriteHex2BS(QPainter* p, unsigned char value, int x, int y);
void TXTOutWriteBin8B(QPainter* p, unsigned char value, int x, int y);
void TXTOutClearChar(QPainter* p, int x, int y);
// Any text the same way (UTF-8), for captions and labels.
void TXTOutWriteText(QPainter* p, const char* text, int x, int y);
}

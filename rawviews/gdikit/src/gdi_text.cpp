#include <gdikit/gdikit.h>

#include <QFontMetrics>
#include <QPainter>
#include <cstdio>

namespace {

// The text with its cell filled in the painter's background colour first.
void Write(QPainter* p, const QString& text, int x, int y) {
    if (!p) return;
    p->save();
    const QFontMetrics fm(p->font());
    const int width = fm.horizontalAdvance(text);
    p->fillRect(x, y, width, fm.height(), p->background().color());
    p->drawText(x, y + fm.ascent(), text);
    p->restore();
}

void WriteAscii(QPainter* p, const char* text, int x, int y) {
    Write(p, QString::fromLatin1(text), x, y);
}

}  // namespace

extern "C" {

void TXTOutWriteDec3B(QPainter* p, int value, int x, int y) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", value);
    WriteAscii(p, text, x, y);
}

void TXTOutWriteDec4B(QPainter* p, int value, int x, int y) {
    char text[16];
    std::snprintf(text, sizeof text, "%4d", value);
    WriteAscii(p, text, x, y);
}

void TXTOutWriteHex2BL(QPainter* p, unsigned char value, int x, int y) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    WriteAscii(p, text, x, y);
}

void TXTOutWriteHex2BS(QPainter* p, unsigned char value, int x, int y) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value);
    WriteAscii(p, text, x, y);
}

// "%08O" is no conversion of the C library; the byte is written as the eight
// binary digits the name promises, most significant first.
void TXTOutWriteBin8B(QPainter* p, unsigned char value, int x, int y) {
    char text[9];
    for (int i = 0; i < 8; ++i) text[i] = (value >> (7 - i) & 1) ? '1' : '0';
    text[8] = '\0';
    WriteAscii(p, text, x, y);
}

void TXTOutClearChar(QPainter* p, int x, int y) {
    WriteAscii(p, "        ", x, y);
}

void TXTOutWriteText(QPainter* p, const char* text, int x, int y) {
    if (text) Write(p, QString::fromUtf8(text), x, y);
}

}  // extern "C"

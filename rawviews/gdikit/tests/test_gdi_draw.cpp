// The drawing helpers on an image: exact pixel geometry of every shape, the
// opaque text cell, and the painter left as it was.
#include <gdikit/gdikit.h>
#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

QImage Blank(int w = 120, int h = 120) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

int Count(const QImage& img, QRgb c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == c;
    return n;
}

int CountNot(const QImage& img, QRgb c) {
    return img.width() * img.height() - Count(img, c);
}

// 0x00BBGGRR as the image stores it.
QRgb Rgb(std::uint32_t ref) {
    return qRgb(int(ref & 0xFF), int(ref >> 8 & 0xFF), int(ref >> 16 & 0xFF));
}

TEST(GdiShapes, StripeAndEraseLeaveOutTheRightAndBottomEdge) {
    QImage img = Blank();
    {
        QPainter p(&img);
        GraghDrawStripeBlt(&p, 0x000000FF, 10, 10, 20, 20);
    }
    EXPECT_EQ(Count(img, qRgb(255, 0, 0)), 100);
    EXPECT_EQ(img.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(19, 19), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(20, 19), kWhite);
    EXPECT_EQ(img.pixel(19, 20), kWhite);
    {
        QPainter p(&img);
        GraphDelStripe(&p, 12, 12, 14, 15);
    }
    EXPECT_EQ(Count(img, qRgb(255, 0, 0)), 94);
}

TEST(GdiShapes, CircleStaysInsideItsBox) {
    QImage img = Blank();
    {
        QPainter p(&img);
        GraphDrawCircle(&p, 30, 40, 0x0000FF00);
    }
    const QRgb green = qRgb(0, 255, 0);
    int inside = 0, outside = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) == kWhite) continue;
            const bool in = x >= 30 && x < 45 && y >= 40 && y < 60;
            (in ? inside : outside) += 1;
        }
    EXPECT_EQ(outside, 0);
    // An ellipse fills about pi/4 of its box.
    EXPECT_GT(inside, 15 * 20 * 2 / 3);
    EXPECT_EQ(img.pixel(37, 50), green);
    EXPECT_EQ(img.pixel(30, 40), kWhite);
}

TEST(GdiShapes, GridRowsCountUpFromOneSpacingAboveTheBottom) {
    const std::uint32_t colors[2] = {0x00000000, 0x000000FF};
    GraghDrawColorSet(colors);
    QImage img = Blank(60, 110);
    {
        QPainter p(&img);
        GraghDrawCurveGrid(&p, 4, 0, 0, 50, 96);
    }
    const QRgb grid = Rgb(colors[1]);
    std::vector<int> rows;
    for (int y = 0; y < img.height(); ++y) {
        int n = 0;
        for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == grid;
        if (n) {
            rows.push_back(y);
            EXPECT_EQ(n, 25) << "dotted from x 0 to 49, row " << y;
        }
    }
    EXPECT_EQ(rows, (std::vector<int>{21, 46, 71}));
    EXPECT_EQ(CountNot(img, kWhite), 75);

    for (int n : {1, 0, -4}) {
        QImage none = Blank(60, 110);
        QPainter p(&none);
        GraghDrawCurveGrid(&p, n, 0, 0, 50, 96);
        p.end();
        EXPECT_EQ(CountNot(none, kWhite), 0) << n;
    }
}

TEST(GdiShapes, BackgroundFillGrowsTheRectangleByTwo) {
    const std::uint32_t colors[2] = {0x00102030, 0};
    GraghDrawColorSet(colors);
    QImage img = Blank();
    {
        QPainter p(&img);
        GraghDrawCurveBKColor(&p, 10, 10, 20, 30);
    }
    EXPECT_EQ(Count(img, Rgb(colors[0])), 14 * 24);
    EXPECT_EQ(img.pixel(8, 8), Rgb(colors[0]));
    EXPECT_EQ(img.pixel(21, 31), Rgb(colors[0]));
    EXPECT_EQ(img.pixel(22, 31), kWhite);
}

TEST(GdiShapes, RaisedEdgesAreLightTopLeftAndDarkBottomRight) {
    QImage img = Blank();
    {
        QPainter p(&img);
        GraghDrawCurveBGround(&p, GdiRect{10, 10, 30, 30});
    }
    const QRgb light = img.pixel(10, 10), dark = img.pixel(29, 29);
    EXPECT_GT(qGray(light), qGray(dark));
    EXPECT_EQ(img.pixel(20, 10), light);
    EXPECT_EQ(img.pixel(10, 20), light);
    EXPECT_EQ(img.pixel(20, 29), dark);
    EXPECT_EQ(img.pixel(29, 20), dark);
    // The second edge one pixel further out; inside and beyond stay blank.
    EXPECT_EQ(img.pixel(9, 9), light);
    EXPECT_EQ(img.pixel(30, 30), dark);
    EXPECT_EQ(img.pixel(20, 20), kWhite);
    EXPECT_EQ(img.pixel(31, 31), kWhite);
    EXPECT_EQ(CountNot(img, kWhite), 4 * 19 + 4 * 21);
}

TEST(GdiShapes, BumpEdgeIsARaisedLineAroundASunkenLine) {
    QImage img = Blank();
    {
        QPainter p(&img);
        GraghDrawCurveEdge(&p, 10, 10, 30, 30);
    }
    // Around (8, 8)-(32, 32).
    const QRgb outerLight = img.pixel(8, 20), outerDark = img.pixel(31, 20);
    const QRgb innerDark = img.pixel(9, 20), innerLight = img.pixel(30, 20);
    EXPECT_GT(qGray(outerLight), qGray(outerDark));
    EXPECT_LT(qGray(innerDark), qGray(innerLight));
    EXPECT_EQ(img.pixel(20, 8), outerLight);
    EXPECT_EQ(img.pixel(20, 31), outerDark);
    EXPECT_EQ(img.pixel(20, 9), innerDark);
    EXPECT_EQ(img.pixel(20, 30), innerLight);
    EXPECT_EQ(img.pixel(10, 10), kWhite);
    EXPECT_EQ(img.pixel(32, 32), kWhite);

    QImage same = Blank();
    {
        QPainter p(&same);
        GraghDrawStripeEdge(&p, 10, 10, 30, 30);
    }
    EXPECT_EQ(same, img);
}

TEST(GdiShapes, LinesLeaveOutTheirEndAndContinueFromIt) {
    QImage img = Blank();
    const QRgb blue = qRgb(0, 0, 255);
    {
        QPainter p(&img);
        GraghMoveTo(&p, 5, 5);
        GraghDrawLine(&p, 15, 5, 0x00FF0000);
        GraghDrawLine(&p, 15, 10, 0x00FF0000);
        GraghDrawLine(&p, 20, 15, 0x00FF0000);
    }
    EXPECT_EQ(img.pixel(5, 5), blue);
    EXPECT_EQ(img.pixel(14, 5), blue);
    EXPECT_EQ(img.pixel(15, 5), blue);  // start of the second line
    EXPECT_EQ(img.pixel(15, 9), blue);
    EXPECT_EQ(img.pixel(16, 11), blue);  // the diagonal
    EXPECT_EQ(img.pixel(20, 15), kWhite);
    EXPECT_EQ(Count(img, blue), 10 + 5 + 5);
}

TEST(GdiText, TextCellStartsAtItsTopLeftAndClearingLeavesOnlyBackground) {
    QImage img = Blank(200, 60);
    const QColor paper(0, 0, 128);
    QPainter p(&img);
    QFont font(QStringLiteral("Monospace"));
    font.setPixelSize(14);
    font.setStyleHint(QFont::TypeWriter);
    p.setFont(font);
    p.setPen(QColor(255, 255, 0));
    p.setBackground(paper);
    const QPen pen = p.pen();
    const QBrush brush = p.brush();

    TXTOutWriteBin8B(&p, 0xA5, 20, 20);
    p.end();
    int ink = 0, above = 0, left = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) == kWhite) continue;
            ++ink;
            above += y < 20;
            left += x < 20;
        }
    EXPECT_GT(ink, 0);
    EXPECT_EQ(above, 0);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(img.pixel(20, 20), paper.rgb());

    p.begin(&img);
    p.setFont(font);
    p.setPen(QColor(255, 255, 0));
    p.setBackground(paper);
    TXTOutClearChar(&p, 20, 20);
    EXPECT_EQ(p.pen(), pen);
    EXPECT_EQ(p.brush(), brush);
    EXPECT_EQ(p.font(), font);
    p.end();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ASSERT_TRUE(img.pixel(x, y) == kWhite || img.pixel(x, y) == paper.rgb())
                << x << "," << y;
}

TEST(GdiText, FormatsWriteTheirDigits) {
    // Every format as text width: the same font gives the same advance per
    // digit, so the cells differ only by their character count.
    QImage a = Blank(200, 40), b = Blank(200, 40);
    QFont font(QStringLiteral("Monospace"));
    font.setPixelSize(14);
    font.setStyleHint(QFont::TypeWriter);
    QPainter pa(&a), pb(&b);
    pa.setFont(font);
    pb.setFont(font);
    pa.setBackground(Qt::black);
    pb.setBackground(Qt::black);
    TXTOutWriteHex2BL(&pa, 0xAB, 0, 0);
    TXTOutWriteText(&pb, "AB", 0, 0);
    TXTOutWriteHex2BS(&pa, 0xAB, 0, 20);
    TXTOutWriteText(&pb, "ab", 0, 20);
    TXTOutWriteDec3B(&pa, 7, 40, 0);
    TXTOutWriteText(&pb, "007", 40, 0);
    TXTOutWriteDec4B(&pa, 42, 40, 20);
    TXTOutWriteText(&pb, "  42", 40, 20);
    TXTOutWriteBin8B(&pa, 0x81, 100, 0);
    TXTOutWriteText(&pb, "10000001", 100, 0);
    pa.end();
    pb.end();
    EXPECT_EQ(a, b);
}

}  // namespace

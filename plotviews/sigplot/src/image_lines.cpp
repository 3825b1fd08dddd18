#include <sigplot/image_lines.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace sigplot {
namespace {

// Pixels of an RGB32 image, by index y * pitch + x from its first pixel.
struct ImageSink {
    QRgb* first;
    QRgb rgb;

    void Put(qsizetype i) const { first[i] = rgb; }
    void Run(qsizetype i, qsizetype step, qsizetype count) const {
        QRgb* at = first + i;
        if (step == 1 || step == -1) {
            if (step == -1) at -= count - 1;
            using Four = std::uint32_t __attribute__((vector_size(16)));
            const Four four = {rgb, rgb, rgb, rgb};
            qsizetype k = 0;
            for (; k + 4 <= count; k += 4) std::memcpy(at + k, &four, sizeof four);
            for (; k < count; ++k) at[k] = rgb;
            return;
        }
        for (qsizetype k = 0; k < count; ++k, at += step) *at = rgb;
    }
};

// Bits of a mask, by index y * pitch + x.
struct MaskSink {
    std::uint64_t* words;

    void Put(qsizetype i) const { words[i >> 6] |= std::uint64_t(1) << (i & 63); }
    void Run(qsizetype i, qsizetype step, qsizetype count) const {
        if (step == 1 || step == -1) {
            // Along a row: whole words at a time.
            const qsizetype from = step == 1 ? i : i - (count - 1), last = from + count - 1;
            const qsizetype a = from >> 6, b = last >> 6;
            const std::uint64_t head = ~std::uint64_t(0) << (from & 63);
            const std::uint64_t tail = ~std::uint64_t(0) >> (63 - (last & 63));
            if (a == b) {
                words[a] |= head & tail;
                return;
            }
            words[a] |= head;
            for (qsizetype w = a + 1; w < b; ++w) words[w] = ~std::uint64_t(0);
            words[b] |= tail;
            return;
        }
        for (qsizetype k = 0; k < count; ++k, i += step) Put(i);
    }
};

// A line whose pixels all lie in the target, from index `at` by (dx, dy).
// Shallow and near-diagonal lines go in runs whose ends follow from whole
// steps and a remainder; the others by a 32.32 fixed-point offset per pixel,
// so that no step waits on the one before.
template <class Sink>
void InsideLine(const Sink& sink, qsizetype at, qsizetype pitch, int dx, int dy) {
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const qsizetype px = dx < 0 ? -1 : 1, py = dy < 0 ? -pitch : pitch;
    const qsizetype major = xMajor ? px : py, minor = xMajor ? py : px;
    const qsizetype n = xMajor ? std::abs(dx) : std::abs(dy);
    const qsizetype m = xMajor ? std::abs(dy) : std::abs(dx);
    if (n == 0) {
        sink.Put(at);
        return;
    }
    if (4 * m <= n || 4 * (n - m) <= n) {
        // Shallow: the minor offset j starts at pixel ceil((2 n j - n) / 2 m).
        // Near-diagonal: counted from the diagonal, the offset j (pixels that
        // did not step sideways) starts at floor((2 n j - n) / 2 (n - m)) + 1.
        const bool shallow = 4 * m <= n;
        const qsizetype d = 2 * (shallow ? m : n - m), full = 2 * n;
        const qsizetype step = shallow ? major : major + minor, jump = shallow ? minor : -minor;
        qsizetype next = n + 1, rest = 0, base = 0, carry = 0;
        if (d > 0) {
            base = full / d;
            carry = full % d;
            if (shallow) {
                next = (n + d - 1) / d;
                rest = next * d - n;  // how far the run end lies past the exact one
            } else {
                next = n / d + 1;
                rest = n % d;  // remainder of the exact run end
            }
        }
        qsizetype run = at;
        for (qsizetype k = 0; k <= n;) {
            const qsizetype end = std::min(next, n + 1);
            sink.Run(run + k * step, step, end - k);
            k = end;
            run += jump;
            next += base;
            if (shallow) {
                rest -= carry;
                if (rest < 0) {
                    rest += d;
                    ++next;
                }
            } else {
                rest += carry;
                if (rest >= d) {
                    rest -= d;
                    ++next;
                }
            }
        }
        return;
    }
    const std::uint64_t den = 2ull * std::uint64_t(n);
    const std::uint64_t slope = (std::uint64_t(2 * m) << 32) / den;
    std::uint64_t acc = (std::uint64_t(n) << 32) / den + (1ull << 32) / (4 * den);
    for (qsizetype k = 0; k <= n; ++k, acc += slope)
        sink.Put(at + k * major + qsizetype(acc >> 32) * minor);
}

// A line clipped to `c` (target coordinates, index y * pitch + x).
template <class Sink>
void ClippedLine(const Sink& sink, qsizetype pitch, const QRect& c, int x0, int y0, int x1,
                 int y1) {
    if (c.isEmpty()) return;
    const int left = c.left(), right = c.right(), top = c.top(), bottom = c.bottom();
    if (x0 >= left && x0 <= right && x1 >= left && x1 <= right && y0 >= top && y0 <= bottom &&
        y1 >= top && y1 <= bottom) {
        InsideLine(sink, y0 * pitch + x0, pitch, x1 - x0, y1 - y0);
        return;
    }
    // Long segments far outside are rare; each step checks the clip.
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (int guard = 0; guard <= dx - dy; ++guard) {
        if (x0 >= left && x0 <= right && y0 >= top && y0 <= bottom) sink.Put(y0 * pitch + x0);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

}  // namespace

void DrawImageLine(QImage& img, const QRect& clip, int x0, int y0, int x1, int y1, QRgb rgb) {
    const QRect c = clip & img.rect();
    if (c.isEmpty() || img.depth() != 32) return;
    const qsizetype pitch = img.bytesPerLine() / qsizetype(sizeof(QRgb));
    ClippedLine(ImageSink{reinterpret_cast<QRgb*>(img.bits()), rgb}, pitch, c, x0, y0, x1, y1);
}

void CLineMask::Reset(const QRect& area) {
    area_ = area.isValid() ? area : QRect();
    pitch_ = (qsizetype(std::max(area_.width(), 0)) + 63) / 64 * 64;
    const std::size_t words = std::size_t(pitch_ / 64) * std::size_t(std::max(area_.height(), 0));
    if (bits_.size() < words) bits_.resize(words);
    std::fill(bits_.begin(), bits_.begin() + std::ptrdiff_t(words), 0);
}

void CLineMask::Line(int x0, int y0, int x1, int y1) {
    if (area_.isEmpty()) return;
    const int ox = area_.left(), oy = area_.top();
    ClippedLine(MaskSink{bits_.data()}, pitch_, QRect(0, 0, area_.width(), area_.height()), x0 - ox,
                y0 - oy, x1 - ox, y1 - oy);
}

void CLineMask::Paint(QImage& img, QRgb rgb) const {
    const QRect c = area_ & img.rect();
    if (c.isEmpty() || c != area_ || img.depth() != 32) return;
    const qsizetype rowWords = pitch_ / 64;
    for (int y = 0; y < area_.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(area_.top() + y)) + area_.left();
        const std::uint64_t* row = bits_.data() + y * rowWords;
        for (qsizetype w = 0; w < rowWords; ++w)
            for (std::uint64_t word = row[w]; word; word &= word - 1)
                line[w * 64 + std::countr_zero(word)] = rgb;
    }
}

}  // namespace sigplot

#include <printing/bmp_writer.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace printing {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

bool ValidDepth(int depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 24;
}

std::size_t ColourTableBytes(int depth) {
    return depth <= 8 ? (std::size_t{1} << depth) * 4 : 0;
}

}  // namespace

int BmpDepthForScreen(int screenDepth) {
    if (screenDepth <= 1) return 1;
    if (screenDepth <= 4) return 4;
    if (screenDepth <= 8) return 8;
    return 24;
}

std::size_t BmpRowBytes(int width, int depth) {
    const std::size_t bits = std::size_t(width) * std::size_t(depth);
    return (bits + 31) / 32 * 4;
}

std::size_t BmpFileBytes(int width, int depth, int height) {
    if (width <= 0 || height <= 0 || !ValidDepth(depth)) return 0;
    // The header fields are 32-bit: refuse what they cannot describe.
    const std::size_t row = BmpRowBytes(width, depth);
    const std::size_t limit = std::numeric_limits<std::uint32_t>::max();
    if (row > limit / std::size_t(height)) return 0;
    const std::size_t total =
        kFileHeaderBytes + kInfoHeaderBytes + ColourTableBytes(depth) + row * std::size_t(height);
    return total > limit ? 0 : total;
}

std::vector<std::uint8_t> EncodeBmp(const BmpPicture& p) {
    const std::size_t fileBytes = BmpFileBytes(p.width, p.depth, p.height);
    if (fileBytes == 0 || !p.pixels) return {};
    const std::size_t minStride = std::size_t(p.width) * (p.depth == 24 ? 4 : 1);
    if (p.stride < minStride) return {};
    if (p.depth <= 8 && p.colours.size() != (std::size_t{1} << p.depth)) return {};
    if (p.depth == 24 && !p.colours.empty()) return {};

    std::vector<std::uint8_t> out(fileBytes, 0);
    const std::size_t table = ColourTableBytes(p.depth);
    const std::size_t offset = kFileHeaderBytes + kInfoHeaderBytes + table;
    const std::size_t row = BmpRowBytes(p.width, p.depth);
    std::uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, std::uint32_t(fileBytes));
    Put32(h + 10, std::uint32_t(offset));
    std::uint8_t* info = h + kFileHeaderBytes;
    Put32(info + 0, std::uint32_t(kInfoHeaderBytes));
    Put32(info + 4, std::uint32_t(p.width));
    Put32(info + 8, std::uint32_t(p.height));  // positive: rows bottom-up
    Put16(info + 12, 1);                       // planes
    Put16(info + 14, std::uint16_t(p.depth));
    Put32(info + 16, 0);  // no compression
    Put32(info + 20, std::uint32_t(row * std::size_t(p.height)));
    Put32(info + 24, 2835);  // 72 dots per inch
    Put32(info + 28, 2835);
    Put32(info + 32, table ? std::uint32_t(table / 4) : 0);
    Put32(info + 36, 0);
    for (std::size_t i = 0; i < table / 4; ++i) {
        const std::uint32_t c = p.colours[i];
        std::uint8_t* e = info + kInfoHeaderBytes + i * 4;
        e[0] = std::uint8_t(c);        // blue
        e[1] = std::uint8_t(c >> 8);   // green
        e[2] = std::uint8_t(c >> 16);  // red
        e[3] = 0;
    }
    const std::size_t colours = p.colours.size();
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* src = p.pixels + std::size_t(y) * p.stride;
        std::uint8_t* dst = out.data() + offset + std::size_t(p.height - 1 - y) * row;
        if (p.depth == 24) {
            for (int x = 0; x < p.width; ++x) {
                std::uint32_t v;
                std::memcpy(&v, src + std::size_t(x) * 4, 4);
                dst[3 * x + 0] = std::uint8_t(v);
                dst[3 * x + 1] = std::uint8_t(v >> 8);
                dst[3 * x + 2] = std::uint8_t(v >> 16);
            }
            continue;
        }
        const int perByte = 8 / p.depth;
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t index = src[x];
            if (index >= colours) return {};
            const int shift = 8 - p.depth * (x % perByte + 1);  // leftmost pixel in the high bits
            dst[x / perByte] |= std::uint8_t(index << shift);
        }
    }
    return out;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

}  // namespace printing

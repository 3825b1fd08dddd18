// The bitmap writer against the published layout, byte by byte: header
// fields, row padding and order, pixel packing and the colour table.
#include <gtest/gtest.h>
#include <printing/bmp_writer.h>

#include <cstdint>
#include <vector>

namespace {

using namespace printing;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

std::vector<std::uint32_t> Grey(int depth) {
    std::vector<std::uint32_t> t;
    const int n = 1 << depth;
    for (int i = 0; i < n; ++i) {
        const std::uint32_t v = std::uint32_t(i * 255 / (n - 1));
        t.push_back(v << 16 | v << 8 | v);
    }
    return t;
}

TEST(BmpWriter, DepthFollowsTheScreen) {
    EXPECT_EQ(BmpDepthForScreen(1), 1);
    EXPECT_EQ(BmpDepthForScreen(2), 4);
    EXPECT_EQ(BmpDepthForScreen(4), 4);
    EXPECT_EQ(BmpDepthForScreen(8), 8);
    EXPECT_EQ(BmpDepthForScreen(16), 24);
    EXPECT_EQ(BmpDepthForScreen(24), 24);
    EXPECT_EQ(BmpDepthForScreen(32), 24);
}

TEST(BmpWriter, HeadersAndSizesOfEveryDepth) {
    struct Case {
        int depth;
        std::size_t bytes;
    };
    for (const Case c : {Case{1, 862}, Case{4, 2718}, Case{8, 6278}, Case{24, 15254}}) {
        SCOPED_TRACE(c.depth);
        const int w = 101, h = 50;
        std::vector<std::uint8_t> pixels(std::size_t(w) * h * 4, 0);
        BmpPicture p{w, h, c.depth, pixels.data(), std::size_t(w) * (c.depth == 24 ? 4 : 1), {}};
        if (c.depth <= 8) p.colours = Grey(c.depth);
        const auto file = EncodeBmp(p);
        ASSERT_EQ(file.size(), c.bytes);
        EXPECT_EQ(BmpFileBytes(w, c.depth, h), c.bytes);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(Le32(file, 2), c.bytes);
        const std::size_t table = c.depth <= 8 ? (std::size_t{4} << c.depth) : 0;
        EXPECT_EQ(Le32(file, 10), 54 + table);
        EXPECT_EQ(Le32(file, 14), 40u);
        EXPECT_EQ(Le32(file, 18), std::uint32_t(w));
        EXPECT_EQ(Le32(file, 22), std::uint32_t(h));
        EXPECT_EQ(Le16(file, 26), 1);
        EXPECT_EQ(Le16(file, 28), c.depth);
        EXPECT_EQ(Le32(file, 30), 0u);
        EXPECT_EQ(Le32(file, 34), c.bytes - 54 - table);
        EXPECT_EQ(Le32(file, 46), table / 4);
    }
}

TEST(BmpWriter, RowsBottomUpInBlueGreenRedAndPadded) {
    // 3 x 2: the top row red, green, blue; the bottom row white, black, grey.
    const std::uint32_t px[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                 0xFFFFFFFF, 0xFF000000, 0xFF808080};
    BmpPicture p{3, 2, 24, reinterpret_cast<const std::uint8_t*>(px), 12, {}};
    const auto f = EncodeBmp(p);
    ASSERT_EQ(f.size(), 54u + 2 * 12);  // 9 bytes padded to 12
    const std::vector<std::uint8_t> bottom(f.begin() + 54, f.begin() + 66);
    const std::vector<std::uint8_t> top(f.begin() + 66, f.end());
    EXPECT_EQ(bottom, (std::vector<std::uint8_t>{255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0}));
    EXPECT_EQ(top, (std::vector<std::uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0}));
}

TEST(BmpWriter, IndexedPixelsPackLeftmostFirstWithTheirTable) {
    const std::uint8_t one[10] = {1, 0, 1, 1, 0, 0, 0, 0, 1, 1};
    BmpPicture p1{10, 1, 1, one, 10, {0x000000, 0xFFFFFF}};
    const auto f1 = EncodeBmp(p1);
    ASSERT_EQ(f1.size(), 54u + 8 + 4);
    EXPECT_EQ(f1[54 + 4], 0xFF);  // white entry: blue, green, red, 0
    EXPECT_EQ(f1[54 + 7], 0);
    EXPECT_EQ(f1[62], 0b10110000);
    EXPECT_EQ(f1[63], 0b11000000);

    const std::uint8_t four[3] = {0x3, 0xC, 0xF};
    BmpPicture p4{3, 1, 4, four, 3, Grey(4)};
    const auto f4 = EncodeBmp(p4);
    ASSERT_EQ(f4.size(), 54u + 64 + 4);
    EXPECT_EQ(f4[118], 0x3C);
    EXPECT_EQ(f4[119], 0xF0);

    const std::uint32_t rgb = 0x123456;
    std::vector<std::uint32_t> table(256, 0);
    table[200] = rgb;
    const std::uint8_t eight[1] = {200};
    const auto f8 = EncodeBmp(BmpPicture{1, 1, 8, eight, 1, table});
    ASSERT_EQ(f8.size(), 54u + 1024 + 4);
    EXPECT_EQ(f8[54 + 800], 0x56);
    EXPECT_EQ(f8[54 + 801], 0x34);
    EXPECT_EQ(f8[54 + 802], 0x12);
    EXPECT_EQ(f8[54 + 1024], 200);
}

TEST(BmpWriter, PicturesTheFormatCannotHoldGiveNothing) {
    std::vector<std::uint8_t> px(64, 0);
    EXPECT_TRUE(EncodeBmp(BmpPicture{0, 4, 24, px.data(), 16, {}}).empty());
    EXPECT_TRUE(EncodeBmp(BmpPicture{4, -1, 24, px.data(), 16, {}}).empty());
    EXPECT_TRUE(EncodeBmp(BmpPicture{4, 4, 16, px.data(), 16, {}}).empty());
    EXPECT_TRUE(EncodeBmp(BmpPicture{4, 4, 24, nullptr, 16, {}}).empty());
    EXPECT_TRUE(EncodeBmp(BmpPicture{4, 4, 24, px.data(), 8, {}}).empty());      // stride too short
    EXPECT_TRUE(EncodeBmp(BmpPicture{4, 4, 4, px.data(), 4, Grey(1)}).empty());  // table size
    px[5] = 2;  // beyond a two-entry table
    EXPECT_TRUE(EncodeBmp(BmpPicture{4, 4, 1, px.data(), 4, Grey(1)}).empty());
    EXPECT_EQ(BmpFileBytes(100000, 24, 100000), 0u);  // beyond the 32-bit size fields
}

}  // namespace

// Windows bitmap files: file header, 40-byte information header, colour
// table (depths 1, 4 and 8) and bottom-up rows padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace printing {

// The depth a screenshot is saved with for a screen of `screenDepth` bits:
// 1, 4 and 8 up to those depths, 24 above.
int BmpDepthForScreen(int screenDepth);

// Pixels of one picture, top row first. For depth 24 every pixel is a
// 0xAARRGGBB word (alpha ignored) and `stride` counts bytes per row; for
// depths 1, 4 and 8 every pixel is one byte holding its colour-table index.
struct BmpPicture {
    int width = 0;
    int height = 0;
    int depth = 24;
    const std::uint8_t* pixels = nullptr;
    std::size_t stride = 0;
    std::vector<std::uint32_t> colours;  // 0x00RRGGBB, 2^depth entries for depths <= 8
};

// Bytes of one row on disk, padded to 4.
std::size_t BmpRowBytes(int width, int depth);
// Size of the whole file; 0 for a picture the format cannot hold.
std::size_t BmpFileBytes(int width, int depth, int height);

// The file's bytes; empty for a bad picture (size, depth, missing pixels, a
// colour table of the wrong length, an index beyond the table).
std::vector<std::uint8_t> EncodeBmp(const BmpPicture& picture);

// Writes the bytes to an open descriptor; false when not all were written.
bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes);

}  // namespace printing

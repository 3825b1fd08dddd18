#include "tiling.h"

#include <algorithm>

namespace mainframe {

TileLayout ComputeTiling(const TileRect& client, int barHeight) {
    constexpr int kSpectrumHeight = 300;
    // 340 = spectrum height + room for the toolbar row.
    const int lowerHeight = std::max(0, client.height - barHeight - 340);
    const int half = client.width / 2;
    TileLayout t;
    t.spectrum = {client.x, client.y, std::max(0, client.width - 3), kSpectrumHeight};
    t.curve = {client.x, client.y + kSpectrumHeight, half, lowerHeight};
    t.table = {client.x + half, client.y + kSpectrumHeight, half, lowerHeight};
    return t;
}

}  // namespace mainframe

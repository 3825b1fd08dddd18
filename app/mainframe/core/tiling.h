// Placement of the signal spectrum, raw-code curve and raw-code table windows
// by "显示窗口平铺": spectrum across the top, curve and table side by side
// below it, leaving room for the status display bar.
#pragma once

namespace mainframe {

struct TileRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const TileRect&) const = default;
};

struct TileLayout {
    TileRect spectrum;
    TileRect curve;
    TileRect table;
};

// client: the frame's client rectangle; barHeight: the status display bar's
// window height. Sizes never go below 0 on a small frame.
TileLayout ComputeTiling(const TileRect& client, int barHeight);

}  // namespace mainframe

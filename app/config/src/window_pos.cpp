#include "config/window_pos.h"

#include <cstdint>

#include "ini_values.h"

namespace cfg {

using namespace detail;

namespace {

constexpr const char* kSections[kPlacedWindowCount] = {
    "DockPageBar", "SignalPlotWnd", "BCDCurveWnd", "BCDTableWnd", "DealCurveWnd", "DealTableWnd",
};

// Key names as written; reading matches them without the blanks.
constexpr const char* kOpen = "open";
constexpr const char* kX = " x  ";
constexpr const char* kY = " y  ";
constexpr const char* kCx = " cx ";
constexpr const char* kCy = " cy ";

constexpr int kCoordLimit = 100000;

int Coord(const char* section, const char* key, int lo, const std::string& file) {
    return ReadInt(section, key, 0, lo, kCoordLimit, kWindowPosBuf, file);
}

}  // namespace

const char* PlacedWindowSection(PlacedWindow w) {
    return kSections[static_cast<std::size_t>(w)];
}

std::string WindowPosIniPath(const std::string& moduleDir) {
    return moduleDir + "/WindowPos.ini";
}

WindowPosConfig LoadWindowPos(const std::string& moduleDir) {
    const std::string f = WindowPosIniPath(moduleDir);
    WindowPosConfig c;
    for (std::size_t i = 0; i < kPlacedWindowCount; ++i) {
        const char* s = kSections[i];
        WindowPlacement& p = c.windows[i];
        p.open = ReadInt(s, kOpen, 0, INT32_MIN, INT32_MAX, kWindowPosBuf, f) != 0;
        p.x = Coord(s, kX, -kCoordLimit, f);
        p.y = Coord(s, kY, -kCoordLimit, f);
        p.cx = Coord(s, kCx, 0, f);
        p.cy = Coord(s, kCy, 0, f);
    }
    return c;
}

bool SaveWindowPos(const std::string& moduleDir, const WindowPosConfig& c) {
    const std::string f = WindowPosIniPath(moduleDir);
    bool ok = true;
    for (std::size_t i = 0; i < kPlacedWindowCount; ++i) {
        const char* s = kSections[i];
        const WindowPlacement& p = c.windows[i];
        const bool dockBar = i == static_cast<std::size_t>(PlacedWindow::DockPageBar);
        bool written = WriteInt(s, kOpen, p.open ? 1 : 0, f);
        // A closed window keeps its last geometry in the file; the status bar
        // always records its last known state.
        if (p.open || dockBar) {
            written = WriteInt(s, kX, p.x, f) && written;
            written = WriteInt(s, kY, p.y, f) && written;
            written = WriteInt(s, kCx, p.cx, f) && written;
            written = WriteInt(s, kCy, p.cy, f) && written;
        }
        if (!written) ReportNotWritten(f, s);
        ok = written && ok;
    }
    return ok;
}

}  // namespace cfg

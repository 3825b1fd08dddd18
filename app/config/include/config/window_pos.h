// Window placement kept in WindowPos.ini in the module directory: one section
// per window with "open" and the geometry keys " x  ", " y  ", " cx ", " cy "
// (handed to the profile layer with those blanks; names match without them).
#pragma once

#include <array>
#include <string>

namespace cfg {

enum class PlacedWindow {
    DockPageBar,    // status display bar
    SignalPlotWnd,  // signal spectrum
    BCDCurveWnd,    // raw-code curve
    BCDTableWnd,    // raw-code table
    DealCurveWnd,   // solved-parameter curve
    DealTableWnd,   // solved-parameter table
};
inline constexpr std::size_t kPlacedWindowCount = 6;

// Section name of the window ("DockPageBar", ...).
const char* PlacedWindowSection(PlacedWindow w);

// Frame client coordinates; all 0 by default.
struct WindowPlacement {
    bool open = false;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

struct WindowPosConfig {
    std::array<WindowPlacement, kPlacedWindowCount> windows{};
    WindowPlacement& operator[](PlacedWindow w) { return windows[static_cast<std::size_t>(w)]; }
    const WindowPlacement& operator[](PlacedWindow w) const {
        return windows[static_cast<std::size_t>(w)];
    }
};

// moduleDir + "/WindowPos.ini".
std::string WindowPosIniPath(const std::string& moduleDir);

// Geometry outside +-100000 (or a negative size) reads as 0.
WindowPosConfig LoadWindowPos(const std::string& moduleDir);

// DockPageBar: all five keys. Other windows: open=1 and the geometry when
// open, only open=0 when closed (the old geometry stays in the file). False,
// after a journal line per section, when the file could not be written.
bool SaveWindowPos(const std::string& moduleDir, const WindowPosConfig& c);

}  // namespace cfg

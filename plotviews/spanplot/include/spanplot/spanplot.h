// The frequency-scan plot window of each open card. The device library
// delivers no scan data, so the window shows its background. All exports
// run on the GUI thread and return nonzero for success.
#pragma once

#include <cstdint>

class QMdiArea;
class QWidget;

extern "C" {

// Creates the window of `card` in `parent`. A null or empty title becomes
// "【板卡<card>】-- 频域扫描图"; a title of blanks only becomes "频域扫描图".
// False for a card index not below the open cards (at most 8), a null parent
// or a card that already has its window.
std::int32_t BB_CreateRadioPlotWnd(std::uint32_t card, const char* title, QMdiArea* parent);
// The window of `card`, null when there is none (also after it was closed).
QWidget* BB_GetRadioPlotWnd(std::uint32_t card);
// (Re)starts the refresh timer; 0 ms becomes 1 ms, above INT_MAX ms it is
// INT_MAX. A timer that does not start shows "此窗口没有足够的计时器。".
std::int32_t BB_SetRadioPlotElapse(std::uint32_t card, std::uint32_t periodMs);
// Switches the gradual curve display on.
std::int32_t BB_EnableRadioPlotGradualCurve(std::uint32_t card);
}

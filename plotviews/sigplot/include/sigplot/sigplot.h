// The signal plot window of each open card: four live spectra and the
// constellation of the demodulator, polled from the device library on a
// timer. All exports run on the GUI thread and return nonzero for success.
#pragma once

#include <cstdint>

class QMdiArea;
class QWidget;

extern "C" {

// Creates the window of `card` in `parent`; a null or empty title becomes
// "信号频谱图". False with "当前系统中未发现基带设备。" for a card index not
// below the open cards (at most 8); false for a null parent or a card that
// already has its window.
std::int32_t BB_CreateSignalPlotWnd(std::uint32_t card, const char* title, QMdiArea* parent);
// The window of `card`, null when there is none (also after it was closed).
QWidget* BB_GetSignalPlotWnd(std::uint32_t card);
// Refresh period of the five plots; below 50 ms it is 50, above INT_MAX ms
// it is INT_MAX.
std::int32_t BB_SetSignalPlotElapse(std::uint32_t card, std::uint32_t periodMs);
// All four curves of every spectrum on, curve colour value 255 (red).
std::int32_t BB_EnableSignalPlotGradualCurve(std::uint32_t card);
// Empties the slot; with `close` nonzero also closes the window.
std::int32_t BB_DestroySignalPlotWnd(std::uint32_t card, std::int32_t close);
std::int32_t BB_SetWindowMaxSize(std::uint32_t card, std::int32_t width, std::int32_t height);
// Override of one plot: index 0 to 3 the spectra in the order 信号源频谱,
// 左旋频谱, 右旋频谱, 解调频谱, above 3 the vector plot. A centre or span of
// 0 Hz and a negative mode leave the card's value.
std::int32_t BB_SetSignalFreqMod(std::uint32_t card, std::uint32_t index, double centreHz,
                                 double spanHz, std::int32_t mode);

}  // extern "C"

// PCM raw-code plot windows of each open card: a code table, a code curve
// and a histogram of the demodulated frames. The caller feeds them with the
// frame descriptor and the frame bytes it gets from the device library; the
// windows draw on their own timer. Results are nonzero for success.
#pragma once

#include <cstdint>

class QMdiArea;
class QWidget;
struct DemChannelDescriptor;

extern "C" {

// GUI thread. kind 0 table, 1 curve, 2 histogram; `value` is handed to the
// window (curve and histogram: the word position in the minor frame they
// show first, 0 for the first word). A null or empty title becomes
// "【板卡%d】-- PCM原码表格", "...曲线" or "...直方图". False for a card not
// below the open cards (at most 8), a kind above 2, a null parent or a slot
// in use.
std::int32_t BB_CreatePcmPlotWnd(std::uint32_t card, std::uint32_t kind, std::uint32_t value,
                                 const char* title, QMdiArea* parent);
// GUI thread. Empties the slot; with `close` nonzero also closes the window.
std::int32_t BB_DestroyPcmPlotWnd(std::uint32_t card, std::uint32_t kind, std::int32_t close);
// GUI thread. The window, null when there is none (also after it closed).
QWidget* BB_GetPcmPlotWnd(std::uint32_t card, std::uint32_t kind);
// GUI thread. Refresh period; 0 becomes 1 ms, above INT_MAX ms it is INT_MAX.
std::int32_t BB_SetPcmPlotElapse(std::uint32_t card, std::uint32_t kind, std::uint32_t periodMs);
// Any thread (the device library's report thread). Frame layout of the data
// that follow; false for a null or unusable descriptor (the old one stays).
std::int32_t BB_SetDemFrameInfo(std::uint32_t card, std::uint32_t kind,
                                const DemChannelDescriptor* descriptor);
// Any thread. Appends frame bytes to the window's store, which keeps the
// newest whole major frames; false for an empty slot, null data or length 0.
std::int32_t BB_SendPcmFrameData(std::uint32_t card, std::uint32_t kind, const std::uint8_t* data,
                                 std::uint32_t length);

}  // extern "C"

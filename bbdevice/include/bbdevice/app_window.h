// What the device library needs to know of the application's main window:
// the card-in-use marker hangs off it, a second application asks it to close
// (window message WM_CLOSE with the card index) and another process may ask
// it to come to the front.
#pragma once

#include <cstdint>
#include <functional>

namespace bbdev {

inline constexpr std::uint32_t kWmClose = 0x0010;

// window: a plat::WindowHandle registered with plat::RegisterWindow by the application (may be
// null); raise: brings the window to the front (called on a library thread).
void SetApplicationWindow(void* window, std::function<void()> raise);

}  // namespace bbdev

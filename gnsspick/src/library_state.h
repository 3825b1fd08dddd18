// The library's one state and its lock, shared by the exports and the
// window's refresh.
#pragma once

#include <mutex>

#include "gnss_search.h"

namespace gnsspick {

std::mutex& LibraryLock();
GnssSearch& LibraryState();  // guarded by LibraryLock()

// The window's side, on the caller's (GUI) thread, called without the lock.
// The build without windows makes these do nothing.
void ShowSearchWindow(const char* title, void* parent);
void HideSearchWindow();

// Window message that tells the parent the window was closed.
inline constexpr unsigned kWindowClosedMessage = 1690;

}  // namespace gnsspick

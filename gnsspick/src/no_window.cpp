// Builds without Qt have no window; showing and hiding do nothing.
#include "library_state.h"

namespace gnsspick {

void ShowSearchWindow(const char*, void*) {}
void HideSearchWindow() {}

}  // namespace gnsspick

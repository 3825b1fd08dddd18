// Message boxes of the device library.
#pragma once

#include <string_view>

namespace bbdev {

// Shows an error box with the library's caption; returns the answer.
int ShowDeviceMessage(std::string_view text);

}  // namespace bbdev

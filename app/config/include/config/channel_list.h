// Channel lists stored as decimal numbers each followed by a comma ("1,2,").
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cfg {

// The values are channel or byte numbers of a full frame (1-based); the
// stored text is at most 2047 bytes, so it never holds more than 1024 entries.
inline constexpr std::size_t kMaxListEntries = 2048;
inline constexpr int kMaxListValue = 16777215;

// Collects the number before each comma; text after the last comma is
// ignored. An item that is not a plain decimal number (blanks around it are
// allowed), or is outside 1..kMaxListValue, is dropped. At most
// kMaxListEntries entries are kept.
std::vector<int> ParseChannelList(std::string_view text);

// "%d," per entry.
std::string FormatChannelList(std::span<const int> values);

}  // namespace cfg

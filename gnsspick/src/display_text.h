// The texts of the window's two tables, built from the display state. Plain
// C++ (UTF-8) so that they are tested without a display.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "gnss_search.h"

namespace gnsspick {

inline constexpr std::size_t kColumns = 8;
using TableRow = std::array<std::string, kColumns>;

// Column titles of the upper (satellites) and lower (channels) table.
const std::array<const char*, kColumns>& UpperHeaders(int layout);
const std::array<const char*, kColumns>& LowerHeaders(int layout);

// Rows of each table: 16 for the old layout (empty cells "--"), one per
// entry for the new one.
void UpperRows(const DisplayState& d, std::vector<TableRow>& rows);
void LowerRows(const DisplayState& d, std::vector<TableRow>& rows);

}  // namespace gnsspick

// Texts of the raw table: cell values by view mode, the time column, labels
// and the title line. Plain C++ so that they are tested without a display;
// every function writes into a caller's buffer and allocates nothing.
#pragma once

#include <rawviews/frame_records.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace rawgrid {

enum ViewMode : int { kHex = 0, kDecimal = 1, kPercent = 2, kVoltage = 3 };

// Longest text any formatter below produces, terminator included.
inline constexpr std::size_t kCellTextMax = 48;

// A word of `wordBytes` (1..4) bytes stored first byte most significant.
std::uint32_t ReadWord(const std::uint8_t* p, int wordBytes);

// Keeps the low `wordBits` bits; 0 or 32 and more leave the word as it is.
std::uint32_t MaskWord(std::uint32_t value, int wordBits);

// The cell text of a word in the given mode; returns its length.
std::size_t FormatCell(char* out, std::uint32_t value, int mode, int wordBytes,
                       double fullScaleVolts);

// "hh:mm:ss:mmm.t" from the binary-coded-decimal time tag (8 bytes).
std::size_t FormatTimeCode(char* out, const std::uint8_t* tag);

// "R%04d" and "F%d".
std::size_t FormatRowLabel(char* out, int row);
std::size_t FormatColumnLabel(char* out, int column);

// Window title without and with the frame description (UTF-8).
std::string BaseTitle(int stream);
std::string TitleText(int stream, const _FRAME_STRUCT_PARAM& frame);

}  // namespace rawgrid

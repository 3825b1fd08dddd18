// Reading single profile values through a fixed-size buffer, the way every
// key of the settings files is read, with a range check on numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cfg::detail {

// Buffer sizes of the settings sections.
inline constexpr std::size_t kNetBuf = 28;
inline constexpr std::size_t kSmallBuf = 10;
inline constexpr std::size_t kPathBuf = 1024;
inline constexpr std::size_t kBitErrorModeBuf = 260;
inline constexpr std::size_t kBitErrorBuf = 2048;
inline constexpr std::size_t kWindowPosBuf = 16;

// Leading blanks, an optional sign and decimal digits; text that is not a
// number reads as 0. Returns false when the number does not fit in 64 bits.
bool ParseLeadingInt(std::string_view text, long long& out);

// The key read as text (buffer bufSize) and converted; the default when the
// key is missing or the value lies outside lo..hi.
int ReadInt(std::string_view section, std::string_view key, int def, int lo, int hi,
            std::size_t bufSize, const std::string& file);

// A 32-bit field written as "%d": signed text gives its two's complement,
// unsigned text up to 4294967295 is taken as it stands; other values give
// the default.
std::uint32_t ReadU32(std::string_view section, std::string_view key, std::uint32_t def,
                      std::size_t bufSize, const std::string& file);

std::string ReadText(std::string_view section, std::string_view key, std::string_view def,
                     std::size_t bufSize, const std::string& file);

// Writers; each returns false when the file could not be written.
bool WriteInt(std::string_view section, std::string_view key, int value, const std::string& file);
bool WriteText(std::string_view section, std::string_view key, std::string_view value,
               const std::string& file);

// Tells the program's journal that a section could not be written, so that a
// lost setting does not go unnoticed when the caller has no one to ask.
void ReportNotWritten(const std::string& file, std::string_view section);

}  // namespace cfg::detail

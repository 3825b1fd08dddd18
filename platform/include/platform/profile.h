// Profile (INI) files with the semantics the configuration files were written
// for: names match ignoring ASCII case and surrounding blanks, a missing file,
// section or key yields the default, reading never creates anything. Files are
// GBK on disk and UTF-8 in the process; a write replaces the whole file
// atomically so a crash never leaves half a file behind.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

// The value (UTF-8) or `def` when the file, section or key is missing. The
// value is cut to bufSize - 1 bytes of its GBK form without splitting a
// character; bufSize 0 gives an empty string.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view def, std::size_t bufSize,
                                    const std::string& file);

// Leading decimal digits with an optional sign ("12abc" -> 12, "abc" -> 0);
// values beyond int wrap to their low 32 bits. `def` when the key is missing.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int def,
                         const std::string& file);

// Sets key = value, creating the file and the section when missing and keeping
// every other line. False when the file cannot be read or replaced.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& file);

// Writes the value with "%d".
bool WritePrivateProfileInt(std::string_view section, std::string_view key, int value,
                            const std::string& file);

}  // namespace plat

// Access parameter databases: read through the helper program
// talvora-mdbimport into an SQLite copy in the user's cache, keyed by the
// file's path, size and modification time. The Access file is never written.
#pragma once

#include <optional>
#include <string>

namespace prefs {

inline constexpr int kImportTimeLimitMs = 10000;

// "Standard Jet DB" or "Standard ACE DB" at offset 4.
bool IsAccessFile(const std::string& path);

// The SQLite copy of `mdbPath`, made now when there is none for this
// version of the file; nothing when the helper fails or takes too long.
std::optional<std::string> AccessCopy(const std::string& mdbPath);

}  // namespace prefs

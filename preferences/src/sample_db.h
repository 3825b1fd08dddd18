// The sample parameter database that describes the software card engine's
// frames under the default task, and its selection files.
#pragma once

#include <string>

namespace prefs {

inline constexpr const char* kSampleFileName = "示例参数库.mdb";

// Creates the sample database at `path` (which must not exist). False, with
// nothing left behind, when it cannot be written.
bool CreateSampleDatabase(const std::string& path, std::string* error);

// Writes the sample's three selection files into `dir`, each only when missing.
void WriteSampleSelections(const std::string& dir);

// The table definitions of a parameter database, every column in order.
std::string ParameterDatabaseSchema();

}  // namespace prefs

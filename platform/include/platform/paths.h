// Where the program's files live.
#pragma once

#include <string>

namespace plat {

// Directory of the running executable without a trailing slash; the
// environment variable TALVORA_HOME, or SetModuleDirectory, overrides it.
std::string ModuleDirectory();

// Overrides the module directory for the rest of the process (--home, tests).
// An empty string restores the default.
void SetModuleDirectory(std::string dir);

// Creates `path` and every missing parent. True when the directory exists
// afterwards.
bool CreateDirectoryPath(const std::string& path);

}  // namespace plat

// Helpers shared by the platform tests.
#pragma once

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "testsupport/temp_home.h"

namespace plat::test {

// A fresh directory removed again at the end of the test.
using TempDir = talvora::test::TempDir;

inline std::string ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// A name no other test process uses at the same time.
inline std::string UniqueName(const std::string& base) {
    static int counter = 0;
    return base + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

}  // namespace plat::test

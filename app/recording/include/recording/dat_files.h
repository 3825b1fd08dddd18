// Names, directories and times of recording files.
#pragma once

#include <recording/dat_header.h>

#include <cstdint>
#include <optional>
#include <string>

namespace recording {

// "%02d%02d%02d%02d%02d%02d": year modulo 100, month, day, hour, minute, second.
std::string TimeStamp(const HeaderTime& t);
HeaderTime LocalNow();

// <dir>/<stamp>解密前.dat and <dir>/<stamp>发送数据.dat; `suffix` > 0 adds
// "_<suffix>" before ".dat".
std::string BeforeDecryptionName(const std::string& dir, const std::string& stamp, int suffix = 0);
std::string SentDataName(const std::string& dir, const std::string& stamp, int suffix = 0);

// Creates `dir` and every missing directory above it; true when it exists
// as a directory afterwards.
bool CreateDirectories(const std::string& dir);

// Time of day (ms) of the first and the last record of a file.
struct FileTimes {
    double startMs = 0;
    double endMs = 0;
};
// None when the file cannot be read or holds less than one record after
// `dataOffset`. The tags are decoded by the description's 配时精度.
std::optional<FileTimes> ReadFileTimes(const std::string& path, std::uint64_t dataOffset,
                                       const ReplayInfo& info);

}  // namespace recording

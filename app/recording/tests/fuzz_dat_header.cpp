// Random bytes as a recording file: the header parser, the description
// check, the record count and the time-tag reader.
#include <recording/dat_files.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DemParam dem{};
    dem.字长 = 8;
    dem.子帧长 = 24;
    dem.副帧长 = 1;
    const recording::FileDescription d = recording::ParseHeader({data, size}, dem);
    if (!recording::DescriptionValid(d.info)) return 0;
    (void)recording::RecordCount(size, d.headerLength, d.info);
    static std::string path = [] {
        char name[] = "/tmp/talvora-fuzz-dat-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        (void)recording::ReadFileTimes(path, d.headerLength, d.info);
    }
    return 0;
}

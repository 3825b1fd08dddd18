// The .dem header reader and the replay geometry on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "dem_file_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReplayInfo info{};
    std::uint64_t records = 0;
    const auto check = bbdev::demfile::ParseHeader({data, size}, &info, &records);
    if (check == bbdev::demfile::HeaderCheck::Ok) {
        const auto g = bbdev::demfile::GeometryOf(info);
        if (g.valid && g.recordBytes == 0) __builtin_trap();
    }
    return 0;
}

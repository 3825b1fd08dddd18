// Any bytes through the list parser: no crash, every value in range, and the
// formatted result parses back to the same list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/channel_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto list = cfg::ParseChannelList(text);
    if (list.size() > cfg::kMaxListEntries) std::abort();
    for (int v : list)
        if (v < 1 || v > cfg::kMaxListValue) std::abort();
    if (cfg::ParseChannelList(cfg::FormatChannelList(list)) != list) std::abort();
    return 0;
}

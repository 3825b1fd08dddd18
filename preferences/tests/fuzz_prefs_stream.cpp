// The stream description parser on arbitrary text, and the layout built from
// whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "stream_file.h"

using namespace prefs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto r = ParseStreamDescription(std::string_view(reinterpret_cast<const char*>(data), size));
    if (auto* d = std::get_if<StreamDescription>(&r)) {
        FrameStructure f;
        f.wordBitsDb = 8;
        f.timeCodeWidth = d->timeCodeWidth;
        f.subframeLen = d->subframeLen;
        f.superframeLen = d->superframeLen;
        f.bitRate = d->bitRate;
        FrameLayout l = BuildLayout(f, d->specials);
        for (const SpecialFrameRecord& s : l.specials) {
            if (!s.solvable) continue;
            if (s.sync.size() != std::size_t(s.syncLen) || s.syncLen >= s.length) std::abort();
            for (std::int32_t p : s.bytePositions)
                if (p < 0 || p >= l.subframeRecordBytes) std::abort();
        }
        if (HandOffSize(f, l) > kHandOffMax) std::abort();
    } else if (std::get<StreamMalformed>(r).line < 1) {
        std::abort();
    }
    return 0;
}

// Parsers of the dialog's typed texts and of pseudo-random code files on
// arbitrary bytes: no crash, and whatever parses stays within its bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "task_checks.h"

using namespace taskbook;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto list = ParseChannelEntry(text, 131072)) {
        for (int c : *list)
            if (c < 1 || c > 131072) std::abort();
        ShowChannelList(*list, 8);
    }
    if (auto d = ParseTaskDate(text))
        if (d->month < 1 || d->month > 12 || d->day < 1 || d->day > 31) std::abort();
    if (auto t = ParseTaskTime(text))
        if (t->hour > 23 || t->minute > 59 || t->second > 59) std::abort();
    auto file = ParseCodeFile(text);
    if (file) {
        std::size_t bits = 0;
        for (const auto& g : file->groups) {
            if (g.empty() || g.size() > kMaxCodeLine) std::abort();
            bits += g.size();
        }
        if (bits != file->totalBits) std::abort();
    }
    CheckCodeFile(file, 1023, "f");
    return 0;
}

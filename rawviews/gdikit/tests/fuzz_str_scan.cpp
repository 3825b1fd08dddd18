// The scanners over any text: they must stop at the NUL and never overflow.
#include <gdikit/str_scan.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char* text = static_cast<char*>(std::malloc(size + 1));
    if (!text) return 0;
    std::memcpy(text, data, size);
    text[size] = '\0';
    const int length = static_cast<int>(std::strlen(text));
    for (int pass = 0; pass < 2; ++pass) {
        int at = 0;
        for (int guard = 0; guard <= length + 1; ++guard) {
            const int before = at;
            if (pass == 0) {
                if (StrToInt(text, &at) < 0) std::abort();
            } else {
                const float v = StrToFloat(text, &at);
                if (!(v >= 0.0f)) std::abort();
            }
            if (at > length || at < before) std::abort();
            if (at == before) break;
        }
    }
    std::free(text);
    return 0;
}

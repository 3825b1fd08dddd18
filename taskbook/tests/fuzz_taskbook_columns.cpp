// Column decoders on arbitrary row texts: no crash, no read past a buffer,
// and whatever decodes re-encodes to a text that decodes the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "columns.h"

using namespace taskbook;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const LabelList* list : AllLabelLists()) {
        std::uint32_t code = DecodeLabel(*list, text);
        if (DecodeLabel(*list, EncodeLabel(*list, code)) != code) std::abort();
    }
    DecodeYesNo(text);

    DayTime t = DecodeDayTime(text);
    if (auto dt = ParseDateTime(text); dt && t.day != 0) {
        DayTime again = DecodeDayTime(EncodeDayTime(t, dt->year));
        if (std::memcmp(&again, &t, sizeof t) != 0) std::abort();
    }

    if (auto list = ParseChannelList(text)) {
        auto again = ParseChannelList(FormatChannelList(*list));
        if (!again || *again != *list) std::abort();
    }
    char lists[512];
    CopyChannelList(text, lists, sizeof lists);
    if (lists[sizeof lists - 1] != '\0') std::abort();
    char small[7];
    CopyText(text, small, sizeof small);

    if (auto h = ParseHex(text))
        if (ParseHex(FormatHex(*h)) != h) std::abort();
    ParseInteger(text);
    ParseReal(text);
    return 0;
}

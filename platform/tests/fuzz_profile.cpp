// Fuzzes the profile text parser and editor: arbitrary file bytes, names
// taken from the input. Setting a key must make exactly that value readable.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../src/profile_text.h"
#include "platform/codepage.h"

using namespace plat;
using namespace plat::profile_detail;

namespace {

// Names as the public API hands them over: valid GBK, no line breaks.
std::string Name(std::string_view raw) {
    return Utf8ToGbk(GbkToUtf8(raw));
}

bool Writable(std::string_view section, std::string_view key) {
    auto bad = [](std::string_view s) { return s.find_first_of("\r\n") != s.npos; };
    std::size_t first = key.find_first_not_of(" \t\v\f");
    return !bad(section) && !bad(key) && key.find('=') == key.npos &&
           (first == key.npos || key[first] != '[');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t sLen = size > 0 ? data[0] % 12 : 0;
    std::size_t kLen = size > 1 ? data[1] % 12 : 0;
    std::string_view rest = input.substr(std::min<std::size_t>(2, size));
    std::string section = Name(rest.substr(0, sLen));
    std::string key = Name(rest.substr(std::min(sLen, rest.size()), kLen));
    std::string_view text = rest;

    auto lines = ParseProfile(text);
    for (const auto& l : lines)
        if (l.begin > l.contentEnd || l.contentEnd > l.end || l.end > text.size()) std::abort();

    for (std::string_view s : {std::string_view(section), std::string_view("Sec")}) {
        auto found = FindValue(text, s, key);
        if (found) (void)GbkToUtf8(CutGbk(*found, found->size() / 2));
        (void)ParseProfileInt(found.value_or(text.substr(0, 24)));
        if (!Writable(s, key)) continue;
        std::string edited = SetValue(text, s, key, "v1");
        auto back = FindValue(edited, s, key);
        if (!back || *back != "v1") std::abort();
        if (ParseProfile(edited).size() < lines.size()) std::abort();  // no line lost
    }
    return 0;
}

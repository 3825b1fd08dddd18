#include "config/channel_list.h"

#include <cstdio>

namespace cfg {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A plain decimal number with optional blanks around it; false for anything
// else (signs, junk, empty, values beyond kMaxListValue).
bool ParseItem(std::string_view item, int& out) {
    while (!item.empty() && IsBlank(item.front())) item.remove_prefix(1);
    while (!item.empty() && IsBlank(item.back())) item.remove_suffix(1);
    if (item.empty()) return false;
    long value = 0;
    for (char c : item) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > kMaxListValue) return false;
    }
    if (value < 1) return false;
    out = static_cast<int>(value);
    return true;
}

}  // namespace

std::vector<int> ParseChannelList(std::string_view text) {
    std::vector<int> out;
    std::size_t start = 0;
    while (out.size() < kMaxListEntries) {
        const std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) break;  // text after the last comma
        int value = 0;
        if (ParseItem(text.substr(start, comma - start), value)) out.push_back(value);
        start = comma + 1;
    }
    return out;
}

std::string FormatChannelList(std::span<const int> values) {
    std::string out;
    out.reserve(values.size() * 4);
    char buf[16];
    for (int v : values) {
        std::snprintf(buf, sizeof buf, "%d,", v);
        out += buf;
    }
    return out;
}

}  // namespace cfg

#include <stats/bit_error_lists.h>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace stats {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A plain decimal number of at least 1 (blanks around it allowed); 0 for
// anything else. Values past 2^40 saturate: they are beyond every frame.
std::uint64_t ItemValue(std::string_view item) {
    item = Trim(item);
    if (item.empty()) return 0;
    std::uint64_t v = 0;
    for (char c : item) {
        if (c < '0' || c > '9') return 0;
        v = std::min<std::uint64_t>(v * 10 + std::uint64_t(c - '0'), std::uint64_t{1} << 40);
    }
    return v;
}

// The items of a comma-separated text. The item after a trailing comma (or
// a text of blanks only) is no item; every other item is handed to `each`,
// which stops the walk by returning false.
template <class Each>
bool ForEachItem(std::string_view text, Each&& each) {
    text = Trim(text);
    if (text.empty()) return true;
    if (text.back() == ',') text.remove_suffix(1);
    for (;;) {
        const std::size_t comma = text.find(',');
        if (!each(text.substr(0, comma))) return false;
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

// Appends the byte numbers of channels first...last; false when they would
// pass the capacity or the largest byte number.
bool AppendChannelBytes(std::vector<int>& out, std::uint64_t first, std::uint64_t last,
                        std::uint32_t wordBytes) {
    const std::uint64_t b = wordBytes;
    if (b == 0 || last < first) return true;
    if ((last - first + 1) * b > kExclusionCapacity - out.size()) return false;
    if (last * b > std::uint64_t{INT_MAX}) return false;
    for (std::uint64_t c = first; c <= last; ++c)
        for (std::uint64_t k = 1; k <= b; ++k) out.push_back(int(b * (c - 1) + k));
    return true;
}

}  // namespace

ListResult BuildRangeList(long long start, long long end, const ChannelGeometry& g) {
    const long long channels = static_cast<long long>(g.Channels());
    ListResult r;
    if (end < start) r.error += std::string(kStartAboveEndText) + "\n";
    if (start <= 0) r.error += std::string(kStartTooLowText) + "\n";
    if (start > channels) r.error += std::string(kStartTooHighText) + "\n";
    if (end <= 0) r.error += std::string(kEndTooLowText) + "\n";
    if (end > channels) r.error += std::string(kEndTooHighText) + "\n";
    if (start >= 1 && end <= channels && end - start + 1 >= channels)
        r.error += std::string(kAllChannelsText) + "\n";
    if (!r.ok()) return r;
    if (!AppendChannelBytes(r.bytes, std::uint64_t(start), std::uint64_t(end), g.wordBytes)) {
        r.bytes.clear();
        r.error = kListOverflowText;
    }
    return r;
}

ListResult BuildManualList(std::string_view text, const ChannelGeometry& g) {
    const std::uint64_t channels = g.Channels();
    std::vector<std::uint64_t> chosen;
    ListResult r;
    const bool inRange = ForEachItem(text, [&](std::string_view item) {
        const std::uint64_t c = ItemValue(item);
        if (c < 1 || c > channels) return false;
        chosen.push_back(c);
        return true;
    });
    if (!inRange) {
        r.error = kManualOutOfRangeText;
        return r;
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    if (chosen.empty()) {
        r.error = kNoChannelText;
        return r;
    }
    if (chosen.size() * std::uint64_t{g.wordBytes} > kExclusionCapacity) {
        r.error = kListOverflowText;
        return r;
    }
    r.bytes.reserve(chosen.size() * g.wordBytes);
    for (std::uint64_t c : chosen) {
        if (!AppendChannelBytes(r.bytes, c, c, g.wordBytes)) {
            r.bytes.clear();
            r.error = kListOverflowText;
            return r;
        }
    }
    return r;
}

DeriveResult DeriveFullFrameText(std::string_view firstSubframe, const ChannelGeometry& g) {
    DeriveResult r;
    if (g.subframes == 1) {
        r.error = kSingleSubframeText;
        return r;
    }
    if (Trim(firstSubframe).empty()) {
        r.error = kDeriveEmptyText;
        return r;
    }
    std::vector<std::uint64_t> entered;
    const bool inSubframe = ForEachItem(firstSubframe, [&](std::string_view item) {
        const std::uint64_t x = ItemValue(item);
        if (x < 1 || x > g.subframeWords) return false;
        entered.push_back(x);
        return true;
    });
    if (!inSubframe) {
        r.error = kDeriveTooLongText;
        return r;
    }
    char buf[32];
    for (std::uint64_t s = 0; s < g.subframes; ++s) {
        for (std::uint64_t x : entered) {
            std::snprintf(buf, sizeof buf, "%llu,",
                          static_cast<unsigned long long>(s * g.subframeWords + x));
            r.text += buf;
        }
    }
    return r;
}

void NormaliseList(std::vector<int>& bytes) {
    std::erase_if(bytes, [](int b) { return b < 1; });
    std::sort(bytes.begin(), bytes.end());
    bytes.erase(std::unique(bytes.begin(), bytes.end()), bytes.end());
}

}  // namespace stats

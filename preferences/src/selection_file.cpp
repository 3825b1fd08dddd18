#include "selection_file.h"

#include <platform/codepage.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace prefs {
namespace {

// The 15-byte field a name is stored in, up to its first NUL.
std::string NameKey(const std::string& utf8Name) {
    std::string gbk = plat::Utf8ToGbk(utf8Name);
    if (gbk.size() > kSelectionNameBytes) gbk.resize(kSelectionNameBytes);
    if (auto nul = gbk.find('\0'); nul != std::string::npos) gbk.resize(nul);
    return gbk;
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

}  // namespace

std::vector<SelectionRecord> ParseSelectionFile(std::span<const std::uint8_t> bytes) {
    std::vector<SelectionRecord> out;
    if (bytes.size() > kSelectionReadLimit) bytes = bytes.first(kSelectionReadLimit);
    if (bytes.size() < 16) return out;
    const std::uint32_t count = std::min(ReadLe32(bytes.data()), kSelectionMaxRecords);
    const std::size_t present = bytes.size() / 16 - 1;
    const std::size_t n = std::min<std::size_t>(count, present);
    out.reserve(n);
    for (std::size_t i = 1; i <= n; ++i) {
        const std::uint8_t* rec = bytes.data() + 16 * i;
        const std::size_t len = strnlen(reinterpret_cast<const char*>(rec), kSelectionNameBytes);
        out.push_back({std::string(reinterpret_cast<const char*>(rec), len), rec[15]});
    }
    return out;
}

std::vector<std::uint8_t> FormatSelectionFile(const std::vector<ParamRecord>& records) {
    const std::size_t n = std::min<std::size_t>(records.size(), kSelectionMaxRecords);
    std::vector<std::uint8_t> out((n + 1) * 16, 0);
    out[0] = std::uint8_t(n);
    out[1] = std::uint8_t(n >> 8);
    for (std::size_t i = 0; i < n; ++i) {
        const ParamRecord& r = records[i];
        std::uint8_t* rec = out.data() + 16 * (i + 1);
        const std::string key = NameKey(r.name);
        std::memcpy(rec, key.data(), key.size());
        std::uint8_t flags = 0;
        if (r.nSelected) flags |= kFlagAny;
        if (r.nSelStripe) flags |= kFlagStripe;
        if (r.nSelCurve) flags |= kFlagCurve;
        if (r.nSelTable) flags |= kFlagTable;
        if (r.nSelReply) flags |= kFlagReply;
        rec[15] = flags;
    }
    return out;
}

void ApplySelection(const std::vector<SelectionRecord>& selection,
                    std::vector<ParamRecord>& records) {
    // Records of each name field in file order; each parameter takes the next.
    std::map<std::string, std::vector<std::uint8_t>> byKey;
    for (const SelectionRecord& s : selection) byKey[s.name].push_back(s.flags);
    std::map<std::string, std::size_t> used;
    for (ParamRecord& r : records) {
        const std::string key = NameKey(r.name);
        auto it = byKey.find(key);
        if (it == byKey.end()) continue;
        std::size_t& k = used[key];
        if (k >= it->second.size()) continue;
        const std::uint8_t flags = it->second[k++];
        if (!(flags & kFlagAny)) continue;
        r.nSelStripe = flags & kFlagStripe ? 1 : 0;
        r.nSelCurve = flags & kFlagCurve ? 1 : 0;
        r.nSelTable = flags & kFlagTable ? 1 : 0;
        r.nSelReply = flags & kFlagReply ? 1 : 0;
        r.nSelected = r.nSelStripe | r.nSelCurve | r.nSelTable | r.nSelReply;
    }
}

}  // namespace prefs

#include "profile_text.h"

#include <cstdint>

namespace plat::profile_detail {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Bytes taken by the character at s[i].
std::size_t CharLength(std::string_view s, std::size_t i) {
    auto lead = static_cast<unsigned char>(s[i]);
    if (lead >= 0x81 && lead <= 0xFE && i + 1 < s.size()) {
        auto trail = static_cast<unsigned char>(s[i + 1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return 2;
    }
    return 1;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view StripQuotes(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

ProfileLine Classify(std::string_view text, std::size_t begin, std::size_t contentEnd) {
    ProfileLine line;
    line.begin = begin;
    line.contentEnd = contentEnd;
    std::string_view content = Trim(text.substr(begin, contentEnd - begin));
    if (content.empty()) return line;
    if (content.front() == '[') {
        // The name runs to the last ']' that is a character of its own.
        std::size_t close = std::string_view::npos;
        for (std::size_t i = 1; i < content.size(); i += CharLength(content, i))
            if (content[i] == ']') close = i;
        if (close != std::string_view::npos) {
            line.kind = ProfileLine::Kind::Section;
            line.name = Trim(content.substr(1, close - 1));
            return line;
        }
    }
    // Lines without '=' (comments among them) are kept but never match a key.
    // '=' (0x3D) is never a trail byte, so a plain search is safe.
    std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) return line;
    line.kind = ProfileLine::Kind::Key;
    line.name = Trim(content.substr(0, eq));
    line.value = StripQuotes(Trim(content.substr(eq + 1)));
    return line;
}

}  // namespace

std::vector<ProfileLine> ParseProfile(std::string_view text) {
    std::vector<ProfileLine> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        std::size_t contentEnd = nl == std::string_view::npos ? text.size() : nl;
        if (contentEnd > pos && text[contentEnd - 1] == '\r') --contentEnd;
        ProfileLine line = Classify(text, pos, contentEnd);
        line.end = end;
        lines.push_back(line);
        pos = end;
    }
    return lines;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    std::size_t i = 0;
    while (i < a.size()) {
        std::size_t n = CharLength(a, i);
        if (n != CharLength(b, i)) return false;
        if (n == 1) {
            if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
        } else if (a.substr(i, n) != b.substr(i, n)) {
            return false;
        }
        i += n;
    }
    return true;
}

namespace {

// Index range [first, last) of the lines of the first matching section,
// header excluded; nullopt when the section is missing.
struct SectionRange {
    std::size_t header, first, last;
};

std::optional<SectionRange> FindSection(const std::vector<ProfileLine>& lines,
                                        std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != ProfileLine::Kind::Section || !NamesEqual(lines[i].name, section))
            continue;
        std::size_t j = i + 1;
        while (j < lines.size() && lines[j].kind != ProfileLine::Kind::Section) ++j;
        return SectionRange{i, i + 1, j};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    section = Trim(section);
    key = Trim(key);
    auto lines = ParseProfile(text);
    auto range = FindSection(lines, section);
    if (!range) return std::nullopt;
    for (std::size_t i = range->first; i < range->last; ++i)
        if (lines[i].kind == ProfileLine::Kind::Key && NamesEqual(lines[i].name, key))
            return lines[i].value;
    return std::nullopt;
}

std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
    section = Trim(section);
    // A new key line keeps the blanks the caller wrote around the name (some
    // files are written with " x  " and read back as "x"); matching ignores them.
    const std::string_view spelledKey = key;
    key = Trim(key);
    auto lines = ParseProfile(text);
    // New lines follow the file's own line-break convention.
    const bool crlf = text.empty() || text.find("\r\n") != std::string_view::npos;
    const std::string_view br = crlf ? "\r\n" : "\n";

    auto endsWithBreak = [&](std::size_t i) { return text[lines[i].end - 1] == '\n'; };
    auto lineWithBreak = [&](std::size_t i) {
        std::string s(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
        if (!endsWithBreak(i)) s += s.back() == '\r' ? "\n" : br;  // the last line may lack one
        return s;
    };
    auto keyLine = [&](std::string_view name) {
        std::string s(name);
        s += '=';
        s += value;
        s += br;
        return s;
    };

    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    auto range = FindSection(lines, section);
    if (!range) {
        out.assign(text);
        if (!lines.empty() && !endsWithBreak(lines.size() - 1))
            out += out.back() == '\r' ? "\n" : br;
        out += '[';
        out += section;
        out += ']';
        out += br;
        out += keyLine(spelledKey);
        return out;
    }

    std::size_t existing = lines.size();
    std::size_t lastKey = range->header;
    for (std::size_t i = range->first; i < range->last; ++i) {
        if (lines[i].kind != ProfileLine::Kind::Key) continue;
        if (NamesEqual(lines[i].name, key)) {
            existing = i;
            break;
        }
        lastKey = i;
    }

    out.append(text.substr(0, lines[existing == lines.size() ? lastKey : existing].begin));
    if (existing != lines.size()) {
        // Replace the line, keeping the key as it was spelled, blanks included.
        const std::string_view raw =
            text.substr(lines[existing].begin, lines[existing].end - lines[existing].begin);
        out += keyLine(raw.substr(0, raw.find('=')));
        out.append(text.substr(lines[existing].end));
    } else {
        out += lineWithBreak(lastKey);
        out += keyLine(spelledKey);
        out.append(text.substr(lines[lastKey].end));
    }
    return out;
}

std::string_view CutGbk(std::string_view text, std::size_t maxBytes) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t n = CharLength(text, i);
        if (i + n > maxBytes) break;
        i += n;
    }
    return text.substr(0, i);
}

int ParseProfileInt(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        v = v * 10u + static_cast<std::uint32_t>(c - '0');
    }
    if (negative) v = 0u - v;
    return static_cast<int>(v);
}

}  // namespace plat::profile_detail

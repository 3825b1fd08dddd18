#include "stream_file.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace prefs {
namespace {

struct Line {
    std::string_view text;
    int number;
};

bool IsRunChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.';
}

bool IsHexChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The leading run of characters that count; the rest (a comment) is ignored.
std::string_view LeadingRun(std::string_view s) {
    std::size_t n = 0;
    while (n < s.size() && IsRunChar(s[n])) ++n;
    return s.substr(0, n);
}

// A whole run of decimal digits that fits an int.
std::optional<std::int64_t> Integer(std::string_view run) {
    if (run.empty()) return std::nullopt;
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(run.data(), run.data() + run.size(), v);
    if (ec != std::errc{} || end != run.data() + run.size() || v < 0 || v > INT_MAX)
        return std::nullopt;
    return v;
}

std::optional<double> Real(std::string_view run) {
    if (run.empty()) return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(run.data(), run.data() + run.size(), v);
    if (ec != std::errc{} || end != run.data() + run.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Blank-separated tokens, each read by its own leading run.
std::optional<std::vector<std::int64_t>> IntegerList(std::string_view s, std::size_t count) {
    std::vector<std::int64_t> out;
    while (out.size() < count) {
        while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
        if (s.empty()) return std::nullopt;
        std::size_t end = s.find(' ');
        auto v = Integer(LeadingRun(s.substr(0, end)));
        if (!v) return std::nullopt;
        out.push_back(*v);
        s = end == std::string_view::npos ? std::string_view{} : s.substr(end);
    }
    return out;
}

class Reader {
public:
    explicit Reader(std::vector<Line> lines) : lines_(std::move(lines)) {}
    // The next non-empty line, or null when the file has ended.
    const Line* Next() { return pos_ < lines_.size() ? &lines_[pos_++] : nullptr; }
    int MissingLine() const { return lines_.empty() ? 1 : lines_.back().number + 1; }

private:
    std::vector<Line> lines_;
    std::size_t pos_ = 0;
};

}  // namespace

std::variant<StreamDescription, StreamMalformed> ParseStreamDescription(std::string_view text) {
    std::vector<Line> lines;
    int number = 0;
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kMaxStreamLineChars) line = line.substr(0, kMaxStreamLineChars);
        if (!line.empty()) lines.push_back({line, number});
    }
    Reader r(std::move(lines));
    int bad = 0;
    auto integer = [&](std::int64_t& out) {
        const Line* l = r.Next();
        if (!l) return bad = r.MissingLine(), false;
        auto v = Integer(LeadingRun(l->text));
        if (!v) return bad = l->number, false;
        out = *v;
        return true;
    };
    auto real = [&](double& out) {
        const Line* l = r.Next();
        if (!l) return bad = r.MissingLine(), false;
        auto v = Real(LeadingRun(l->text));
        if (!v) return bad = l->number, false;
        out = *v;
        return true;
    };
    auto word = [&](std::string& out) {
        const Line* l = r.Next();
        if (!l) return bad = r.MissingLine(), false;
        out = std::string(LeadingRun(l->text));
        return true;
    };
    auto list = [&](std::size_t count, std::vector<std::int64_t>& out) {
        const Line* l = r.Next();
        if (!l) return bad = r.MissingLine(), false;
        auto v = IntegerList(l->text, count);
        if (!v) return bad = l->number, false;
        out = std::move(*v);
        return true;
    };

    StreamDescription d;
    std::int64_t superCount = 0, specialCount = 0;
    std::vector<std::int64_t> columns;
    if (!integer(d.timeCodeWidth) || !integer(d.subframeLen) || !integer(d.bitRate) ||
        !real(d.subframePeriod) || !integer(d.syncBytes) || !word(d.syncCode) ||
        !integer(d.superframeLen) || !real(d.superframePeriod) || !integer(d.superSyncLen) ||
        !word(d.superSyncCode))
        return StreamMalformed{bad};
    {
        const Line* l = r.Next();
        if (!l) return StreamMalformed{r.MissingLine()};
        auto v = Integer(LeadingRun(l->text));
        if (!v || *v > kSuperframeColumns) return StreamMalformed{l->number};
        superCount = *v;
    }
    if (!list(std::size_t(superCount), columns)) return StreamMalformed{bad};
    for (std::size_t k = 0; k < columns.size(); ++k) d.superColumns[k] = columns[k];
    if (!integer(specialCount)) return StreamMalformed{bad};
    for (std::int64_t g = 0; g < specialCount; ++g) {
        SpecialDescription s;
        std::int64_t carrying = 0;
        std::string sync;
        if (!integer(s.length) || !real(s.period) || !integer(s.syncLen))
            return StreamMalformed{bad};
        {
            const Line* l = r.Next();
            if (!l) return StreamMalformed{r.MissingLine()};
            for (char c : l->text) {
                if (!IsHexChar(c)) break;
                s.syncHex += c >= 'A' && c <= 'F' ? char(c - 'A' + 'a') : c;
            }
        }
        if (!integer(carrying)) return StreamMalformed{bad};
        // More positions than a line can hold cannot be there.
        if (carrying > std::int64_t(kMaxStreamLineChars)) {
            const Line* l = r.Next();
            return StreamMalformed{l ? l->number : r.MissingLine()};
        }
        std::vector<std::int64_t> positions;
        if (!list(std::size_t(carrying), positions)) return StreamMalformed{bad};
        for (std::int64_t p : positions)
            if (p > 0) s.wordPositions.push_back(p);
        if (!integer(s.orderFlag)) return StreamMalformed{bad};
        d.specials.push_back(std::move(s));
    }
    return d;
}

}  // namespace prefs

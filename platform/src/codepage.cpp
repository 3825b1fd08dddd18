// UTF-8 <-> GBK through iconv, one cached converter per thread and direction.
#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace plat {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence starting at s[0], or 1 when it is malformed,
// so that a bad sequence is skipped as a whole and nothing after it is lost.
std::size_t Utf8SequenceLength(const unsigned char* s, std::size_t left) {
    std::size_t n = 1;
    if (s[0] >= 0xC2 && s[0] <= 0xDF)
        n = 2;
    else if (s[0] >= 0xE0 && s[0] <= 0xEF)
        n = 3;
    else if (s[0] >= 0xF0 && s[0] <= 0xF4)
        n = 4;
    if (n > left) return 1;
    for (std::size_t i = 1; i < n; ++i)
        if ((s[i] & 0xC0) != 0x80) return 1;
    return n;
}

// A GBK lead byte with a valid trail byte forms one (unmapped) character.
std::size_t GbkSequenceLength(const unsigned char* s, std::size_t left) {
    if (left >= 2 && s[0] >= 0x81 && s[0] <= 0xFE && s[1] >= 0x40 && s[1] <= 0xFE && s[1] != 0x7F)
        return 2;
    return 1;
}

std::string Convert(const Converter& conv, std::string_view in, bool fromUtf8) {
    std::string out;
    if (in.empty()) return out;
    if (!conv.ok()) return std::string(in);
    iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t used = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        std::size_t r = iconv(conv.get(), &src, &srcLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL: replace the offending character and go on.
        const auto* s = reinterpret_cast<const unsigned char*>(src);
        std::size_t skip =
            fromUtf8 ? Utf8SequenceLength(s, srcLeft) : GbkSequenceLength(s, srcLeft);
        if (errno == EINVAL) skip = srcLeft;  // truncated sequence at the end
        src += skip;
        srcLeft -= skip;
        if (used + 1 > out.size()) out.resize(out.size() * 2);
        out[used++] = '?';
        iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state (none for these encodings, but harmless).
    out.resize(used);
    return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    thread_local Converter conv("GBK", "UTF-8");
    return Convert(conv, utf8, true);
}

std::string GbkToUtf8(std::string_view gbk) {
    thread_local Converter conv("UTF-8", "GBK");
    return Convert(conv, gbk, false);
}

}  // namespace plat

#include <histview/hist_data.h>
#include <platform/paths.h>
#include <platform/profile.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace histview {

namespace {

constexpr const char* kSection = "HISTOGRAM_CHANNEL";
constexpr std::size_t kInitialBytes = 64 * 1024;

int IntOr(const std::string& text, int def) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || v < INT_MIN || v > INT_MAX) return def;
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0' ? static_cast<int>(v) : def;
}

std::string Key(int k) {
    char key[16];
    std::snprintf(key, sizeof key, "CHANNEL%02d", k);
    return key;
}

}  // namespace

std::string HistogramSettingsPath() {
    return plat::ModuleDirectory() + "/HistogramChannel.ini";
}

HistogramSettings LoadHistogramSettings(const std::string& file) {
    HistogramSettings s;
    for (int k = 0; k < kChannels; ++k)
        s.channel[k] =
            IntOr(plat::GetPrivateProfileString(kSection, Key(k + 1), "", 64, file), k + 1);
    return s;
}

bool SaveHistogramSettings(const std::string& file, const HistogramSettings& s) {
    bool ok = true;
    for (int k = 0; k < kChannels; ++k)
        ok = plat::WritePrivateProfileInt(kSection, Key(k + 1), s.channel[k], file) && ok;
    return ok;
}

std::size_t HistFrameBytes(const _FRAME_STRUCT_PARAM& f) {
    if (f.nWordsPerSubframe == 0 || f.nSubframes == 0 || f.nWordBytes == 0) return 0;
    const std::size_t record = std::size_t{f.nWordsPerSubframe} * f.nWordBytes + f.nTimeBytes;
    const std::size_t total = record * f.nSubframes;
    return total <= kMaxFrameBytes ? total : 0;
}

std::uint32_t AssembleWord(const std::uint8_t* p, int bytes, int byteOrder) {
    std::uint32_t v = 0;
    if (byteOrder == 0) {
        for (int i = bytes; i-- > 0;) v = (v << 8) | p[i];
    } else {
        for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    }
    return v;
}

double BarRatio(std::uint32_t value, int bits) {
    if (bits <= 0 || bits > 32) return -1.0;
    const double full = double((std::uint64_t{1} << bits) - 1);
    return std::min(1.0, double(value) / full);
}

std::string HexLabel(std::uint32_t value, int wordBytes) {
    char format[16], text[32];
    std::snprintf(format, sizeof format, "%%0%dX", 2 * std::clamp(wordBytes, 1, 4));
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string PercentLabel(double ratio) {
    char text[32];
    std::snprintf(text, sizeof text, "%4.2f%%", ratio * 100.0);
    return text;
}

std::string NumberLabel(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%4.3f", value);
    return text;
}

HistStore::HistStore() {
    buffer_.reset(new (std::nothrow) std::uint8_t[kInitialBytes]);
    capacity_ = buffer_ ? kInitialBytes : 0;
}

int HistStore::SetData(const _FRAME_STRUCT_PARAM* frame, const std::uint8_t* data) {
    if (!frame || !data) return 0;
    const _FRAME_STRUCT_PARAM in = *frame;
    const std::size_t bytes = HistFrameBytes(in);
    if (bytes == 0) return 0;
    std::lock_guard lock(mutex_);
    if (bytes > capacity_) {
        std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[bytes]);
        if (!bigger) return 0;
        buffer_ = std::move(bigger);
        capacity_ = bytes;
    }
    std::memcpy(buffer_.get(), data, bytes);
    shape_ = in;
    hasData_ = true;
    ++version_;
    return 1;
}

void HistStore::Read(const HistogramSettings& s, HistSnapshot& out) const {
    std::lock_guard lock(mutex_);
    out.hasData = hasData_;
    out.shape = shape_;
    out.version = version_;
    out.rows = 0;
    out.bars.clear();
    out.frameCode.clear();
    if (!hasData_) return;
    const _FRAME_STRUCT_PARAM& f = shape_;
    const int words = f.nWordsPerSubframe, wordBytes = f.nWordBytes;
    const int readBytes = std::min(wordBytes, 4);
    const std::size_t record = std::size_t(words) * wordBytes + f.nTimeBytes;
    const bool whole = f.nShowWholeFrame != 0;
    out.rows = whole ? 1 : std::min<int>(f.nSubframes, kMaxRows);
    out.bars.resize(std::size_t(out.rows) * kChannels);
    for (int r = 0; r < out.rows; ++r) {
        for (int k = 0; k < kChannels; ++k) {
            const long long p = s.channel[k] - 1LL;
            const long long row = whole ? p / words : r, word = whole ? p % words : p;
            HistSnapshot::Bar& bar = out.bars[std::size_t(r) * kChannels + k];
            bar.valid = p >= 0 && word < words && row < f.nSubframes;
            if (!bar.valid) continue;
            const std::uint8_t* at = buffer_.get() + std::size_t(row) * record + f.nTimeBytes +
                                     std::size_t(word) * wordBytes;
            bar.value = AssembleWord(at, readBytes, f.nByteOrder);
        }
    }
    char code[rawviews::kCaptionTextMax];
    rawviews::FormatFrameCode(code, sizeof code, buffer_.get(), HistFrameBytes(f), f.nTimeBytes,
                              readBytes, f.nWordBits, false);
    out.frameCode = code;
}

std::uint64_t HistStore::Version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

}  // namespace histview

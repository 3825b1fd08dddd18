#include <bbdevice/card_plot_words.h>
#include <sigplot/plot_words.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace sigplot {
namespace plot = bbdev::plot;

namespace {

double F64At(const std::uint32_t* w) {
    // Low word first, as the library stores its doubles.
    const std::uint64_t bits = std::uint64_t{w[0]} | (std::uint64_t{w[1]} << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace

bool DecodeSpectrum(const std::uint32_t* words, SpectrumFrame& out) {
    out.bins = 0;
    if (!words) return false;
    out.counter = words[plot::kAttrBlockCounter];
    out.bins = std::min<std::size_t>(words[plot::kAttrBinCount], kMaxBins);
    out.spacingHz = words[plot::kAttrBinSpacingHz];
    out.centreHz = words[plot::kAttrCentreKHz] * 1000.0;
    out.mode = words[plot::kAttrMode];
    out.bitRate = words[plot::kAttrBitRate];
    out.statusWord = words[plot::kAttrStatusSlot];
    const std::uint32_t* levels = words + plot::kAttributeWords;
    for (std::size_t b = 0; b < out.bins; ++b) {
        const double v = plot::LevelDbm(levels[b]);
        out.valid[b] = std::isfinite(v);
        out.dBm[b] = out.valid[b] ? static_cast<float>(v) : 0.f;
    }
    return true;
}

InnateAttrib DecodeInnate(const std::uint32_t* words) {
    InnateAttrib a;
    if (!words) return a;
    a.lowerHz = F64At(words);
    a.upperHz = F64At(words + 2);
    a.valid = std::isfinite(a.lowerHz) && std::isfinite(a.upperHz) && a.lowerHz < a.upperHz;
    return a;
}

bool DecodeVector(const std::uint32_t* words, VectorFrame& out) {
    out.points = 0;
    if (!words) return false;
    out.counter = words[plot::kVecBlockCounter];
    out.points = std::min<std::size_t>(words[plot::kVecPointCount], kMaxPoints);
    out.mode = words[plot::kVecMode];
    const std::uint32_t* p = words + plot::kVectorHeaderWords;
    for (std::size_t k = 0; k < out.points; ++k) {
        out.i[k] = plot::WordI(p[k]);
        out.q[k] = plot::WordQ(p[k]);
    }
    return true;
}

std::uint64_t BlockHash(const std::uint32_t* words, std::size_t count) {
    // FNV-1a, a word at a time.
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < count; ++i) {
        h ^= words[i];
        h *= 1099511628211ull;
    }
    return h;
}

const char* ModulationName(std::uint32_t mode) {
    static const char* const kNames[] = {"DPSKFM",  "DPSKFM", "BPSK",   "QPSK",      "BPSK-PM",
                                         "QPSK-PM", "OQPSK",  "SOQPSK", "CDMA-BPSK", "CDMA-QPSK"};
    return mode < std::size(kNames) ? kNames[mode] : "";
}

void SpectrumAmass::Reset() {
    sum_.fill(0);
    max_.fill(-std::numeric_limits<float>::max());
    min_.fill(std::numeric_limits<float>::max());
    n_.fill(0);
    count_ = 0;
}

void SpectrumAmass::Add(const SpectrumFrame& f) {
    for (std::size_t b = 0; b < f.bins && b < kMaxBins; ++b) {
        if (!f.valid[b]) continue;
        const float v = f.dBm[b];
        sum_[b] += v;
        max_[b] = std::max(max_[b], v);
        min_[b] = std::min(min_[b], v);
        ++n_[b];
    }
    ++count_;
}

}  // namespace sigplot

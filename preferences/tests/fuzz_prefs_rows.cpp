// Row conversion and the layout from arbitrary column values: a solvable
// parameter never has a byte position outside what its level reads.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "param_model.h"

using namespace prefs;

namespace {

class Input {
public:
    Input(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
    std::int64_t Int() {
        std::int32_t v = 0;
        Take(&v, sizeof v);
        // Small values are the interesting ones; keep a few large.
        return (v & 0x40000000) ? v : v % 70;
    }
    std::optional<std::int64_t> OptInt() {
        if (Byte() % 5 == 0) return std::nullopt;
        return Int();
    }
    std::optional<double> OptReal() {
        if (Byte() % 4 == 0) return std::nullopt;
        double v = 0;
        Take(&v, sizeof v);
        return std::isfinite(v) ? std::optional(v) : std::nullopt;
    }
    std::uint8_t Byte() {
        std::uint8_t b = 0;
        Take(&b, 1);
        return b;
    }
    std::string Text() {
        std::size_t n = Byte() % 40;
        std::string s;
        while (n-- && n_) s += char(Byte());
        return s;
    }

private:
    void Take(void* out, std::size_t k) {
        k = std::min(k, n_);
        std::memcpy(out, d_, k);
        d_ += k;
        n_ -= k;
    }
    const std::uint8_t* d_;
    std::size_t n_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    FrameStructure f;
    f.wordBitsDb = in.Int();
    f.timeCodeWidth = in.Int();
    f.subframeLen = in.Int();
    f.superframeLen = in.Int();
    f.bitRate = in.Int();
    for (auto& c : f.superColumns) c = in.Int() % 40;
    std::vector<SpecialDescription> specials(in.Byte() % 3);
    for (auto& s : specials) {
        s.length = in.Int();
        s.syncLen = in.Int();
        s.syncHex = in.Text();
        for (int n = in.Byte() % 4; n > 0; --n) s.wordPositions.push_back(in.Int());
        s.orderFlag = in.Byte() & 1;
    }
    const FrameLayout layout = BuildLayout(f, specials);
    for (int level = 0; level < 3; ++level) {
        std::vector<ParamRecord> list;
        for (int n = in.Byte() % 4; n > 0; --n) {
            ParamRow row;
            row.name = in.Text();
            row.dataType = in.Byte() & 1 ? "有符号数" : "";
            row.processType = in.Byte() & 1 ? "公式法" : "";
            row.frameNo = in.OptInt();
            row.wordCount = in.OptInt();
            row.bit = in.OptInt();
            for (auto& r : row.routes) r = in.OptInt();
            row.max = in.OptReal();
            row.min = in.OptReal();
            row.upper = in.OptReal();
            row.lower = in.OptReal();
            for (auto& c : row.coef) c = in.OptReal();
            list.push_back(ConvertRow(row, Level(level), f));
        }
        CheckPositions(list, Level(level), f, layout);
        for (const ParamRecord& r : list) {
            if (r.dUpper > r.dMax || r.dLower < r.dMin) {
                if (!std::isnan(r.dUpper) && !std::isnan(r.dLower)) std::abort();
            }
            if (!r.solvable) continue;
            std::int64_t limit = level == 0 ? layout.subframeRecordBytes
                                 : level == 1
                                     ? layout.superframeBytes
                                     : layout.specials.at(std::size_t(r.nFrameNo - 1)).length;
            if (r.nBytes < 1 || r.nBytes > 8) std::abort();
            for (int k = 0; k < r.nBytes; ++k)
                if (r.nBytePos[k] < 0 || r.nBytePos[k] >= limit) std::abort();
        }
    }
    HandOffSize(f, layout);
    return 0;
}

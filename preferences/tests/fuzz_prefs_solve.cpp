// SolveBlock over a layout, a parameter set and a block all taken from the
// input, after the same validation loading applies: nothing is read outside
// the block, a frame or a reassembly buffer (the sanitizers watch).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "param_model.h"
#include "solver.h"

using namespace prefs;

namespace {

class Input {
public:
    Input(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
    std::uint8_t Byte() {
        if (!n_) return 0;
        --n_;
        return *d_++;
    }
    std::int64_t Small(int mod) { return std::int64_t(Byte() % mod) - 1; }
    const std::uint8_t* Rest(std::size_t& n) {
        n = n_;
        return d_;
    }

private:
    const std::uint8_t* d_;
    std::size_t n_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    FrameStructure f;
    f.wordBitsDb = in.Byte() & 1 ? 16 : 8;
    f.timeCodeWidth = in.Small(10);
    f.subframeLen = in.Small(20);
    f.superframeLen = in.Small(6);
    for (auto& c : f.superColumns) c = in.Small(24);
    std::vector<SpecialDescription> specials(in.Byte() % 3);
    for (auto& s : specials) {
        s.length = in.Small(12);
        s.syncLen = in.Small(4);
        static const char* const kSync[] = {"55", "eb90", "00", "ff00ff"};
        s.syncHex = kSync[in.Byte() % 4];
        for (int n = in.Byte() % 3; n >= 0; --n) s.wordPositions.push_back(in.Small(22));
        s.orderFlag = in.Byte() & 1;
    }
    const FrameLayout layout = BuildLayout(f, specials);
    std::vector<ParamRecord> params[3];
    std::vector<int> maps[3];
    bool any[3] = {};
    for (int level = 0; level < 3; ++level) {
        for (int n = in.Byte() % 5; n > 0; --n) {
            ParamRow row;
            row.dataType = in.Byte() & 1 ? "有符号数" : "";
            row.processType = in.Byte() & 1 ? "公式法" : "";
            row.frameNo = in.Small(5);
            row.wordCount = in.Small(11);
            row.bit = in.Small(70);
            for (auto& r : row.routes) r = in.Small(26);
            params[level].push_back(ConvertRow(row, Level(level), f));
            ParamRecord& r = params[level].back();
            r.nSelected = in.Byte() & 3 ? 1 : 0;
            if (r.nSelected) {
                maps[level].push_back(int(params[level].size() - 1));
                any[level] = true;
            }
        }
        CheckPositions(params[level], Level(level), f, layout);
    }
    const SolvePlan plan = BuildSolvePlan(params, maps, any, layout);
    auto states = MakeSpecialStates(layout);
    std::vector<ResultRing> rings[3];
    ResultArrays arrays;
    for (int level = 0; level < 3; ++level) {
        rings[level].resize(params[level].size());
        arrays.level[level] = rings[level].data();
        arrays.count[level] = rings[level].size();
    }
    DecimationState state;
    state.d = in.Byte() % 4;
    state.c = in.Byte();
    std::atomic<bool> running{true};
    std::size_t n = 0;
    const std::uint8_t* rest = in.Rest(n);
    // An exact-size copy, so that any read past the block is caught.
    std::vector<std::uint8_t> block(rest, rest + n);
    for (int pass = 0; pass < 2; ++pass)
        SolveBlock(plan, layout, arrays, states, block.data(), block.size(), state, running);
    for (int level = 0; level < 3; ++level)
        for (const ResultRing& r : rings[level])
            if (r.valid < 0 || r.valid > kResultHistory || r.head >= kResultHistory) std::abort();
    return 0;
}

#include "solver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace prefs {
namespace {

std::uint64_t AssembleMsbFirst(const std::uint8_t* base, const PlanEntry& p) {
    std::uint64_t r = 0;
    for (int k = 0; k < p.nBytes; ++k) r = r << 8 | base[p.pos[k]];
    return r;
}

void Solve(const PlanEntry& p, std::uint64_t raw, ResultArrays& results, int level) {
    if (std::size_t(p.index) >= results.count[level]) return;
    double value;
    std::int64_t code;
    ConvertRaw(p, raw, value, code);
    Record(results.level[level][p.index], value, code);
}

// Feeds one byte to a special superframe; a completed frame is solved.
void FeedSpecial(std::uint8_t b, int s, const SpecialFrameRecord& frame, SpecialState& st,
                 const std::vector<PlanEntry>& params, ResultArrays& results) {
    const std::size_t K = std::size_t(frame.syncLen);
    if (!st.synced) {
        st.window[st.windowPos] = b;
        st.windowPos = st.windowPos + 1 == K ? 0 : st.windowPos + 1;
        // The window's oldest byte sits at windowPos.
        const std::size_t tail = K - st.windowPos;
        if (std::memcmp(st.window.data() + st.windowPos, frame.sync.data(), tail) == 0 &&
            std::memcmp(st.window.data(), frame.sync.data() + tail, st.windowPos) == 0) {
            st.synced = true;
            st.buffer.assign(frame.sync.begin(), frame.sync.end());
        }
        return;  // the byte that completes the sync is already in the buffer
    }
    st.buffer.push_back(b);
    if (st.buffer.size() < std::size_t(frame.length)) return;
    std::fill(st.window.begin(), st.window.end(), 0);
    st.windowPos = 0;
    st.synced = false;
    for (const PlanEntry& p : params) {
        if (p.special != s) continue;
        std::uint64_t r = 0;
        if (frame.orderFlag == 0)
            for (int k = p.nBytes; k-- > 0;) r = r << 8 | st.buffer[std::size_t(p.pos[k])];
        else
            for (int k = 0; k < p.nBytes; ++k) r = r << 8 | st.buffer[std::size_t(p.pos[k])];
        Solve(p, r, results, 2);
    }
    st.buffer.clear();
}

}  // namespace

void FormatTraceRecord(char (&out)[16], const char* fmt, unsigned a, unsigned b) {
    char text[48];
    const int n = std::snprintf(text, sizeof text, fmt, a, b);
    std::memset(out, 0, sizeof out);
    if (n > 0) std::memcpy(out, text, std::min<std::size_t>(std::size_t(n), sizeof out));
}

CycleDecision DecideCycle(int n, std::int64_t headBytes, DecimationState& s) {
    CycleDecision out;
    if (n <= 0) {
        n = 0;
        s.f = 5;
    } else {
        if (n > kMaxPending) {
            out.drop = true;
            --n;
        }
        // A block of exactly the buffer size fits the work buffer.
        out.take = headBytes <= kHandOffMax;
    }
    if (n < 3) {
        s.d = 0;
        s.b = 1;
        if (s.f > 5) --s.f;
    } else {
        // A backlog that keeps growing raises the factor; both are held so
        // that the decimation stays a positive int however long it lasts.
        s.d = static_cast<std::int32_t>(std::min<std::int64_t>(
            std::int64_t(s.f) * n, std::numeric_limits<std::int32_t>::max()));
        if (n > kMaxPending && n > s.b) {
            if (s.f < kMaxDecimationFactor) ++s.f;
        } else if (n < kMaxPending && s.f >= 6) {
            --s.f;
        }
        s.b = n;
    }
    out.remaining = n - (out.take ? 1 : 0);
    return out;
}

std::uint32_t NextPhase(std::uint32_t c, std::int32_t superframeLen, std::int64_t superframes,
                        std::int32_t d) {
    if (d == 0) return 0;
    const std::uint32_t done = std::uint32_t(superframeLen) * std::uint32_t(superframes);
    return (done - c) % std::uint32_t(d);
}

SolvePlan BuildSolvePlan(const std::vector<ParamRecord> (&params)[3],
                         const std::vector<int> (&selectionMap)[3], const bool (&anySelected)[3],
                         const FrameLayout& layout) {
    SolvePlan plan;
    plan.specialActive.assign(layout.specials.size(), false);
    for (int level = 0; level < 3; ++level) {
        if (!params[level].empty()) plan.anyParameters = true;
        if (!anySelected[level]) continue;
        for (int i : selectionMap[level]) {
            if (i < 0 || std::size_t(i) >= params[level].size()) continue;
            const ParamRecord& r = params[level][std::size_t(i)];
            if (r.nSelected != 1 || !r.solvable || r.nBytes < 1 || r.nBytes > 8) continue;
            PlanEntry e;
            e.index = i;
            e.nBytes = r.nBytes;
            std::copy(r.nBytePos, r.nBytePos + 8, e.pos);
            e.isSigned = r.bSigned != 0;
            e.formula = r.bFormula == 1;
            e.bit = r.nBit;
            e.a0 = r.dCoef[0];
            e.a1 = r.dCoef[1];
            if (level == 2) {
                e.special = r.nFrameNo - 1;
                plan.specialActive[std::size_t(e.special)] = true;
            }
            plan.level[level].push_back(e);
        }
    }
    return plan;
}

int CopyOut(ResultRing& ring, DealResult& out) {
    const int n = ring.fresh;
    if (n <= 0) return 0;
    const int keep = kResultHistory - n;
    std::memmove(out.dValue, out.dValue + n, sizeof(double) * std::size_t(keep));
    std::memmove(out.nCode, out.nCode + n, sizeof(std::int64_t) * std::size_t(keep));
    // The newest n samples end just before head.
    std::uint32_t from = (ring.head + kResultHistory - std::uint32_t(n)) % kResultHistory;
    const int first = std::min<int>(n, kResultHistory - int(from));
    std::memcpy(out.dValue + keep, ring.value + from, sizeof(double) * std::size_t(first));
    std::memcpy(out.nCode + keep, ring.code + from, sizeof(std::int64_t) * std::size_t(first));
    std::memcpy(out.dValue + keep + first, ring.value, sizeof(double) * std::size_t(n - first));
    std::memcpy(out.nCode + keep + first, ring.code, sizeof(std::int64_t) * std::size_t(n - first));
    out.nNew = n;
    out.nValid = ring.valid;
    ring.fresh = 0;
    return n;
}

std::vector<SpecialState> MakeSpecialStates(const FrameLayout& layout) {
    std::vector<SpecialState> out(layout.specials.size());
    for (std::size_t s = 0; s < out.size(); ++s) {
        if (!layout.specials[s].solvable) continue;
        out[s].window.assign(std::size_t(layout.specials[s].syncLen), 0);
        out[s].buffer.reserve(std::size_t(layout.specials[s].length));
    }
    return out;
}

void ConvertRaw(const PlanEntry& p, std::uint64_t raw, double& value, std::int64_t& code) {
    double x;
    if (!p.isSigned) {
        code = static_cast<std::int64_t>(raw);
        x = p.nBytes <= 4 ? double(raw)
                          : double(raw & 0xFFFFFFFFu) + double(raw >> 32) * 4294967296.0;
    } else {
        // Two's complement of the parameter's own width.
        const int bits = 8 * p.nBytes;
        std::int64_t v = static_cast<std::int64_t>(raw);
        if (bits < 64) {
            const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
            v = static_cast<std::int64_t>((raw ^ sign) - sign);
        }
        code = v;
        x = double(v);
    }
    if (p.formula)
        value = x * p.a1 + p.a0;
    else
        value = double((static_cast<std::uint64_t>(code) >> (p.bit & 63)) & 1u);
}

int SolveBlock(const SolvePlan& plan, const FrameLayout& layout, ResultArrays& results,
               std::vector<SpecialState>& specials, const std::uint8_t* block, std::size_t length,
               DecimationState& state, const std::atomic<bool>& running) {
    if (!running.load(std::memory_order_relaxed) || !plan.anyParameters) return 0;
    if (!layout.solvable) return 1;
    if (!block) length = 0;
    const std::size_t superBytes = std::size_t(layout.superframeBytes);
    const std::size_t m = length / superBytes;
    const std::int32_t d = state.d;
    if (m < 1) {
        state.c = NextPhase(state.c, layout.superframeLen, 0, d);
        return 1;
    }
    const std::size_t record = std::size_t(layout.subframeRecordBytes);
    const std::int64_t L = layout.superframeLen;
    // Parameter by parameter, so that each history is written in one run.
    // A superframe is L subframe records, so subframe g of the block starts
    // at g * record; decimation keeps g = c, c + d, c + 2d, ...
    const std::int64_t subframes = std::int64_t(m) * L;
    const std::int64_t first = d == 0 ? 0 : std::int64_t(state.c);
    const std::int64_t step = d == 0 ? 1 : d;
    for (const PlanEntry& e : plan.level[0]) {
        if (!running.load(std::memory_order_relaxed)) break;
        if (std::size_t(e.index) >= results.count[0]) continue;
        ResultRing& ring = results.level[0][e.index];
        for (std::int64_t g = first; g < subframes; g += step) {
            double value;
            std::int64_t code;
            ConvertRaw(e, AssembleMsbFirst(block + std::size_t(g) * record, e), value, code);
            Record(ring, value, code);
        }
    }
    for (const PlanEntry& e : plan.level[1]) {
        if (!running.load(std::memory_order_relaxed)) break;
        for (std::size_t i = 0; i < m; ++i)
            Solve(e, AssembleMsbFirst(block + i * superBytes, e), results, 1);
    }
    const bool specialsUsed = !plan.level[2].empty() && specials.size() == layout.specials.size();
    for (std::size_t i = 0; i < m && specialsUsed; ++i) {
        if (!running.load(std::memory_order_relaxed)) break;
        const std::uint8_t* base = block + i * superBytes;
        for (std::size_t s = 0; s < layout.specials.size(); ++s) {
            if (!plan.specialActive[s]) continue;
            const SpecialFrameRecord& frame = layout.specials[s];
            for (std::int64_t j = 0; j < L; ++j) {
                const std::uint8_t* sub = base + std::size_t(j) * record;
                for (std::int32_t q : frame.bytePositions)
                    FeedSpecial(sub[q], int(s), frame, specials[s], plan.level[2], results);
            }
        }
    }
    state.c = NextPhase(state.c, layout.superframeLen, std::int64_t(m), d);
    return 1;
}

}  // namespace prefs

// Solving: frame bytes of whole superframes to engineering values, the
// result histories kept as rings, and the solving thread's per-cycle
// decisions. Everything here is a pure function of its arguments.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "param_model.h"

namespace prefs {

inline constexpr int kMaxPending = 20;
// The decimation factor grows by one per cycle of a growing backlog, up to this.
inline constexpr std::int32_t kMaxDecimationFactor = 1 << 16;

// Decimation of the subframe level under backlog.
struct DecimationState {
    std::int32_t d = 1;   // every d-th subframe; 0 = all
    std::int32_t f = 5;   // factor
    std::int32_t b = 1;   // previous backlog
    std::uint32_t c = 0;  // phase
};

struct CycleDecision {
    bool drop = false;  // the oldest pending block is dropped
    bool take = false;  // the (new) head block is solved
    int remaining = 0;  // pending count afterwards
};

// One cycle of the solving thread with `pending` blocks queued and the head
// block `headBytes` long; updates d, f and b.
CycleDecision DecideCycle(int pending, std::int64_t headBytes, DecimationState& s);

// The phase after `superframes` superframes of `superframeLen` subframes,
// in unsigned 32-bit arithmetic.
std::uint32_t NextPhase(std::uint32_t c, std::int32_t superframeLen, std::int64_t superframes,
                        std::int32_t d);

// A trace record: the text cut at 16 bytes and zero-padded, no terminator.
void FormatTraceRecord(char (&out)[16], const char* fmt, unsigned a, unsigned b);

// One selected, solvable parameter as the solver reads it.
struct PlanEntry {
    std::int32_t index = 0;  // into its level's list and results
    std::int32_t nBytes = 0;
    std::int32_t pos[8] = {};
    std::int32_t special = 0;  // special superframe (0-based) of a special parameter
    bool isSigned = false, formula = true;
    std::int32_t bit = 0;
    double a0 = 0, a1 = 1;
};

struct SolvePlan {
    std::vector<PlanEntry> level[3];
    std::vector<bool> specialActive;  // a special superframe with a selected parameter
    bool anyParameters = false;       // some level has parameters at all
};

// The selected, solvable parameters in selection order; parameters whose
// raw value has no bytes or more than eight are left out.
SolvePlan BuildSolvePlan(const std::vector<ParamRecord> (&params)[3],
                         const std::vector<int> (&selectionMap)[3], const bool (&anySelected)[3],
                         const FrameLayout& layout);

// The last 2000 values and codes of one parameter; `head` is the next slot.
struct ResultRing {
    double value[kResultHistory];
    std::int64_t code[kResultHistory];
    std::uint32_t head;
    std::int32_t valid;
    std::int32_t fresh;  // samples since the last copy out
    std::int32_t reserved;
};

inline void Record(ResultRing& r, double value, std::int64_t code) {
    r.value[r.head] = value;
    r.code[r.head] = code;
    r.head = r.head + 1 == kResultHistory ? 0 : r.head + 1;
    if (r.valid < kResultHistory) ++r.valid;
    if (r.fresh < kResultHistory) ++r.fresh;
}

// Moves the ring's new samples to the end of the caller's record as a
// per-sample shift would leave it; returns how many were new.
int CopyOut(ResultRing& ring, DealResult& out);

// Reassembly state of one special superframe.
struct SpecialState {
    std::vector<std::uint8_t> window;  // the last K bytes seen, as a ring
    std::size_t windowPos = 0;
    bool synced = false;
    std::vector<std::uint8_t> buffer;  // the frame being reassembled
};

std::vector<SpecialState> MakeSpecialStates(const FrameLayout& layout);

// The value and raw code of `raw` (the nBytes bytes, first most significant).
void ConvertRaw(const PlanEntry& p, std::uint64_t raw, double& value, std::int64_t& code);

struct ResultArrays {
    ResultRing* level[3] = {};
    std::size_t count[3] = {};
};

// Solves the whole superframes of one block. 0 when not running or no level
// has parameters; 1 otherwise.
int SolveBlock(const SolvePlan& plan, const FrameLayout& layout, ResultArrays& results,
               std::vector<SpecialState>& specials, const std::uint8_t* block, std::size_t length,
               DecimationState& state, const std::atomic<bool>& running);

}  // namespace prefs

// Solving on superframes built byte by byte: conversion, the three levels,
// decimation, result rings and the solving thread's per-cycle decisions.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include "solver.h"

using namespace prefs;

namespace {

PlanEntry Entry(int nBytes, bool isSigned, double a1 = 1, double a0 = 0) {
    PlanEntry e;
    e.nBytes = nBytes;
    e.isSigned = isSigned;
    e.a1 = a1;
    e.a0 = a0;
    for (int k = 0; k < 8; ++k) e.pos[k] = k;
    return e;
}

std::uint64_t Raw(std::vector<std::uint8_t> bytes) {
    std::uint64_t r = 0;
    for (auto b : bytes) r = r << 8 | b;
    return r;
}

struct Converted {
    double value;
    std::int64_t code;
};

Converted Convert(const PlanEntry& e, std::uint64_t raw) {
    Converted c{};
    ConvertRaw(e, raw, c.value, c.code);
    return c;
}

std::unique_ptr<DealResult> NewResult() {
    auto r = std::make_unique<DealResult>();
    std::memset(r.get(), 0, sizeof *r);
    return r;
}

ParamRow Row(std::vector<std::int64_t> routes, std::int64_t frameNo = 0, bool isSigned = false) {
    ParamRow r;
    r.name = "P";
    r.dataType = isSigned ? "有符号数" : "";
    r.processType = "公式法";
    r.frameNo = frameNo;
    r.wordCount = std::int64_t(routes.size());
    for (std::size_t i = 0; i < routes.size(); ++i) r.routes[i] = routes[i];
    return r;
}

// 8-bit words, a 2-byte tag, 6 words per subframe, 3 subframes: records of
// 8 bytes, superframes of 24. Superframe 1 rides in word 6.
struct Rig {
    FrameStructure frame;
    std::vector<SpecialDescription> specials;
    std::vector<ParamRecord> params[3];
    std::vector<int> maps[3];
    bool any[3] = {};
    FrameLayout layout;
    SolvePlan plan;
    std::vector<SpecialState> states;
    std::vector<ResultRing> rings[3];
    ResultArrays arrays;
    DecimationState state{.d = 0, .f = 5, .b = 1, .c = 0};
    std::atomic<bool> running{true};

    Rig() {
        frame.wordBitsDb = 8;
        frame.timeCodeWidth = 2;
        frame.subframeLen = 6;
        frame.superframeLen = 3;
        frame.superColumns[0] = 6;
    }
    int Add(Level level, ParamRow row) {
        params[int(level)].push_back(ConvertRow(row, level, frame));
        return int(params[int(level)].size()) - 1;
    }
    void Finish() {
        layout = BuildLayout(frame, specials);
        for (int l = 0; l < 3; ++l) {
            CheckPositions(params[l], Level(l), frame, layout);
            for (std::size_t i = 0; i < params[l].size(); ++i) {
                params[l][i].nSelected = params[l][i].nSelTable = 1;
                maps[l].push_back(int(i));
                any[l] = true;
            }
            rings[l].resize(params[l].size());
            // resize() value-initialises: every ring starts zeroed.
            arrays.level[l] = rings[l].data();
            arrays.count[l] = rings[l].size();
        }
        plan = BuildSolvePlan(params, maps, any, layout);
        states = MakeSpecialStates(layout);
    }
    int Solve(const std::vector<std::uint8_t>& block) {
        return SolveBlock(plan, layout, arrays, states, block.data(), block.size(), state, running);
    }
    // The samples recorded since the last call, oldest first.
    std::vector<double> Values(Level level, int i) {
        auto r = NewResult();
        const int n = CopyOut(rings[int(level)][std::size_t(i)], *r);
        return std::vector<double>(r->dValue + kResultHistory - n, r->dValue + kResultHistory);
    }
};

// Superframes whose word w (1-based) of subframe j of superframe i holds
// word(i, j, w); the tag holds 0xAA 0xAA.
template <class F>
std::vector<std::uint8_t> Superframes(int count, F word) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < 3; ++j) {
            out.push_back(0xAA);
            out.push_back(0xAA);
            for (int w = 1; w <= 6; ++w) out.push_back(std::uint8_t(word(i, j, w)));
        }
    return out;
}

}  // namespace

TEST(ConvertRaw, ConversionByWidthAndSign) {
    Converted c = Convert(Entry(1, false, 0.5, -10), 0xFF);
    EXPECT_EQ(c.value, 117.5);
    EXPECT_EQ(c.code, 255);
    c = Convert(Entry(1, true, 0.5, -10), 0xFF);
    EXPECT_EQ(c.value, -10.5);
    EXPECT_EQ(c.code, -1);
    c = Convert(Entry(3, false), Raw({0x80, 0x00, 0x01}));
    EXPECT_EQ(c.value, 8388609);
    EXPECT_EQ(c.code, 8388609);
    c = Convert(Entry(3, true), Raw({0x80, 0x00, 0x01}));
    EXPECT_EQ(c.value, -8388607);
    EXPECT_EQ(c.code, -8388607);
    EXPECT_EQ(Convert(Entry(2, true), 0x8000).code, -32768);
    EXPECT_EQ(Convert(Entry(4, true), 0xFFFFFFFEu).value, -2);
    EXPECT_EQ(Convert(Entry(4, false), 0xFFFFFFFEu).value, 4294967294.0);
    // Five to seven signed bytes extend from their own top bit.
    c = Convert(Entry(5, true), Raw({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(c.value, -1);
    EXPECT_EQ(c.code, -1);
    EXPECT_EQ(Convert(Entry(7, true), Raw({0x7F, 0, 0, 0, 0, 0, 0})).code, 0x7F000000000000);
    c = Convert(Entry(8, false), ~std::uint64_t{0});
    EXPECT_EQ(c.value, 1.8446744073709552e19);
    EXPECT_EQ(c.code, -1);
    EXPECT_EQ(Convert(Entry(8, true), ~std::uint64_t{0}).value, -1);
}

TEST(ConvertRaw, BitParameters) {
    PlanEntry bit = Entry(1, false);
    bit.formula = false;
    bit.bit = 3;
    EXPECT_EQ(Convert(bit, 0x08).value, 1.0);
    EXPECT_EQ(Convert(bit, 0x08).code, 8);
    EXPECT_EQ(Convert(bit, 0x07).value, 0.0);
    PlanEntry high = Entry(6, true);
    high.formula = false;
    high.bit = 40;
    EXPECT_EQ(Convert(high, std::uint64_t{1} << 40).value, 1.0);
    EXPECT_EQ(Convert(high, std::uint64_t{1} << 39).value, 0.0);
}

TEST(SolveBlock, SubframeLevelReadsEverySubframeMostSignificantFirst) {
    Rig rig;
    const int p = rig.Add(Level::Subframe, Row({3, 4}));
    rig.Finish();
    auto block = Superframes(2, [](int i, int j, int w) {
        return w == 3 ? 16 * i + j : w == 4 ? 1 : 0xEE;
    });
    block.resize(block.size() + 23, 0x11);  // not a whole superframe: ignored
    EXPECT_EQ(rig.Solve(block), 1);
    EXPECT_EQ(rig.Values(Level::Subframe, p),
              (std::vector<double>{0x0001, 0x0101, 0x0201, 0x1001, 0x1101, 0x1201}));
}

TEST(SolveBlock, SuperframeLevelOncePerSuperframe) {
    Rig rig;
    const int p = rig.Add(Level::Superframe, Row({2}, 1));
    rig.Finish();
    auto block = Superframes(3, [](int i, int j, int w) { return w == 6 ? 10 * i + j : 0; });
    rig.Solve(block);
    EXPECT_EQ(rig.Values(Level::Superframe, p), (std::vector<double>{1, 11, 21}));
}

TEST(SolveBlock, UnsolvableAndSilentParametersRecordNothing) {
    Rig rig;
    const int outside = rig.Add(Level::Subframe, Row({7}));  // 6 words only
    ParamRow none = Row({});
    const int empty = rig.Add(Level::Subframe, none);
    const int good = rig.Add(Level::Subframe, Row({1}));
    rig.Finish();
    rig.Solve(Superframes(1, [](int, int, int w) { return w; }));
    EXPECT_TRUE(rig.Values(Level::Subframe, outside).empty());
    EXPECT_TRUE(rig.Values(Level::Subframe, empty).empty());
    EXPECT_EQ(rig.Values(Level::Subframe, good).size(), 3u);
}

TEST(SolveBlock, DecimationTakesEveryDthSubframeAcrossBlocks) {
    Rig rig;
    const int p = rig.Add(Level::Subframe, Row({1}));
    rig.Finish();
    auto block = Superframes(2, [](int i, int j, int) { return 3 * i + j; });
    rig.state.d = 2;
    rig.Solve(block);
    EXPECT_EQ(rig.Values(Level::Subframe, p), (std::vector<double>{0, 2, 4}));
    EXPECT_EQ(rig.state.c, 0u);  // 6 subframes, d 2
    rig.state.d = 4;
    rig.Solve(block);  // phase 0: subframes 0 and 4 of this block
    EXPECT_EQ(rig.Values(Level::Subframe, p), (std::vector<double>{0, 4}));
    EXPECT_EQ(rig.state.c, 2u);  // (6 - 0) mod 4
    rig.Solve(block);            // p = j - 2: subframes 2 (p 0) and none at p 4 (j 6)
    EXPECT_EQ(rig.Values(Level::Subframe, p), (std::vector<double>{2}));
    EXPECT_EQ(rig.state.c, 0u);  // (6 - 2) mod 4
}

TEST(SolveBlock, ShortBlockGivesNoSamplesButMovesThePhase) {
    Rig rig;
    const int p = rig.Add(Level::Subframe, Row({1}));
    rig.Finish();
    rig.state.d = 7;
    rig.state.c = 5;
    EXPECT_EQ(rig.Solve(std::vector<std::uint8_t>(23, 1)), 1);
    EXPECT_TRUE(rig.Values(Level::Subframe, p).empty());
    EXPECT_EQ(rig.state.c, (0u - 5u) % 7u);  // wraps modulo 2^32 first
    rig.state.d = 0;
    rig.Solve({});
    EXPECT_EQ(rig.state.c, 0u);
}

TEST(SolveBlock, NothingRunsWhenStoppedOrWithoutParameters) {
    Rig empty;
    empty.Finish();
    EXPECT_EQ(empty.Solve(Superframes(1, [](int, int, int) { return 0; })), 0);
    Rig rig;
    const int p = rig.Add(Level::Subframe, Row({1}));
    rig.Finish();
    rig.running = false;
    EXPECT_EQ(rig.Solve(Superframes(1, [](int, int, int) { return 0; })), 0);
    EXPECT_TRUE(rig.Values(Level::Subframe, p).empty());
}

namespace {

// A special superframe of 6 bytes (sync EB 90 included) carried in word 5.
void MakeSpecial(Rig& rig, std::int64_t order) {
    SpecialDescription s;
    s.length = 6;
    s.syncLen = 2;
    s.syncHex = "eb90";
    s.wordPositions = {5};
    s.orderFlag = order;
    rig.specials.push_back(s);
    rig.Add(Level::Special, Row({3}, 1));     // first byte after the sync
    rig.Add(Level::Special, Row({4, 5}, 1));  // two bytes
    rig.Add(Level::Special, Row({6}, 1));     // the last byte
    rig.Finish();
}

// The carried byte stream: junk, EB | 90 across subframes, frame bytes.
std::vector<std::uint8_t> SpecialStream() {
    std::vector<std::uint8_t> carried = {0x01, 0xEB, 0xEB, 0x90, 0x07, 0xBB, 0xEE, 0x09,
                                         0x90, 0xEB, 0x90, 0x17, 0xBB, 0xEE, 0x19};
    return Superframes(5, [&](int i, int j, int w) {
        return w == 5 ? carried[std::size_t(3 * i + j)] : w == 6 ? 0xEB : 0x90;
    });
}

}  // namespace

TEST(SolveBlock, SpecialFrameFoundAcrossSubframesMostSignificantFirst) {
    Rig rig;
    MakeSpecial(rig, 1);
    rig.Solve(SpecialStream());
    EXPECT_EQ(rig.Values(Level::Special, 0), (std::vector<double>{0x07, 0x17}));
    EXPECT_EQ(rig.Values(Level::Special, 1), (std::vector<double>{48110, 48110}));
    EXPECT_EQ(rig.Values(Level::Special, 2), (std::vector<double>{0x09, 0x19}));
}

TEST(SolveBlock, SpecialFrameOrderFlagZeroTakesTheFirstByteLeastSignificant) {
    Rig rig;
    MakeSpecial(rig, 0);
    rig.Solve(SpecialStream());
    EXPECT_EQ(rig.Values(Level::Special, 1), (std::vector<double>{61115, 61115}));
}

TEST(SolveBlock, SpecialFrameSyncSplitOverTwoBlocks) {
    Rig rig;
    MakeSpecial(rig, 1);
    auto all = SpecialStream();
    const std::size_t cut = 24;  // first superframe: 01 EB EB; the 90 comes next
    rig.Solve(std::vector<std::uint8_t>(all.begin(), all.begin() + cut));
    EXPECT_TRUE(rig.Values(Level::Special, 0).empty());
    rig.Solve(std::vector<std::uint8_t>(all.begin() + cut, all.end()));
    EXPECT_EQ(rig.Values(Level::Special, 0), (std::vector<double>{0x07, 0x17}));
}

TEST(ResultRing, After2001SamplesIndexZeroHoldsTheSecond) {
    auto ring = std::make_unique<ResultRing>();
    std::memset(ring.get(), 0, sizeof *ring);
    for (int i = 1; i <= 2001; ++i) Record(*ring, i, i);
    auto out = NewResult();
    EXPECT_EQ(CopyOut(*ring, *out), 2000);
    EXPECT_EQ(out->nValid, 2000);
    EXPECT_EQ(out->nNew, 2000);
    EXPECT_EQ(out->dValue[0], 2);
    EXPECT_EQ(out->nCode[0], 2);
    EXPECT_EQ(out->dValue[1999], 2001);
}

TEST(ResultRing, SecondFetchWithoutNewDataLeavesTheCallerAlone) {
    auto ring = std::make_unique<ResultRing>();
    std::memset(ring.get(), 0, sizeof *ring);
    for (int i = 1; i <= 5; ++i) Record(*ring, i, i);
    auto out = NewResult();
    CopyOut(*ring, *out);
    auto copy = NewResult();
    std::memcpy(copy.get(), out.get(), sizeof *out);
    EXPECT_EQ(CopyOut(*ring, *out), 0);
    EXPECT_EQ(std::memcmp(copy.get(), out.get(), sizeof *out), 0);
    EXPECT_EQ(out->nNew, 5);
}

TEST(ResultRing, CopiesLookAsThePerSampleShiftWouldLeaveThem) {
    // The reference model shifts both arrays by one for every sample.
    auto model = NewResult();
    auto internal = NewResult();  // the per-sample shift of the library's own history
    auto out = NewResult();
    auto ring = std::make_unique<ResultRing>();
    std::memset(ring.get(), 0, sizeof *ring);
    std::mt19937 rng(7);
    int sample = 0;
    for (int round = 0; round < 60; ++round) {
        const int n = int(rng() % 2600);
        for (int k = 0; k < n; ++k, ++sample) {
            Record(*ring, sample * 0.5, sample);
            std::memmove(internal->dValue, internal->dValue + 1, sizeof(double) * 1999);
            std::memmove(internal->nCode, internal->nCode + 1, sizeof(std::int64_t) * 1999);
            internal->dValue[1999] = sample * 0.5;
            internal->nCode[1999] = sample;
            internal->nValid = std::min(2000, internal->nValid + 1);
            internal->nNew = std::min(2000, internal->nNew + 1);
        }
        const int fresh = internal->nNew;
        if (fresh > 0) {
            std::memmove(model->dValue, model->dValue + fresh, sizeof(double) * (2000 - fresh));
            std::memmove(model->nCode, model->nCode + fresh, sizeof(std::int64_t) * (2000 - fresh));
            std::memcpy(model->dValue + 2000 - fresh, internal->dValue + 2000 - fresh,
                        sizeof(double) * fresh);
            std::memcpy(model->nCode + 2000 - fresh, internal->nCode + 2000 - fresh,
                        sizeof(std::int64_t) * fresh);
            model->nNew = fresh;
            model->nValid = internal->nValid;
            internal->nNew = 0;
        }
        CopyOut(*ring, *out);
        ASSERT_EQ(std::memcmp(model.get(), out.get(), sizeof *out), 0) << "round " << round;
    }
}

TEST(DecideCycle, TwentyFivePendingDropThreeTakeThreeLeaveNineteen) {
    DecimationState s;
    int pending = 25, dropped = 0, taken = 0;
    for (int cycle = 0; cycle < 3; ++cycle) {
        CycleDecision d = DecideCycle(pending, 1000, s);
        dropped += d.drop;
        taken += d.take;
        pending = d.remaining;
    }
    EXPECT_EQ(dropped, 3);
    EXPECT_EQ(taken, 3);
    EXPECT_EQ(pending, 19);
    CycleDecision d = DecideCycle(pending, 1000, s);
    EXPECT_FALSE(d.drop);
}

// A feeder far faster than the solving thread: the backlog grows every cycle
// for a long time. The factor stops growing and the decimation stays a
// positive int instead of overflowing.
TEST(DecideCycle, BacklogThatKeepsGrowingHoldsTheDecimationPositive) {
    DecimationState s;
    int pending = kMaxPending + 1;
    for (int cycle = 0; cycle < 200000; ++cycle, pending += 1) {
        DecideCycle(pending, 1000, s);
        ASSERT_GT(s.d, 0) << "cycle " << cycle;
    }
    EXPECT_EQ(s.f, kMaxDecimationFactor);
    EXPECT_EQ(s.d, std::numeric_limits<std::int32_t>::max());
    // Once the backlog falls back, the factor comes down again.
    DecideCycle(kMaxPending - 1, 1000, s);
    EXPECT_EQ(s.f, kMaxDecimationFactor - 1);
}

TEST(DecideCycle, BlockOfExactlyTheBufferSizeIsTaken) {
    DecimationState s;
    EXPECT_TRUE(DecideCycle(1, 2048000, s).take);
    EXPECT_FALSE(DecideCycle(1, 2048001, s).take);
    EXPECT_FALSE(DecideCycle(0, 0, s).take);
}

TEST(DecideCycle, DecimationFollowsTheBacklog) {
    DecimationState s;  // d 1, f 5, b 1
    DecideCycle(3, 1, s);
    EXPECT_EQ(s.d, 15);
    EXPECT_EQ(s.b, 3);
    DecideCycle(25, 1, s);  // drops to 24, rising above 20: f grows after d is set
    EXPECT_EQ(s.d, 5 * 24);
    EXPECT_EQ(s.f, 6);
    EXPECT_EQ(s.b, 24);
    DecideCycle(23, 1, s);  // still above 20 but falling: f stays
    EXPECT_EQ(s.d, 6 * 22);
    EXPECT_EQ(s.f, 6);
    EXPECT_EQ(s.b, 22);
    DecideCycle(10, 1, s);
    EXPECT_EQ(s.d, 60);
    EXPECT_EQ(s.f, 5);
    DecideCycle(2, 1, s);
    EXPECT_EQ(s.d, 0);
    EXPECT_EQ(s.b, 1);
    s.f = 7;
    DecideCycle(1, 1, s);
    EXPECT_EQ(s.f, 6);
    DecideCycle(0, 0, s);
    EXPECT_EQ(s.f, 5);
    EXPECT_EQ(s.d, 0);
}

TEST(NextPhase, UnsignedArithmetic) {
    EXPECT_EQ(NextPhase(0, 32, 60, 0), 0u);
    EXPECT_EQ(NextPhase(3, 4, 2, 5), (8u - 3u) % 5u);
    EXPECT_EQ(NextPhase(9, 4, 2, 10), (8u - 9u) % 10u);  // 4294967295 % 10
}

// The comparison of blocks with the standard frame: hand-built groups, a
// straight byte-by-byte cursor walk as the reference, and the counters
// under a stop from another thread.
#include <gtest/gtest.h>
#include <stats/bit_error_measurement.h>
#include <testsupport/wait.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

datapath::DataGeometry Geometry(std::uint32_t words, std::uint32_t subframes,
                                std::uint32_t wordBits) {
    datapath::DataGeometry g;
    g.wordBits = wordBits;
    g.wordBytes = (wordBits + 7) / 8;
    g.subframeWords = words;
    g.superframeLength = subframes;
    g.subframeRecord = std::size_t{words} * g.wordBytes + 8;
    g.superframeRecord = g.subframeRecord * subframes;
    return g;
}

// A group of N records, each an 8-byte header of 0xEE followed by data
// bytes 1, 2, 3 ...
Bytes Group(const datapath::DataGeometry& g) {
    Bytes out;
    for (std::uint32_t r = 0; r < g.superframeLength; ++r) {
        out.insert(out.end(), 8, 0xEE);
        for (std::size_t k = 0; k < g.subframeRecord - 8; ++k) out.push_back(std::uint8_t(k + 1));
    }
    return out;
}

struct Counts {
    std::uint64_t compared = 0, errors = 0;
};

// Byte positions k of each group walked with a cursor into the sorted list;
// each compared byte counts the bits the word has in it.
Counts CursorWalk(const datapath::DataGeometry& g, const std::vector<int>& list, const Bytes& block,
                  const Bytes& standard) {
    const std::size_t wb = std::size_t{g.subframeWords} * g.wordBytes, r = g.subframeRecord;
    const std::size_t group = r * g.superframeLength;
    const unsigned highBits = g.wordBits - 8 * (g.wordBytes - 1);
    Counts c;
    for (std::size_t at = 0; at + group <= block.size(); at += group) {
        std::size_t j = 0;
        for (std::size_t k = 0; k < group; ++k) {
            if (k % r < 8) continue;
            if (j < list.size()) {
                const std::size_t b = std::size_t(list[j]) - 1;
                if (k == b / wb * r + b % wb + 8) {
                    ++j;
                    continue;
                }
            }
            const bool high = (k % r - 8) % g.wordBytes == 0;
            const unsigned bits = high ? highBits : 8;
            c.compared += bits;
            const unsigned diff = (block[at + k] ^ standard[k]) & ((1u << bits) - 1);
            c.errors += unsigned(std::popcount(diff));
        }
    }
    return c;
}

Counts Measure(const datapath::DataGeometry& g, std::vector<int> list, const Bytes& block,
               const Bytes& standard) {
    stats::BitErrorMeasurement m;
    m.SetExclusionList(std::move(list));
    m.Start(g);
    m.Compare(block.data(), block.size(), standard, g.superframeRecord);
    return {m.ComparedBits(), m.ErrorBits()};
}

TEST(BitErrorMeasurement, RangeTwoToThreeOfAnEightBitFrame) {
    const auto g = Geometry(4, 2, 8);
    const Bytes standard = Group(g);
    stats::BitErrorMeasurement m;
    m.SetExclusionList({2, 3});
    m.Start(g);
    EXPECT_EQ(m.ComparedBitsPerGroup(), 48u);

    m.Compare(standard.data(), standard.size(), standard, standard.size());
    EXPECT_EQ(m.ComparedBits(), 48u);
    EXPECT_EQ(m.ErrorBits(), 0u);
    EXPECT_EQ(m.ErrorRate(), 0.0);

    Bytes flipped = standard;
    flipped[8 + 3] ^= 0x10;  // byte 4 of the first record: compared
    m.Compare(flipped.data(), flipped.size(), standard, standard.size());
    EXPECT_EQ(m.ComparedBits(), 96u);
    EXPECT_EQ(m.ErrorBits(), 1u);
    EXPECT_DOUBLE_EQ(m.ErrorRate(), 1.0 / 96.0);

    // Excluded bytes and headers carry no errors.
    Bytes skipped = standard;
    skipped[8 + 1] ^= 0xFF;
    skipped[8 + 2] ^= 0xFF;
    skipped[0] ^= 0xFF;
    skipped[12 + 7] ^= 0xFF;
    m.Compare(skipped.data(), skipped.size(), standard, standard.size());
    EXPECT_EQ(m.ErrorBits(), 1u);
}

TEST(BitErrorMeasurement, SixteenBitWordsCountSixteenBitsEach) {
    const auto g = Geometry(4, 2, 16);
    const Bytes standard = Group(g);
    EXPECT_EQ(Measure(g, {}, standard, standard).compared, 8u * 16u);
    // 12-bit words: the high byte's top four bits are padding.
    const auto g12 = Geometry(4, 2, 12);
    const Bytes s12 = Group(g12);
    Bytes padded = s12;
    padded[8] ^= 0xF0;
    EXPECT_EQ(Measure(g12, {}, padded, s12).compared, 8u * 12u);
    EXPECT_EQ(Measure(g12, {}, padded, s12).errors, 0u);
    padded[8] ^= 0x01;
    EXPECT_EQ(Measure(g12, {}, padded, s12).errors, 1u);
}

TEST(BitErrorMeasurement, PartialGroupAndForeignGeometryAreNotCompared) {
    const auto g = Geometry(4, 2, 8);
    const Bytes standard = Group(g);
    Bytes block = standard;
    block.insert(block.end(), standard.begin(), standard.end() - 1);  // 1.9 groups
    EXPECT_EQ(Measure(g, {}, block, standard).compared, 64u);

    stats::BitErrorMeasurement m;
    m.Start(g);
    // The card was reopened with 5-word sub-frames: blocks of a new size.
    const auto other = Geometry(5, 2, 8);
    const Bytes otherGroup = Group(other);
    m.Compare(otherGroup.data(), otherGroup.size(), standard, other.superframeRecord);
    // A standard frame of another size than the mask.
    m.Compare(otherGroup.data(), otherGroup.size(), otherGroup, other.superframeRecord);
    EXPECT_EQ(m.ComparedBits(), 0u);
    m.Compare(standard.data(), standard.size(), standard, g.superframeRecord);
    EXPECT_EQ(m.ComparedBits(), 64u);
}

TEST(BitErrorMeasurement, ASecondWithoutAComparedGroupReadsAsIdle) {
    const auto g = Geometry(4, 2, 8);
    const Bytes standard = Group(g);
    const auto other = Geometry(5, 2, 8);
    const Bytes foreign = Group(other);
    auto now = stats::BitErrorMeasurement::Clock::time_point{} + 100s;
    stats::BitErrorMeasurement m([&] { return now; });
    EXPECT_FALSE(m.Readout().idle);  // not running
    m.Start(g);
    EXPECT_FALSE(m.Readout().idle);
    // Blocks of another frame and blocks shorter than a group compare nothing.
    for (int i = 0; i < 10; ++i) {
        now += 100ms;
        m.Compare(foreign.data(), foreign.size(), standard, other.superframeRecord);
        m.Compare(standard.data(), standard.size() - 1, standard, g.superframeRecord);
        EXPECT_EQ(m.Readout().idle, i == 9) << i;
    }
    EXPECT_EQ(m.Readout().comparedBits, 0u);
    // One compared group ends it; a quiet second (no block at all) begins it again.
    m.Compare(standard.data(), standard.size(), standard, g.superframeRecord);
    EXPECT_FALSE(m.Readout().idle);
    EXPECT_EQ(m.Readout().comparedBits, 64u);
    now += 999ms;
    EXPECT_FALSE(m.Readout().idle);
    now += 1ms;
    EXPECT_TRUE(m.Readout().idle);
    m.Stop();
    EXPECT_FALSE(m.Readout().idle);
    // A start counts as a fresh second.
    m.Start(g);
    EXPECT_FALSE(m.Readout().idle);
}

TEST(BitErrorMeasurement, ListEntriesBeyondTheGroupAreIgnored) {
    const auto g = Geometry(4, 2, 8);
    const Bytes standard = Group(g);
    EXPECT_EQ(Measure(g, {3, 9, 100000}, standard, standard).compared, 56u);
}

TEST(BitErrorMeasurement, StopClearsAndRestartCountsFromZero) {
    const auto g = Geometry(4, 2, 8);
    const Bytes standard = Group(g);
    Bytes flipped = standard;
    flipped[9] ^= 1;
    stats::BitErrorMeasurement m;
    m.Start(g);
    m.Compare(flipped.data(), flipped.size(), standard, standard.size());
    ASSERT_EQ(m.ErrorBits(), 1u);
    m.Stop();
    EXPECT_FALSE(m.Running());
    EXPECT_EQ(m.Readout().comparedBits, 0u);
    EXPECT_EQ(m.ErrorBits(), 0u);
    EXPECT_EQ(m.ErrorRate(), 0.0);
    m.Compare(flipped.data(), flipped.size(), standard, standard.size());
    EXPECT_EQ(m.ComparedBits(), 0u);  // a block after the stop counts nothing
    m.Start(g);
    m.Compare(standard.data(), standard.size(), standard, standard.size());
    EXPECT_EQ(m.ComparedBits(), 64u);
    EXPECT_EQ(m.ErrorBits(), 0u);
}

TEST(BitErrorMeasurement, StopDuringComparisonsLeavesZero) {
    const auto g = Geometry(100, 4, 8);
    const Bytes standard = Group(g);
    Bytes block;
    for (int i = 0; i < 200; ++i) block.insert(block.end(), standard.begin(), standard.end());
    for (std::size_t i = 9; i < block.size(); i += 97) block[i] ^= 0x81;
    stats::BitErrorMeasurement m;
    m.Start(g);
    std::atomic<bool> done{false};
    std::atomic<int> blocks{0};
    std::thread path([&] {
        while (!done) {
            m.Compare(block.data(), block.size(), standard, standard.size());
            ++blocks;
        }
    });
    EXPECT_WAIT_UNTIL(blocks >= 5, 20s);
    m.Stop();
    const int after = blocks + 3;
    EXPECT_WAIT_UNTIL(blocks >= after, 20s);
    done = true;
    path.join();
    const stats::BitErrorReadout r = m.Readout();
    EXPECT_FALSE(r.running);
    EXPECT_EQ(r.comparedBits, 0u);
    EXPECT_EQ(r.errorBits, 0u);
    EXPECT_EQ(r.errorRate, 0.0);
}

TEST(BitErrorMeasurement, NewStandardFrameWhileRunningIsTheOneComparedWith) {
    const auto g = Geometry(4, 2, 8);
    const Bytes first = Group(g);
    Bytes second = first;
    second[9] ^= 0x0F;
    Bytes block;
    for (int i = 0; i < 300; ++i) block.insert(block.end(), second.begin(), second.end());
    stats::BitErrorMeasurement m;
    m.Start(g);
    m.Compare(block.data(), block.size(), first, first.size());
    EXPECT_EQ(m.ErrorBits(), 300u * 4u);
    m.Compare(block.data(), block.size(), second, second.size());
    EXPECT_EQ(m.ErrorBits(), 300u * 4u);
    EXPECT_EQ(m.ComparedBits(), 2u * 300u * 64u);
}

TEST(BitErrorMeasurement, MaskAgreesWithCursorWalkOnRandomFrames) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 300; ++round) {
        const auto g = Geometry(1 + rng() % 40, 1 + rng() % 6, 1 + rng() % 24);
        const std::size_t dataBytes =
            std::size_t{g.subframeWords} * g.wordBytes * g.superframeLength;
        std::vector<int> list;
        const unsigned share = rng() % 4;
        for (std::size_t b = 1; b <= dataBytes + 3; ++b)
            if (rng() % 4 < share) list.push_back(int(b));
        Bytes standard(g.superframeRecord);
        for (auto& b : standard) b = std::uint8_t(rng());
        Bytes block(g.superframeRecord * (rng() % 160) + rng() % g.superframeRecord);
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = rng() % 3 == 0 ? std::uint8_t(rng()) : standard[i % standard.size()];
        const Counts want = CursorWalk(g, list, block, standard);
        const Counts got = Measure(g, list, block, standard);
        ASSERT_EQ(got.compared, want.compared) << "round " << round;
        ASSERT_EQ(got.errors, want.errors) << "round " << round;
    }
}

}  // namespace

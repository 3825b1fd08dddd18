// The time check compares whole ticks; it must report exactly what the
// double milliseconds report, ties with 2P and equal times included.
#include <datapath/time_tag.h>
#include <gtest/gtest.h>
#include <stats/frame_checks.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "record_bytes.h"

namespace {

TEST(TimeTicksTest, TicksAreTheMillisecondsOfEveryTagWhateverItsBytes) {
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        std::uint8_t tag[8];
        for (auto& b : tag) b = std::uint8_t(rng());
        for (std::uint32_t format : {0u, 1u}) {
            const double ms = datapath::TagDayMs(tag, format);
            const double ticks = double(datapath::TagTicks(tag, format));
            ASSERT_NEAR(ticks / double(datapath::TicksPerMs(format)), ms, 1e-6)
                << "format " << format << " bytes " << int(tag[0]) << "," << int(tag[1]) << ","
                << int(tag[2]) << "," << int(tag[3]) << "," << int(tag[4]);
        }
    }
}

// A tag `ticks` after midnight (wrapping at a day) in either format.
std::vector<std::uint8_t> TagAt(std::int64_t ticks, std::uint32_t format) {
    if (format == 0) {
        const std::int64_t t = ((ticks % 864000000) + 864000000) % 864000000;
        const auto ms = unsigned(t / 10 % 1000), s = unsigned(t / 10000);
        return stats_test::BcdTag(s / 3600, s / 60 % 60, s % 60, ms, unsigned(t % 10));
    }
    const std::int64_t t = ((ticks % 86400000000) + 86400000000) % 86400000000;
    return stats_test::BinaryTag(std::uint32_t(t / 1000000), std::uint32_t(t % 1000000));
}

struct Case {
    std::uint32_t format, words, wordBytes, rate;
};

TEST(TimeTicksTest, TickComparisonReportsLikeTheDoublesOnRandomStreams) {
    // Shapes whose 2P is a whole number of ticks (ties) and some that are not.
    const Case cases[] = {
        {0, 25, 1, 1000000},  // 2P = 0.4 ms = 4 ticks
        {0, 24, 1, 1000000},  // 0.384 ms
        {1, 24, 1, 1000000},  // 384 us exactly
        {1, 25, 2, 3000000},  // 266.66 us
        {0, 50, 2, 2000000},  // 0.8 ms = 8 ticks
        {1, 125, 1, 1000},    // 2 s
    };
    std::mt19937 rng(11);
    for (const Case& c : cases) {
        const double twice = 2 * stats::SubframePeriodMs(c.words, c.wordBytes, c.rate);
        const std::int64_t perMs = datapath::TicksPerMs(c.format);
        const auto twiceTicks = std::int64_t(std::llround(twice * double(perMs)));
        stats::BlockShape shape{.words = c.words,
                                .subframes = 2,
                                .headerBytes = 8,
                                .wordBytes = c.wordBytes,
                                .tagFormat = c.format};
        stats::TimeContinuityCheck ticks, doubles;
        ticks.Start();
        doubles.Start();
        // Near midnight so that some streams roll over.
        std::int64_t t = 864000000 * perMs / 10 - 3000 * perMs + std::int64_t(rng() % 2000) * perMs;
        std::size_t total = 0;
        for (int block = 0; block < 300; ++block) {
            stats_test::Records r;
            const int records = 2 * int(1 + rng() % 8);
            for (int i = 0; i < records; ++i) {
                switch (rng() % 8) {
                    case 0:
                        break;  // the same time again
                    case 1:
                        t += twiceTicks;
                        break;  // a tie with 2P
                    case 2:
                        t += twiceTicks + 1;
                        break;
                    case 3:
                        t -= std::int64_t(rng() % 50);
                        break;  // back in time
                    case 4:
                        t += std::int64_t(rng() % 100000);
                        break;
                    default:
                        t += std::max<std::int64_t>(1, twiceTicks / 2);
                        break;
                }
                r.Add(TagAt(t, c.format), {});
                r.bytes.insert(r.bytes.end(), std::size_t{c.words} * c.wordBytes, 0);
            }
            const std::size_t a = ticks.CheckBlock(r.bytes.data(), r.bytes.size(), shape, c.rate);
            const std::size_t b =
                doubles.CheckBlockByDoubles(r.bytes.data(), r.bytes.size(), shape, c.rate);
            ASSERT_EQ(a, b) << "format " << c.format << " words " << c.words << " block " << block;
            ASSERT_EQ(std::string(ticks.Text()), std::string(doubles.Text()));
            total += a;
        }
        EXPECT_GT(total, 0u);
    }
}

TEST(TimeTicksTest, AnHourChangeAloneIsAJumpAndDayBitsAreNot) {
    const stats::BlockShape shape{.words = 24, .subframes = 1, .headerBytes = 8, .wordBytes = 1};
    auto day = stats_test::BcdTag(11, 0, 0, 0, 3);
    day[4] |= 0xC0;  // day of the year, not the hour
    stats_test::Records r;
    for (const auto& tag : {stats_test::BcdTag(10, 0, 0, 0, 0), stats_test::BcdTag(10, 0, 0, 0, 1),
                            stats_test::BcdTag(11, 0, 0, 0, 2),  // bytes 2-3 as before
                            day}) {
        r.Add(tag, {});
        r.bytes.insert(r.bytes.end(), 24, 0);
    }
    stats::TimeContinuityCheck check;
    check.Start();
    EXPECT_EQ(check.CheckBlock(r.bytes.data(), r.bytes.size(), shape, 1000000), 1u);
}

TEST(TimeTicksTest, GarbageNibblesReportLikeTheDoubles) {
    std::mt19937 rng(5);
    const stats::BlockShape shape{.words = 1, .subframes = 1, .headerBytes = 8, .wordBytes = 1};
    stats::TimeContinuityCheck ticks, doubles;
    ticks.Start();
    doubles.Start();
    for (int block = 0; block < 2000; ++block) {
        std::vector<std::uint8_t> bytes(9 * 8);
        for (auto& b : bytes) b = std::uint8_t(rng());
        for (std::uint32_t format : {0u, 1u}) {
            stats::BlockShape s = shape;
            s.tagFormat = format;
            ASSERT_EQ(ticks.CheckBlock(bytes.data(), bytes.size(), s, 20000),
                      doubles.CheckBlockByDoubles(bytes.data(), bytes.size(), s, 20000));
            ASSERT_EQ(std::string(ticks.Text()), std::string(doubles.Text()));
        }
    }
}

}  // namespace

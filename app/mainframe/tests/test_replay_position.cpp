// Where a replay starts for a slider position or an entered time, and the
// software replay's pending seek.
#include <datapath/replay_reader.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "replay_position.h"

using namespace mainframe;

namespace {

constexpr double kHourMs = 3600000.0;

TEST(StartRecordAt, ShareOfTheFileSpanTruncated) {
    // 10:00 to 11:00, 1000 records.
    const double start = 10 * kHourMs, end = 11 * kHourMs;
    EXPECT_EQ(StartRecordAt(start, start, end, 1000).record, 0u);
    EXPECT_EQ(StartRecordAt(start, start, end, 1000).result, StartRecordResult::Ok);
    EXPECT_EQ(StartRecordAt(start + kHourMs / 2, start, end, 1000).record, 500u);
    EXPECT_EQ(StartRecordAt(start + kHourMs * 0.9999, start, end, 1000).record, 999u);
    EXPECT_EQ(StartRecordAt(start + 1.0, start, end, 3).record, 0u);  // truncated
}

TEST(StartRecordAt, RefusesTimesOutsideTheFile) {
    const double start = 10 * kHourMs, end = 11 * kHourMs;
    EXPECT_EQ(StartRecordAt(start - 0.1, start, end, 1000).result,
              StartRecordResult::BeforeFileStart);
    EXPECT_EQ(StartRecordAt(end, start, end, 1000).result, StartRecordResult::NotBeforeFileEnd);
    EXPECT_EQ(StartRecordAt(end + 5, start, end, 1000).result, StartRecordResult::NotBeforeFileEnd);
    EXPECT_EQ(StartRecordAt(start, start, end, 0).result, StartRecordResult::NoRecords);
}

TEST(StartRecordAt, FileWithoutSpanRefusesEveryTimeWithoutDividingByZero) {
    const double t = 8 * kHourMs;
    EXPECT_EQ(StartRecordAt(t, t, t, 100).result, StartRecordResult::NotBeforeFileEnd);
    EXPECT_EQ(StartRecordAt(t - 1, t, t, 100).result, StartRecordResult::BeforeFileStart);
    EXPECT_EQ(StartRecordAt(t + 1, t, t, 100).result, StartRecordResult::NotBeforeFileEnd);
}

TEST(StartRecordAt, FileRecordedAcrossMidnightAcceptsTimesOnBothDays) {
    // 23:00 to 01:00, 1200 records: one record per 6 s.
    const double start = 23 * kHourMs, end = 1 * kHourMs;
    const StartRecord before = StartRecordAt(23.5 * kHourMs, start, end, 1200);
    EXPECT_EQ(before.result, StartRecordResult::Ok);
    EXPECT_EQ(before.record, 300u);
    const StartRecord after = StartRecordAt(0.5 * kHourMs, start, end, 1200);
    EXPECT_EQ(after.result, StartRecordResult::Ok);
    EXPECT_EQ(after.record, 900u);
    EXPECT_EQ(StartRecordAt(0, start, end, 1200).record, 600u);
    EXPECT_EQ(StartRecordAt(1 * kHourMs, start, end, 1200).result,
              StartRecordResult::NotBeforeFileEnd);
    EXPECT_EQ(StartRecordAt(12 * kHourMs, start, end, 1200).result,
              StartRecordResult::NotBeforeFileEnd);
}

TEST(SliderStartRecord, EndOfTheSliderStartsAtTheLastRecordNotPastIt) {
    EXPECT_EQ(SliderStartRecord(0, 500), 0u);
    EXPECT_EQ(SliderStartRecord(500, 500), 250u);
    EXPECT_EQ(SliderStartRecord(999, 500), 499u);
    EXPECT_EQ(SliderStartRecord(1000, 500), 499u);
    EXPECT_EQ(SliderStartRecord(1000, 1), 0u);
    EXPECT_EQ(SliderStartRecord(5000, 10), 9u);
    EXPECT_EQ(SliderStartRecord(-3, 10), 0u);
    EXPECT_FALSE(SliderStartRecord(400, 0).has_value());
}

TEST(JumpTargetMs, FourFieldsToMilliseconds) {
    EXPECT_EQ(JumpTargetMs("1", "2", "3", "4"), 3723004.0);
    EXPECT_EQ(JumpTargetMs("23", "59", "59", "999"), 86399999.0);
    EXPECT_EQ(JumpTargetMs(" 0", "0 ", "0", "0"), 0.0);
}

TEST(JumpTargetMs, EmptyNonNumericOrOutOfRangeFieldsAreRefused) {
    const char* bad[][4] = {
        {"", "0", "0", "0"},     {"x", "0", "0", "0"},
        {"1a", "0", "0", "0"},   {"24", "0", "0", "0"},
        {"0", "60", "0", "0"},   {"0", "0", "60", "0"},
        {"0", "0", "0", "1000"}, {"-1", "0", "0", "0"},
        {"0", "0", "0", "1.5"},  {"99999999999", "0", "0", "0"},
    };
    for (const auto& f : bad)
        EXPECT_FALSE(JumpTargetMs(f[0], f[1], f[2], f[3]).has_value())
            << f[0] << ":" << f[1] << ":" << f[2] << ":" << f[3];
}

// A reader that only records the seeks it was given.
struct SeekRecorder : datapath::SoftwareReplayReader {
    std::uint64_t applied = 0;
    int seeks = 0;
    void ApplyPendingSeek() override {
        std::uint64_t r = 0;
        if (TakePendingSeek(r)) {
            applied = r;
            ++seeks;
        }
    }
    double Progress() override { return 0; }
    std::size_t ReadNextBlock(std::uint8_t*, std::size_t) override { return 0; }
    void StopReplay() override {}
};

TEST(SoftwareReplaySeek, LatestRequestIsTakenOnceIncludingRecordZero) {
    SeekRecorder r;
    r.ApplyPendingSeek();
    EXPECT_EQ(r.seeks, 0);
    r.RequestSeek(40);
    r.RequestSeek(0);
    r.ApplyPendingSeek();
    r.ApplyPendingSeek();
    EXPECT_EQ(r.seeks, 1);
    EXPECT_EQ(r.applied, 0u);
}

TEST(SoftwareReplaySeek, RequestsFromAnotherThreadAreNeverTorn) {
    SeekRecorder r;
    std::atomic<bool> done{false};
    std::thread requester([&] {
        for (std::uint64_t i = 1; i <= 20000; ++i) r.RequestSeek(i % 2 ? 0x100000001ull : 7);
        done = true;
    });
    bool torn = false;
    while (!done) {
        r.ApplyPendingSeek();
        if (r.seeks && r.applied != 0x100000001ull && r.applied != 7) torn = true;
    }
    requester.join();
    r.ApplyPendingSeek();
    EXPECT_FALSE(torn);
    EXPECT_EQ(r.applied, 7u);
}

}  // namespace

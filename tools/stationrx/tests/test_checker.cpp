// The station checker on datagrams written out here byte by byte, and their
// copies with one byte corrupted.
#include <gtest/gtest.h>
#include <stationrx/checker.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace stationrx;

void Put32(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + i] = std::uint8_t(v >> (8 * i));
}
void Put16(std::vector<std::uint8_t>& d, std::size_t at, std::uint16_t v) {
    d[at] = std::uint8_t(v);
    d[at + 1] = std::uint8_t(v >> 8);
}

constexpr StationTime kNow{9000, 500000000};

std::vector<std::uint8_t> Header(std::size_t size, std::uint32_t bid, std::uint32_t seq) {
    std::vector<std::uint8_t> d(size, 0);
    d[0] = 0x80;
    Put32(d, 11, bid);
    Put32(d, 15, seq);
    Put16(d, 24, 9000);
    Put32(d, 26, kNow.timeOfDay - 20);  // sent 2 ms before "now"
    Put16(d, 30, std::uint16_t(size - 32));
    return d;
}

std::vector<std::uint8_t> LinkMonitor(std::uint32_t seq) {
    auto d = Header(36, 0x00020101, seq);
    std::memcpy(d.data() + 32, d.data() + 26, 4);
    return d;
}

// Four 32-byte records whose counter (2 bytes at data byte 3) runs from
// `counter`, sub-frame indexes 0-3.
std::vector<std::uint8_t> Telemetry(std::uint32_t seq, std::uint16_t counter) {
    auto d = Header(36 + 128, 0x00110101, seq);
    Put16(d, 32, 0x0510);
    Put16(d, 34, 4);
    for (int i = 0; i < 4; ++i) {
        const std::size_t at = 36 + 32 * i;
        Put16(d, at, 9000);
        Put32(d, at + 2, 123456789);
        Put16(d, at + 6, std::uint16_t(i));
        const std::uint16_t c = std::uint16_t(counter + i);
        d[at + 8 + 2] = std::uint8_t(c >> 8);
        d[at + 8 + 3] = std::uint8_t(c);
    }
    return d;
}

CheckerOptions Options() {
    CheckerOptions o;
    o.recordBytes = 32;
    o.subframes = 4;
    o.counterPos = 3;
    o.counterBytes = 2;
    return o;
}

TEST(StationChecker, GoodPacketsPassAndEveryOneByteCorruptionOfAKeyFieldFails) {
    StationChecker c(Options());
    EXPECT_EQ(c.CheckStation(LinkMonitor(0), kNow).kind, Kind::LinkMonitor);
    EXPECT_EQ(c.CheckStation(Telemetry(0, 100), kNow).kind, Kind::Telemetry);
    EXPECT_EQ(c.Totals().malformed, 0u);
    EXPECT_EQ(c.Totals().records, 4u);

    // Bytes whose change the checker must see: the BID, the reserved bytes,
    // the length, the status word and the echoed time of the link monitor.
    const std::size_t linkBytes[] = {11, 12, 13, 14, 19, 20, 21, 22, 23, 26, 29, 30, 31, 32, 35};
    for (std::size_t at : linkBytes) {
        StationChecker fresh(Options());
        auto d = LinkMonitor(0);
        d[at] ^= 0x40;
        EXPECT_EQ(fresh.CheckStation(d, kNow).kind, Kind::Malformed) << "link byte " << at;
    }
    const std::size_t telemetryBytes[] = {11,          19, 23, 30, 31, 33, 32,
                                          36 + 5,        // record time past the day
                                          36 + 32 + 6,   // sub-frame index 0x41
                                          36 + 32 + 7};  // high byte of the index
    for (std::size_t at : telemetryBytes) {
        StationChecker fresh(Options());
        auto d = Telemetry(0, 100);
        d[at] ^= 0x40;
        EXPECT_EQ(fresh.CheckStation(d, kNow).kind, Kind::Malformed) << "telemetry byte " << at;
    }
    // The status word may carry bit 4 (lock) but bit 8 must be set.
    auto noBit8 = Telemetry(0, 100);
    noBit8[33] &= ~0x01;
    EXPECT_EQ(StationChecker(Options()).CheckStation(noBit8, kNow).kind, Kind::Malformed);
    // A record cut short.
    auto cut = Telemetry(0, 100);
    cut.pop_back();
    Put16(cut, 30, std::uint16_t(cut.size() - 32));
    EXPECT_EQ(StationChecker(Options()).CheckStation(cut, kNow).kind, Kind::Malformed);
    EXPECT_EQ(StationChecker(Options()).CheckStation(Header(35, 0x00020101, 0), kNow).kind,
              Kind::Malformed);
}

TEST(StationChecker, CounterMustRunOnAcrossRecordsAndPackets) {
    StationChecker c(Options());
    c.CheckStation(Telemetry(0, 65534), kNow);  // 65534 .. 1 across the wrap
    c.CheckStation(Telemetry(1, 2), kNow);
    EXPECT_EQ(c.Totals().counterBreaks, 0u);
    auto d = Telemetry(2, 6);
    d[36 + 64 + 8 + 3] ^= 0x01;  // one record's counter off by one
    c.CheckStation(d, kNow);
    EXPECT_EQ(c.Totals().counterBreaks, 2u);  // into it and out of it
    EXPECT_EQ(c.Totals().records, 12u);
}

TEST(StationChecker, SequenceGapsDuplicatesAndLatePacketsPerBid) {
    StationChecker c(Options());
    c.CheckStation(Telemetry(0, 0), kNow);
    c.CheckStation(LinkMonitor(0), kNow);  // its own counter
    c.CheckStation(Telemetry(1, 4), kNow);
    c.CheckStation(Telemetry(4, 16), kNow);  // 2 and 3 missing
    EXPECT_EQ(c.Totals().lost, 2u);
    c.CheckStation(Telemetry(2, 8), kNow);  // arrives late
    EXPECT_EQ(c.Totals().reordered, 1u);
    EXPECT_EQ(c.Totals().lost, 1u);
    c.CheckStation(Telemetry(4, 16), kNow);
    EXPECT_EQ(c.Totals().duplicates, 1u);
    c.CheckStation(LinkMonitor(1), kNow);
    EXPECT_EQ(c.Totals().lost, 1u);
    // Wrapping at 2^32 is no gap.
    StationChecker w(Options());
    w.CheckStation(LinkMonitor(0xFFFFFFFFu), kNow);
    w.CheckStation(LinkMonitor(0), kNow);
    EXPECT_EQ(w.Totals().lost, 0u);
    EXPECT_EQ(w.Totals().reordered, 0u);
}

TEST(StationChecker, DelayIsReceiveTimeMinusSendingTime) {
    StationChecker c(Options());
    c.CheckStation(LinkMonitor(0), kNow);  // 2 ms
    EXPECT_EQ(c.Totals().delayed, 0u);
    c.CheckStation(LinkMonitor(1), {kNow.dayNumber, kNow.timeOfDay + 300});  // 32 ms
    EXPECT_EQ(c.Totals().delayed, 1u);
    // Sent just before midnight, received just after: 3 ms.
    auto d = LinkMonitor(2);
    Put16(d, 24, 8999);
    Put32(d, 26, 864000000 - 10);
    std::memcpy(d.data() + 32, d.data() + 26, 4);
    c.CheckStation(d, {9000, 20});
    EXPECT_EQ(c.Totals().delayed, 1u);
}

TEST(StationChecker, GnssPacketsAreSyncedAndFinite) {
    StationChecker c(Options());
    double last[3];
    EXPECT_FALSE(c.LastGnss(last));
    std::vector<std::uint8_t> g(27, 0);
    g[0] = 0xEB, g[1] = 0x90, g[2] = 0x55;
    const double xyz[3] = {1.0, 2.0, 3.0};
    std::memcpy(g.data() + 3, xyz, 24);
    EXPECT_EQ(c.CheckGnss(g).kind, Kind::Gnss);
    ASSERT_TRUE(c.LastGnss(last));
    EXPECT_EQ(last[2], 3.0);
    for (std::size_t at = 0; at < 3; ++at) {
        auto bad = g;
        bad[at] ^= 0x01;
        EXPECT_EQ(c.CheckGnss(bad).kind, Kind::Malformed) << at;
    }
    auto nan = g;
    const double n = std::nan("");
    std::memcpy(nan.data() + 11, &n, 8);
    EXPECT_EQ(c.CheckGnss(nan).kind, Kind::Malformed);
    g.push_back(0);
    EXPECT_EQ(c.CheckGnss(g).kind, Kind::Malformed);
    ASSERT_TRUE(c.LastGnss(last));
    EXPECT_EQ(last[1], 2.0) << "a refused packet leaves the last position";
}

}  // namespace

// The program's use of the search: the entry per version, the position
// packet only after a first fix, the dialog's checks.
#include <gnsspick/gnsspick.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gnssview/gnss_view.h"

using namespace gnssview;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A new-protocol navigation frame (without receiver identifier) near
// 40 N 116.4 E at bytes 1-4 of 8 + 4 byte records; one idle record after it.
Bytes NavigationBlock(std::uint8_t type, bool withId) {
    Bytes payload(62, 0);
    auto f32 = [&](std::size_t at, float v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        for (int i = 0; i < 4; ++i) payload[at + i] = std::uint8_t(u >> (24 - 8 * i));
    };
    f32(24 + 12, -2175000.f);
    f32(24 + 16, 4388000.f);
    f32(24 + 20, 4078000.f);
    Bytes s{0xAA, 0x55, 0x11, 0xBB};
    if (!withId) s.insert(s.end(), {0, 0});
    s.insert(s.end(), {type, 62, 0});
    s.insert(s.end(), payload.begin(), payload.end());
    s.insert(s.end(), 7 + 4, 0x00);
    while (s.size() % 4) s.push_back(0);
    Bytes block;
    for (std::size_t i = 0; i < s.size(); i += 4) {
        block.insert(block.end(), 8, 0xEE);
        block.insert(block.end(), s.begin() + long(i), s.begin() + long(i) + 4);
    }
    return block;
}

void StartUp() {
    SetTelemetryPar(8, 4, 32);
    const std::uint16_t p[4] = {1, 2, 3, 4};
    SetSelectRoads(p);
}

}  // namespace

TEST(GnssView, VersionsChooseTheirEntryAndAnyOtherValueTheLast) {
    EXPECT_EQ(EntryForVersion(0), SearchEntry::Old);
    EXPECT_EQ(EntryForVersion(1), SearchEntry::WithReceiverId);
    for (int v : {2, 5, -1, 1000}) EXPECT_EQ(EntryForVersion(v), SearchEntry::WithoutReceiverId);

    // A stored 5 searches frames without receiver identifier.
    StartUp();
    const Bytes without = NavigationBlock(6, false);
    double pos[3];
    SearchBlock(1, without.data(), without.size());
    EXPECT_EQ(GetTargetPositionData(pos), 0);
    SearchBlock(5, without.data(), without.size());
    EXPECT_NE(GetTargetPositionData(pos), 0);
    const Bytes with = NavigationBlock(4, true);
    SearchBlock(1, with.data(), with.size());
    EXPECT_NE(GetTargetPositionData(pos), 0);
}

TEST(GnssView, NoPacketBeforeTheFirstFixThenTheLatestAfterEveryBlock) {
    StartUp();
    PositionFeed feed;
    std::uint8_t packet[27] = {};
    const Bytes idle(12 * 4, 0);
    SearchBlock(2, idle.data(), idle.size());
    feed.FetchAfterSearch();
    EXPECT_FALSE(feed.Packet(packet));
    EXPECT_EQ(packet[0], 0);

    const Bytes nav = NavigationBlock(6, false);
    SearchBlock(2, nav.data(), nav.size());
    feed.FetchAfterSearch();
    ASSERT_TRUE(feed.Packet(packet));
    EXPECT_EQ(packet[0], 0xEB);
    double lon;
    std::memcpy(&lon, packet + 3, 8);
    EXPECT_NEAR(lon, 116.37, 0.1);
    // No new fix: the same position again.
    SearchBlock(2, idle.data(), idle.size());
    feed.FetchAfterSearch();
    std::uint8_t again[27];
    ASSERT_TRUE(feed.Packet(again));
    EXPECT_EQ(std::memcmp(packet, again, 27), 0);
}

TEST(GnssView, PickPositionsAreWholeNumbersWithinTheSubframe) {
    std::array<std::uint16_t, 4> out{9, 9, 9, 9};
    EXPECT_EQ(CheckPickPositions({"10", "0", "24", "1"}, 24, out), "");
    EXPECT_EQ(out, (std::array<std::uint16_t, 4>{10, 0, 24, 1}));
    out = {9, 9, 9, 9};
    EXPECT_EQ(CheckPickPositions({"10", "25", "1", "1"}, 24, out), "路序超出子帧字节数（24）！");
    for (const char* bad : {"65536", "-1", "", "1x", "99999999999999999999"})
        EXPECT_EQ(CheckPickPositions({"1", bad, "1", "1"}, 100000, out),
                  "路序必须是0到65535之间的整数！")
            << bad;
    EXPECT_EQ(out, (std::array<std::uint16_t, 4>{9, 9, 9, 9})) << "refused values change nothing";
}

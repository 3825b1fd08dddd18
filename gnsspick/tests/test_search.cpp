// The search over records: picking, both framings end to end, the decoders'
// bounds, the position flag, resets.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "gnss_search.h"
#include "test_helpers.h"

using namespace gnsspick;
using namespace gnsstest;

namespace {

constexpr double kX = -2175000.0, kY = 4388000.0, kZ = 4078000.0;  // near 40 N 116 E

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        s = std::make_unique<GnssSearch>();
        s->SetTelemetryPar(8, 4, 32);
        const std::uint16_t p[4] = {1, 2, 3, 4};
        s->SetSelectRoads(p);
    }
    // The stream in records of 8 + 4 bytes, all four positions used; idle
    // bytes in front so that it ends on a record boundary.
    static Bytes AlignedRecords(const Bytes& stream) {
        Bytes padded((4 - stream.size() % 4) % 4, 0x00);
        padded.insert(padded.end(), stream.begin(), stream.end());
        return Records(padded, 8, 4, {1, 2, 3, 4});
    }
    void Search(Protocol p, const Bytes& block) { s->Search(p, block.data(), block.size()); }
    std::unique_ptr<GnssSearch> s;
};

}  // namespace

TEST_F(SearchTest, PositionsOneZeroThreeZeroTakeTwoBytesPerRecordInOrder) {
    s->SetTelemetryPar(2, 4, 1);
    const std::uint16_t p[4] = {1, 0, 3, 0};
    s->SetSelectRoads(p);
    const Bytes block{0xF0, 0xF1, 'a', 'x', 'b', 'y', 0xF0, 0xF1, 'c', 'x', 'd', 'y', 0xF0};
    Bytes got;
    s->ForEachPicked(block.data(), block.size(), [&](std::uint8_t b) { got.push_back(b); });
    EXPECT_EQ(got, (Bytes{'a', 'b', 'c', 'd'}));  // the partial record is not read
}

TEST_F(SearchTest, PositionsBeyondTheDataAndAnEmptyLayoutPickNothing) {
    const std::uint16_t p[4] = {5, 4, 0, 60000};
    s->SetSelectRoads(p);
    // Exactly one record: position 5 would read past the block.
    const Bytes block{0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4};
    Bytes got;
    s->ForEachPicked(block.data(), block.size(), [&](std::uint8_t b) { got.push_back(b); });
    EXPECT_EQ(got, (Bytes{4}));
    s->SetTelemetryPar(0, 0, 0);
    got.clear();
    s->ForEachPicked(block.data(), block.size(), [&](std::uint8_t b) { got.push_back(b); });
    Search(Protocol::Old, block);
    EXPECT_TRUE(got.empty());
}

TEST_F(SearchTest, NavigationSplitOverBlocksIsDecodedOnTheByteAfterItsEnd) {
    const Bytes nav = NavigationStored(float(kX), float(kY), float(kZ), 0, 3);
    const Bytes blocks = AlignedRecords(DleMessage(0xD7, Body(nav)));
    const std::size_t half = blocks.size() / 24 * 12;
    Search(Protocol::Old, Bytes(blocks.begin(), blocks.begin() + half));
    Search(Protocol::Old, Bytes(blocks.begin() + half, blocks.end()));
    double pos[3] = {-1, -1, -1};
    EXPECT_FALSE(s->GetTargetPosition(pos)) << "decoded before the next byte";
    EXPECT_EQ(pos[0], -1);
    Search(Protocol::Old, Records({0x00}, 8, 4, {1, 2, 3, 4}));
    ASSERT_TRUE(s->GetTargetPosition(pos));
    EXPECT_NEAR(pos[0], std::atan2(double(float(kY)), double(float(kX))) * 180 / M_PI, 1e-9);
    EXPECT_FALSE(s->GetTargetPosition(pos)) << "the flag is cleared by the fetch";

    const DisplayState& d = s->Display();
    EXPECT_EQ(d.layout, kLayoutOld);
    EXPECT_STREQ(TextsOf(d.shown).time.data(), "12:34:56");
    EXPECT_STREQ(TextsOf(d.shown).pdop.data(), "1.50");
    EXPECT_STREQ(TextsOf(d.shown).vy.data(), "-2.25");
    ASSERT_EQ(d.satelliteCount, 3u);
    EXPECT_EQ(d.satellites[2][0], 0x83);
}

TEST_F(SearchTest, StatusBitsUpdateTimeAndPdopButNoPosition) {
    Bytes nav = NavigationStored(float(kX), float(kY), float(kZ), 0, 0);
    Search(Protocol::Old, AlignedRecords(Concat({DleMessage(0xD7, Body(nav)), {0, 0, 0, 0}})));
    double pos[3];
    ASSERT_TRUE(s->GetTargetPosition(pos));
    const std::string x = TextsOf(s->Display().shown).x.data();

    nav = NavigationStored(1.0f, 2.0f, 3.0f, 0x04, 0, 1, 2, 3.0f);
    nav[24 + 37] = 0xFA;  // PDOP 2.50
    Search(Protocol::Old, AlignedRecords(Concat({DleMessage(0xD7, Body(nav)), {0, 0, 0, 0}})));
    EXPECT_FALSE(s->GetTargetPosition(pos));
    EXPECT_STREQ(TextsOf(s->Display().shown).time.data(), "01:02:03");
    EXPECT_STREQ(TextsOf(s->Display().shown).pdop.data(), "2.50");
    EXPECT_EQ(TextsOf(s->Display().shown).x.data(), x);
}

TEST_F(SearchTest, CoordinatesThatAreNoPositionAreNotPublished) {
    for (float bad : {NAN, INFINITY}) {
        const Bytes nav = NavigationStored(bad, float(kY), float(kZ), 0, 0);
        Search(Protocol::Old, AlignedRecords(Concat({DleMessage(0xD7, Body(nav)), {0, 0, 0, 0}})));
        double pos[3];
        EXPECT_FALSE(s->GetTargetPosition(pos));
    }
    const Bytes zero = NavigationStored(0, 0, 0, 0, 0);
    Search(Protocol::Old, AlignedRecords(Concat({DleMessage(0xD7, Body(zero)), {0, 0, 0, 0}})));
    double pos[3];
    EXPECT_FALSE(s->GetTargetPosition(pos));
    // A NaN in the seconds leaves the time text alone instead of converting it.
    SetUp();
    const Bytes nanTime = NavigationStored(float(kX), float(kY), float(kZ), 0, 0, 5, 6, NAN);
    Search(Protocol::Old, AlignedRecords(Concat({DleMessage(0xD7, Body(nanTime)), {0, 0, 0, 0}})));
    EXPECT_TRUE(s->GetTargetPosition(pos));
    EXPECT_STREQ(TextsOf(s->Display().shown).time.data(), "");
}

TEST_F(SearchTest, AShortNavigationMessageIsNotDecodedFromOldBytes) {
    const Bytes good = NavigationStored(float(kX), float(kY), float(kZ), 0, 5);
    Search(Protocol::Old, AlignedRecords(Concat({DleMessage(0xD7, Body(good)), {0, 0, 0, 0}})));
    double pos[3];
    ASSERT_TRUE(s->GetTargetPosition(pos));
    // The same message cut to 61 stored bytes: its fields are incomplete.
    const Bytes cut(good.begin(), good.begin() + 61);
    Search(Protocol::Old, AlignedRecords(Concat({DleMessage(0xD7, Body(cut)), {0, 0, 0, 0}})));
    EXPECT_FALSE(s->GetTargetPosition(pos));
    EXPECT_EQ(s->Display().satelliteCount, 5u);
}

TEST_F(SearchTest, MeasurementRecordsAreConvertedWithinTheirBlock) {
    Bytes body(20 + 17 * 2 + 5, 0);  // two whole records and a partial third
    for (int r = 0; r < 3 && 20 + 17 * r + 17 <= int(body.size()); ++r) {
        const std::size_t at = 20 + 17 * r;
        body[at] = std::uint8_t(0x08 | (r + 7));
        body[at + 1] = 0xD0;
        PutBe32(body, at + 2, std::uint32_t(-123456 * (r + 1)));
        body[at + 10] = 0x10;  // stuffed on the wire
    }
    Search(Protocol::Old, AlignedRecords(DleMessage(0xE0, body)));
    const DisplayState& d = s->Display();
    ASSERT_EQ(d.oldChannelCount, 2u);
    for (int r = 0; r < 2; ++r) {
        const std::uint8_t* e = d.tables.data() + 8 * r;
        EXPECT_EQ(e[0], 0x08 | (r + 7));
        EXPECT_EQ(e[1], 0xD0);
        EXPECT_EQ(e[2], 0x10);
        std::int32_t range;
        std::memcpy(&range, e + 4, 4);
        EXPECT_EQ(range, -123456 * (r + 1));
    }
    std::vector<std::uint8_t> t(kChannelTablesBytes), sol(kSolutionBytes), nav(500);
    EXPECT_EQ(s->GetMeasureData(t.data(), sol.data(), nav.data()), 1);
    EXPECT_EQ(s->GetMeasureData(t.data(), sol.data(), nav.data()), 0);
    EXPECT_EQ(s->GetMeasureData(nullptr, sol.data(), nav.data()), 0);
}

TEST_F(SearchTest, SelectRoadsInTheMiddleOfAMessageDiscardsIt) {
    const Bytes nav = NavigationStored(float(kX), float(kY), float(kZ), 0, 0);
    const Bytes old = AlignedRecords(Concat({DleMessage(0xD7, Body(nav)), {0, 0, 0, 0}}));
    Bytes payload(62, 0);
    std::copy(nav.begin() + 24, nav.end(), payload.begin() + 24);
    const Bytes fresh = AlignedRecords(SyncFrame(true, 4, payload));
    const std::uint16_t p[4] = {1, 2, 3, 4};
    for (auto [protocol, blocks] :
         {std::pair{Protocol::Old, old}, std::pair{Protocol::WithReceiverId, fresh}}) {
        const std::size_t half = blocks.size() / 24 * 12;
        Search(protocol, Bytes(blocks.begin(), blocks.begin() + half));
        s->SetSelectRoads(p);
        Search(protocol, Bytes(blocks.begin() + half, blocks.end()));
        double pos[3];
        EXPECT_FALSE(s->GetTargetPosition(pos));
        // Without the reset the same bytes make a position.
        Search(protocol, blocks);
        EXPECT_TRUE(s->GetTargetPosition(pos));
    }
}

TEST_F(SearchTest, NewProtocolNavigationFramesOfEachVersion) {
    Bytes payload = Body(NavigationStored(float(kX), float(kY), float(kZ), 0, 0));
    payload.insert(payload.begin(), {0, 0});  // fields at payload byte 24
    payload[24 + 37] = 0x10;                  // PDOP 0.16, stuffed on the wire
    for (auto [protocol, withId, type] : {std::tuple{Protocol::WithReceiverId, true, 4},
                                          std::tuple{Protocol::WithoutReceiverId, false, 6}}) {
        SetUp();
        // The other version's navigation type is not a navigation frame.
        Search(protocol,
               AlignedRecords(SyncFrame(withId, std::uint8_t(10 - type), Stuffed(payload))));
        double pos[3];
        EXPECT_FALSE(s->GetTargetPosition(pos));
        Search(protocol, AlignedRecords(SyncFrame(withId, std::uint8_t(type), Stuffed(payload))));
        ASSERT_TRUE(s->GetTargetPosition(pos));
        EXPECT_EQ(s->Display().layout, kLayoutNew);
        EXPECT_STREQ(TextsOf(s->Display().shown).pdop.data(), "0.16");
        std::vector<std::uint8_t> t(kChannelTablesBytes), sol(kSolutionBytes), nav(500);
        ASSERT_EQ(s->GetMeasureData(t.data(), sol.data(), nav.data()), 4);
        EXPECT_EQ(Bytes(nav.begin(), nav.begin() + 62), payload);
        double height;
        std::memcpy(&height, nav.data() + 200 + 10 * 8, 8);
        EXPECT_DOUBLE_EQ(height, pos[2]);
    }
}

namespace {

Bytes BinarySolution(std::int32_t x, std::int32_t y, std::int32_t z, std::uint8_t status,
                     std::uint8_t count, int entriesSent) {
    Bytes p(50 + 5 * entriesSent, 0);
    p[0] = count;
    p[1] = 1;
    double tod = 3600.0 * 23 + 60 * 59 + 58.75;
    std::uint64_t bits;
    std::memcpy(&bits, &tod, 8);
    PutLe(p, 2, bits, 8);
    PutLe(p, 10, 123, 2);
    p[12] = status;
    PutLe(p, 14, std::uint32_t(x), 4);
    PutLe(p, 18, std::uint32_t(y), 4);
    PutLe(p, 22, std::uint32_t(z), 4);
    PutLe(p, 26, std::uint32_t(-1500), 4);
    for (int i = 0; i < entriesSent; ++i) {
        PutLe(p, 50 + 5 * i, 201 + i, 2);
        p[50 + 5 * i + 2] = 0x2E;
        p[50 + 5 * i + 4] = 180;
    }
    return p;
}

}  // namespace

TEST_F(SearchTest, BinarySolutionIsDecodedOnlyWithReceiverIdentifier) {
    // The count claims 200 entries; 3 arrived.
    const Bytes sol = BinarySolution(-21750000, 43880000, 40780000, 0, 200, 3);
    Search(Protocol::WithReceiverId, AlignedRecords(SyncFrame(true, 0, sol)));
    double pos[3];
    ASSERT_TRUE(s->GetTargetPosition(pos));
    const DisplayState& d = s->Display();
    EXPECT_EQ(d.satelliteCount, 3u);
    EXPECT_STREQ(TextsOf(d.shown).time.data(), "23:59:58");
    EXPECT_STREQ(TextsOf(d.shown).pdop.data(), "1.23");
    EXPECT_STREQ(TextsOf(d.shown).x.data(), "-2175000.0");
    EXPECT_STREQ(TextsOf(d.shown).vx.data(), "-1.500");
    std::vector<std::uint8_t> t(kChannelTablesBytes), block(kSolutionBytes), nav(500);
    EXPECT_EQ(s->GetMeasureData(t.data(), block.data(), nav.data()), 2);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + sol.size()), sol);

    SetUp();
    Search(Protocol::WithoutReceiverId, AlignedRecords(SyncFrame(false, 0, sol)));
    EXPECT_FALSE(s->GetTargetPosition(pos));
    EXPECT_EQ(s->GetMeasureData(t.data(), block.data(), nav.data()), 2);
}

TEST_F(SearchTest, ReceiverRecordsAreBoundedByThePayload) {
    for (int version : {1, 2}) {
        SetUp();
        const std::size_t countAt = version == 1 ? 2 : 3, fixed = version == 1 ? 23 : 24;
        Bytes rec(fixed + 28 * 2, 0);
        rec[0] = 0x34;
        rec[1] = 0x12;
        rec[countAt] = 2;
        rec[fixed - 6] = 0x10;  // one stuffed byte in the first channel record's area
        // The count byte says 8 receivers; one record and half of another arrive.
        Bytes payload{8};
        payload.insert(payload.end(), rec.begin(), rec.end());
        payload.insert(payload.end(), rec.begin(), rec.begin() + 20);
        const Protocol p = version == 1 ? Protocol::WithReceiverId : Protocol::WithoutReceiverId;
        Search(p, AlignedRecords(SyncFrame(version == 1, 1, Stuffed(payload))));
        const DisplayState& d = s->Display();
        EXPECT_EQ(d.recordBytes[0], rec.size());
        EXPECT_EQ(d.recordBytes[1], 0u);
        EXPECT_EQ(Bytes(d.tables.begin(), d.tables.begin() + rec.size()), rec);
    }
}

TEST_F(SearchTest, LayoutFollowsTheSearchEntry) {
    EXPECT_EQ(s->Display().layout, 0);
    Search(Protocol::WithoutReceiverId, Records({0}, 8, 4, {1}));
    EXPECT_EQ(s->Display().layout, kLayoutNew);
    Search(Protocol::Old, Records({0}, 8, 4, {1}));
    EXPECT_EQ(s->Display().layout, kLayoutOld);
}

// Table texts of both layouts from hand-made entries.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "display_text.h"

using namespace gnsspick;

TEST(DisplayText, OldLayoutHasSixteenRowsWithDashesForEmptyEntries) {
    auto d = std::make_unique<DisplayState>();
    d->layout = kLayoutOld;
    d->satellites[0] = {0x85, 0x35, 61};  // used, RAIM fault, unhealthy, frame and bit sync
    d->satellites[1] = {0x21, 0x00, 0};   // 33: empty
    d->satelliteCount = 2;
    std::vector<TableRow> rows;
    UpperRows(*d, rows);
    ASSERT_EQ(rows.size(), 16u);
    EXPECT_EQ(rows[0], (TableRow{"   1", "5", "15.25", "YES", "不健康", "同步", "同步", "故障"}));
    EXPECT_EQ(rows[1], (TableRow{"   2", "--", "--", "--", "--", "--", "--", "--"}));
    EXPECT_EQ(rows[15][0], "   16");

    const std::uint8_t entry[8] = {0x0C, 0x50, 8, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    std::memcpy(d->tables.data(), entry, 8);
    d->oldChannelCount = 1;
    LowerRows(*d, rows);
    ASSERT_EQ(rows.size(), 16u);
    EXPECT_EQ(rows[0], (TableRow{"   1", "12", "2.00", "失步", "同步", "同步", "YES", "-1"}));
    EXPECT_EQ(std::string(UpperHeaders(kLayoutOld)[4]), "广播星历");
    EXPECT_EQ(std::string(LowerHeaders(kLayoutOld)[7]), "伪距");
}

TEST(DisplayText, NewLayoutHasOneRowPerEntryOfEveryReceiver) {
    auto d = std::make_unique<DisplayState>();
    d->layout = kLayoutNew;
    d->satellites[0] = {7, 0, 0x3E, 0, 100};      // GPS 7, all bits set
    d->satellites[1] = {0x2C, 0x01, 0x00, 0, 4};  // 300: BeiDou 100
    d->satellites[2] = {150, 0, 0x00, 0, 4};      // GNSS 50
    d->satelliteCount = 3;
    std::vector<TableRow> rows;
    UpperRows(*d, rows);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0],
              (TableRow{"   1", "GPS 7#", "25.00", "YES", "同步", "同步", "同步", "故障"}));
    EXPECT_EQ(rows[1][1], "北斗 100#");
    EXPECT_EQ(rows[1][7], "正常");
    EXPECT_EQ(rows[1][4], "失锁");
    EXPECT_EQ(rows[2][1], "GNSS 50#");

    // Version 2 records: channel records from byte 18; two receivers.
    d->recordVersion = 2;
    auto put = [&](std::size_t receiver, std::size_t channel, unsigned sat, std::uint32_t c,
                   std::int64_t phase, std::int32_t doppler, std::uint32_t lock) {
        std::uint8_t* p = d->tables.data() + receiver * kTableBytes + 18 + 28 * channel;
        p[0] = std::uint8_t(sat);
        p[1] = std::uint8_t(sat >> 8);
        std::memcpy(p + 3, &c, 4);
        std::memcpy(p + 11, &phase, 8);
        std::memcpy(p + 19, &doppler, 4);
        p[23] = 170;
        std::memcpy(p + 24, &lock, 4);
    };
    put(0, 0, 12, 2012345678u, -1234567, 0x7FFFFF, 0);
    put(1, 0, 205, 0, 0, -250, 77);
    put(1, 1, 206, 1, 1, 1, 1);
    d->recordBytes[0] = 24 + 28;
    d->recordBytes[1] = 24 + 56;
    LowerRows(*d, rows);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0],
              (TableRow{"   1", "GPS 12#", "42.50", "--", "-1234.567", "--", "20123456.78", "--"}));
    EXPECT_EQ(rows[1], (TableRow{"   2", "北斗 5#", "42.50", "77", "--", "-2.50", "--", "--"}));
    EXPECT_EQ(rows[2][0], "   3");
    EXPECT_EQ(std::string(LowerHeaders(kLayoutNew)[3]), "锁定时间");
}

// Packet bytes checked at their offsets against values written out by hand.
#include <gtest/gtest.h>
#include <netout/packet_format.h>

#include <cstring>
#include <vector>

namespace {

using namespace netout;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

// A BCD tag for 13:45:27.8125 (ms 812, tenth 5), sub-frame index `index`.
std::vector<std::uint8_t> BcdTag(std::uint8_t index) {
    return {0x25, 0x81, 0x27, 0x45, 0x13, 0x00, index, 0xAA};
}

TEST(DayNumber, CountsTheDaysOfWholeYearsSince2000) {
    EXPECT_EQ(DayNumberOfDate(2000, 1, 1), 1u);
    EXPECT_EQ(DayNumberOfDate(2004, 3, 1), 1522u);
    EXPECT_EQ(DayNumberOfDate(2004, 2, 1), 1493u);
    EXPECT_EQ(DayNumberOfDate(2001, 1, 1), 367u);       // 2000 is a leap year
    EXPECT_EQ(DayNumberOfDate(2001, 3, 1), 366u + 60);  // no 29 February in 2001
    EXPECT_EQ(DayNumber(2004, 61), 1522u);
}

TEST(StatusWord, LockBitStreamBitsAndBit8) {
    EXPECT_EQ(StatusWord(false, 1), 0x0500);
    EXPECT_EQ(StatusWord(true, 1), 0x0510);
    EXPECT_EQ(StatusWord(true, 2), 0x0910);
    EXPECT_EQ(StatusWord(true, 3), 0x0D10);
    EXPECT_EQ(StatusWord(false, 7), 0x0D00);  // any other stream counts as 3
}

TEST(Header, FieldsAtTheirOffsetsLittleEndianReservedZero) {
    PacketHeader h;
    h.version = 0x80;
    h.taskFlag = 0x1F90;
    h.source = 0x80000307;
    h.destination = 0x11223344;
    h.bid = 0x00110101;
    h.sequence = 0xA1B2C3D4;
    h.dayNumber = 1522;
    h.timeOfDay = 495278125;
    h.length = 364;
    std::vector<std::uint8_t> b(32, 0xFF);
    WriteHeader(b.data(), h);
    const std::vector<std::uint8_t> want = {0x80, 0x90, 0x1F, 0x07, 0x03, 0x00, 0x80, 0x44,
                                            0x33, 0x22, 0x11, 0x01, 0x01, 0x11, 0x00, 0xD4,
                                            0xC3, 0xB2, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xF2, 0x05, 0x2D, 0x58, 0x85, 0x1D, 0x6C, 0x01};
    EXPECT_EQ(b, want);
}

TEST(TelemetryPacket, DefaultEdgeCaseLengthsAndRecordHeaders) {
    // B = 1, R = 72, K = 5: 360 record bytes, length 364, datagram 396.
    const SendGeometry g{1, 72, 1, false};
    const Threshold t = SendThreshold(g, 5);
    EXPECT_EQ(t.bytes, 360u);
    EXPECT_FALSE(t.reduced);
    EXPECT_EQ(DatagramBytes(g, 5), 396u);

    std::vector<std::uint8_t> records;
    for (std::uint8_t i = 0; i < 5; ++i) {
        const auto tag = BcdTag(i);
        records.insert(records.end(), tag.begin(), tag.end());
        for (int w = 0; w < 64; ++w) records.push_back(std::uint8_t(i * 64 + w));
    }
    std::vector<std::uint8_t> out(396 + 8, 0xEE);
    PacketHeader h;
    h.bid = 0x00110101;
    const std::size_t n =
        BuildTelemetryPacket(out.data(), h, 0x0510, 7, records, 72, RecordStamp{1522, 0});
    EXPECT_EQ(n, 396u);
    EXPECT_EQ(Le16(out, 30), 364);
    EXPECT_EQ(Le16(out, 32), 0x0510);
    EXPECT_EQ(Le16(out, 34), 7);  // the count given, not the records carried
    // 13:45:27.8125 in 0.1 ms.
    const std::uint32_t tod = 13 * 36000000u + 45 * 600000u + 27 * 10000u + 812 * 10u + 5;
    for (std::size_t i = 0; i < 5; ++i) {
        const std::size_t at = 36 + i * 72;
        EXPECT_EQ(Le16(out, at), 1522);
        EXPECT_EQ(Le32(out, at + 2), tod);
        EXPECT_EQ(out[at + 6], i);
        EXPECT_EQ(out[at + 7], 0);
        EXPECT_EQ(out[at + 8], std::uint8_t(i * 64));  // words unchanged
        EXPECT_EQ(out[at + 71], std::uint8_t(i * 64 + 63));
    }
    EXPECT_EQ(out[396], 0xEE);  // nothing written past the datagram
}

TEST(TelemetryPacket, HostTimeTagsAreDecodedAsBinary) {
    // Second of day 49527, 812,345 us: 495,278,123 in 0.1 ms.
    const std::uint64_t v = std::uint64_t{49527} << 20 | 812345;
    std::vector<std::uint8_t> rec(16, 0);
    for (int i = 0; i < 5; ++i) rec[i] = std::uint8_t(v >> (8 * i));
    rec[6] = 3;
    std::vector<std::uint8_t> out(52);
    BuildTelemetryPacket(out.data(), {}, 0x0500, 1, rec, 16, RecordStamp{10, 1});
    EXPECT_EQ(Le32(out, 38), 495278123u);
    EXPECT_EQ(out[42], 3);
}

TEST(LinkMonitorPacket, ThirtySixBytesEchoingTheTimeOfDay) {
    PacketHeader h;
    h.bid = 0x00020101;
    h.timeOfDay = 0x01020304;
    h.length = 999;  // replaced by 4
    std::vector<std::uint8_t> out(36);
    BuildLinkMonitorPacket(out.data(), h);
    EXPECT_EQ(Le16(out, 30), 4);
    EXPECT_EQ(Le32(out, 11), 0x00020101u);
    EXPECT_TRUE(std::equal(out.begin() + 26, out.begin() + 30, out.begin() + 32));
}

TEST(GnssPacket, SyncBytesThenThreeDoubles) {
    std::vector<std::uint8_t> out(27);
    BuildGnssPacket(out.data(), 1.5, -2.25, 1e6);
    EXPECT_EQ(out[0], 0xEB);
    EXPECT_EQ(out[1], 0x90);
    EXPECT_EQ(out[2], 0x55);
    double y = 0;
    std::memcpy(&y, out.data() + 11, 8);
    EXPECT_EQ(y, -2.25);
}

std::vector<std::uint8_t> StationDatagram(std::uint32_t bid, std::size_t size) {
    std::vector<std::uint8_t> d(size, 0);
    d[0] = 0x42;
    d[11] = std::uint8_t(bid);
    d[12] = std::uint8_t(bid >> 8);
    d[13] = std::uint8_t(bid >> 16);
    d[14] = std::uint8_t(bid >> 24);
    if (size >= 36) d[32] = 0x78, d[33] = 0x56, d[34] = 0x34, d[35] = 0x12;
    return d;
}

TEST(StationPacket, KeepsOnlyWholeLinkMonitorAndLiftOffPackets) {
    EXPECT_EQ(ParseStationPacket(StationDatagram(0x00020101, 32)).kind, StationPacketKind::Ignored);
    // 33 to 35 bytes would leave the data time past the end.
    for (std::size_t n = 33; n < 36; ++n)
        EXPECT_EQ(ParseStationPacket(StationDatagram(0x00020101, n)).kind,
                  StationPacketKind::Ignored)
            << n;
    const StationPacket lm = ParseStationPacket(StationDatagram(0x00020101, 36));
    EXPECT_EQ(lm.kind, StationPacketKind::LinkMonitor);
    EXPECT_EQ(lm.header.version, 0x42);
    EXPECT_EQ(lm.dataTime, 0x12345678u);
    EXPECT_EQ(ParseStationPacket(StationDatagram(0x00010101, 40)).kind, StationPacketKind::LiftOff);
    // The configured telemetry BID of another station is no link monitor.
    EXPECT_EQ(ParseStationPacket(StationDatagram(0x00110101, 36)).kind, StationPacketKind::Ignored);
    auto corrupt = StationDatagram(0x00020101, 36);
    corrupt[13] ^= 0x01;
    EXPECT_EQ(ParseStationPacket(corrupt).kind, StationPacketKind::Ignored);
}

TEST(SendThreshold, SuperframeModeAndTheDatagramGuard) {
    // B = 1, R = 32, N = 4, K = 5: 640.
    EXPECT_EQ(SendThreshold({1, 32, 4, true}, 5).bytes, 640u);
    // Outside superframe mode N does not count.
    EXPECT_EQ(SendThreshold({1, 32, 4, false}, 5).bytes, 160u);
    // B = 2, R = 1032, N = 4: 8256 per K; K = 7 fits (8 would be 66,048).
    const Threshold big = SendThreshold({2, 1032, 4, true}, 9);
    EXPECT_TRUE(big.reduced);
    EXPECT_EQ(big.factor, 7);
    EXPECT_EQ(big.bytes, 7u * 8256);
    EXPECT_LE(big.bytes + 36, kMaxUdpPayload);
    // Exactly at the limit is still whole.
    EXPECT_FALSE(SendThreshold({1, 65471, 1, false}, 1).reduced);
    // One superframe larger than a datagram: whole sub-frame records.
    const Threshold records = SendThreshold({2, 4104, 16, true}, 1);
    EXPECT_EQ(records.factor, 0);
    EXPECT_EQ(records.bytes, 65471u / 4104 * 4104);
    EXPECT_EQ(SendThreshold({1, 0, 1, false}, 5).bytes, 0u);
}

}  // namespace

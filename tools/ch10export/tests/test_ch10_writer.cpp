// Packets of the writer read at the offsets of the packet header, with
// streams of records built here.
#include <ch10export/ch10_writer.h>
#include <gtest/gtest.h>

#include <vector>

using namespace ch10export;

namespace {

std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint64_t Rtc(const std::vector<std::uint8_t>& p) {
    std::uint64_t v = 0;
    for (int i = 5; i >= 0; --i) v = v << 8 | p[16 + i];
    return v;
}

PcmDescription Pcm() {
    PcmDescription d;
    d.wordBits = 8;
    d.subframeWords = 4;
    d.bitRate = 64000;
    return d;
}

// BCD record at hh:mm:ss and tenths of ms, no day stamp.
std::vector<std::uint8_t> Record(int h, int m, int s, int tenths, std::uint8_t fill) {
    auto bcd = [](int v) { return std::uint8_t((v / 10) << 4 | v % 10); };
    return {bcd(tenths % 100),
            bcd(tenths / 100),
            bcd(s),
            bcd(m),
            bcd(h),
            0,
            0,
            0,
            0xEB,
            0x90,
            fill,
            fill};
}

struct Capture {
    std::vector<std::vector<std::uint8_t>> packets;
    Ch10Writer::Sink Sink() {
        return [this](std::span<const std::uint8_t> p) {
            packets.emplace_back(p.begin(), p.end());
            return true;
        };
    }
    std::vector<std::vector<std::uint8_t>> OfType(std::uint8_t type) const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& p : packets)
            if (p[15] == type) out.push_back(p);
        return out;
    }
};

}  // namespace

TEST(Ch10Packet, HeaderChecksumAgainstAHandSum) {
    std::uint8_t h[24] = {0x25, 0xEB, 0x02, 0x00, 0x40, 0x00, 0x00, 0x00, 0x2A, 0x00, 0x00, 0x00,
                          0x08, 0x07, 0x00, 0x09, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
    // 0xEB25 + 2 + 0x40 + 0x2A + 0x0708 + 0x0900 + 0xFFFF + 1, mod 2^16.
    EXPECT_EQ(HeaderChecksum(h),
              std::uint16_t(0xEB25 + 2 + 0x40 + 0x2A + 0x0708 + 0x0900 + 0xFFFF + 1));
    h[23] = 0x55;  // the checksum word itself is not summed
    EXPECT_EQ(HeaderChecksum(h),
              std::uint16_t(0xEB25 + 2 + 0x40 + 0x2A + 0x0708 + 0x0900 + 0xFFFF + 1));
}

TEST(Ch10Writer, PacketsAreWholeAndInOrder) {
    Capture c;
    Ch10Writer w(Pcm(), c.Sink());
    for (int i = 0; i < 3; ++i) w.AddRecord(Record(10, 0, 0, i * 10, std::uint8_t(i)).data());
    w.Finish();
    ASSERT_EQ(c.packets.size(), 3u);  // TMATS, time, one PCM packet
    EXPECT_EQ(c.packets[0][15], 0x01);
    EXPECT_EQ(c.packets[0][2], 0);
    EXPECT_EQ(c.packets[1][15], 0x11);
    const auto& pcm = c.packets[2];
    EXPECT_EQ(pcm[15], 0x09);
    for (const auto& p : c.packets) {
        EXPECT_EQ(Get32(&p[4]), p.size());
        EXPECT_EQ(p.size() % 4, 0u);
        EXPECT_LE(Get32(&p[8]) + 24, p.size());
        EXPECT_EQ(p[22] | p[23] << 8, HeaderChecksum(p.data()));
    }
    // Word + 3 x (10-byte intra-packet header + 4 bytes).
    EXPECT_EQ(Get32(&pcm[8]), 4u + 3 * 14);
    // The third frame one millisecond after the first: 10,000 counts.
    const std::uint8_t* third = &pcm[24 + 4 + 2 * 14];
    EXPECT_EQ(Get32(third), 20000u);
    EXPECT_EQ(third[10], 0x90);  // 16-bit little-endian words, first byte high
    EXPECT_EQ(third[11], 0xEB);
    EXPECT_EQ(third[12], 2);
}

TEST(Ch10Writer, CounterKeepsRisingAcrossMidnightWithoutDayStamp) {
    Capture c;
    Ch10Writer w(Pcm(), c.Sink());
    w.AddRecord(Record(23, 59, 59, 9990, 0).data());
    w.AddRecord(Record(0, 0, 0, 10, 1).data());
    w.Finish();
    const auto pcm = c.OfType(0x09);
    ASSERT_EQ(pcm.size(), 2u);  // a time packet at the new second splits them
    EXPECT_EQ(Rtc(pcm[1]) - Rtc(pcm[0]), 20000u);
    const auto times = c.OfType(0x11);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(Rtc(times[1]) - Rtc(times[0]), 100000u);  // 23:59:59.99 to midnight
}

TEST(Ch10Writer, LongRunsAreSplitIntoBoundedPackets) {
    PcmDescription d = Pcm();
    d.subframeWords = 1000;
    Capture c;
    Ch10Writer w(d, c.Sink());
    std::vector<std::uint8_t> rec(1008, 0x5A);
    for (int i = 0; i < 200; ++i) {  // all 200 within the same 0.1 ms
        w.AddRecord(rec.data());
    }
    w.Finish();
    std::size_t frames = 0;
    for (const auto& p : c.OfType(0x09)) {
        EXPECT_LE(Get32(&p[8]), kMaxPcmData);
        frames += (Get32(&p[8]) - 4) / 1010;
    }
    EXPECT_EQ(frames, 200u);
}

TEST(Ch10Writer, AFailingSinkStopsTheWriter) {
    int calls = 0;
    Ch10Writer w(Pcm(), [&calls](std::span<const std::uint8_t>) {
        ++calls;
        return false;
    });
    for (int i = 0; i < 5; ++i) w.AddRecord(Record(1, 0, 0, i, 0).data());
    w.Finish();
    EXPECT_TRUE(w.Failed());
    EXPECT_EQ(calls, 1);
}

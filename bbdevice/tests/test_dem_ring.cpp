// Frame geometry, the shared ring and the time-tag pass of the data channels.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bbdevice/dev_records.h"
#include "dem_geometry.h"
#include "dem_timetag.h"
#include "platform/kernel_objects.h"
#include "share_ring.h"

using namespace bbdev;

namespace {

DemParam Dem(std::uint32_t words, std::uint32_t bits, std::uint32_t minors, std::uint32_t rate) {
    DemParam p;
    FillDefault(p);
    p.子帧长 = words;
    p.字长 = bits;
    p.副帧长 = minors;
    p.码率 = rate;
    return p;
}

// Bytes whose value tells their position in the stream.
std::vector<std::uint8_t> StreamBytes(std::uint64_t from, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t((from + i) * 7 + ((from + i) >> 8));
    return v;
}

std::uint64_t Le64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

}  // namespace

TEST(DemGeometry, ShortFastFramesAreBatchedUpTo1024Bytes) {
    const DemFrameGeometry g = ComputeDemGeometry(Dem(24, 8, 4, 4000000));
    EXPECT_EQ(g.minorBytes, 24u);
    EXPECT_EQ(g.taggedMinorBytes, 32u);
    EXPECT_EQ(g.taggedMajorBytes, 128u);
    EXPECT_DOUBLE_EQ(g.minorDurationMs, 0.048);
    EXPECT_DOUBLE_EQ(g.tagStepUs, 48.0);
    EXPECT_EQ(g.threshold, 1024u);
    EXPECT_EQ(g.granule, 128u);
    EXPECT_TRUE(g.valid);

    // 24 x 48 = 1152 tagged bytes: over 1024, so one major frame is enough.
    EXPECT_EQ(ComputeDemGeometry(Dem(40, 8, 24, 4000000)).threshold, 1152u);
    // Slow frames are reported one major frame at a time.
    EXPECT_EQ(ComputeDemGeometry(Dem(24, 8, 4, 100000)).threshold, 128u);
}

TEST(DemGeometry, WordsOverEightBitsTakeWholeBytes) {
    const DemFrameGeometry g10 = ComputeDemGeometry(Dem(24, 10, 4, 4000000));
    EXPECT_EQ(g10.bytesPerWord, 2u);
    EXPECT_EQ(g10.minorBytes, 48u);
    EXPECT_EQ(ComputeDemGeometry(Dem(24, 16, 4, 4000000)).bytesPerWord, 2u);
    EXPECT_EQ(ComputeDemGeometry(Dem(24, 17, 4, 4000000)).bytesPerWord, 3u);

    DemParam p = Dem(24, 10, 4, 4000000);
    p.配时密度 = 0;
    const DemChannelDescriptor d = MakeDemDescriptor(p, ComputeDemGeometry(p), 0, 1);
    EXPECT_EQ(d.channel, 1u);
    EXPECT_EQ(d.tagBytesPerMinorFrame, 0u);
    EXPECT_EQ(d.bytesPerWord, 2u);
    EXPECT_EQ(d.wordsPerMajorFrame, 96u);
    EXPECT_EQ(d.bytesPerMajorFrame, 192u);
    p.配时密度 = 1;
    EXPECT_EQ(MakeDemDescriptor(p, ComputeDemGeometry(p), 0, 0).bytesPerMajorFrame, 224u);
}

TEST(DemGeometry, UnusableRecordsAreRejected) {
    EXPECT_FALSE(ComputeDemGeometry(Dem(0, 8, 4, 4000000)).valid);
    EXPECT_FALSE(ComputeDemGeometry(Dem(24, 8, 0, 4000000)).valid);
    // A major frame larger than a report block could never be delivered.
    EXPECT_FALSE(ComputeDemGeometry(Dem(8192, 32, 256, 4000000)).valid);
    const DemFrameGeometry noRate = ComputeDemGeometry(Dem(24, 8, 4, 0));
    EXPECT_TRUE(noRate.valid);
    EXPECT_EQ(noRate.tagStepUs, 0.0);
}

TEST(ShareRing, NamesCountRingsInThisProcess) {
    const std::uint32_t before = CShareRing::LiveCount();
    CShareRing a, b;
    ASSERT_TRUE(a.Create("talvora-test-ring", 1));
    ASSERT_TRUE(b.Create("talvora-test-ring-b", 1));
    char expectA[64], expectB[64];
    std::snprintf(expectA, sizeof expectA, "talvora-test-ring-%08X", before + 1);
    std::snprintf(expectB, sizeof expectB, "talvora-test-ring-b-%08X", before + 2);
    EXPECT_EQ(a.Name(), expectA);
    EXPECT_EQ(b.Name(), expectB);
    EXPECT_EQ(a.Capacity(), CShareRing::kMinBytes);
    b.Release();
    a.Release();
    EXPECT_EQ(CShareRing::LiveCount(), before);
}

TEST(ShareRing, SkipsANameAnotherProcessHolds) {
    const std::uint32_t next = CShareRing::LiveCount() + 1;
    char taken[64];
    std::snprintf(taken, sizeof taken, "talvora-test-held-%08X", next);
    bool existed = true;
    auto other = plat::SharedSection::Create(taken, 4096, &existed);
    ASSERT_TRUE(other);
    std::memset(other->data(), 0xAB, 4096);

    CShareRing ring;
    ASSERT_TRUE(ring.Create("talvora-test-held", 1));
    EXPECT_NE(ring.Name(), taken);
    EXPECT_EQ(static_cast<std::uint8_t*>(other->data())[0], 0xAB);
}

TEST(ShareRing, ReaderThatFellBehindGetsTheNewestCapacityInGranules) {
    CShareRing ring;
    ASSERT_TRUE(ring.Create("talvora-test-behind", 16777216));
    ASSERT_EQ(ring.Capacity(), 16777216u);
    ring.Reset(128);
    const std::size_t chunk = 65536;
    const std::uint64_t total = 17u * 1048576u;
    for (std::uint64_t at = 0; at < total; at += chunk) {
        ASSERT_TRUE(ring.Write(StreamBytes(at, chunk)));
    }
    std::vector<std::uint8_t> out(1000000);
    std::uint64_t streamPos = 1048576;  // the oldest megabyte is gone
    std::uint64_t got = 0;
    while (std::size_t n = ring.Read(out.data(), out.size())) {
        ASSERT_EQ(n % 128, 0u);
        ASSERT_EQ(std::memcmp(out.data(), StreamBytes(streamPos, n).data(), n), 0) << streamPos;
        streamPos += n;
        got += n;
    }
    EXPECT_EQ(got, 16777216u);
    EXPECT_EQ(ring.Pending(), 0u);
    // What was skipped is counted, and stays counted over a reset.
    EXPECT_EQ(ring.LostBytes(), 1048576u);
    ring.Reset(128);
    EXPECT_EQ(ring.LostBytes(), 1048576u);
}

TEST(ShareRing, FallingBehindKeepsFramesWholeForOddGranules) {
    CShareRing ring;
    ASSERT_TRUE(ring.Create("talvora-test-odd", 1));
    const std::uint32_t granule = 3 * 1000;  // does not divide the capacity
    ring.Reset(granule);
    const std::uint64_t total = ring.Capacity() + 12345 * granule / 10;
    for (std::uint64_t at = 0; at < total; at += granule)
        ASSERT_TRUE(ring.Write(StreamBytes(at, granule)));
    std::vector<std::uint8_t> out(granule);
    ASSERT_EQ(ring.Read(out.data(), out.size()), granule);
    const std::uint64_t first = ring.TotalRead() - granule;
    EXPECT_EQ(first % granule, 0u) << "read must start on a frame boundary";
    EXPECT_EQ(std::memcmp(out.data(), StreamBytes(first, granule).data(), granule), 0);
    EXPECT_LE(ring.TotalWritten() - first, ring.Capacity());
}

TEST(ShareRing, ReadsWholeGranulesAcrossTheWrapAndDropsOversizedBlocks) {
    CShareRing ring;
    ASSERT_TRUE(ring.Create("talvora-test-wrap", 1));
    ring.Reset(32);
    std::vector<std::uint8_t> out(64);
    EXPECT_EQ(ring.Read(out.data(), out.size()), 0u);  // nothing written yet
    ASSERT_TRUE(ring.Write(StreamBytes(0, 20)));
    EXPECT_EQ(ring.Read(out.data(), out.size()), 0u);  // less than one granule
    EXPECT_EQ(ring.Pending(), 20u);

    // Bring the write position 16 bytes before the end, then cross it.
    ring.Reset(32);
    const std::uint64_t cap = ring.Capacity();
    ASSERT_TRUE(ring.Write(std::vector<std::uint8_t>(cap - 16, 0xEE)));
    std::vector<std::uint8_t> sink(cap);
    ASSERT_EQ(ring.Read(sink.data(), sink.size()), cap - 32);  // 16 bytes stay behind
    ASSERT_TRUE(ring.Write(StreamBytes(500, 48)));
    ASSERT_EQ(ring.Read(out.data(), 64), 64u);
    EXPECT_EQ(out[15], 0xEE);
    EXPECT_EQ(std::memcmp(out.data() + 16, StreamBytes(500, 48).data(), 48), 0);

    EXPECT_FALSE(ring.Write(std::vector<std::uint8_t>(cap + 1)));
    EXPECT_EQ(ring.Pending(), 0u);
}

TEST(DemTimeTag, HostTagFromTheTimeRecord) {
    // Day 1, 00:00:00.000 as the time-code unit reports it.
    const std::uint8_t record[16] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const double clock = ClockFromTimeRecord(std::span<const std::uint8_t, 16>(record));
    const std::uint64_t tag = MakeHostTimeTag(clock, 3);
    EXPECT_EQ(tag & 0xFFFFF, 0u);
    EXPECT_EQ(tag >> 20 & 0x1FFFF, 0u);
    EXPECT_EQ(tag >> 37 & 0x1FF, 1u);
    EXPECT_EQ(tag >> 46 & 3, 0u);
    EXPECT_EQ(tag >> 48 & 0xFF, 3u);
    EXPECT_EQ(tag >> 56, 0x40u);

    // Day 45, 13:02:07.250
    const std::uint8_t later[16] = {45, 0, 0, 0, 13, 0, 2, 0, 7, 0, 250, 0, 0, 0, 0, 0};
    const std::uint64_t t2 =
        MakeHostTimeTag(ClockFromTimeRecord(std::span<const std::uint8_t, 16>(later)) + 12.0, 0);
    EXPECT_EQ(t2 & 0xFFFFF, 250012u);
    EXPECT_EQ(t2 >> 20 & 0x1FFFF, 13u * 3600 + 2 * 60 + 7);
    EXPECT_EQ(t2 >> 37 & 0x1FF, 45u);
}

TEST(DemTimeTag, RewritesKeepsOrDropsTags) {
    DemParam p = Dem(4, 8, 2, 1000000);  // 32 us per minor frame
    const DemFrameGeometry g = ComputeDemGeometry(p);
    // Two tagged minor frames and 5 bytes of a third.
    std::vector<std::uint8_t> src;
    for (int f = 0; f < 2; ++f) {
        const std::uint8_t tag[8] = {0x11, 0x22, 0x33, 0x44, 0x05, 0x06, std::uint8_t(f), 0x08};
        src.insert(src.end(), tag, tag + 8);
        for (int w = 0; w < 4; ++w) src.push_back(std::uint8_t(0xA0 + f * 4 + w));
    }
    src.insert(src.end(), {1, 2, 3, 4, 5});
    std::vector<std::uint8_t> dst(src.size());

    double clock = kMicrosPerDay + 999990.0;  // day 1, 00:00:00.999990
    ASSERT_EQ(ProcessMinorFrames(src, dst.data(), g, 1, 1, clock), 24u);
    EXPECT_EQ(Le64(&dst[0]), 999990u | 0ull << 20 | 1ull << 37 | 0x40ull << 56);
    EXPECT_EQ(Le64(&dst[12]), 22u | 1ull << 20 | 1ull << 37 | 1ull << 48 | 0x40ull << 56);
    EXPECT_EQ(std::memcmp(&dst[8], &src[8], 4), 0);
    EXPECT_EQ(std::memcmp(&dst[20], &src[20], 4), 0);
    EXPECT_DOUBLE_EQ(clock, kMicrosPerDay + 999990.0 + 64.0);

    // Card tags kept as they came.
    std::fill(dst.begin(), dst.end(), 0);
    ASSERT_EQ(ProcessMinorFrames(src, dst.data(), g, 0, 1, clock), 24u);
    EXPECT_EQ(std::memcmp(dst.data(), src.data(), 24), 0);

    // Tags dropped: only the words remain.
    ASSERT_EQ(ProcessMinorFrames(src, dst.data(), g, 0, 0, clock), 8u);
    const std::uint8_t words[8] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
    EXPECT_EQ(std::memcmp(dst.data(), words, 8), 0);

    // Less than one tagged minor frame gives nothing.
    EXPECT_EQ(ProcessMinorFrames(std::span(src).first(11), dst.data(), g, 1, 1, clock), 0u);
}

// The frame store: geometry from the descriptor's own fields, the newest
// whole major frames after overflow, partial frames carried to the next
// call, and a reader copying while another thread appends.
#include <gtest/gtest.h>
#include <pcmplot/pcm_store.h>

#include <atomic>
#include <thread>
#include <vector>

namespace pcmplot {
namespace {

DemChannelDescriptor Descriptor(std::uint32_t bits, std::uint32_t words, std::uint32_t minors,
                                std::uint32_t tagBytes = 8) {
    DemChannelDescriptor d{};
    d.字长 = bits;
    d.子帧长 = words;
    d.副帧长 = minors;
    d.tagBytesPerMinorFrame = tagBytes;
    d.配时密度 = tagBytes ? 1 : 0;
    return d;
}

// Major frame n: every byte holds n plus its offset, so frames and their
// order can be told apart.
std::vector<std::uint8_t> Frames(std::uint32_t first, std::uint32_t count, std::uint32_t bytes) {
    std::vector<std::uint8_t> v(std::size_t{count} * bytes);
    for (std::uint32_t f = 0; f < count; ++f)
        for (std::uint32_t b = 0; b < bytes; ++b)
            v[std::size_t{f} * bytes + b] = std::uint8_t((first + f) * 7 + b);
    return v;
}

std::uint32_t FrameNumber(const PcmSnapshot& s, std::uint32_t i) {
    // Inverse of Frames() for byte 0 of a frame (frames below 37 tell apart).
    const std::uint8_t b = s.Major(i)[0];
    for (std::uint32_t n = 0; n < 256; ++n)
        if (std::uint8_t(n * 7) == b) return n;
    return 9999;
}

TEST(PcmGeometry, SizesComeFromWordLengthFramesAndTags) {
    PcmGeometry g;
    DemChannelDescriptor d = Descriptor(8, 24, 4);
    d.bytesPerMajorFrame = 5;  // not trusted
    d.bytesPerWord = 9;
    ASSERT_TRUE(GeometryOf(d, g));
    EXPECT_EQ(g.bytesPerWord, 1u);
    EXPECT_EQ(g.minorBytes, 32u);
    EXPECT_EQ(g.majorBytes, 128u);
    EXPECT_FALSE(g.hostTags);
    d = Descriptor(10, 24, 4, 0);
    d.配时精度 = 1;  // no tags to read
    ASSERT_TRUE(GeometryOf(d, g));
    EXPECT_EQ(g.minorBytes, 48u);
    EXPECT_FALSE(g.hostTags);
    d = Descriptor(32, 3, 2);
    d.配时精度 = 1;
    ASSERT_TRUE(GeometryOf(d, g));
    EXPECT_EQ(g.bytesPerWord, 4u);
    EXPECT_EQ(g.majorBytes, 40u);
    EXPECT_TRUE(g.hostTags);
}

TEST(PcmGeometry, UnusableDescriptorsAreRefusedAndKeepTheOldGeometry) {
    PcmFrameStore store;
    ASSERT_TRUE(store.SetGeometry(Descriptor(8, 24, 4)));
    const auto frames = Frames(0, 3, 128);
    ASSERT_TRUE(store.Append(frames.data(), frames.size()));
    const DemChannelDescriptor bad[] = {
        Descriptor(0, 24, 4), Descriptor(33, 24, 4), Descriptor(8, 0, 4), Descriptor(8, 24, 0),
        Descriptor(8, 24, 4, 4),
        // 2,113,537 bytes: one above the store.
        Descriptor(8, 2113537, 1, 0),
        // Minor frames that fit, a major frame that does not.
        Descriptor(8, 1000000, 3, 0),
        // Products that overflow 32 bits.
        Descriptor(32, 0x40000000, 4), Descriptor(8, 0xFFFFFFFF, 0xFFFFFFFF)};
    for (const auto& d : bad) EXPECT_FALSE(store.SetGeometry(d)) << d.字长 << " " << d.子帧长;
    EXPECT_EQ(store.Geometry().majorBytes, 128u);
    EXPECT_EQ(store.Frames(), 3u);
    // The largest frame that fits is taken.
    EXPECT_TRUE(store.SetGeometry(Descriptor(8, 2113536, 1, 0)));
}

TEST(PcmStore, RefusesDataWithoutGeometryNullOrEmpty) {
    PcmFrameStore store;
    const std::uint8_t b[4] = {};
    EXPECT_FALSE(store.Append(b, 4));
    ASSERT_TRUE(store.SetGeometry(Descriptor(8, 2, 1, 0)));
    EXPECT_FALSE(store.Append(nullptr, 4));
    EXPECT_FALSE(store.Append(b, 0));
    EXPECT_TRUE(store.Append(b, 4));
    EXPECT_EQ(store.Frames(), 2u);
}

TEST(PcmStore, PartialFramesAreCarriedToTheNextCall) {
    PcmFrameStore store;
    ASSERT_TRUE(store.SetGeometry(Descriptor(8, 24, 4)));  // 128-byte frames
    const auto frames = Frames(1, 3, 128);
    ASSERT_TRUE(store.Append(frames.data(), 100));
    EXPECT_EQ(store.Frames(), 0u);
    EXPECT_EQ(store.Pending(), 100u);
    ASSERT_TRUE(store.Append(frames.data() + 100, 200));
    EXPECT_EQ(store.Frames(), 2u);
    EXPECT_EQ(store.Pending(), 44u);
    ASSERT_TRUE(store.Append(frames.data() + 300, 84));
    EXPECT_EQ(store.Pending(), 0u);
    PcmSnapshot s;
    ASSERT_TRUE(store.Snapshot(s));
    ASSERT_EQ(s.frames, 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(s.bytes.get(), s.bytes.get() + 384), frames);
    EXPECT_FALSE(store.Snapshot(s));  // nothing new
}

TEST(PcmStore, OverflowKeepsTheNewestWholeFramesInOrder) {
    PcmFrameStore store;
    // 1000-byte frames: 2113 slots; the store's last 536 bytes stay unused.
    ASSERT_TRUE(store.SetGeometry(Descriptor(8, 492, 2)));
    const std::uint32_t slots = 2113536 / 1000;
    // One call far above the store, then more frames that wrap the ring.
    const auto big = Frames(0, slots + 500, 1000);
    std::vector<std::uint8_t> withTail = big;
    withTail.resize(withTail.size() + 300, 0xAB);  // a partial frame at the end
    ASSERT_TRUE(store.Append(withTail.data(), withTail.size()));
    EXPECT_EQ(store.Frames(), slots);
    EXPECT_EQ(store.Pending(), 300u);
    PcmSnapshot s;
    ASSERT_TRUE(store.Snapshot(s));
    EXPECT_EQ(s.received, slots + 500u);
    EXPECT_EQ(std::vector<std::uint8_t>(s.Major(0), s.Major(0) + 1000), Frames(500, 1, 1000));
    EXPECT_EQ(std::vector<std::uint8_t>(s.Major(slots - 1), s.Major(slots - 1) + 1000),
              Frames(slots + 499, 1, 1000));
    // The carried 300 bytes complete a frame with 700 more.
    std::vector<std::uint8_t> rest(700, 0xCD);
    ASSERT_TRUE(store.Append(rest.data(), rest.size()));
    ASSERT_TRUE(store.Snapshot(s));
    EXPECT_EQ(s.Major(slots - 1)[0], 0xAB);
    EXPECT_EQ(s.Major(slots - 1)[299], 0xAB);
    EXPECT_EQ(s.Major(slots - 1)[300], 0xCD);
    EXPECT_EQ(std::vector<std::uint8_t>(s.Major(0), s.Major(0) + 1000), Frames(501, 1, 1000));
    EXPECT_EQ(s.Major(slots - 2)[0], std::uint8_t((slots + 499) * 7));
}

TEST(PcmStore, SmallCallsWrapTheRingAndKeepOrder) {
    PcmFrameStore store;
    ASSERT_TRUE(store.SetGeometry(Descriptor(8, 1000000, 1, 0)));  // two slots
    for (std::uint32_t f = 0; f < 5; ++f) {
        const auto one = Frames(f, 1, 1000000);
        ASSERT_TRUE(store.Append(one.data(), one.size()));
    }
    PcmSnapshot s;
    ASSERT_TRUE(store.Snapshot(s));
    ASSERT_EQ(s.frames, 2u);
    EXPECT_EQ(FrameNumber(s, 0), 3u);
    EXPECT_EQ(FrameNumber(s, 1), 4u);
}

TEST(PcmStore, ANewLayoutClearsTheFramesAndTheCarriedBytes) {
    PcmFrameStore store;
    ASSERT_TRUE(store.SetGeometry(Descriptor(8, 24, 4)));
    const auto frames = Frames(0, 2, 128);
    ASSERT_TRUE(store.Append(frames.data(), 200));
    PcmSnapshot s;
    ASSERT_TRUE(store.Snapshot(s));
    EXPECT_EQ(s.frames, 1u);
    // The same layout again (only the tag form differs) keeps the frames.
    DemChannelDescriptor host = Descriptor(8, 24, 4);
    host.配时精度 = 1;
    ASSERT_TRUE(store.SetGeometry(host));
    ASSERT_TRUE(store.Snapshot(s));
    EXPECT_EQ(s.frames, 1u);
    EXPECT_TRUE(s.geometry.hostTags);
    EXPECT_EQ(store.Pending(), 72u);
    // A word of 10 bits changes where frames are cut: everything goes.
    ASSERT_TRUE(store.SetGeometry(Descriptor(10, 24, 4)));
    EXPECT_EQ(store.Frames(), 0u);
    EXPECT_EQ(store.Pending(), 0u);
    ASSERT_TRUE(store.Snapshot(s));
    EXPECT_EQ(s.frames, 0u);
    EXPECT_EQ(s.geometry.majorBytes, 4u * (8 + 48));
}

TEST(PcmStore, ReaderCopiesWholeFramesWhileAnotherThreadAppends) {
    PcmFrameStore store;
    ASSERT_TRUE(store.SetGeometry(Descriptor(8, 24, 4)));
    // Every byte of frame n is n & 0xFF, so a torn copy shows as mixed bytes.
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        std::vector<std::uint8_t> block(128 * 50 + 77);
        std::size_t offset = 0;  // into the endless stream of frames
        for (int call = 0; call < 3000; ++call) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = std::uint8_t((offset + i) / 128);
            offset += block.size();
            store.Append(block.data(), block.size());
        }
        done = true;
    });
    PcmSnapshot s;
    int checked = 0;
    while (!done || checked == 0) {
        if (!store.Snapshot(s)) continue;
        for (std::uint32_t f = 0; f < s.frames; ++f) {
            const std::uint8_t* m = s.Major(f);
            for (int b = 1; b < 128; ++b) ASSERT_EQ(m[b], m[0]);
            if (f) {
                ASSERT_EQ(std::uint8_t(s.Major(f - 1)[0] + 1), m[0]);
            }
        }
        ++checked;
    }
    feeder.join();
}

}  // namespace
}  // namespace pcmplot

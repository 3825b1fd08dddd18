// Superframe assembly: records placed by their index byte, the unfinished
// superframe carried to the next hand-off, and corrupt or oversized input
// kept inside the buffer.
#include <datapath/superframe_assembler.h>
#include <gtest/gtest.h>

#include <vector>

using namespace datapath;

namespace {

// 4 words of 1 byte: subframe record 12 bytes, superframe of 3 records 36.
DataGeometry Small() {
    DataGeometry g;
    g.wordBits = 8;
    g.wordBytes = 1;
    g.subframeWords = 4;
    g.superframeLength = 3;
    g.subframeRecord = 12;
    g.superframeRecord = 36;
    g.superframeMode = true;
    return g;
}

// One subframe record: tag with the index in byte 6, words all `fill`.
void Put(std::vector<std::uint8_t>& out, std::uint8_t index, std::uint8_t fill) {
    const std::uint8_t tag[8] = {0x11, 0x22, 0x33, 0x44, 0x05, 0x00, index, 0x00};
    out.insert(out.end(), tag, tag + 8);
    out.insert(out.end(), 4, fill);
}

struct Fixture {
    explicit Fixture(std::size_t capacity = 1024)
        : buffer(capacity, 0xEE), asm_(buffer.data(), capacity, count) {}
    std::vector<std::uint8_t> buffer;
    std::atomic<std::uint32_t> count{0};
    SuperframeAssembler asm_;
    // The fill byte of record r of the assembled data.
    std::uint8_t Word(std::size_t r) const { return buffer[r * 12 + 8]; }
};

}  // namespace

TEST(SuperframeAssembler, SplitSuperframeIsCompletedByTheNextBlock) {
    Fixture f;
    const DataGeometry g = Small();
    std::vector<std::uint8_t> a, b;
    Put(a, 0, 0xA0), Put(a, 1, 0xA1), Put(a, 2, 0xA2);          // one whole superframe
    Put(a, 0, 0xB0), Put(a, 1, 0xB1);                           // the next one, unfinished
    a.resize(a.size() + 5, 0);                                  // a partial record is left out
    EXPECT_EQ(f.asm_.Assemble(std::span(a).first(24), g), 0u);  // none complete yet
    EXPECT_EQ(f.asm_.Assemble(a, g), 36u);
    EXPECT_EQ(f.count, 1u);
    EXPECT_EQ(f.Word(0), 0xA0);
    EXPECT_EQ(f.Word(2), 0xA2);

    Put(b, 2, 0xB2);
    Put(b, 0, 0xC0);
    EXPECT_EQ(f.asm_.Assemble(b, g), 36u);
    EXPECT_EQ(f.count, 1u);
    EXPECT_EQ(f.Word(0), 0xB0);  // moved to the front
    EXPECT_EQ(f.Word(1), 0xB1);
    EXPECT_EQ(f.Word(2), 0xB2);
    EXPECT_EQ(f.buffer[36 + 8], 0xC0);  // the next one has begun behind it
    EXPECT_EQ(f.buffer[0], 0x11);       // tags travel with their records
    EXPECT_EQ(f.buffer[6], 0x00);
}

TEST(SuperframeAssembler, LastIndexCompletesEvenWithMissingSubframes) {
    Fixture f;
    std::vector<std::uint8_t> a;
    Put(a, 2, 0x42);  // indices 0 and 1 never came
    Put(a, 2, 0x43);
    EXPECT_EQ(f.asm_.Assemble(a, Small()), 72u);
    EXPECT_EQ(f.count, 2u);
    EXPECT_EQ(f.Word(2), 0x42);
    EXPECT_EQ(f.Word(5), 0x43);
    EXPECT_EQ(f.Word(0), 0xEE);  // the missing ones keep what was there
}

TEST(SuperframeAssembler, CorruptIndexIsDroppedAndGoodRecordsStillCount) {
    Fixture f(36 * 2);
    std::vector<std::uint8_t> good, bad;
    Put(good, 0, 1), Put(good, 1, 2), Put(good, 2, 3);
    bad = good;
    bad[12 + 6] = 0xFF;  // one byte of the second tag corrupted
    EXPECT_EQ(f.asm_.Assemble(good, Small()), 36u);
    f.count = 0;
    const std::vector<std::uint8_t> before = f.buffer;
    EXPECT_EQ(f.asm_.Assemble(bad, Small()), 36u);  // 0 and 2 still make one
    EXPECT_EQ(f.Word(1), before[12 + 8]);           // slot 1 untouched
    EXPECT_EQ(f.buffer.size(), 72u);
}

TEST(SuperframeAssembler, SuperframesBeyondTheBufferAreDropped) {
    // Room for two superframes and a bit; the third does not fit.
    Fixture f(36 * 2 + 20);
    std::vector<std::uint8_t> a;
    for (int s = 0; s < 4; ++s)
        for (std::uint8_t k = 0; k < 3; ++k) Put(a, k, std::uint8_t(s * 16 + k));
    EXPECT_EQ(f.asm_.Assemble(a, Small()), 72u);
    EXPECT_EQ(f.count, 2u);
    EXPECT_EQ(f.Word(3), 0x10);
    // A superframe larger than the buffer cannot be assembled at all.
    DataGeometry huge = Small();
    huge.superframeLength = 200;
    huge.superframeRecord = 2400;
    EXPECT_EQ(f.asm_.Assemble(a, huge), 0u);
    EXPECT_EQ(f.count, 0u);
}

TEST(SuperframeAssembler, CountLeftFromALargerGeometryIsNotFollowedOutOfTheBuffer) {
    Fixture f(100);
    f.count = 50;  // as if set under another geometry
    std::vector<std::uint8_t> a;
    Put(a, 0, 7);
    EXPECT_EQ(f.asm_.Assemble(a, Small()), 0u);
    EXPECT_EQ(f.count, 0u);
    EXPECT_EQ(f.Word(0), 7);
}

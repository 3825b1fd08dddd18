// One direction's ring: what a reader gets from what a writer wrote.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "svclink/service_ring.h"

namespace {

using namespace svclink;

// The byte at stream index i of the test pattern.
std::uint8_t PatternByte(std::uint64_t i) {
    return static_cast<std::uint8_t>((i * 131) ^ (i >> 11));
}

std::vector<std::uint8_t> Pattern(std::uint64_t from, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t k = 0; k < n; ++k) v[k] = PatternByte(from + k);
    return v;
}

void PutLe64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct Direction {
    std::vector<std::uint8_t> header = std::vector<std::uint8_t>(hdr::kUsed + 64, 0);
    std::vector<std::uint8_t> ring = std::vector<std::uint8_t>(kRingSize, 0);
    std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kMaxChunk, 0);
    WriterState writer;
    ReaderState reader;

    bool Write(const std::vector<std::uint8_t>& data, const std::uint32_t* desc = nullptr) {
        return WriteBlock(header.data(), ring.data(), writer, data.data(), data.size(), desc);
    }
    // Everything readable now, as one wake of the receive thread reads it.
    std::vector<std::uint8_t> ReadAll(std::uint32_t* desc = nullptr, int* chunks = nullptr) {
        std::vector<std::uint8_t> got;
        std::uint32_t d[18] = {};
        for (int i = 0; i < 100; ++i) {
            ChunkResult c =
                ReadChunk(header.data(), ring.data(), reader, out.data(), out.size(), d);
            got.insert(got.end(), out.begin(), out.begin() + static_cast<long>(c.bytes));
            if (c.bytes && chunks) ++*chunks;
            if (!c.more) break;
        }
        if (desc) std::memcpy(desc, d, sizeof d);
        return got;
    }
};

std::array<std::uint32_t, 18> Desc(std::uint32_t tag) {
    std::array<std::uint32_t, 18> d{};
    for (std::uint32_t i = 0; i < 18; ++i) d[i] = tag * 100 + i;
    return d;
}

TEST(ServiceRing, BlocksArriveInOrderAcrossTheRingEnd) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    const std::size_t first = kRingSize - 1000;
    ASSERT_TRUE(d.Write(Pattern(0, first)));
    int chunks = 0;
    EXPECT_EQ(d.ReadAll(nullptr, &chunks), Pattern(0, first));
    EXPECT_EQ(chunks, 3);                        // 6 MB in chunks of at most 2,113,536 bytes
    ASSERT_TRUE(d.Write(Pattern(first, 3000)));  // straddles the end
    EXPECT_EQ(d.ReadAll(), Pattern(first, 3000));
    EXPECT_EQ(d.reader.lostBytes, 0u);
}

TEST(ServiceRing, SameDescriptionBackToBackLosesNoBlock) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    const auto desc = Desc(1);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(d.Write(Pattern(4096u * i, 4096), desc.data()));
    std::uint32_t got[18];
    EXPECT_EQ(d.ReadAll(got), Pattern(0, 3 * 4096));
    EXPECT_EQ(std::memcmp(got, desc.data(), sizeof got), 0);
}

TEST(ServiceRing, EachNewDescriptionArrivesWithItsOwnBlock) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    // Equal and larger blocks after a reset must not be lost or read from their middle.
    const std::size_t sizes[] = {4096, 4096, 8192, 100};
    for (std::uint32_t i = 0; i < 4; ++i) {
        const auto desc = Desc(i + 1);
        const auto block = Pattern(1000u * i, sizes[i]);
        ASSERT_TRUE(d.Write(block, desc.data()));
        std::uint32_t got[18];
        EXPECT_EQ(d.ReadAll(got), block) << i;
        EXPECT_EQ(std::memcmp(got, desc.data(), sizeof got), 0) << i;
    }
}

TEST(ServiceRing, AWriterThatStartsOverIsReadFromItsStart) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    ASSERT_TRUE(d.Write(Pattern(0, 10000)));
    EXPECT_EQ(d.ReadAll().size(), 10000u);
    // A new writer process (a reopened creator) on the same section.
    d.writer = WriterState{};
    ResetDirection(d.header.data(), d.writer);
    ASSERT_TRUE(d.Write(Pattern(77, 20000)));
    EXPECT_EQ(d.ReadAll(), Pattern(77, 20000));
}

TEST(ServiceRing, AReaderThatAttachesLateStartsAfterWhatIsThere) {
    Direction d;
    ASSERT_TRUE(d.Write(Pattern(0, 10000)));  // left for a reader that is gone
    AttachReader(d.header.data(), d.reader);
    EXPECT_TRUE(d.ReadAll().empty());
    ASSERT_TRUE(d.Write(Pattern(10000, 500)));
    EXPECT_EQ(d.ReadAll(), Pattern(10000, 500));
    // A reset after the attach is read from its start.
    const auto desc = Desc(5);
    ASSERT_TRUE(d.Write(Pattern(3, 700), desc.data()));
    EXPECT_EQ(d.ReadAll(), Pattern(3, 700));
    // A writer that has not written since its reset leaves nothing to skip.
    Direction fresh;
    ResetDirection(fresh.header.data(), fresh.writer);
    AttachReader(fresh.header.data(), fresh.reader);
    ASSERT_TRUE(fresh.Write(Pattern(0, 64)));
    EXPECT_EQ(fresh.ReadAll(), Pattern(0, 64));
}

TEST(ServiceRing, AWholeRingIsAcceptedAndOneByteMoreRefused) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    EXPECT_FALSE(d.Write(Pattern(0, kRingSize + 1)));
    EXPECT_EQ(d.ReadAll().size(), 0u);
    ASSERT_TRUE(d.Write(Pattern(0, kRingSize)));
    EXPECT_EQ(d.ReadAll(), Pattern(0, kRingSize));
    EXPECT_EQ(d.reader.lostBytes, 0u);
}

TEST(ServiceRing, AReaderFarBehindGetsTheNewestDataAndCountsTheLoss) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    const std::size_t mb = 1 << 20;
    for (std::uint64_t i = 0; i < 7; ++i) ASSERT_TRUE(d.Write(Pattern(i * mb, mb)));
    EXPECT_EQ(d.ReadAll(), Pattern(mb, kRingSize));
    EXPECT_EQ(d.reader.lostBytes, 7 * mb - kRingSize);
}

TEST(ServiceRing, ASpanOverwrittenWhileCopiedIsDiscarded) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    ASSERT_TRUE(d.Write(Pattern(0, 5000)));
    // A write under way that reaches one ring past the reader's position.
    PutLe64(&d.header[hdr::kReserved], 5000 + kRingSize);
    EXPECT_EQ(d.ReadAll().size(), 0u);
    EXPECT_EQ(d.reader.lappedSpans, 1u);
    EXPECT_EQ(d.reader.lostBytes, 5000u);
}

TEST(ServiceRing, InconsistentHeadersReadNothing) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    ASSERT_TRUE(d.Write(Pattern(0, 64)));
    PutLe64(&d.header[hdr::kWritePos], kRingSize);  // position past the ring
    PutLe64(&d.header[hdr::kTotal], kRingSize);
    EXPECT_EQ(d.ReadAll().size(), 0u);
    PutLe64(&d.header[hdr::kWritePos], 10);  // position that disagrees with the total
    PutLe64(&d.header[hdr::kTotal], 64);
    EXPECT_EQ(d.ReadAll().size(), 0u);
    EXPECT_EQ(d.reader.badHeaders, 2u);
    PutLe64(&d.header[hdr::kWritePos], 64);  // consistent again
    EXPECT_EQ(d.ReadAll(), Pattern(0, 64));
    d.header[hdr::kStarted] = 0;
    ASSERT_TRUE(d.Write(Pattern(64, 8)));
    d.header[hdr::kStarted] = 0;  // a writer that never started shows nothing
    EXPECT_EQ(d.ReadAll().size(), 0u);
}

TEST(ServiceRing, RecordingParametersMidStreamKeepTheRingState) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    ASSERT_TRUE(d.Write(Pattern(0, 1000)));
    std::uint8_t save[32];
    std::memset(save, 0xAA, sizeof save);
    EXPECT_EQ(WriteKey(d.header.data(), d.writer, kKeySaveParam, save, sizeof save), 32u);
    ASSERT_TRUE(d.Write(Pattern(1000, 1000)));
    EXPECT_EQ(d.ReadAll(), Pattern(0, 2000));
    std::uint8_t back[32] = {};
    EXPECT_EQ(ReadKey(d.header.data(), kKeySaveParam, back, sizeof back), 32u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(back[i], 0xAA) << i;
    std::uint64_t total = 0;
    std::memcpy(&total, back + 24, 8);
    EXPECT_EQ(total, 2000u);  // bytes 16..31 hold the ring state
}

// A writer thread streams blocks and rewrites the recording parameters while
// the reader copies: every byte it keeps is the byte written at that index.
TEST(ServiceRing, ConcurrentReaderNeverKeepsTornBytes) {
    Direction d;
    AttachReader(d.header.data(), d.reader);
    std::mutex writerMutex;  // the writing process serialises its own writes
    std::atomic<bool> done{false};
    constexpr std::uint64_t kTotalBytes = 64ull << 20;
    std::thread writer([&] {
        const std::size_t block = 256 << 10;
        std::vector<std::uint8_t> save(32, 0x77);
        for (std::uint64_t at = 0; at < kTotalBytes; at += block) {
            const auto data = Pattern(at, block);
            std::lock_guard lock(writerMutex);
            ASSERT_TRUE(d.Write(data));
            WriteKey(d.header.data(), d.writer, kKeySaveParam, save.data(), save.size());
        }
        done.store(true);
    });
    std::uint64_t checked = 0, torn = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (d.reader.readTotal < kTotalBytes && std::chrono::steady_clock::now() < deadline) {
        ChunkResult c =
            ReadChunk(d.header.data(), d.ring.data(), d.reader, d.out.data(), 256 << 10, nullptr);
        const std::uint64_t start = d.reader.readTotal - c.bytes;
        for (std::size_t k = 0; k < c.bytes; ++k) torn += d.out[k] != PatternByte(start + k);
        checked += c.bytes;
    }
    writer.join();
    EXPECT_EQ(torn, 0u);
    EXPECT_GT(checked, 0u);
    EXPECT_EQ(d.reader.readTotal, kTotalBytes);
    EXPECT_EQ(d.reader.badHeaders, 0u);
}

}  // namespace

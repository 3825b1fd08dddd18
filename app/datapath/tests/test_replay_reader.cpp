// The software replay reader over a file written here: whole superframe
// blocks, pacing by the file's code rate counted in 10 ms ticks, seeks and
// progress.
#include <datapath/replay_reader.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using datapath::FileReplayReader;

namespace {

// Records of `recordBytes`, each carrying its index in bytes 8..11.
struct RecordFile {
    std::string path;
    RecordFile(std::size_t header, std::size_t recordBytes, std::size_t records,
               std::size_t tail = 0) {
        char name[] = "/tmp/talvora-replay-XXXXXX";
        const int fd = mkstemp(name);
        path = name;
        std::vector<std::uint8_t> bytes(header + recordBytes * records + tail, 0xAA);
        for (std::size_t r = 0; r < records; ++r)
            std::memcpy(&bytes[header + r * recordBytes + 8], &r, 4);
        if (write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::abort();
        close(fd);
    }
    ~RecordFile() { std::remove(path.c_str()); }
};

std::uint32_t IndexAt(const std::uint8_t* block, std::size_t record, std::size_t recordBytes) {
    std::uint32_t v;
    std::memcpy(&v, block + record * recordBytes + 8, 4);
    return v;
}

// 8-bit words, 24 per subframe (32-byte records), 4 per superframe.
FileReplayReader::Shape Shape(std::uint64_t offset, std::uint32_t rate) {
    return {offset, 8, 24, 4, rate};
}

// Reads to the end; the number of ticks it took and every record index seen.
int Drain(FileReplayReader& r, std::vector<std::uint32_t>& seen, std::vector<std::uint8_t>& buf,
          std::size_t* largest = nullptr) {
    int ticks = 0;
    while (r.Progress() < 1.0 && ticks < 100000) {
        ++ticks;
        const std::size_t n = r.ReadNextBlock(buf.data(), buf.size());
        EXPECT_EQ(n % 32, 0u);
        if (largest && n > *largest) *largest = n;
        for (std::size_t i = 0; i < n / 32; ++i) seen.push_back(IndexAt(buf.data(), i, 32));
    }
    return ticks;
}

}  // namespace

TEST(FileReplayReader, OneTimesSpeedDeliversTheFileInItsOwnDuration) {
    // 192 bits per record at 38,400 bit/s: 200 records a second, 2 per tick.
    // 400 records last 2 s = 200 ticks.
    RecordFile f(1024, 32, 400);
    FileReplayReader r;
    ASSERT_TRUE(r.Open(f.path, Shape(1024, 38400), 0));
    std::vector<std::uint8_t> buf(4 << 20);
    std::vector<std::uint32_t> seen;
    const int ticks = Drain(r, seen, buf);
    // Whole superframes of 4: two ticks per block of 4.
    EXPECT_NEAR(ticks, 200, 2);
    ASSERT_EQ(seen.size(), 400u);
    for (std::uint32_t i = 0; i < 400; ++i) ASSERT_EQ(seen[i], i);

    r.SetSpeed(4);
    r.RequestSeek(0);
    r.ApplyPendingSeek();
    seen.clear();
    EXPECT_NEAR(Drain(r, seen, buf), 50, 1);
    r.SetSpeed(2);
    r.RequestSeek(0);
    r.ApplyPendingSeek();
    seen.clear();
    EXPECT_NEAR(Drain(r, seen, buf), 100, 1);
}

TEST(FileReplayReader, SlowFramesAreCarriedOverTicksNotRoundedAway) {
    // 1.5 records a tick: a superframe of 4 every 2 or 3 ticks.
    RecordFile f(0, 32, 120);
    FileReplayReader r;
    ASSERT_TRUE(r.Open(f.path, Shape(0, 28800), 0));
    std::vector<std::uint8_t> buf(1 << 20);
    std::vector<std::uint32_t> seen;
    EXPECT_NEAR(Drain(r, seen, buf), 80, 2);
    EXPECT_EQ(seen.size(), 120u);
}

TEST(FileReplayReader, FastestFillsTwoMiBWithWholeSuperframes) {
    // 2 MiB / 128-byte superframes = 16384 superframes = 65536 records.
    RecordFile f(1024, 32, 65536 * 2 + 6, 17);  // a last, partial superframe and a cut record
    FileReplayReader r;
    r.SetSpeed(datapath::kReplayFastest);
    ASSERT_TRUE(r.Open(f.path, Shape(1024, 1000), 0));
    EXPECT_EQ(r.RecordCount(), 65536u * 2 + 6);
    std::vector<std::uint8_t> buf(8 << 20);
    EXPECT_EQ(r.ReadNextBlock(buf.data(), buf.size()), 2097152u);
    EXPECT_EQ(IndexAt(buf.data(), 0, 32), 0u);
    EXPECT_DOUBLE_EQ(r.Progress(), 65536.0 / (65536 * 2 + 6));
    EXPECT_EQ(r.ReadNextBlock(buf.data(), buf.size()), 2097152u);
    EXPECT_EQ(r.ReadNextBlock(buf.data(), buf.size()), 6u * 32);  // the file's end
    EXPECT_EQ(IndexAt(buf.data(), 5, 32), 65536u * 2 + 5);
    EXPECT_DOUBLE_EQ(r.Progress(), 1.0);
    // A smaller buffer still gets whole superframes.
    r.RequestSeek(1);
    r.ApplyPendingSeek();
    EXPECT_EQ(r.ReadNextBlock(buf.data(), 1000), 7u * 128);
}

TEST(FileReplayReader, OpensAtTheStartRecordAndSeeksWhereAsked) {
    RecordFile f(0, 32, 1000);
    FileReplayReader r;
    r.SetSpeed(datapath::kReplayFastest);
    ASSERT_TRUE(r.Open(f.path, Shape(0, 1000), 500));
    EXPECT_DOUBLE_EQ(r.Progress(), 0.5);
    std::vector<std::uint8_t> buf(64);
    ASSERT_EQ(r.ReadNextBlock(buf.data(), buf.size()), 0u);  // less than a superframe of room
    buf.resize(1 << 16);
    ASSERT_GT(r.ReadNextBlock(buf.data(), 128), 0u);
    EXPECT_EQ(IndexAt(buf.data(), 0, 32), 500u);
    r.RequestSeek(123);
    r.RequestSeek(750);  // the latest request wins
    r.ApplyPendingSeek();
    ASSERT_GT(r.ReadNextBlock(buf.data(), 128), 0u);
    EXPECT_EQ(IndexAt(buf.data(), 0, 32), 750u);
    r.RequestSeek(1000);  // beyond the end: ignored
    r.ApplyPendingSeek();
    EXPECT_EQ(r.Position(), 754u);
}

TEST(FileReplayReader, RefusesWhatHoldsNoRecordAndReadsNothingWhenClosed) {
    RecordFile f(1024, 32, 1);
    FileReplayReader r;
    EXPECT_FALSE(r.Open(f.path, Shape(1024, 1000), 1));
    EXPECT_FALSE(r.Open(f.path, Shape(1025, 1000), 0));
    EXPECT_FALSE(r.Open(f.path + ".none", Shape(0, 1000), 0));
    EXPECT_FALSE(r.Open(f.path, {0, 0, 24, 4, 1000}, 0));
    ASSERT_TRUE(r.Open(f.path, Shape(1024, 1000), 0));
    r.StopReplay();
    EXPECT_FALSE(r.IsOpen());
    std::vector<std::uint8_t> buf(1024);
    EXPECT_EQ(r.ReadNextBlock(buf.data(), buf.size()), 0u);
}

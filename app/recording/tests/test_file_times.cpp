// File times from the first and last record's tags, in either tag format,
// and the start-record arithmetic the replay dialog applies to them.
#include <gtest/gtest.h>
#include <recording/dat_files.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace recording;

namespace {

ReplayInfo Shape(std::uint32_t precision) {
    ReplayInfo i{};
    i.字长 = 8;
    i.子帧长 = 24;  // 32-byte records
    i.副帧长 = 1;
    i.配时精度 = precision;
    return i;
}

// 12:34:56.789.5 as BCD bytes.
void BcdTag(std::uint8_t* t, int h, int m, int s, int ms, int tenth) {
    t[0] = std::uint8_t((ms % 10) << 4 | tenth);
    t[1] = std::uint8_t((ms / 100) << 4 | (ms / 10 % 10));
    t[2] = std::uint8_t((s / 10) << 4 | s % 10);
    t[3] = std::uint8_t((m / 10) << 4 | m % 10);
    t[4] = std::uint8_t((h / 10) << 4 | h % 10);
}

// Host form: microseconds in the low 20 bits, second of day above.
void BinaryTag(std::uint8_t* t, unsigned secondOfDay, unsigned micros) {
    const std::uint64_t v = std::uint64_t{secondOfDay} << 20 | micros;
    for (int i = 0; i < 5; ++i) t[i] = std::uint8_t(v >> (8 * i));
}

struct TempFile {
    std::string path;
    TempFile() {
        char name[] = "/tmp/talvora-times-XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        path = name;
    }
    ~TempFile() { std::remove(path.c_str()); }
    void Write(const std::vector<std::uint8_t>& bytes) const {
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
};

}  // namespace

TEST(FileTimes, BcdTagsOfFirstAndLastRecord) {
    std::vector<std::uint8_t> file(100 + 3 * 32 + 5, 0xEE);  // 100 header bytes, a cut record
    BcdTag(&file[100], 12, 34, 56, 789, 5);
    BcdTag(&file[100 + 2 * 32], 12, 35, 0, 1, 0);
    TempFile f;
    f.Write(file);
    const auto t = ReadFileTimes(f.path, 100, Shape(0));
    ASSERT_TRUE(t);
    EXPECT_DOUBLE_EQ(t->startMs, (12 * 3600 + 34 * 60 + 56) * 1000.0 + 789.5);
    EXPECT_DOUBLE_EQ(t->endMs, (12 * 3600 + 35 * 60) * 1000.0 + 1);
}

TEST(FileTimes, HostTagsAreDecodedByTheFilesPrecisionWord) {
    std::vector<std::uint8_t> file(2 * 32);
    BinaryTag(&file[0], 3600, 250000);
    BinaryTag(&file[32], 3601, 500);
    TempFile f;
    f.Write(file);
    const auto t = ReadFileTimes(f.path, 0, Shape(1));
    ASSERT_TRUE(t);
    EXPECT_DOUBLE_EQ(t->startMs, 3600250.0);
    EXPECT_DOUBLE_EQ(t->endMs, 3601000.5);
    // Read as BCD the same bytes give another time.
    const auto asBcd = ReadFileTimes(f.path, 0, Shape(0));
    ASSERT_TRUE(asBcd);
    EXPECT_NE(asBcd->startMs, 3600250.0);
}

TEST(FileTimes, LessThanOneRecordOrNoFileGivesNothing) {
    TempFile f;
    f.Write(std::vector<std::uint8_t>(1024 + 31));
    EXPECT_FALSE(ReadFileTimes(f.path, 1024, Shape(0)));
    EXPECT_TRUE(ReadFileTimes(f.path, 1023, Shape(0)));
    EXPECT_FALSE(ReadFileTimes(f.path + ".none", 0, Shape(0)));
}

// A recording written by the program's own recorder, exported whole and
// cut short, and files the export refuses.
#include <ch10export/ch10_writer.h>
#include <gtest/gtest.h>
#include <recording/recording_files.h>
#include <testsupport/temp_home.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

using namespace ch10export;

namespace {

std::vector<std::uint8_t> ReadAll(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Minor frames (intra-packet units) of every PCM packet, walking the file
// by the packet length fields.
std::vector<std::vector<std::uint8_t>> PcmFrames(const std::vector<std::uint8_t>& f,
                                                 std::size_t frameBytes) {
    std::vector<std::vector<std::uint8_t>> out;
    for (std::size_t at = 0; at + 24 <= f.size(); at += Get32(&f[at + 4])) {
        if (f[at + 15] != 0x09) continue;
        const std::size_t end = at + 24 + Get32(&f[at + 8]);
        for (std::size_t p = at + 28; p + 10 + frameBytes <= end; p += 10 + frameBytes)
            out.emplace_back(f.begin() + long(p + 10), f.begin() + long(p + 10 + frameBytes));
    }
    return out;
}

// 24 words of 8 bits, 4 subframes, BCD tags 1 ms apart; word 2 the index.
std::vector<std::uint8_t> Records(int n) {
    std::vector<std::uint8_t> r;
    for (int i = 0; i < n; ++i) {
        const int tenths = i * 10;
        r.insert(r.end(), {std::uint8_t((tenths % 100 / 10) << 4 | tenths % 10),
                           std::uint8_t((tenths / 1000 % 10) << 4 | tenths / 100 % 10), 0x30, 0x12,
                           0x08, 0, std::uint8_t(i % 4), 0});
        r.insert(r.end(), {0xEB, 0x90, std::uint8_t(i % 4)});
        for (int w = 3; w < 24; ++w) r.push_back(std::uint8_t(i + w));
    }
    return r;
}

DemParam Dem() {
    DemParam d{};
    d.帧同步码 = 0xEB90;
    d.帧同步码位长 = 16;
    d.码率 = 1'000'000;
    d.字长 = 8;
    d.子帧长 = 24;
    d.副帧长 = 4;
    d.副帧类型 = 2;
    d.副帧路序 = 3;
    return d;
}

}  // namespace

TEST(ExportFile, RecorderFileExportsEveryRecordAndACutOneSaysWhatWasDropped) {
    talvora::test::TempDir dir;
    recording::RecordingFiles rec;
    recording::RecordingSettings s;
    s.beforeDir = dir.path();
    ASSERT_EQ(rec.Start(s, Dem(), 0, {2026, 12, 9, 8, 30, 0}), recording::StartResult::Started);
    const std::vector<std::uint8_t> records = Records(100);
    ASSERT_EQ(rec.WriteBeforeDecryption(records.data(), records.size()), records.size());
    const std::string dat = rec.BeforeDecryptionPath();
    rec.Stop(Dem(), {2026, 12, 9, 8, 30, 1});

    ExportResult r = ExportFile(dat, dir / "out.ch10", {});
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.records, 100u);
    EXPECT_EQ(r.dropped, 0u);
    std::vector<std::vector<std::uint8_t>> frames = PcmFrames(ReadAll(dir / "out.ch10"), 24);
    ASSERT_EQ(frames.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        // Stored as 16-bit little-endian words: each byte pair swapped.
        EXPECT_EQ(frames[i][0], 0x90);
        EXPECT_EQ(frames[i][1], 0xEB);
        EXPECT_EQ(frames[i][3], i % 4);
        EXPECT_EQ(frames[i][23], std::uint8_t(i + 22));
    }

    // Cut inside record 98: 97 whole records remain of the 100 the header counts.
    ASSERT_EQ(truncate(dat.c_str(), 1024 + 97 * 32 + 5), 0);
    r = ExportFile(dat, dir / "cut.ch10", {});
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.records, 97u);
    EXPECT_EQ(r.dropped, 3u);
    EXPECT_NE(r.message.find("3 records dropped"), std::string::npos);
    EXPECT_EQ(PcmFrames(ReadAll(dir / "cut.ch10"), 24).size(), 97u);
}

TEST(ExportFile, RefusalsNameTheCause) {
    talvora::test::TempDir dir;
    EXPECT_FALSE(ExportFile(dir / "missing.dat", dir / "o.ch10", {}).ok);

    const std::vector<std::uint8_t> records = Records(3);
    std::ofstream(dir / "bare.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(records.data()), long(records.size()));
    ExportResult r = ExportFile(dir / "bare.dat", dir / "o.ch10", {});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("--word-bits --subframe-words --bit-rate"), std::string::npos);

    DescriptionOverrides g;
    g.wordBits = 8;
    g.subframeWords = 4000;  // longer than the file
    g.bitRate = 1000;
    r = ExportFile(dir / "bare.dat", dir / "o.ch10", g);
    EXPECT_FALSE(r.ok);
    g.subframeWords = 200;  // valid, but not one whole record in the file
    r = ExportFile(dir / "bare.dat", dir / "o.ch10", g);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("no whole record"), std::string::npos);

    // The recording given as the output is left as it was.
    g.subframeWords = 24;
    r = ExportFile(dir / "bare.dat", dir / "bare.dat", g);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(ReadAll(dir / "bare.dat"), records);

    // An output that cannot be created.
    g.subframeWords = 24;
    r = ExportFile(dir / "bare.dat", dir / "no/such/dir/o.ch10", g);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("cannot create"), std::string::npos);
}

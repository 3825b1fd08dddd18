// .dem files without a card: the header as bytes on disk, the channel writer
// (sizes, paths, a disk that fills up) and the replay's messages to the
// engine, checked against expectations built here byte by byte.
#include <bbdevice/dem_file.h>
#include <bbdevice/dev_records.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "dem_file_header.h"
#include "dem_file_writer.h"
#include "file_replay.h"

using namespace bbdev;

namespace {

// "遥测存盘数据" in GBK, as another program reading the file expects it.
const std::uint8_t kTitleGbk[] = {0xD2, 0xA3, 0xB2, 0xE2, 0xB4, 0xE6,
                                  0xC5, 0xCC, 0xCA, 0xFD, 0xBE, 0xDD};

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
std::uint64_t U64(const std::vector<std::uint8_t>& b, std::size_t at) {
    return U32(b, at) | std::uint64_t(U32(b, at + 4)) << 32;
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}
void Put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    Put32(b, at, std::uint32_t(v));
    Put32(b, at + 4, std::uint32_t(v >> 32));
}

// dir + 14 digits + suffix.
bool IsStampedPath(const std::string& path, const std::string& dir, const std::string& suffix) {
    if (path.size() != dir.size() + 14 + suffix.size() || path.rfind(dir, 0) != 0) return false;
    for (std::size_t i = dir.size(); i < dir.size() + 14; ++i)
        if (path[i] < '0' || path[i] > '9') return false;
    return path.compare(dir.size() + 14, suffix.size(), suffix) == 0;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class TempDir {
public:
    TempDir() {
        char t[] = "/tmp/demfile-XXXXXX";
        path_ = ::mkdtemp(t);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

DemParam Dem24x8() {
    DemParam p;
    FillDefault(p);
    p.子帧长 = 24;
    p.字长 = 8;
    p.副帧长 = 4;
    p.码率 = 4000000;
    p.配时密度 = 1;
    p.帧同步码 = 0x12345678EB90ull;
    return p;
}

// --- header ------------------------------------------------------------------

TEST(DemFileHeader, FinishedHeaderHasItsFieldsAtTheirOffsetsAndKeepsTheRest) {
    std::vector<std::uint8_t> area(1024, 0xAA);
    DemParam p = Dem24x8();
    p.帧同步码位置2 = 77;
    p.配时精度 = 1;
    demfile::BuildHeader(std::span<std::uint8_t, 1024>(area.data(), 1024), p, 100, 1);

    for (std::size_t i = 0; i < 336; ++i) ASSERT_EQ(area[i], 0) << i;
    EXPECT_EQ(U32(area, 336), 1024u);
    EXPECT_TRUE(std::equal(std::begin(kTitleGbk), std::end(kTitleGbk), area.begin() + 340));
    EXPECT_EQ(area[352], 0);
    EXPECT_EQ(U64(area, 384), 100u);
    double ms;
    const std::uint64_t bits = U64(area, 392);
    std::memcpy(&ms, &bits, 8);
    EXPECT_DOUBLE_EQ(ms, 8.0 * 24 * 1000 / 4000000);
    EXPECT_EQ(area[400], 0xAA);  // not a field: the area's own bytes stay
    EXPECT_EQ(area[703], 0xAA);
    const std::uint32_t words[] = {0x5678EB90, 0x1234, 188, 16, 77, 4000000, 0, 8, 24,
                                   4,          2,      7,   1,  8,  1,       1, 1};
    for (std::size_t i = 0; i < std::size(words); ++i)
        EXPECT_EQ(U32(area, 704 + 4 * i), words[i]) << "word " << i;
}

// --- writer ------------------------------------------------------------------

class DemWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
        plat::SetModuleDirectory(dir_.path());
    }
    void TearDown() override {
        plat::SetModuleDirectory("");
        plat::SetNotifySink(nullptr);
    }
    std::unique_ptr<CDemFileWriter> Writer(std::uint32_t channel) {
        return std::make_unique<CDemFileWriter>(
            3, channel,
            [this](DemParam* p) {
                *p = param_;
                return true;
            },
            nullptr);
    }
    TempDir dir_;
    DemParam param_ = Dem24x8();
    std::shared_ptr<plat::CapturingSink> sink_;
};

TEST_F(DemWriterTest, EmptyRecordingLeavesHeaderOnlyWithNoRecords) {
    auto w = Writer(0);
    ASSERT_TRUE(w->Start(nullptr));
    const std::string path = w->Path();
    EXPECT_TRUE(IsStampedPath(path, dir_.path() + "/DATA3/", ".dem")) << path;
    EXPECT_TRUE(w->Stop());
    const auto file = ReadFile(path);
    ASSERT_EQ(file.size(), 1024u);
    EXPECT_EQ(U64(file, 384), 0u);
    EXPECT_EQ(U32(file, 768), 0u);  // channel
    EXPECT_FALSE(w->Stop());        // nothing open any more
}

TEST_F(DemWriterTest, RecordCountIsRecordedBytesOverRecordSize) {
    auto w = Writer(1);
    ASSERT_TRUE(w->Start(nullptr));
    EXPECT_TRUE(IsStampedPath(w->Path(), dir_.path() + "/DATA3/", "DS.dem")) << w->Path();
    std::vector<std::uint8_t> block(320);
    for (int i = 0; i < 10; ++i) {
        for (std::size_t j = 0; j < block.size(); ++j) block[j] = std::uint8_t(i * 31 + j);
        w->WriteBlock(1, block);
    }
    EXPECT_EQ(w->BytesRecorded(), 3200u);
    const std::string path = w->Path();
    ASSERT_TRUE(w->Stop());
    const auto file = ReadFile(path);
    ASSERT_EQ(file.size(), 1024u + 3200u);
    EXPECT_EQ(U64(file, 384), 100u);
    EXPECT_EQ(U32(file, 768), 1u);
    EXPECT_EQ(file[1024 + 9 * 320 + 5], std::uint8_t(9 * 31 + 5));
}

TEST_F(DemWriterTest, RequestGivesThePathAndTheHeaderAreaThatIsKept) {
    DemSaveRequest request{};
    std::memset(request.header, 0x5A, sizeof request.header);
    const std::string path = dir_.path() + "/a/b/c.dem";
    std::snprintf(request.path, sizeof request.path, "%s", path.c_str());
    auto w = Writer(0);
    ASSERT_TRUE(w->Start(&request));
    std::vector<std::uint8_t> block(64, 1);
    w->WriteBlock(0, block);
    EXPECT_EQ(ReadFile(path).size(), 1024u + 64u);
    EXPECT_EQ(ReadFile(path)[500], 0x5A);  // written first, as given
    ASSERT_TRUE(w->Stop());
    const auto file = ReadFile(path);
    EXPECT_EQ(U64(file, 384), 2u);
    EXPECT_EQ(file[0], 0);
    EXPECT_EQ(file[500], 0x5A);
}

TEST_F(DemWriterTest, FailuresToCreate) {
    auto w = Writer(0);
    DemSaveRequest request{};
    // The directory cannot be made (a file is in the way): false, no message.
    WriteFile(dir_.path() + "/plain", {1});
    std::snprintf(request.path, sizeof request.path, "%s/plain/x/y.dem", dir_.path().c_str());
    EXPECT_FALSE(w->Start(&request));
    EXPECT_TRUE(sink_->Shown().empty());
    // The file cannot be made (a directory has its name): the message.
    ::mkdir((dir_.path() + "/taken.dem").c_str(), 0755);
    std::snprintf(request.path, sizeof request.path, "%s/taken.dem", dir_.path().c_str());
    EXPECT_FALSE(w->Start(&request));
    ASSERT_EQ(sink_->Shown().size(), 1u);
    EXPECT_EQ(sink_->Shown()[0].text,
              "创建【" + dir_.path() + "/taken.dem 文件】失败。\n系统错误代码：15");
    EXPECT_FALSE(w->Recording());
    // A path without its terminating NUL is refused.
    std::memset(request.path, 'a', sizeof request.path);
    EXPECT_FALSE(w->Start(&request));
}

// The disk fills up: a forked child records under a file-size limit. The
// header must then describe exactly the whole records the file holds.
TEST_F(DemWriterTest, DiskFullStopsWithAClearMessageAndAMatchingHeader) {
    const std::string path = dir_.path() + "/full.dem";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1024 + 1000, 1024 + 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto sink = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink);
        CDemFileWriter w(
            0, 0,
            [](DemParam* p) {
                *p = Dem24x8();
                return true;
            },
            nullptr);
        DemSaveRequest request{};
        std::snprintf(request.path, sizeof request.path, "%s", path.c_str());
        int status = 0;
        if (!w.Start(&request)) status |= 1;
        for (int i = 0; i < 10; ++i)
            w.WriteBlock(0, std::vector<std::uint8_t>(320, std::uint8_t(i)));
        if (w.Recording()) status |= 2;
        if (w.BytesRecorded() != 992) status |= 4;
        if (!w.Stop()) status |= 8;
        bool shown = false;
        for (int i = 0; i < 200 && !shown; ++i) {
            for (const auto& m : sink->Shown())
                shown = shown ||
                        m.text.rfind("写入【" + path + " 文件】失败，存盘已停止。\n系统错误代码：",
                                     0) == 0;
            if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!shown) status |= 16;
        ::_exit(status);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const auto file = ReadFile(path);
    ASSERT_EQ(file.size(), 1024u + 31 * 32);
    EXPECT_EQ(U32(file, 336), 1024u);
    EXPECT_EQ(U64(file, 384), 31u);
    EXPECT_EQ(file[1024 + 3 * 320], 3);
}

// --- replay ------------------------------------------------------------------

struct Sent {
    std::uint32_t command;
    std::vector<std::uint8_t> payload;
};

class ReplayTest : public ::testing::Test {
protected:
    CFileReplay::Port Port() {
        CFileReplay::Port port;
        port.send = [this](std::uint32_t c, std::span<const std::uint8_t> p) {
            if (failSendsFrom_ >= 0 && int(sent_.size()) >= failSendsFrom_) return false;
            sent_.push_back({c, {p.begin(), p.end()}});
            return true;
        };
        port.resendDemodulator = [this] { ++resends_; };
        port.fail = [this](std::uint32_t code, const char* m) { failures_.push_back({code, m}); };
        return port;
    }

    // A recording of n records: a tag of 0xEE bytes, then frame bytes that
    // carry their position in the frame stream.
    std::string Recording(std::uint64_t n, std::uint32_t wordBits, std::uint32_t words,
                          std::uint64_t headerCount) {
        const std::size_t frame = (wordBits + 7) / 8 * words;
        std::vector<std::uint8_t> b(1024, 0);
        Put32(b, 336, 1024);
        std::copy(std::begin(kTitleGbk), std::end(kTitleGbk), b.begin() + 340);
        Put64(b, 384, headerCount);
        Put32(b, 704 + 28, wordBits);
        Put32(b, 704 + 32, words);
        Put32(b, 704 + 52, 8);
        Put32(b, 704 + 56, 1);
        b.reserve(1024 + n * (frame + 8));
        for (std::uint64_t r = 0; r < n; ++r) {
            b.insert(b.end(), 8, 0xEE);
            for (std::size_t i = 0; i < frame; ++i) b.push_back(StreamByte(r * frame + i));
        }
        const std::string path = dir_.path() + "/r" + std::to_string(files_++) + ".dem";
        WriteFile(path, b);
        return path;
    }
    static std::uint8_t StreamByte(std::uint64_t i) {
        return std::uint8_t(i ^ (i >> 8) ^ (i >> 16) ^ 0x5C);
    }

    std::vector<std::uint8_t> DataSent() const {
        std::vector<std::uint8_t> all;
        for (const auto& s : sent_)
            if (s.command == kReplayDataCommand)
                all.insert(all.end(), s.payload.begin(), s.payload.end());
        return all;
    }
    static std::vector<std::uint8_t> Progress(std::uint32_t consumed, std::uint32_t state,
                                              std::uint32_t played) {
        std::vector<std::uint8_t> p(20, 0);
        Put32(p, 0, consumed);
        Put32(p, 8, state);
        Put32(p, 12, played);
        return p;
    }

    TempDir dir_;
    int files_ = 0;
    std::vector<Sent> sent_;
    int failSendsFrom_ = -1;
    int resends_ = 0;
    std::vector<std::pair<std::uint32_t, std::string>> failures_;
};

TEST_F(ReplayTest, FrameBytesOfSixCarryTwoBytesIntoTheNextMessage) {
    // 16-bit words, 3 per minor frame: 6 frame bytes. The fill takes
    // 2,097,152 / 6 = 349,525 records, 2,097,150 bytes: 2 are carried.
    const std::uint64_t n = 349525 + 3;
    const std::string path = Recording(n, 16, 3, n);
    CFileReplay replay(Port());
    ASSERT_TRUE(replay.Start(path.c_str(), 0, n, nullptr, 0));
    EXPECT_EQ(resends_, 1);
    ASSERT_GE(sent_.size(), 3u);
    EXPECT_EQ(sent_.front().command, kReplayBeginCommand);
    EXPECT_EQ(sent_.back().command, kReplayEndOfFillCommand);
    EXPECT_EQ(U32(sent_.back().payload, 0), 6u);
    EXPECT_EQ(U32(sent_.back().payload, 4), n * 6 / 4 - 1);
    for (const auto& s : sent_) {
        if (s.command != kReplayDataCommand) continue;
        EXPECT_EQ(s.payload.size() % 4, 0u);
        EXPECT_LE(s.payload.size(), 65536u);
    }
    auto data = DataSent();
    ASSERT_EQ(data.size(), 2097148u);
    for (std::size_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], StreamByte(i)) << i;

    // Everything played: the last 3 records go, behind the 2 carried bytes,
    // although they are fewer than the minimum chunk of 32 / 6 = 5 records.
    sent_.clear();
    replay.OnProgress(Progress(2097148 / 4, 1, 2097148 / 4));
    ASSERT_EQ(sent_.size(), 1u);
    ASSERT_EQ(sent_[0].payload.size(), 20u);
    for (std::size_t i = 0; i < 20; ++i)
        EXPECT_EQ(sent_[0].payload[i], StreamByte(2097148 + i)) << i;

    double percent = 0;
    std::uint64_t records = 0;
    EXPECT_FALSE(replay.Finished(&percent, &records));
    EXPECT_EQ(records, 2097148u / 6);
    replay.OnProgress(Progress(std::uint32_t(n * 6 / 4), 2, std::uint32_t(n * 6 / 4)));
    EXPECT_TRUE(replay.Finished(&percent, &records));
    EXPECT_GT(percent, 100.0 - 1e-9);
}

TEST_F(ReplayTest, RangeShorterThanTheFillSendsOnlyTheRangeThenTheEndOfFill) {
    const std::string path = Recording(100, 8, 24, 100);
    CFileReplay replay(Port());
    ASSERT_TRUE(replay.Start(path.c_str(), 10, 30, nullptr, 0));
    ASSERT_EQ(sent_.size(), 3u);
    EXPECT_EQ(sent_[0].command, kReplayBeginCommand);
    EXPECT_EQ(U32(sent_[0].payload, 0), 1u);
    ASSERT_EQ(sent_[1].command, kReplayDataCommand);
    ASSERT_EQ(sent_[1].payload.size(), 20u * 24);
    for (std::size_t i = 0; i < 480; ++i) ASSERT_EQ(sent_[1].payload[i], StreamByte(10 * 24 + i));
    EXPECT_EQ(sent_[2].command, kReplayEndOfFillCommand);
    EXPECT_EQ(U32(sent_[2].payload, 0), 24u);
    EXPECT_EQ(U32(sent_[2].payload, 4), 480u / 4 - 1);
    replay.OnProgress(Progress(0, 1, 120));  // all played, nothing left
    EXPECT_EQ(sent_.size(), 3u);

    EXPECT_TRUE(replay.Stop());
    EXPECT_EQ(sent_.back().command, kReplayStopCommand);
    EXPECT_EQ(U32(sent_.back().payload, 0), 0u);
    EXPECT_TRUE(replay.Finished(nullptr, nullptr));
}

TEST_F(ReplayTest, RefillSendsWhatTheFreeSpaceHolds) {
    const std::uint64_t fill = 2097152 / 24;  // 87,381 records
    const std::string path = Recording(fill + 1000, 8, 24, fill + 1000);
    CFileReplay replay(Port());
    ASSERT_TRUE(replay.Start(path.c_str(), 0, fill + 1000, nullptr, 0));
    ASSERT_EQ(DataSent().size(), fill * 24);
    sent_.clear();
    replay.OnProgress(Progress(0, 1, 2));  // 8 bytes out: free 16, not above 32
    EXPECT_TRUE(sent_.empty());
    replay.OnProgress(Progress(1000, 1, 1000));  // 4000 out: free 4008, 167 records
    EXPECT_EQ(DataSent().size(), 167u * 24);
    replay.OnProgress(Progress(0, 1, 1000));  // the same again: nothing new is free
    EXPECT_EQ(DataSent().size(), 167u * 24);
}

TEST_F(ReplayTest, DescriptionFromTheCallerWithItsDataOffset) {
    // 100 bytes of something else, then 24-byte records without tags and a
    // partial record at the end.
    std::vector<std::uint8_t> b(100, 0x11);
    for (std::size_t i = 0; i < 10 * 24 + 5; ++i) b.push_back(StreamByte(i));
    const std::string path = dir_.path() + "/raw.dat";
    WriteFile(path, b);
    ReplayInfo info{};
    info.字长 = 8;
    info.子帧长 = 24;
    CFileReplay replay(Port());
    ASSERT_TRUE(replay.Start(path.c_str(), 2, 50, &info, 100));  // the end is cut to the 10 records
    const auto data = DataSent();
    ASSERT_EQ(data.size(), 8u * 24);
    for (std::size_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], StreamByte(2 * 24 + i));
}

TEST_F(ReplayTest, FilesThatCannotBePlayedSendNothing) {
    const std::string good = Recording(10, 8, 24, 10);
    std::vector<std::string> bad;
    bad.push_back(dir_.path() + "/missing.dem");
    auto notRecording = ReadFile(good);
    notRecording[341] ^= 0x40;
    WriteFile(dir_.path() + "/other.dem", notRecording);
    bad.push_back(dir_.path() + "/other.dem");
    auto shortFile = ReadFile(good);
    shortFile.resize(1000);
    WriteFile(dir_.path() + "/short.dem", shortFile);
    bad.push_back(dir_.path() + "/short.dem");
    auto oddTag = ReadFile(good);
    Put32(oddTag, 704 + 52, 12);
    WriteFile(dir_.path() + "/tag.dem", oddTag);
    bad.push_back(dir_.path() + "/tag.dem");

    CFileReplay replay(Port());
    for (const auto& path : bad) {
        failures_.clear();
        EXPECT_FALSE(replay.Start(path.c_str(), 0, 10, nullptr, 0)) << path;
        ASSERT_EQ(failures_.size(), 1u) << path;
        EXPECT_EQ(failures_[0].first, 2u);
        EXPECT_EQ(failures_[0].second,
                  "启动回放时发生以下错误：\n    打开回放文件：" + path + "失败！");
    }
    EXPECT_TRUE(sent_.empty());
    EXPECT_TRUE(replay.Start(good.c_str(), 0, 10, nullptr, 0));
}

TEST_F(ReplayTest, UnfinishedHeaderPlaysTheWholeRecordsTheFileHolds) {
    // A recording cut off before its header was rewritten: count 0, or a
    // count above what reached the disk, and a partial record at the end.
    for (const std::uint64_t announced : {std::uint64_t{0}, std::uint64_t{25}}) {
        SCOPED_TRACE(announced);
        auto bytes = ReadFile(Recording(20, 8, 24, announced));
        bytes.resize(bytes.size() + 17, 0xAB);
        const std::string path = dir_.path() + "/cut.dem";
        WriteFile(path, bytes);
        sent_.clear();
        CFileReplay replay(Port());
        ASSERT_TRUE(replay.Start(path.c_str(), 0, 1000, nullptr, 0));
        const auto data = DataSent();
        ASSERT_EQ(data.size(), 20u * 24);
        for (std::size_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], StreamByte(i)) << i;
        EXPECT_EQ(U32(sent_.back().payload, 4), 20u * 24 / 4 - 1);
    }
}

TEST_F(ReplayTest, RecordsWithTagsButNoTagDensityGoWholeInMessagesThatFit) {
    // 32 frame bytes and an 8-byte tag per record, 配时密度 0: the records go
    // out with their tags, so a message holds 65,536 / 40 of them.
    const std::uint64_t n = 5000;
    auto bytes = ReadFile(Recording(n, 8, 32, n));
    Put32(bytes, 704 + 56, 0);
    const std::string path = dir_.path() + "/tags.dem";
    WriteFile(path, bytes);
    CFileReplay replay(Port());
    ASSERT_TRUE(replay.Start(path.c_str(), 0, n, nullptr, 0));
    std::size_t messages = 0;
    for (const auto& s : sent_) {
        if (s.command != kReplayDataCommand) continue;
        ++messages;
        EXPECT_LE(s.payload.size(), 65536u);
    }
    EXPECT_GE(messages, n * 40 / 65536);
    const auto data = DataSent();
    ASSERT_EQ(data.size(), n * 40);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + 1024));
}

TEST(ReplayFreeSpace, InFlightBytesStayRightAcrossTheCardCounterWrap) {
    constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;  // words
    // 2,000 words in flight just below the card counter's wrap ...
    EXPECT_EQ(ReplayFreeBytes((kWrap - 10 + 2000) * 4, std::uint32_t(kWrap - 10)), 2097152u - 8000);
    // ... and after it: the counter reads small again, 16 GiB were sent.
    EXPECT_EQ(ReplayFreeBytes((kWrap + 30) * 4, 20), 2097152u - 40);
    EXPECT_EQ(ReplayFreeBytes((2 * kWrap + 5) * 4, 5), 2097152u);
    // More played than sent reads as nothing in flight; a full buffer as no room.
    EXPECT_EQ(ReplayFreeBytes(400, 150), 2097152u);
    EXPECT_EQ(ReplayFreeBytes((kWrap + 600000) * 4, 0), 0u);
}

TEST_F(ReplayTest, FailedSendsAtStartStopTheFillAndReportCodeFour) {
    const std::string path = Recording(90000, 8, 24, 90000);
    CFileReplay replay(Port());
    failSendsFrom_ = 3;  // the begin command and two data messages go out
    EXPECT_FALSE(replay.Start(path.c_str(), 0, 90000, nullptr, 0));
    EXPECT_EQ(sent_.size(), 3u);
    ASSERT_EQ(failures_.size(), 1u);
    EXPECT_EQ(failures_[0].first, 4u);
    EXPECT_EQ(failures_[0].second, "启动数据回放失败！");
    replay.OnProgress(Progress(0, 1, 0));  // not feeding: no refill
    EXPECT_EQ(sent_.size(), 3u);

    failures_.clear();
    failSendsFrom_ = -1;
    sent_.clear();
    EXPECT_FALSE(replay.Start(path.c_str(), 5, 5, nullptr, 0));  // an empty range
    EXPECT_EQ(failures_.size(), 1u);
    EXPECT_TRUE(sent_.empty());
}

}  // namespace

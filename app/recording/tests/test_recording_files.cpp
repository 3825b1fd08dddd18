// The two files of a recording: names that never empty an earlier file,
// the header written at start and rewritten at stop, counts of what was
// really written, a full disk, and writers racing start and stop.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <recording/dat_files.h>
#include <recording/recording_files.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

using namespace recording;
namespace fs = std::filesystem;

namespace {

DemParam Dem() {
    DemParam d{};
    d.字长 = 8;
    d.子帧长 = 24;  // 32-byte records
    d.副帧长 = 4;
    d.码率 = 1000000;
    return d;
}

const HeaderTime kNow{2026, 3, 4, 5, 6, 7};

struct TempDir {
    fs::path path;
    TempDir() {
        char name[] = "/tmp/talvora-rec-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
};

std::vector<std::uint8_t> ReadAll(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::uint64_t CountAt384(const std::vector<std::uint8_t>& f) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | f.at(384 + i);
    return v;
}

std::vector<std::uint8_t> Records(int n, std::uint8_t first) {
    std::vector<std::uint8_t> r(std::size_t(n) * 32);
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = std::uint8_t(first + i / 32);
    return r;
}

RecordingSettings Settings(const fs::path& dir, int headerOption = 0) {
    return {dir.string(), true, headerOption};
}

}  // namespace

TEST(RecordingNames, StampAndNames) {
    EXPECT_EQ(TimeStamp({2026, 3, 4, 5, 6, 7}), "260304050607");
    EXPECT_EQ(BeforeDecryptionName("/d", "260304050607"), "/d/260304050607解密前.dat");
    EXPECT_EQ(SentDataName("/d", "260304050607"), "/d/260304050607发送数据.dat");
    EXPECT_EQ(BeforeDecryptionName("/d", "260304050607", 2), "/d/260304050607解密前_2.dat");
}

TEST(RecordingFiles, TwoStartsInOneSecondKeepTheFirstFilesIntact) {
    TempDir tmp;
    RecordingFiles files;
    const auto recs = Records(3, 1);
    ASSERT_EQ(files.Start(Settings(tmp.path), Dem(), 0, kNow), StartResult::Started);
    const std::string first = files.BeforeDecryptionPath();
    EXPECT_EQ(first, BeforeDecryptionName(tmp.path.string(), "260304050607"));
    EXPECT_EQ(files.WriteBeforeDecryption(recs.data(), recs.size()), recs.size());
    files.Stop(Dem(), kNow);

    ASSERT_EQ(files.Start(Settings(tmp.path), Dem(), 0, kNow), StartResult::Started);
    EXPECT_EQ(files.BeforeDecryptionPath(),
              BeforeDecryptionName(tmp.path.string(), "260304050607", 1));
    EXPECT_EQ(files.SentDataPath(), SentDataName(tmp.path.string(), "260304050607", 1));
    files.Stop(Dem(), kNow);

    const auto f = ReadAll(first);
    ASSERT_EQ(f.size(), 1024u + recs.size());
    EXPECT_EQ(CountAt384(f), 3u);
    EXPECT_TRUE(std::equal(recs.begin(), recs.end(), f.begin() + 1024));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path), fs::directory_iterator()), 4);
}

TEST(RecordingFiles, HeaderOptionOneHoldsOnlyRecords) {
    TempDir tmp;
    RecordingFiles files;
    ASSERT_EQ(files.Start(Settings(tmp.path, 1), Dem(), 0, kNow), StartResult::Started);
    const auto recs = Records(5, 9);
    files.WriteBeforeDecryption(recs.data(), recs.size());
    const std::string path = files.BeforeDecryptionPath();
    files.Stop(Dem(), kNow);
    EXPECT_EQ(ReadAll(path), recs);
}

TEST(RecordingFiles, HeaderWrittenAtStartAndRewrittenAtStopWithTheFinalCount) {
    TempDir tmp;
    RecordingFiles files;
    ASSERT_EQ(files.Start(Settings(tmp.path), Dem(), 367, kNow), StartResult::Started);
    const std::string path = files.BeforeDecryptionPath();
    auto f = ReadAll(path);
    ASSERT_EQ(f.size(), 1024u);
    EXPECT_EQ(CountAt384(f), 0u);
    EXPECT_EQ(f[368], 367 & 0xFF);

    const auto recs = Records(7, 0);
    files.WriteBeforeDecryption(recs.data(), 100);
    files.WriteBeforeDecryption(recs.data() + 100, recs.size() - 100);
    EXPECT_EQ(files.BeforeDecryptionBytes(), double(recs.size()));
    files.Stop(Dem(), kNow);
    EXPECT_EQ(files.BeforeDecryptionBytes(), 0.0);
    f = ReadAll(path);
    ASSERT_EQ(f.size(), 1024u + recs.size());
    EXPECT_EQ(CountAt384(f), 7u);
    EXPECT_EQ(f[120], 7);
}

TEST(RecordingFiles, DirectoryAndItsParentsAreCreated) {
    TempDir tmp;
    RecordingFiles files;
    const fs::path deep = tmp.path / "a" / "b" / "c";
    ASSERT_EQ(files.Start(Settings(deep), Dem(), 0, kNow), StartResult::Started);
    EXPECT_TRUE(fs::is_regular_file(files.BeforeDecryptionPath()));
    files.Stop(Dem(), kNow);
}

TEST(RecordingFiles, UncreatableDirectoryFailsWithItsPath) {
    TempDir tmp;
    const fs::path blocker = tmp.path / "file";
    std::ofstream(blocker) << "x";
    RecordingFiles files;
    EXPECT_EQ(files.Start(Settings(blocker / "sub"), Dem(), 0, kNow), StartResult::Failed);
    EXPECT_EQ(files.FailedPath(), (blocker / "sub").string());
    EXPECT_FALSE(files.BeforeDecryptionOpen());
    const std::uint8_t b[32] = {};
    EXPECT_EQ(files.WriteBeforeDecryption(b, 32), 0u);
}

TEST(RecordingFiles, DisabledRecordsNothing) {
    TempDir tmp;
    RecordingFiles files;
    RecordingSettings s = Settings(tmp.path / "x");
    s.beforeEnabled = false;
    EXPECT_EQ(files.Start(s, Dem(), 0, kNow), StartResult::Disabled);
    EXPECT_FALSE(fs::exists(tmp.path / "x"));
}

TEST(RecordingFiles, SentDataIsCountedWhileOpenFromManyThreads) {
    TempDir tmp;
    RecordingFiles files;
    const std::uint8_t packet[100] = {};
    EXPECT_EQ(files.WriteSentData(packet, 100), 0u);  // not recording
    ASSERT_EQ(files.Start(Settings(tmp.path), Dem(), 0, kNow), StartResult::Started);
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&] {
            for (int i = 0; i < 250; ++i) files.WriteSentData(packet, 100);
        });
    for (auto& s : senders) s.join();
    EXPECT_EQ(files.SentDataBytes(), 100000.0);
    const std::string sent = files.SentDataPath();
    files.Stop(Dem(), kNow);
    EXPECT_EQ(fs::file_size(sent), 100000u);
    EXPECT_EQ(files.WriteSentData(packet, 100), 0u);
}

// A full disk stands in as a file-size limit in a child process: the
// recording stops at the first short write and its header tells how many
// records the file really holds.
TEST(RecordingFiles, FailedWriteStopsAndTheHeaderCountsTheRecordsInTheFile) {
    TempDir tmp;
    const std::string marker = (tmp.path / "path.txt").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit lim{1024 + 10 * 32 + 16, 1024 + 10 * 32 + 16};
        setrlimit(RLIMIT_FSIZE, &lim);
        RecordingFiles files;
        std::atomic<int> failures{0};
        files.SetWriteFailureHandler([&](const FileFailure& f) {
            if (f.kind == FileFailure::Kind::DataWrite && f.path == files.BeforeDecryptionPath())
                ++failures;
        });
        if (files.Start(Settings(tmp.path), Dem(), 0, kNow) != StartResult::Started) _exit(10);
        const auto recs = Records(4, 0);
        std::size_t written = 0;
        for (int i = 0; i < 5; ++i)
            written += files.WriteBeforeDecryption(recs.data(), recs.size());
        if (written != 10 * 32 + 16) _exit(11);
        if (files.BeforeDecryptionBytes() != double(written)) _exit(12);
        if (failures != 1 || !files.WriteFailed() || files.BeforeDecryptionOpen()) _exit(13);
        std::ofstream(marker) << files.BeforeDecryptionPath();
        files.Stop(Dem(), kNow);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    std::string path;
    std::getline(std::ifstream(marker), path);
    const auto f = ReadAll(path);
    ASSERT_EQ(f.size(), 1024u + 10 * 32 + 16);
    EXPECT_EQ(CountAt384(f), (f.size() - 1024) / 32);
}

namespace {

// Runs `body` in a child process whose files may not grow past `limit`
// bytes; the child's exit code (0 when `body` returned 0).
int InChildWithFileLimit(rlim_t limit, const std::function<int()>& body) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit lim{limit, limit};
        setrlimit(RLIMIT_FSIZE, &lim);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    return out;
}

}  // namespace

// The sent-data file fills first: it is closed and named once, the data
// file records on.
TEST(RecordingFiles, AFailedSentDataWriteClosesThatFileOnly) {
    TempDir tmp;
    const int code = InChildWithFileLimit(4096, [&] {
        RecordingFiles files;
        std::vector<FileFailure> seen;
        files.SetWriteFailureHandler([&](const FileFailure& f) { seen.push_back(f); });
        if (files.Start(Settings(tmp.path), Dem(), 0, kNow) != StartResult::Started) return 10;
        const std::vector<std::uint8_t> packet(1000, 0x5A);
        std::size_t sent = 0;
        for (int i = 0; i < 6; ++i) sent += files.WriteSentData(packet.data(), packet.size());
        if (sent != 4096) return 11;
        if (seen.size() != 1 || seen[0].kind != FileFailure::Kind::SentDataWrite ||
            seen[0].path != files.SentDataPath())
            return 12;
        if (files.WriteSentData(packet.data(), packet.size()) != 0) return 13;
        const auto recs = Records(8, 1);
        if (files.WriteBeforeDecryption(recs.data(), recs.size()) != recs.size()) return 14;
        if (!files.BeforeDecryptionOpen() || seen.size() != 1) return 15;
        return files.Stop(Dem(), kNow) ? 0 : 16;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(FailureMessage({FileFailure::Kind::SentDataWrite, "/d/x发送数据.dat"}),
              "文件写入失败，已停止该文件的存盘：\n/d/x发送数据.dat");
    EXPECT_EQ(FailureJournalLine({FileFailure::Kind::SentDataWrite, "/d/x发送数据.dat"}),
              "文件写入失败，已停止该文件的存盘：/d/x发送数据.dat");
}

// No room for the first header: nothing was recorded, so neither new file stays.
TEST(RecordingFiles, AFirstHeaderThatCannotBeWrittenLeavesNoFiles) {
    TempDir tmp;
    const fs::path marker = tmp.path / "failed.txt";
    const fs::path dir = tmp.path / "rec";
    const int code = InChildWithFileLimit(512, [&] {
        RecordingFiles files;
        if (files.Start(Settings(dir), Dem(), 0, kNow) != StartResult::HeaderFailed) return 10;
        if (files.BeforeDecryptionOpen()) return 11;
        std::ofstream(marker) << files.FailedPath();
        return 0;
    });
    ASSERT_EQ(code, 0);
    std::string failed;
    std::getline(std::ifstream(marker), failed);
    EXPECT_EQ(failed, BeforeDecryptionName(dir.string(), TimeStamp(kNow)));
    EXPECT_TRUE(FilesIn(dir).empty());
    // With room the same start records.
    RecordingFiles files;
    EXPECT_EQ(files.Start(Settings(dir), Dem(), 0, kNow), StartResult::Started);
    EXPECT_EQ(FilesIn(dir).size(), 2u);
}

// The data file's descriptor swapped for a read-only one of the same file
// stands for a device that fails at the end: Stop says the count is not in
// the header.
TEST(RecordingFiles, AFinalHeaderThatCannotBeWrittenIsReported) {
    TempDir tmp;
    RecordingFiles files;
    ASSERT_EQ(files.Start(Settings(tmp.path), Dem(), 0, kNow), StartResult::Started);
    const auto recs = Records(4, 0);
    ASSERT_EQ(files.WriteBeforeDecryption(recs.data(), recs.size()), recs.size());
    int dataFd = -1;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(e.path(), ec) == fs::path(files.BeforeDecryptionPath()))
            dataFd = std::stoi(e.path().filename().string());
    }
    ASSERT_GE(dataFd, 0);
    const int readOnly = ::open(files.BeforeDecryptionPath().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readOnly, 0);
    ASSERT_EQ(::dup2(readOnly, dataFd), dataFd);
    ::close(readOnly);
    EXPECT_FALSE(files.Stop(Dem(), kNow));
    EXPECT_EQ(CountAt384(ReadAll(files.BeforeDecryptionPath())), 0u);
    // A stop with nothing open has nothing to fail.
    EXPECT_TRUE(files.Stop(Dem(), kNow));
}

// Start and stop again and again while another thread keeps writing:
// every file holds whole blocks only and its header counts them.
TEST(RecordingFiles, StartAndStopWhileBlocksArrive) {
    TempDir tmp;
    RecordingFiles files;
    std::atomic<bool> run{true};
    const auto block = Records(8, 3);
    std::thread writer([&] {
        while (run) files.WriteBeforeDecryption(block.data(), block.size());
    });
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(files.Start(Settings(tmp.path), Dem(), 0, kNow), StartResult::Started);
        paths.push_back(files.BeforeDecryptionPath());
        std::this_thread::yield();
        files.Stop(Dem(), kNow);
    }
    run = false;
    writer.join();
    for (const auto& p : paths) {
        const auto f = ReadAll(p);
        ASSERT_GE(f.size(), 1024u) << p;
        EXPECT_EQ((f.size() - 1024) % block.size(), 0u) << p;
        EXPECT_EQ(CountAt384(f), (f.size() - 1024) / 32) << p;
    }
}

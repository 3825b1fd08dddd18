// bench_replay_reader [MiB] [directory]
// A recording file (default 256 MiB, under /tmp) is written and read once so
// that it sits in the page cache. Then, in the same run: plain read() of the
// file in 2 MiB pieces; the software replay reader at its fastest speed
// (whole superframes, at most 2 MiB a block); and the replay feed through the
// data path with no consumers (reader, latest block, superframe assembly).
#include <datapath/data_path.h>
#include <datapath/replay_reader.h>
#include <fcntl.h>
#include <testsupport/data_path_rig.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kPiece = 2097152;
// 16-bit words, 124 to a subframe: 256-byte records, 24 to a superframe.
constexpr std::size_t kRecord = 256, kSubframes = 24;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct Bench : talvora::test::DataPathRig<datapath::DataConsumers> {};

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const std::string path = std::string(argc > 2 ? argv[2] : "/tmp") + "/bench_replay.dat";
    const std::size_t bytes = mib << 20;

    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return std::perror("open"), 1;
        std::vector<std::uint8_t> piece(kPiece);
        for (std::size_t at = 0; at < bytes; at += kPiece) {
            for (std::size_t r = 0; r < kPiece / kRecord; ++r) {
                std::uint8_t* rec = piece.data() + r * kRecord;
                for (std::size_t i = 0; i < kRecord; ++i) rec[i] = std::uint8_t(r + i);
                rec[6] = std::uint8_t(((at / kRecord) + r) % kSubframes);
            }
            if (::write(fd, piece.data(), kPiece) != ssize_t(kPiece))
                return std::perror("write"), 1;
        }
        ::close(fd);
    }
    std::vector<std::uint8_t> buf(datapath::kLatestBlockBytes);
    auto plainRead = [&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        std::size_t total = 0;
        for (ssize_t n; (n = ::read(fd, buf.data(), kPiece)) > 0;) total += std::size_t(n);
        ::close(fd);
        return total;
    };
    plainRead();  // into the page cache

    auto rate = [](const char* name, std::size_t n, Clock::time_point a, Clock::time_point b) {
        const double r = double(n) / Seconds(a, b) / 1e6;
        std::printf("%-46s %8.0f MB/s\n", name, r);
        return r;
    };

    auto t0 = Clock::now();
    const std::size_t plainBytes = plainRead();
    const double plain = rate("read() in 2 MiB pieces", plainBytes, t0, Clock::now());

    const datapath::FileReplayReader::Shape shape{0, 16, 124, kSubframes, 10000000};
    datapath::FileReplayReader reader;
    reader.SetSpeed(datapath::kReplayFastest);
    if (!reader.Open(path, shape, 0)) return std::fprintf(stderr, "reader open failed\n"), 1;
    t0 = Clock::now();
    std::size_t readerBytes = 0;
    while (reader.Progress() < 1.0) readerBytes += reader.ReadNextBlock(buf.data(), buf.size());
    const double fastest =
        rate("reader at fastest (whole superframes)", readerBytes, t0, Clock::now());

    auto b = std::make_unique<Bench>();
    b->dem.字长 = 16;
    b->dem.子帧长 = 124;
    b->dem.副帧长 = kSubframes;
    b->dem.副帧类型 = 2;
    b->Publish();
    b->path.Attach();
    b->replayRunning = 1;
    b->replayKind = datapath::kSoftwareReplay;
    reader.Open(path, shape, 0);
    b->path.SetReplayReader(&reader);
    t0 = Clock::now();
    std::size_t ticks = 0;
    while (b->path.FeedReplay() != datapath::ReplayStep::Finished) ++ticks;
    const double dispatch =
        rate("replay feed through the data path, no consumers", readerBytes, t0, Clock::now());

    std::printf(
        "reader / read(): %.2f (goal >= 0.8); feed: %.0f MB/s in %zu blocks "
        "(goal >= 190 MB/s, ceiling 209.7 MB/s at 2 MiB per 10 ms)\n",
        fastest / plain, dispatch, ticks);
    ::unlink(path.c_str());
    return 0;
}

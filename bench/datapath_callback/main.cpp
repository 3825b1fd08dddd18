// bench_datapath_callback [seconds]
// The data callback's work on a stream of 64 KiB card blocks: superframe
// assembly, the recording copy with its day stamp, and the send-buffer append
// (drained after every block as the 1 ms sender would), against memcpy of the
// same 64 KiB into the latest block. The consumers themselves do nothing.
// Then the same stream in 1 MiB blocks, as the device library hands on what
// waited while the callback was slow: taken in 64 KiB pieces.
#include <datapath/data_path.h>
#include <testsupport/data_path_rig.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kBlock = 65536;
constexpr std::size_t kBlocks = 96;  // 6 MiB of stream, beyond the caches

// Recording and telemetry switched on; the file write is left out.
struct Sink : datapath::DataConsumers {
    std::uint64_t sum = 0;
    bool BeforeDecryptionFileOpen() override { return true; }
    std::size_t WriteBeforeDecryptionFile(const std::uint8_t* d, std::size_t n) override {
        sum += d[n - 1];
        return n;
    }
    bool TelemetrySendingOn() override { return telemetry; }
    bool telemetry = true;
};

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Card open with recording on; 64 KiB blocks of the stream below.
struct Bench : talvora::test::DataPathRig<Sink> {
    Bench() { recording = 1; }
};

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    auto b = std::make_unique<Bench>();
    // 124 words of 16 bits: 256-byte subframe records, 24 to a superframe of
    // 6144 bytes, so superframes run across the 64 KiB blocks.
    b->dem.字长 = 16;
    b->dem.子帧长 = 124;
    b->dem.副帧长 = 24;
    b->dem.副帧类型 = 2;
    b->Publish();
    b->path.Attach();
    b->path.syncLossCount = 0;
    b->path.dayOfYear = 123;

    std::vector<std::uint8_t> stream(kBlock * kBlocks);
    for (std::size_t r = 0; r < stream.size() / 256; ++r) {
        std::uint8_t* rec = stream.data() + r * 256;
        for (int i = 0; i < 256; ++i) rec[i] = std::uint8_t(r + i);
        rec[6] = std::uint8_t(r % 24);
    }

    auto run = [&](const char* name, auto&& block, std::size_t blockBytes = kBlock) {
        std::uint64_t bytes = 0;
        const auto start = Clock::now();
        auto now = start;
        const std::size_t blocks = stream.size() / blockBytes;
        while (Seconds(start, now) < seconds) {
            for (std::size_t i = 0; i < blocks; ++i) {
                block(stream.data() + i * blockBytes);
                b->path.Send().WithLock([](std::uint8_t*, std::uint32_t& fill) { fill = 0; });
            }
            bytes += blockBytes * blocks;
            now = Clock::now();
        }
        const double rate = double(bytes) / Seconds(start, now) / 1e6;
        std::printf("%-44s %9.0f MB/s\n", name, rate);
        return rate;
    };

    const double copy = run("memcpy 64 KiB into the latest block", [&](const std::uint8_t* d) {
        std::memcpy(b->latest.data(), d, kBlock);
        asm volatile("" ::"r"(b->latest.data()) : "memory");
    });
    b->recording = 0;
    b->consumers.telemetry = false;
    const double assembly = run("callback: assembly only",
                                [&](const std::uint8_t* d) { b->path.OnCardBlock(d, kBlock); });
    b->recording = 1;
    b->consumers.telemetry = true;
    const double full = run("callback: assembly + recording copy + send",
                            [&](const std::uint8_t* d) { b->path.OnCardBlock(d, kBlock); });
    // 1 MiB blocks: 16 pieces each. A sender that keeps up empties the send
    // buffer between pieces (here at once, as it is woken), so that the
    // pieces are appended rather than dropped.
    constexpr std::size_t kLongBlock = 1048576;
    b->path.Send().SetWakeHook(
        [&] { b->path.Send().WithLock([](std::uint8_t*, std::uint32_t& fill) { fill = 0; }); });
    const double longBlocks = run(
        "callback, 1 MiB blocks: assembly + recording + send",
        [&](const std::uint8_t* d) { b->path.OnCardBlock(d, kLongBlock); }, kLongBlock);
    b->path.Send().SetWakeHook({});
    b->dem.副帧类型 = 0;
    b->Publish();  // the path works on its own copy of the record
    const double plain = run("callback outside superframe mode, all on",
                             [&](const std::uint8_t* d) { b->path.OnCardBlock(d, kBlock); });
    std::printf(
        "ratios to memcpy: assembly %.2f, full %.2f, 1 MiB blocks %.2f, plain %.2f (check %llu)\n",
        assembly / copy, full / copy, longBlocks / copy, plain / copy,
        static_cast<unsigned long long>(b->consumers.sum));
    if (b->path.sendDroppedBlocks.load() != 0)
        std::printf("send buffer refused %llu pieces\n",
                    static_cast<unsigned long long>(b->path.sendDroppedBlocks.load()));
    return 0;
}

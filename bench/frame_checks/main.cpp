// bench_frame_checks [rounds]
// 16 MiB of 32-byte records (24 words of 8 bits, 4 records per frame, BCD
// tags 0.192 ms apart, counter and ID running without a break), checked
// block by block of 64 KiB by each check; beside it a plain sequential read
// of one word per record of the same buffer. Prints records per second, the
// best of `rounds` passes each.
#include <stats/frame_checks.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kRecord = 32, kWords = 24, kFrame = 4;
constexpr std::size_t kBytes = 16u << 20;
constexpr std::size_t kRecords = kBytes / kRecord;
constexpr std::size_t kBlock = 65536 / (kRecord * kFrame) * (kRecord * kFrame);
constexpr std::size_t kCounterAt = 8 + 4, kIdAt = 8 + 6;  // words 5 and 7

std::uint8_t Bcd(unsigned v) {
    return std::uint8_t((v / 10) << 4 | v % 10);
}

void Fill(std::uint8_t* buf) {
    for (std::size_t i = 0; i < kRecords; ++i) {
        std::uint8_t* r = buf + i * kRecord;
        // 1.92 tenths of a millisecond per record, from 10:00:00.
        const std::uint64_t tenths = i * 192 / 100;
        const std::uint64_t ms = tenths / 10, s = 36000 + ms / 1000;
        r[0] = std::uint8_t((ms % 10) << 4 | tenths % 10);
        r[1] = std::uint8_t((ms % 1000 / 100) << 4 | ms % 100 / 10);
        r[2] = Bcd(unsigned(s % 60));
        r[3] = Bcd(unsigned(s / 60 % 60));
        r[4] = Bcd(unsigned(s / 3600));
        r[5] = 0;
        r[6] = std::uint8_t(i % kFrame);
        r[7] = 0;
        for (std::size_t w = 0; w < kWords; ++w) r[8 + w] = std::uint8_t(w * 7);
        r[8] = 0xEB;
        r[9] = 0x90;
        r[kCounterAt] = std::uint8_t(i);
        r[kIdAt] = std::uint8_t(i % kFrame);
    }
}

template <class F>
double Best(int rounds, F&& pass) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        pass();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return double(kRecords) / best;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    auto buf = std::make_unique<std::uint8_t[]>(kBytes);
    Fill(buf.get());
    const stats::BlockShape shape{
        .words = kWords, .subframes = kFrame, .headerBytes = 8, .wordBytes = 1, .tagFormat = 0};

    volatile std::uint32_t sink = 0;
    const double plain = Best(rounds, [&] {
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < kBytes; at += kBlock) {
            const std::uint8_t* p = buf.get() + at + kCounterAt;
            for (std::size_t i = 0; i < kBlock / kRecord; ++i) sum += p[i * kRecord];
        }
        sink = sink + sum;
    });

    std::size_t lines = 0;
    stats::FrameCountCheck frames;
    frames.Start();
    const double count = Best(rounds, [&] {
        for (std::size_t at = 0; at < kBytes; at += kBlock)
            lines += frames.CheckBlock(buf.get() + at, kBlock, shape, 0, 5);
    });
    stats::IdCountCheck ids;
    ids.Start();
    const double id = Best(rounds, [&] {
        for (std::size_t at = 0; at < kBytes; at += kBlock)
            lines += ids.CheckBlock(buf.get() + at, kBlock, shape, 7);
    });
    stats::TimeContinuityCheck times;
    times.Start();
    const double time = Best(rounds, [&] {
        for (std::size_t at = 0; at < kBytes; at += kBlock)
            lines += times.CheckBlock(buf.get() + at, kBlock, shape, 1000000);
    });

    stats::TimeContinuityCheck doubles;
    doubles.Start();
    const double byDoubles = Best(rounds, [&] {
        for (std::size_t at = 0; at < kBytes; at += kBlock)
            lines += doubles.CheckBlockByDoubles(buf.get() + at, kBlock, shape, 1000000);
    });

    std::printf("records: %zu of %zu bytes, blocks of %zu bytes, best of %d passes\n", kRecords,
                kRecord, kBlock, rounds);
    std::printf("%-28s %8.1f M records/s\n", "plain read of one word", plain / 1e6);
    std::printf("%-28s %8.1f M records/s (%.2f of plain)\n", "frame count", count / 1e6,
                count / plain);
    std::printf("%-28s %8.1f M records/s (%.2f of plain)\n", "ID count", id / 1e6, id / plain);
    std::printf("%-28s %8.1f M records/s (%.2f of plain)\n", "time continuity", time / 1e6,
                time / plain);
    std::printf("%-28s %8.1f M records/s (%.2f of plain)\n", "time continuity by doubles",
                byDoubles / 1e6, byDoubles / plain);
    // Counter and ID run on across passes; the time goes back once at the
    // start of every pass but the first: one line each for the time checks.
    std::printf("report lines: %zu\n", lines);
    return 0;
}

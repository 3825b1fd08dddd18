// bench_bit_errors [rounds]
// A 16 MiB buffer of the default frame (24 words of 8 bits, 4 records of 32
// bytes per group) compared with its standard frame in 2 MiB blocks, once
// without exclusions and once with 10 % of the channels excluded; beside it
// a plain XOR-popcount loop over the same blocks and the same standard
// frame. Prints GB/s of block bytes, the best of `rounds` passes each.
#include <stats/bit_error_measurement.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kWords = 24, kSubframes = 4, kRecord = 8 + kWords;
constexpr std::size_t kGroup = kRecord * kSubframes;
constexpr std::size_t kBytes = 16u << 20, kBlock = 2u << 20;

datapath::DataGeometry Geometry() {
    datapath::DataGeometry g;
    g.wordBits = 8;
    g.wordBytes = 1;
    g.subframeWords = kWords;
    g.superframeLength = kSubframes;
    g.subframeRecord = kRecord;
    g.superframeRecord = kGroup;
    return g;
}

template <class F>
double Best(int rounds, F&& pass) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        pass();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return double(kBytes) / best / 1e9;
}

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Every byte of every group XORed with the standard frame, no mask.
std::uint64_t PlainXorPopcount(const std::uint8_t* data, std::size_t length,
                               const std::uint8_t* standard) {
    std::uint64_t e0 = 0, e1 = 0, e2 = 0, e3 = 0;
    for (std::size_t at = 0; at + kGroup <= length; at += kGroup) {
        const std::uint8_t* p = data + at;
        for (std::size_t i = 0; i < kGroup; i += 32) {
            e0 += std::popcount(Load64(p + i) ^ Load64(standard + i));
            e1 += std::popcount(Load64(p + i + 8) ^ Load64(standard + i + 8));
            e2 += std::popcount(Load64(p + i + 16) ^ Load64(standard + i + 16));
            e3 += std::popcount(Load64(p + i + 24) ^ Load64(standard + i + 24));
        }
    }
    return e0 + e1 + e2 + e3;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    auto buffer = std::make_unique<std::uint8_t[]>(kBytes);
    std::vector<std::uint8_t> standard(kGroup);
    for (std::size_t i = 0; i < kGroup; ++i) standard[i] = std::uint8_t(i * 37 + 11);
    for (std::size_t i = 0; i < kBytes; ++i) buffer[i] = standard[i % kGroup];
    for (std::size_t i = 5; i < kBytes; i += 4099) buffer[i] ^= 0x10;  // scattered errors

    volatile std::uint64_t sink = 0;
    const double plain = Best(rounds, [&] {
        std::uint64_t e = 0;
        for (std::size_t at = 0; at < kBytes; at += kBlock)
            e += PlainXorPopcount(buffer.get() + at, kBlock, standard.data());
        sink = e;
    });

    auto measure = [&](const std::vector<int>& list) {
        stats::BitErrorMeasurement m;
        m.SetExclusionList(list);
        m.Start(Geometry());
        const double rate = Best(rounds, [&] {
            for (std::size_t at = 0; at < kBytes; at += kBlock)
                m.Compare(buffer.get() + at, kBlock, standard, kGroup);
        });
        sink = m.ErrorBits();
        return rate;
    };
    const double none = measure({});
    std::vector<int> tenth;  // every tenth channel of the frame
    for (std::size_t c = 1; c <= kWords * kSubframes; c += 10) tenth.push_back(int(c));
    const double excluded = measure(tenth);

    std::printf("plain XOR-popcount      %6.2f GB/s\n", plain);
    std::printf("no exclusions           %6.2f GB/s  (%.2f of plain)\n", none, none / plain);
    std::printf("10%% channels excluded   %6.2f GB/s  (%.2f of plain)\n", excluded,
                excluded / plain);
    return int(sink & 0);
}

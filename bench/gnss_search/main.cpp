// bench_gnss_search [rounds]
// 64 MiB of records (8-byte header, 64 data bytes, 16 records a frame) in
// blocks of 910 records; positions 1-4 carry back-to-back messages of one
// protocol (each protocol's messages of one second, repeated). Each search
// entry runs over the blocks through the library's exports, beside the same
// byte picking into a buffer without parsing. Prints GB/s of telemetry bytes,
// the best of `rounds` passes each, and the positions found.
#include <gnsspick/gnsspick.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gnss_stream.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kHeader = 8, kData = 64, kRecord = kHeader + kData, kRecords = 16;
constexpr std::size_t kBlockRecords = 910, kBlock = kBlockRecords * kRecord;
constexpr std::size_t kBytes = 64u << 20;
constexpr std::size_t kBlocks = kBytes / kBlock;
constexpr std::uint16_t kPositions[4] = {1, 2, 3, 4};

// The records with `stream` repeated in their picked bytes.
std::vector<std::uint8_t> Records(const std::vector<std::uint8_t>& stream) {
    std::vector<std::uint8_t> out(kBlocks * kBlock, 0x5A);
    std::size_t k = 0;
    for (std::size_t r = 0; r < out.size() / kRecord; ++r)
        for (std::uint16_t p : kPositions) {
            out[r * kRecord + kHeader + p - 1] = stream[k];
            k = (k + 1) % stream.size();
        }
    return out;
}

template <class F>
double Best(int rounds, F&& pass) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        pass();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return double(kBlocks * kBlock) / best / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    struct Case {
        const char* name;
        cardengine::GnssProtocol protocol;
        void (*search)(const std::uint8_t*, std::uint32_t);
    } cases[] = {
        {"SearchLX4_12GPSFram (old)", cardengine::GnssProtocol::Old, SearchLX4_12GPSFram},
        {"SearchMeasureData0 (new, receiver id)", cardengine::GnssProtocol::WithReceiverId,
         SearchMeasureData0},
        {"SearchMeasureData (new, no receiver id)", cardengine::GnssProtocol::WithoutReceiverId,
         SearchMeasureData},
    };
    std::vector<std::uint8_t> picked(kBlockRecords * 4);
    volatile std::uint8_t sink = 0;
    std::printf("%-42s %10s %10s %8s %s\n", "entry", "search", "picking", "ratio", "positions");
    for (const Case& c : cases) {
        cardengine::GnssStreamOptions o;
        o.protocol = c.protocol;
        const std::vector<std::uint8_t> data = Records(cardengine::GnssSecondMessages(o, 3.6e9));
        SetTelemetryPar(kHeader, kData, kRecords);
        SetSelectRoads(kPositions);
        long long positions = 0;
        const double search = Best(rounds, [&] {
            for (std::size_t b = 0; b < kBlocks; ++b) {
                c.search(data.data() + b * kBlock, std::uint32_t(kBlock));
                double pos[3];
                positions += GetTargetPositionData(pos);
            }
        });
        const double picking = Best(rounds, [&] {
            for (std::size_t b = 0; b < kBlocks; ++b) {
                const std::uint8_t* block = data.data() + b * kBlock;
                std::size_t n = 0;
                for (std::size_t r = 0; r < kBlockRecords; ++r)
                    for (std::uint16_t p : kPositions)
                        picked[n++] = block[r * kRecord + kHeader + p - 1];
                sink = sink + picked[b % picked.size()];
            }
        });
        std::printf("%-42s %7.2f GB/s %5.2f GB/s %8.2f %lld\n", c.name, search, picking,
                    search / picking, positions);
    }
    return 0;
}

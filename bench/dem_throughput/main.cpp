// bench_dem_throughput [seconds [config rate-in-Mbit/s]]
// Sustained loss-free rate of demodulated data: cardengine --full-speed sends
// pre-generated minor frames (at a capped or unlimited rate); the card opened
// through BB_OpenDevice takes them through the engine link, the channel ring
// and the report thread to a data callback that
// reads every byte and checks the frame counter of every minor frame. Beside
// it, a plain TCP loopback copy measured in the same run, and the process's
// peak resident memory.
#include <arpa/inet.h>
#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <cardengine/testkit/loopback_rate.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// What the callback sees: every byte summed, every minor frame's counter
// (words 3, 4, 5: high, middle, low) checked against the one before.
struct Tally {
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> lostFrames{0};
    std::atomic<std::uint64_t> badRecords{0};
    std::uint64_t sum = 0;       // report thread only
    std::uint64_t expected = 0;  // report thread only
    bool first = true;           // report thread only
} g_tally;

int ReadEveryByte(DemReportBlock* block) {
    const DemChannelDescriptor& d = block->descriptor;
    const std::uint32_t n = block->byteCount;
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, block->data + i, 8);
        sum += v;
    }
    const std::uint32_t B = d.bytesPerWord, R = d.tagBytesPerMinorFrame + d.子帧长 * B;
    const std::uint32_t bits = d.字长 < 21 ? d.字长 : 21;
    const std::uint64_t mask = (1ull << (3 * bits)) - 1;
    std::uint64_t frames = 0;
    for (std::uint32_t at = 0; at + R <= n; at += R, ++frames) {
        const std::uint8_t* w = block->data + at + d.tagBytesPerMinorFrame;
        auto word = [&](std::uint32_t pos) {
            std::uint64_t v = 0;
            for (std::uint32_t b = 0; b < B; ++b) v = v << 8 | w[(pos - 1) * B + b];
            return v;
        };
        const std::uint64_t counter = (word(3) << (2 * bits) | word(4) << bits | word(5)) & mask;
        if (!g_tally.first && counter != (g_tally.expected & mask)) {
            g_tally.lostFrames.fetch_add((counter - g_tally.expected) & mask,
                                         std::memory_order_relaxed);
        }
        g_tally.first = false;
        g_tally.expected = counter + 1;
    }
    if (n % R) g_tally.badRecords.fetch_add(1, std::memory_order_relaxed);
    g_tally.sum += sum;
    g_tally.frames.fetch_add(frames, std::memory_order_relaxed);
    g_tally.bytes.fetch_add(n, std::memory_order_relaxed);
    return 0;
}

struct Config {
    const char* name;
    std::uint32_t words, bits, minors, hostTags;
};

struct Result {
    double mbps = 0;  // MB/s delivered to the callback
    std::uint64_t lost = 0, bad = 0, frames = 0;
};

Result RunPipeline(const Config& c, double seconds, unsigned mbps) {
    Result r;
    // mbps 0: as fast as the link takes the frames.
    cardengine::testkit::EngineProcess engine({"--full-speed", "--no-ack", "--dem-settle-ms", "0",
                                               "--dem-rate-mbps", std::to_string(mbps)});
    ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);
    g_tally.first = true;
    CardFunctionInfo info{};
    bool open = false;
    if (engine.started()) open = BB_OpenDevice(0, ReadEveryByte, 0, &info) != 0;
    if (open) {
        DemParam p;
        BB_GetDefaultDemParam(0, &p);
        p.子帧长 = c.words;
        p.字长 = c.bits;
        p.副帧长 = c.minors;
        p.码率 = 20000000;
        p.配时精度 = c.hostTags;
        BB_SetDemParam(0, &p);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // warm-up
        const std::uint64_t bytes0 = g_tally.bytes.load(), lost0 = g_tally.lostFrames.load();
        const std::uint64_t frames0 = g_tally.frames.load(), bad0 = g_tally.badRecords.load();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const auto end = Clock::now();
        r.mbps = (g_tally.bytes.load() - bytes0) / Seconds(start, end) / 1e6;
        r.lost = g_tally.lostFrames.load() - lost0;
        r.frames = g_tally.frames.load() - frames0;
        r.bad = g_tally.badRecords.load() - bad0;
        if (!BB_CloseDevice(0)) std::printf("  (close failed)\n");
    } else {
        std::printf("  (open failed)\n");
    }
    return r;
}

// 256 KiB writes into a loopback socket, read into a 4 MiB buffer.
double PlainTcpRate(double seconds) {
    return cardengine::testkit::LoopbackCopyRate(seconds, 256 * 1024, 4u << 20);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    if (argc > 3) {  // one configuration at one rate: seconds, config index, Mbit/s
        const Config c[] = {
            {"small", 24, 8, 4, 0}, {"large", 256, 16, 16, 0}, {"large host", 256, 16, 16, 1}};
        for (int i = 3; i < argc; ++i) {
            const Result r =
                RunPipeline(c[std::atoi(argv[2]) % 3], seconds, unsigned(std::atoi(argv[i])));
            std::printf("%.0f Mbit/s, %llu minor frames, %llu lost\n", r.mbps * 8,
                        static_cast<unsigned long long>(r.frames),
                        static_cast<unsigned long long>(r.lost));
        }
        return 0;
    }
    const double tcp = PlainTcpRate(seconds);
    std::printf("plain TCP loopback copy: %.0f MB/s = %.0f Mbit/s\n\n", tcp, tcp * 8);
    const Config configs[] = {
        {"24 x 8-bit words, 4 minor frames, card tags", 24, 8, 4, 0},
        {"256 x 16-bit words, 16 minor frames, card tags", 256, 16, 16, 0},
        {"256 x 16-bit words, 16 minor frames, host tags", 256, 16, 16, 1},
    };
    for (const Config& c : configs) {
        std::printf("%s\n", c.name);
        std::printf("  %10s %10s %10s %12s %8s\n", "sent Mbit/s", "got Mbit/s", "got MB/s",
                    "minor frames", "lost");
        // The engine's rate is raised step by step until frames get lost or the
        // engine no longer reaches the rate asked; the best rate delivered
        // whole is the sustained loss-free rate.
        double bestGot = 0;
        for (unsigned mbps = 1000; mbps <= 40000; mbps = mbps * 5 / 4) {
            const Result r = RunPipeline(c, seconds, mbps);
            std::printf("  %10u %10.0f %10.0f %12llu %8llu%s\n", mbps, r.mbps * 8, r.mbps,
                        static_cast<unsigned long long>(r.frames),
                        static_cast<unsigned long long>(r.lost), r.bad ? " (partial records)" : "");
            const bool whole = r.lost == 0 && r.bad == 0 && r.frames > 0;
            if (!whole) break;
            bestGot = std::max(bestGot, r.mbps * 8);
            if (r.mbps * 8 < 0.8 * mbps) break;
        }
        const Result flat = RunPipeline(c, seconds, 0);
        std::printf("  %10s %10.0f %10.0f %12llu %8llu\n", "unlimited", flat.mbps * 8, flat.mbps,
                    static_cast<unsigned long long>(flat.frames),
                    static_cast<unsigned long long>(flat.lost));
        if (flat.lost == 0 && flat.bad == 0) bestGot = std::max(bestGot, flat.mbps * 8);
        std::printf("  sustained loss-free: %.0f Mbit/s, %.2f of the TCP copy\n\n", bestGot,
                    bestGot / (tcp * 8));
    }
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("peak resident memory: %.1f MB\n", ru.ru_maxrss / 1024.0);
    return 0;
}

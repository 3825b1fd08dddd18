// bench_engine_link [seconds]
// 1. Receive parser on a stream of 64 KiB data messages, received in 256 KiB
//    pieces, against memcpy of the same pieces into the same buffer.
// 2. The engine link receiving cardengine --flood 65536 over loopback against
//    a plain TCP loopback copy of 64 KiB writes into a 4 MiB buffer, and
//    against cardengine's stream read raw (what the engine itself can send).
#include <arpa/inet.h>
#include <bbdevice/engine_link.h>
#include <bbdevice/wire/engine_message.h>
#include <bbdevice/wire/engine_parser.h>
#include <cardengine/testkit/engine_process.h>
#include <cardengine/testkit/loopback_rate.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
namespace wire = bbdev::wire;
using cardengine::testkit::EngineProcess;

constexpr std::size_t kPayload = 65536;
constexpr std::size_t kReceivePiece = 256 * 1024;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::vector<std::uint8_t> MakeStream(std::size_t messages) {
    std::vector<std::uint8_t> payload(kPayload);
    for (std::size_t i = 0; i < kPayload; ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
    const std::size_t one = wire::MessageBytes(kPayload);
    std::vector<std::uint8_t> stream(one * messages);
    for (std::size_t m = 0; m < messages; ++m)
        wire::BuildMessage({stream.data() + m * one, one}, wire::MakeCommand(2, 4), payload);
    return stream;
}

// MB/s of feeding `stream` in receive-sized pieces, repeated for `seconds`.
double ParserRate(const std::vector<std::uint8_t>& stream, double seconds,
                  std::uint64_t& messages) {
    wire::ReceiveAssembler rx(wire::kReceiveBufferBytes);
    std::uint64_t bytes = 0, sink = 0;
    const auto start = Clock::now();
    auto now = start;
    while (Seconds(start, now) < seconds) {
        for (std::size_t i = 0; i < stream.size(); i += kReceivePiece) {
            const std::size_t n = std::min(kReceivePiece, stream.size() - i);
            rx.Feed({stream.data() + i, n}, [&](const wire::MessageView& m) {
                sink += m.payload.size() + m.payload[0];
                ++messages;
            });
        }
        bytes += stream.size();
        now = Clock::now();
    }
    if (sink == 1) std::puts("");
    return bytes / Seconds(start, now) / 1e6;
}

double MemcpyRate(const std::vector<std::uint8_t>& stream, double seconds) {
    std::vector<std::uint8_t> buffer(wire::kReceiveBufferBytes);
    std::uint64_t bytes = 0;
    const std::size_t at = 0;  // the parser, too, receives at the start of its buffer
    const auto start = Clock::now();
    auto now = start;
    while (Seconds(start, now) < seconds) {
        for (std::size_t i = 0; i < stream.size(); i += kReceivePiece) {
            const std::size_t n = std::min(kReceivePiece, stream.size() - i);
            std::memcpy(buffer.data() + at, stream.data() + i, n);
        }
        bytes += stream.size();
        now = Clock::now();
    }
    if (buffer[at] == 0xFE) std::puts("");
    return bytes / Seconds(start, now) / 1e6;
}

std::vector<std::string> FloodArgs() {
    return {"--flood", std::to_string(kPayload), "--no-ack"};
}

double ReceiveRate(int s, double seconds) {
    return cardengine::testkit::ReceiveRate(s, seconds, wire::kReceiveBufferBytes);
}

// cardengine's own speed: its stream read by a plain socket without parsing.
double EngineRawRate(double seconds) {
    EngineProcess engine(FloodArgs());
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(engine.port());
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const bool connected =
        engine.started() && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    const double rate = connected ? ReceiveRate(s, seconds) : 0;
    ::close(s);
    return rate;
}

double LinkRate(double seconds, bbdev::LinkCounters& counters) {
    EngineProcess engine(FloodArgs());
    bbdev::CEngineLink link;
    std::atomic<std::uint64_t> dataBytes{0};
    const bool connected =
        engine.started() &&
        link.Connect("127.0.0.1", engine.port(), [&](const wire::MessageView& m) {
            if (m.module() == 2 && m.operation() == 4)
                dataBytes.fetch_add(m.bytes.size(), std::memory_order_relaxed);
        });
    double rate = 0;
    if (connected) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // warm-up
        const std::uint64_t before = dataBytes.load();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        rate = (dataBytes.load() - before) / Seconds(start, Clock::now()) / 1e6;
        counters = link.counters();
        link.Disconnect();
    }
    return rate;
}

// Writes of one whole data message into a loopback socket, read into a buffer
// the size of the link's receive buffer.
double PlainTcpRate(double seconds) {
    return cardengine::testkit::LoopbackCopyRate(seconds, wire::MessageBytes(kPayload),
                                                 wire::kReceiveBufferBytes);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    const auto stream = MakeStream(256);  // 16 MiB of 64 KiB data messages

    std::uint64_t messages = 0;
    const double parser = ParserRate(stream, seconds, messages);
    const double copy = MemcpyRate(stream, seconds);
    std::printf("parser  %.0f MB/s (%llu messages)   memcpy %.0f MB/s   ratio %.2f\n", parser,
                (unsigned long long)messages, copy, parser / copy);

    bbdev::LinkCounters counters;
    const double link = LinkRate(seconds, counters);
    const double tcp = PlainTcpRate(seconds);
    const double raw = EngineRawRate(seconds);
    std::printf(
        "link    %.0f MB/s (%llu messages, %llu discarded bytes)   plain TCP %.0f MB/s   ratio "
        "%.2f\n",
        link, (unsigned long long)counters.rxMessages, (unsigned long long)counters.discardedBytes,
        tcp, tcp > 0 ? link / tcp : 0.0);
    std::printf("engine  %.0f MB/s read raw from cardengine (the link's ceiling)   link/raw %.2f\n",
                raw, raw > 0 ? link / raw : 0.0);
    return link > 0 ? 0 : 1;
}

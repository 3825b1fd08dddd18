// bench_netout_latency [packets] [append-interval-us]
// A producer appends superframes of the default frame (B = 1, R = 32, N = 4)
// to the send buffer; the real sender runs on a 1 ms platform timer and sends
// to a loopback group (K = 5: S = 640, 676-byte datagrams). The latency of a
// packet is its kernel receive timestamp (SO_TIMESTAMPNS) minus the time of
// the append that brought the fill to S. The loopback floor is a plain
// sendto/recv of the same size in the same run. Then the input rate is
// raised until the buffer refuses a block.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netout/network_output.h>
#include <platform/timer.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr const char* kGroup = "239.255.45.9";
constexpr std::size_t kSuperframe = 128;

std::int64_t RealNs() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A receiver with kernel receive timestamps, bound to `addr`:port.
int TimestampSocket(const char* addr, int port, bool join) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1, big = 32 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    inet_pton(AF_INET, addr, &a.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    if (join) {
        ip_mreq m{};
        m.imr_multiaddr = a.sin_addr;
        inet_pton(AF_INET, "127.0.0.1", &m.imr_interface);
        if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0) return -1;
    }
    return fd;
}

// One datagram within `ms`: its size and kernel timestamp (ns), or size -1.
ssize_t Receive(int fd, std::uint8_t* buf, std::size_t cap, std::int64_t& stampNs, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return -1;
    iovec iov{buf, cap};
    alignas(cmsghdr) char control[256];
    msghdr m{};
    m.msg_iov = &iov;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &m, 0);
    stampNs = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec t;
            std::memcpy(&t, CMSG_DATA(c), sizeof t);
            stampNs = std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
        }
    return n;
}

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;
};
Percentiles Of(std::vector<double> v) {
    Percentiles p;
    if (v.empty()) return p;
    std::sort(v.begin(), v.end());
    p.p50 = v[v.size() / 2];
    p.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    p.max = v.back();
    return p;
}

void SleepUntil(const timespec& t) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) != 0) {
    }
}
void Advance(timespec& t, long ns) {
    t.tv_nsec += ns;
    while (t.tv_nsec >= 1000000000) {
        t.tv_nsec -= 1000000000;
        ++t.tv_sec;
    }
}

// The sender over its own send buffer, as the frame wires it.
struct Rig {
    Rig() : buffer(storage.get(), datapath::kSendBufferBytes, fill, lock) {
        settings.multicastAddr = kGroup;
        settings.multicastPort = FreePort();
        settings.multicastDestPort = FreePort();
        settings.gnssAddr = "239.255.45.8";
        settings.gnssPort = FreePort();
        settings.broadcastPort = FreePort();
        settings.multicastLocalIp = settings.broadcastLocalIp = settings.unicastDestIp =
            "127.0.0.1";
        settings.unicastLocalPort = FreePort();
        settings.unicastDestPort = FreePort();
        settings.showErrors = false;
        geometry.wordBits = 8;
        geometry.wordBytes = 1;
        geometry.subframeWords = 24;
        geometry.superframeLength = 4;
        geometry.subframeRecord = 32;
        geometry.superframeRecord = kSuperframe;
        geometry.superframeMode = true;
        netout::SenderInputs in;
        in.sendingOn = &on;
        in.syncLossCount = &syncLoss;
        in.bitSync = in.subframeSync = in.superframeSync = &on;
        in.dayOfYear = &day;
        in.geometry = [this] { return geometry; };
        in.sendBuffer = &buffer;
        out = std::make_unique<netout::NetworkOutput>(std::move(in), netout::OutputHooks{});
        out->Open(settings);
        // The unicast target exists (a closed port would answer every packet
        // with an ICMP error); nobody reads it.
        unicastSink = TimestampSocket("127.0.0.1", settings.unicastDestPort, false);
    }
    ~Rig() { ::close(unicastSink); }
    int unicastSink = -1;
    std::unique_ptr<std::uint8_t[]> storage =
        std::make_unique<std::uint8_t[]>(datapath::kSendBufferBytes);
    std::uint32_t fill = 0;
    std::mutex lock;
    datapath::SendBuffer buffer;
    std::atomic<int> on{1}, syncLoss{0};
    std::atomic<unsigned> day{100};
    datapath::DataGeometry geometry;
    netout::NetworkSettings settings;
    std::unique_ptr<netout::NetworkOutput> out;
};

// The program's sender: a 1 ms timer that rests until an append wakes it.
plat::TimerId StartSender(Rig& rig) {
    const plat::TimerId timer =
        plat::TimeSetRestingEvent(1, 1, [&rig] { rig.out->OnTelemetryTick(); });
    rig.buffer.SetWakeHook([timer] { plat::TimeWakeEvent(timer); });
    return timer;
}

std::uint32_t Sequence(const std::uint8_t* p) {
    return p[15] | p[16] << 8 | p[17] << 16 | std::uint32_t(p[18]) << 24;
}

void Latency(std::size_t packets, long intervalUs) {
    Rig rig;
    const int rx = TimestampSocket(kGroup, rig.settings.multicastDestPort, true);
    if (rx < 0 || !rig.out->TelemetryReady()) {
        std::fprintf(stderr, "bench: no loopback group\n");
        std::exit(1);
    }
    const std::size_t appends = packets * 5;
    std::vector<std::int64_t> appendNs(appends);
    std::vector<std::int64_t> rxNs(packets, 0);
    const plat::TimerId timer = StartSender(rig);
    std::thread receiver([&] {
        std::vector<std::uint8_t> buf(70000);
        std::size_t got = 0;
        std::int64_t stamp = 0;
        while (got < packets) {
            const ssize_t n = Receive(rx, buf.data(), buf.size(), stamp, 2000);
            if (n < 0) break;
            if (n != 676) continue;
            const std::uint32_t seq = Sequence(buf.data());
            if (seq < packets) rxNs[seq] = stamp;
            ++got;
        }
    });
    std::uint8_t superframe[kSuperframe] = {};
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    std::size_t dropped = 0;
    for (std::size_t i = 0; i < appends; ++i) {
        Advance(next, intervalUs * 1000);
        SleepUntil(next);
        appendNs[i] = RealNs();
        if (!rig.buffer.Append({superframe, kSuperframe})) ++dropped;
    }
    receiver.join();
    plat::TimeKillEvent(timer);
    std::vector<double> lat;
    lat.reserve(packets);
    std::size_t missing = 0;
    for (std::size_t k = 0; k < packets; ++k) {
        if (rxNs[k] == 0) {
            ++missing;
            continue;
        }
        lat.push_back(double(rxNs[k] - appendNs[5 * k + 4]) / 1000.0);
    }
    const Percentiles p = Of(lat);
    std::printf(
        "sender  : %zu packets of 676 bytes, appends every %ld us, %zu dropped, %zu "
        "missing\n          latency p50 %.1f us  p99 %.1f us  max %.1f us\n",
        packets, intervalUs, dropped, missing, p.p50, p.p99, p.max);
    ::close(rx);

    // The floor: plain sendto and recv of the same datagram on loopback.
    const int port = FreePort();
    const int frx = TimestampSocket("127.0.0.1", port, false);
    const int ftx = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::uint16_t(port));
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    std::vector<std::uint8_t> d(676, 0), buf(70000);
    std::vector<double> floor;
    floor.reserve(packets);
    for (std::size_t k = 0; k < packets; ++k) {
        const std::int64_t t0 = RealNs();
        ::sendto(ftx, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        std::int64_t stamp = 0;
        if (Receive(frx, buf.data(), buf.size(), stamp, 1000) == 676)
            floor.push_back(double(stamp - t0) / 1000.0);
    }
    const Percentiles f = Of(floor);
    std::printf(
        "floor   : %zu plain sendto/recv of 676 bytes\n          latency p50 %.1f us  "
        "p99 %.1f us  max %.1f us\n",
        floor.size(), f.p50, f.p99, f.max);
    ::close(frx);
    ::close(ftx);
}

// Blocks of 64 superframes (8 KiB) at `mbit` Mbit/s for `seconds`: true when
// no block was refused.
bool DrainsWithoutDrop(double mbit, double seconds, std::size_t& received) {
    Rig rig;
    const int rx = TimestampSocket(kGroup, rig.settings.multicastDestPort, true);
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> got{0};
    std::thread receiver([&] {
        std::vector<std::uint8_t> buf(70000);
        std::int64_t stamp;
        while (!stop)
            if (Receive(rx, buf.data(), buf.size(), stamp, 50) > 0) ++got;
    });
    const plat::TimerId timer = StartSender(rig);
    std::vector<std::uint8_t> block(64 * kSuperframe, 0);
    const double blocksPerSecond = mbit * 1e6 / 8 / double(block.size());
    const long intervalNs = long(1e9 / blocksPerSecond);
    const std::size_t blocks = std::size_t(blocksPerSecond * seconds);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    std::size_t dropped = 0;
    for (std::size_t i = 0; i < blocks; ++i) {
        Advance(next, intervalNs);
        SleepUntil(next);
        if (!rig.buffer.Append(block)) ++dropped;
    }
    // Let the sender empty the buffer before the count is read.
    for (int i = 0; i < 1000 && rig.buffer.Fill() >= 640; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    plat::TimeKillEvent(timer);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = true;
    receiver.join();
    ::close(rx);
    received = got;
    std::printf(
        "rate    : %7.1f Mbit/s  %zu blocks of 8 KiB, %zu dropped, %zu of %zu packets "
        "received\n",
        mbit, blocks, dropped, received, blocks * 64 * kSuperframe / 640);
    return dropped == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t packets = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const long intervalUs = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 50;
    if (packets == 0 || intervalUs <= 0) {
        std::fprintf(stderr, "usage: bench_netout_latency [packets] [append-interval-us]\n");
        return 2;
    }
    ::setenv("MCASTLIB_IF", "127.0.0.1", 1);
    Latency(packets, intervalUs);
    double best = 0;
    for (double mbit : {50.0, 100.0, 200.0, 400.0, 800.0}) {
        std::size_t received = 0;
        if (!DrainsWithoutDrop(mbit, 2.0, received)) break;
        best = mbit;
    }
    std::printf("highest rate drained without a drop at K = 5: %.0f Mbit/s\n", best);
    return 0;
}

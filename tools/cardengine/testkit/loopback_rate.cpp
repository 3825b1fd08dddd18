#include "cardengine/testkit/loopback_rate.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace cardengine::testkit {

namespace {
using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}
}  // namespace

double ReceiveRate(int s, double seconds, std::size_t readBytes) {
    std::vector<std::uint8_t> buffer(readBytes);
    std::uint64_t bytes = 0;
    const auto warm = Clock::now() + std::chrono::milliseconds(300);
    while (Clock::now() < warm)
        if (::recv(s, buffer.data(), buffer.size(), 0) <= 0) return 0;
    const auto start = Clock::now();
    auto now = start;
    while (Seconds(start, now) < seconds) {
        const ssize_t n = ::recv(s, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        bytes += static_cast<std::uint64_t>(n);
        now = Clock::now();
    }
    const double elapsed = Seconds(start, now);
    return elapsed > 0 ? bytes / elapsed / 1e6 : 0;
}

double LoopbackCopyRate(double seconds, std::size_t writeBytes, std::size_t readBytes) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        if (listener >= 0) ::close(listener);
        return 0;
    }
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int s = ::accept(listener, nullptr, nullptr);
        std::vector<std::uint8_t> chunk(writeBytes, 0x5A);
        while (s >= 0 && !stop.load())
            if (::send(s, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) break;
        if (s >= 0) ::close(s);
    });
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    double rate = 0;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        rate = ReceiveRate(s, seconds, readBytes);
    stop.store(true);
    ::shutdown(s, SHUT_RDWR);
    ::close(s);
    ::shutdown(listener, SHUT_RDWR);  // frees an accept that never got its peer
    writer.join();
    ::close(listener);
    return rate;
}

}  // namespace cardengine::testkit

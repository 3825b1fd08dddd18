// A UDP socket on 127.0.0.1 that exists but is never read, as a slow
// station receiver would be: the kernel drops what it cannot queue instead
// of answering each datagram with "port unreachable". Shared by the CPU
// benchmarks as the network output's unicast target.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace benchcpu {

class LoopbackSink {
public:
    LoopbackSink() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            port_ = ntohs(a.sin_port);
    }
    LoopbackSink(const LoopbackSink&) = delete;
    LoopbackSink& operator=(const LoopbackSink&) = delete;
    ~LoopbackSink() {
        if (fd_ >= 0) ::close(fd_);
    }
    // 0 when the socket could not be made.
    std::uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace benchcpu

// Loopback UDP helpers for the network-output tests: free ports, a receiver
// joined to a group on 127.0.0.1, and plain unicast and broadcast peers.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace netout::test {

// A UDP port on 127.0.0.1 that was free a moment ago and that this process
// has not been given before: the kernel may hand a just-closed port out again,
// and two endpoints of one test on the same port would clash.
inline int FreeUdpPort() {
    static std::set<int> given;
    for (int attempt = 0;; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(fd);
        const int port = ntohs(a.sin_port);
        if (given.insert(port).second || attempt >= 100) return port;
    }
}

class UdpReceiver {
public:
    // Joined to `group` on 127.0.0.1 and bound to the group address.
    static UdpReceiver Group(const std::string& group, int port) {
        UdpReceiver r(group, port);
        ip_mreq m{};
        inet_pton(AF_INET, group.c_str(), &m.imr_multiaddr);
        inet_pton(AF_INET, "127.0.0.1", &m.imr_interface);
        r.ok_ = r.ok_ && ::setsockopt(r.fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
        return r;
    }
    // Bound to `address`:port ("0.0.0.0" for every address).
    static UdpReceiver Bound(const std::string& address, int port) {
        return UdpReceiver(address, port);
    }
    UdpReceiver(UdpReceiver&& o) noexcept : fd_(o.fd_), ok_(o.ok_) { o.fd_ = -1; }
    ~UdpReceiver() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Ok() const { return ok_; }
    // One datagram within `ms`, or an empty vector.
    std::vector<std::uint8_t> Receive(int ms = 3000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return {};
        std::vector<std::uint8_t> buf(70000);
        const ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
        buf.resize(n < 0 ? 0 : std::size_t(n));
        return buf;
    }

private:
    UdpReceiver(const std::string& address, int port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const int big = 4 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(port));
        inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    int fd_ = -1;
    bool ok_ = false;
};

// Sends one datagram from 127.0.0.1 to `address`:port (broadcast allowed).
inline bool SendFromLoopback(const std::string& address, int port,
                             const std::vector<std::uint8_t>& bytes) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::uint16_t(port));
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    const ssize_t n =
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::close(fd);
    return n == ssize_t(bytes.size());
}

}  // namespace netout::test

// The per-process socket of the copy-data messages.
#include "copy_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "svclink/service_layout.h"

namespace svclink {
namespace {

constexpr int kAnswerWaitMs = 5000;

// Abstract socket names need no file and vanish with the process.
socklen_t SocketAddress(pid_t pid, sockaddr_un* addr) {
    std::string name = "talvora-svclink.";
    if (const char* ns = std::getenv("TALVORA_OBJECT_NAMESPACE"); ns && *ns) name += ns;
    name += "." + std::to_string(pid);
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    const std::size_t n = std::min(name.size(), sizeof addr->sun_path - 1);
    std::memcpy(addr->sun_path + 1, name.data(), n);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

bool ReadAll(int fd, std::uint8_t* out, std::size_t n) {
    while (n > 0) {
        ssize_t r = recv(fd, out, n, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        out += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t n) {
    auto* p = static_cast<const std::uint8_t*>(data);
    while (n > 0) {
        ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

void Serve(int fd, FrameHandler handler) {
    std::vector<std::uint8_t> body;  // grows to the largest frame, then reused
    for (;;) {
        std::uint8_t head[kFrameHead];
        if (!ReadAll(fd, head, sizeof head)) break;
        FrameHead h;
        if (ParseFrameHead(head, &h) != FrameStatus::Ok) break;
        if (body.size() < h.length) body.resize(h.length);
        if (!ReadAll(fd, body.data(), h.length)) break;
        std::uint8_t answer[4] = {};
        const std::uint32_t a = handler(h, body.data());
        std::memcpy(answer, &a, 4);
        if (!WriteAll(fd, answer, sizeof answer)) break;
    }
    close(fd);
}

std::mutex g_listenMutex;
std::vector<std::string> g_bound;  // names this process listens on; g_listenMutex

void Listen(int listenFd, FrameHandler handler) {
    for (;;) {
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE) {
                timespec pause{0, 10000000};
                nanosleep(&pause, nullptr);
                continue;
            }
            return;
        }
        std::thread(Serve, fd, handler).detach();
    }
}

}  // namespace

bool StartCopyListener(FrameHandler handler) {
    sockaddr_un addr;
    const socklen_t len = SocketAddress(getpid(), &addr);
    const std::string name(addr.sun_path + 1, len - offsetof(sockaddr_un, sun_path) - 1);
    std::lock_guard lock(g_listenMutex);
    // A process that changes its object namespace listens under the new name too.
    for (const std::string& bound : g_bound)
        if (bound == name) return true;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return false;
    }
    // The listener lives as long as the process, like a window's queue.
    std::thread(Listen, fd, handler).detach();
    g_bound.push_back(name);
    return true;
}

CopySender::~CopySender() {
    Close();
}

void CopySender::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    peer_ = 0;
}

bool CopySender::Post(pid_t peer, const FrameHead& head) {
    if (peer <= 0) return false;
    if (fd_ >= 0 && peer_ != peer) Close();
    if (fd_ < 0) {
        // Non-blocking, so that a peer whose backlog is full refuses at once.
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0) return false;
        sockaddr_un addr;
        socklen_t len = SocketAddress(peer, &addr);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
            Close();
            return false;
        }
    }
    std::uint8_t h[kFrameHead];
    WriteFrameHead(head, h);
    ssize_t r;
    do {
        r = send(fd_, h, sizeof h, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (r < 0 && errno == EINTR);
    // What is queued stays readable for the peer after we close our end.
    Close();
    return r == static_cast<ssize_t>(sizeof h);
}

bool CopySender::Send(pid_t peer, const FrameHead& head, const void* part1, std::size_t length1,
                      const void* part2, std::size_t length2, std::uint32_t* answer) {
    if (peer <= 0) return false;
    if (fd_ >= 0 && peer_ != peer) Close();
    if (fd_ < 0) {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        timeval tv{kAnswerWaitMs / 1000, 0};
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_un addr;
        socklen_t len = SocketAddress(peer, &addr);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
            Close();
            return false;
        }
        peer_ = peer;
    }
    std::uint8_t h[kFrameHead];
    WriteFrameHead(head, h);
    iovec iov[3] = {
        {h, sizeof h}, {const_cast<void*>(part1), length1}, {const_cast<void*>(part2), length2}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = 3;
    std::size_t left = sizeof h + length1 + length2;
    while (left > 0) {
        ssize_t r = sendmsg(fd_, &msg, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            Close();
            return false;
        }
        left -= static_cast<std::size_t>(r);
        // Drop what went out from the front of the vector.
        std::size_t done = static_cast<std::size_t>(r);
        while (msg.msg_iovlen > 0 && done >= msg.msg_iov[0].iov_len) {
            done -= msg.msg_iov[0].iov_len;
            ++msg.msg_iov;
            --msg.msg_iovlen;
        }
        if (msg.msg_iovlen > 0) {
            msg.msg_iov[0].iov_base = static_cast<std::uint8_t*>(msg.msg_iov[0].iov_base) + done;
            msg.msg_iov[0].iov_len -= done;
        }
    }
    std::uint8_t a[4];
    if (!ReadAll(fd_, a, sizeof a)) {
        Close();
        return false;
    }
    if (answer) std::memcpy(answer, a, 4);
    return true;
}

}  // namespace svclink

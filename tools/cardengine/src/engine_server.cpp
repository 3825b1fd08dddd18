#include "engine_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cardengine {

namespace wire = bbdev::wire;

EngineServer::EngineServer(const Options& options, std::vector<std::unique_ptr<EngineUnit>> units)
    : options_(options), units_(std::move(units)), log_(options.logPath) {
    for (auto& unit : units_) unit->Register(handlers_);
}

EngineServer::~EngineServer() {
    session_.reset();
    if (listenFd_ >= 0) ::close(listenFd_);
}

bool EngineServer::Listen() {
    if (!log_.ok()) {
        std::fprintf(stderr, "cardengine: cannot write %s\n", options_.logPath.c_str());
        return false;
    }
    if (!receiver_.ok()) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.host.c_str(), &address.sin_addr) != 1) {
        std::fprintf(stderr, "cardengine: bad address %s\n", options_.host.c_str());
        return false;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 4) != 0) {
        std::fprintf(stderr, "cardengine: cannot listen on %s:%u: %s\n", options_.host.c_str(),
                     options_.port, std::strerror(errno));
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("cardengine: listening on %s:%u\n", options_.host.c_str(), ntohs(address.sin_port));
    std::fflush(stdout);
    log_.Line("listen " + std::to_string(ntohs(address.sin_port)));
    return true;
}

void EngineServer::Accept(Clock::time_point now) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (session_) {
        // What the old connection delivered before the new one came is
        // still handled and logged, so the log holds every command sent.
        if (!session_->closing()) ReadCommands();
        session_->RequestClose("replaced");
        CloseSession();
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    session_ = std::make_unique<Session>(fd, nextSessionId_++, options_, now);
    receiver_.Clear();
    log_.Line("accept " + std::to_string(session_->id()));
    for (auto& unit : units_) unit->OnConnect(*session_, now);
}

void EngineServer::CloseSession() {
    if (!session_) return;
    log_.Line("close " + std::to_string(session_->id()) + ' ' +
              (session_->closeReason().empty() ? "closed" : session_->closeReason()));
    session_.reset();
}

void EngineServer::OnCommand(const wire::MessageView& message) {
    log_.Received(message.module(), message.operation(), message.payload);
    if (options_.acknowledge && message.operation() != wire::kOpAcknowledge) {
        session_->SendValue(message.module(), wire::kOpAcknowledge, message.command);
    }
    handlers_.Dispatch(message.module(), message.operation(), *session_, message.payload);
}

void EngineServer::ReadCommands() {
    for (;;) {
        auto space = receiver_.FreeSpace();
        ssize_t n = ::recv(session_->fd(), space.data(), space.size(), MSG_DONTWAIT);
        if (n == 0) {
            session_->RequestClose("peer-closed");
            return;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) session_->RequestClose("receive-failed");
            return;
        }
        receiver_.Commit(static_cast<std::size_t>(n), [this](const wire::MessageView& m) {
            if (session_ && !session_->closing()) OnCommand(m);
        });
        if (static_cast<std::size_t>(n) < space.size()) return;
    }
}

int EngineServer::Run(const std::atomic<bool>& stop) {
    const Clock::time_point started = Clock::now();
    while (!stop.load()) {
        Clock::time_point now = Clock::now();
        if (options_.quitAfter >= 0 &&
            std::chrono::duration<double>(now - started).count() >= options_.quitAfter)
            break;

        bool busy = false;
        for (auto& unit : units_) busy = busy || unit->Busy();
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {session_ ? session_->fd() : -1, POLLIN, 0}};
        int ready = ::poll(fds, session_ ? 2 : 1, busy && session_ ? 0 : 5);
        if (ready < 0 && errno != EINTR) return 1;
        now = Clock::now();
        if (ready > 0 && (fds[0].revents & POLLIN)) Accept(now);
        if (session_ && ready > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            ReadCommands();
        if (session_ && !session_->closing()) {
            if (options_.closeAfterSeconds >= 0 &&
                session_->SecondsSinceAccept(now) >= options_.closeAfterSeconds)
                session_->RequestClose("time-limit");
            else
                for (auto& unit : units_) unit->OnTick(*session_, now);
        }
        if (session_ && session_->closing()) CloseSession();
    }
    CloseSession();
    return 0;
}

}  // namespace cardengine

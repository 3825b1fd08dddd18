#include <arpa/inet.h>
#include <bbdevice/engine_link.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bbdev {

namespace {

std::mutex g_sequenceLock;
unsigned g_lastSequence = 0;  // guarded by g_sequenceLock; runs 1 .. 4095

}  // namespace

unsigned CEngineLink::NextSequence() {
    std::lock_guard lock(g_sequenceLock);
    g_lastSequence = g_lastSequence >= wire::kMaxSequence ? 1 : g_lastSequence + 1;
    return g_lastSequence;
}

CEngineLink::CEngineLink(unsigned cardIndex) : cardIndex_(cardIndex) {}

CEngineLink::~CEngineLink() {
    bool setUp;
    {
        std::lock_guard lock(lock_);
        setUp = setUp_;
    }
    if (setUp) Disconnect();
}

bool CEngineLink::SetUpLocked() {
    sendArea_.reset(new (std::nothrow) std::uint8_t[wire::kSendAreaBytes]);
    answerArea_.reset(new (std::nothrow) std::uint8_t[wire::kSendAreaBytes]);
    receiver_.reset(new (std::nothrow) wire::ReceiveAssembler(wire::kReceiveBufferBytes));
    if (!sendArea_ || !answerArea_ || !receiver_ || !receiver_->ok()) return false;
    try {
        poll_ = std::make_unique<CPollEngine>(
            cardIndex_,
            [this] {
                std::lock_guard lock(lock_);
                return socket_;
            },
            [this] { Drain(); });
    } catch (...) {
        return false;
    }
    setUp_ = true;
    return true;
}

bool CEngineLink::Connect(const std::string& address, std::uint16_t port, MessageHandler handler) {
    std::lock_guard lock(lock_);
    if (connected_.load()) return true;
    if (!setUp_ && !SetUpLocked()) return false;
    const bool workerRunning = poll_->running();
    if (!workerRunning) handler_ = std::move(handler);
    address_ = address;
    port_ = port;
    stopping_ = false;
    if (!ReconnectLocked()) return false;
    if (!workerRunning) poll_->Start(1);
    if (!watchdog_.joinable()) {
        watchdogExit_.Reset();
        watchdog_ = std::thread(&CEngineLink::WatchdogMain, this);
    }
    return true;
}

void CEngineLink::CloseSocketLocked() {
    if (socket_ < 0) return;
    ::shutdown(socket_, SHUT_RDWR);
    ::close(socket_);
    socket_ = -1;
}

bool CEngineLink::ReconnectLocked() {
    CloseSocketLocked();
    connected_.store(0);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port_);
    if (::inet_pton(AF_INET, address_.c_str(), &peer.sin_addr) != 1) return false;

    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL, 0) | O_NONBLOCK);
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Lingering on with a zero time-out: a close drops the connection at once.
    linger noLinger{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    int bufferBytes = kSocketBufferBytes;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);

    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
    if (!ok && errno == EINPROGRESS) {
        ::usleep(50 * 1000);
        fd_set readable, writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_SET(s, &readable);
        FD_SET(s, &writable);
        timeval wait{0, 450};
        int error = 0;
        socklen_t errorLength = sizeof error;
        ok = ::select(s + 1, &readable, &writable, nullptr, &wait) > 0 &&
             ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &errorLength) == 0 && error == 0;
    }
    if (!ok) {
        ::close(s);
        return false;
    }
    socket_ = s;
    ++generation_;
    if (poll_) poll_->Wake();
    // A fresh connection counts as alive for its first watchdog period, so
    // that only a whole period without heartbeat leads to a reconnection.
    alive_.store(1);
    connected_.store(1);
    counters_.connects.fetch_add(1);
    return true;
}

bool CEngineLink::Disconnect() {
    bool closed;
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
        CloseSocketLocked();
        connected_.store(0);
        alive_.store(0);
        closed = socket_ < 0;
    }
    watchdogExit_.Set();
    if (watchdog_.joinable() && watchdog_.get_id() != std::this_thread::get_id()) watchdog_.join();
    if (poll_) {
        poll_->Stop(50);
        // A drain still running dispatches into the card's units: they may
        // go as soon as this returns.
        poll_->Join();
    }
    return closed;
}

void CEngineLink::SetResendHook(ResendHook hook) {
    std::lock_guard lock(lock_);
    resendHook_ = std::move(hook);
}

bool CEngineLink::SendValue(std::uint32_t command, std::uint32_t value) {
    std::uint8_t payload[4];
    wire::StoreLe32(payload, value);
    return Send(command, payload, sizeof payload);
}

bool CEngineLink::WriteAllLocked(const std::uint8_t* data, std::size_t length) {
    int failures = 0;
    std::size_t done = 0;
    while (done < length) {
        const std::size_t piece = std::min(kSendPiece, length - done);
        ssize_t n = ::send(socket_, data + done, piece, MSG_DONTROUTE | MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            failures = 0;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (++failures >= 3) return false;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A retry is only worth making once the socket takes bytes again.
            pollfd p{socket_, POLLOUT, 0};
            ::poll(&p, 1, 50);
        }
    }
    return true;
}

bool CEngineLink::Send(std::uint32_t command, const void* payload, std::size_t length,
                       AnswerRequest* answer) {
    if (!payload || length == 0 || length > wire::kMaxSendPayloadBytes) return false;
    std::unique_lock<std::mutex> answerCall;
    unsigned sequence = 0;
    if (answer) {
        answerCall = std::unique_lock(answerCallLock_);
        sequence = NextSequence();
        std::lock_guard lock(answerLock_);
        awaitedSequence_ = sequence;
        answerLength_ = 0;
        answerEvent_.Reset();
    }
    bool sent = false;
    {
        std::lock_guard lock(lock_);
        if (setUp_ && socket_ >= 0) {
            const std::size_t total =
                wire::BuildMessage({sendArea_.get(), wire::kSendAreaBytes}, command,
                                   {static_cast<const std::uint8_t*>(payload), length}, sequence);
            sent = total != 0 && WriteAllLocked(sendArea_.get(), total);
        }
    }
    (sent ? counters_.txMessages : counters_.txFailures).fetch_add(1);
    if (!answer) return sent;

    const bool answered = sent && answerEvent_.Wait(answer->timeoutMs);
    std::lock_guard lock(answerLock_);
    awaitedSequence_ = 0;
    answer->answered = 0;
    if (!answered) return false;
    answer->answered = std::min(answerLength_, answer->size);
    if (answer->buffer) std::memcpy(answer->buffer, answerArea_.get(), answer->answered);
    return true;
}

void CEngineLink::Drain() {
    for (;;) {
        std::span<std::uint8_t> space;
        ssize_t n;
        {
            std::lock_guard lock(lock_);
            if (socket_ < 0) return;
            if (receiverGeneration_ != generation_) {
                // Bytes of the previous connection can never complete.
                receiver_->Clear();
                receiverGeneration_ = generation_;
            }
            space = receiver_->FreeSpace();
            n = ::recv(socket_, space.data(), space.size(), MSG_DONTWAIT);
            if (n == 0) {
                alive_.store(0);  // the engine closed the connection
                return;
            }
            if (n < 0) {
                if (errno == ENOTSOCK || errno == ECONNABORTED || errno == ECONNRESET)
                    alive_.store(0);
                return;
            }
        }
        counters_.rxBytes.fetch_add(static_cast<std::uint64_t>(n));
        const std::uint64_t discardedBefore = receiver_->discardedBytes();
        receiver_->Commit(static_cast<std::size_t>(n),
                          [this](const wire::MessageView& m) { OnMessage(m); });
        counters_.discardedBytes.fetch_add(receiver_->discardedBytes() - discardedBefore);
        if (static_cast<std::size_t>(n) < space.size()) return;
    }
}

void CEngineLink::OnMessage(const wire::MessageView& message) {
    counters_.rxMessages.fetch_add(1);
    const unsigned sequence = message.sequence();
    if (sequence == 0) {
        if (message.module() == wire::kModuleCard && message.operation() == wire::kOpHeartbeat) {
            alive_.store(1);
            counters_.heartbeats.fetch_add(1);
        }
        if (handler_) handler_(message);
        return;
    }
    std::lock_guard lock(answerLock_);
    if (sequence != awaitedSequence_) return;
    answerLength_ = std::min(message.payload.size(), wire::kSendAreaBytes);
    std::memcpy(answerArea_.get(), message.payload.data(), answerLength_);
    awaitedSequence_ = 0;
    answerEvent_.Set();
}

void CEngineLink::WatchdogMain() {
    pthread_setname_np(pthread_self(), "bb-watchdog");
    while (!watchdogExit_.Wait(kWatchdogPeriodMs)) {
        std::lock_guard lock(lock_);
        if (stopping_) break;
        if (alive_.exchange(0) != 0) continue;
        // No heartbeat for a whole period.
        if (ReconnectLocked()) {
            counters_.reconnects.fetch_add(1);
            if (resendHook_) resendHook_();
        } else {
            counters_.failedReconnects.fetch_add(1);
        }
    }
}

std::string CEngineLink::address() const {
    std::lock_guard lock(lock_);
    return address_;
}

std::uint16_t CEngineLink::port() const {
    std::lock_guard lock(lock_);
    return port_;
}

LinkCounters CEngineLink::counters() const {
    LinkCounters c;
    c.connects = counters_.connects.load();
    c.reconnects = counters_.reconnects.load();
    c.failedReconnects = counters_.failedReconnects.load();
    c.heartbeats = counters_.heartbeats.load();
    c.rxMessages = counters_.rxMessages.load();
    c.rxBytes = counters_.rxBytes.load();
    c.discardedBytes = counters_.discardedBytes.load();
    c.txMessages = counters_.txMessages.load();
    c.txFailures = counters_.txFailures.load();
    return c;
}

std::string CEngineLink::Detail() const {
    const LinkCounters c = counters();
    char text[256];
    std::snprintf(text, sizeof text,
                  "%s %s:%u, %s; rx %llu msgs %llu bytes (%llu discarded), tx %llu (%llu failed), "
                  "reconnects %llu",
                  connected() ? "connected" : "unconnected", address().c_str(), port(),
                  alive() ? "alive" : "no heartbeat", (unsigned long long)c.rxMessages,
                  (unsigned long long)c.rxBytes, (unsigned long long)c.discardedBytes,
                  (unsigned long long)c.txMessages, (unsigned long long)c.txFailures,
                  (unsigned long long)c.reconnects);
    return text;
}

}  // namespace bbdev

// CEngineLink: the TCP link of one card to its engine. Frames commands,
// receives and parses on the poll worker, hands every message to the card's
// handler and reconnects from a watchdog when the heartbeat stops.
//
// Threads: the caller's (Connect, Send, Disconnect), the poll worker (receive,
// parse, dispatch) and the watchdog (reconnect, re-send). lock_ guards the
// socket, the connection state and the send area, so sends from the caller
// and from the watchdog never share the send area at the same time.
#pragma once

#include <bbdevice/poll_engine.h>
#include <bbdevice/sync_event.h>
#include <bbdevice/wire/engine_message.h>
#include <bbdevice/wire/engine_parser.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace bbdev {

// For a command that waits for its answer (sequence number != 0).
struct AnswerRequest {
    void* buffer = nullptr;
    std::size_t size = 0;
    unsigned timeoutMs = 0;
    std::size_t answered = 0;  // out: payload bytes of the answer
};

struct LinkCounters {
    std::uint64_t connects = 0;    // successful connects, first and re-
    std::uint64_t reconnects = 0;  // by the watchdog
    std::uint64_t failedReconnects = 0;
    std::uint64_t heartbeats = 0;
    std::uint64_t rxMessages = 0;
    std::uint64_t rxBytes = 0;
    std::uint64_t discardedBytes = 0;  // garbage and unassemblable headers
    std::uint64_t txMessages = 0;
    std::uint64_t txFailures = 0;
};

class CEngineLink {
public:
    using MessageHandler = std::function<void(const wire::MessageView&)>;
    using ResendHook = std::function<void()>;

    static constexpr const char* kDefaultAddress = "192.168.1.100";
    static constexpr std::uint16_t kDefaultPort = 10001;
    static constexpr unsigned kWatchdogPeriodMs = 1000;
    static constexpr std::size_t kSendPiece = 1460;
    static constexpr int kSocketBufferBytes = 16777216;

    explicit CEngineLink(unsigned cardIndex = 0);
    ~CEngineLink();
    CEngineLink(const CEngineLink&) = delete;
    CEngineLink& operator=(const CEngineLink&) = delete;

    // Connects and, after success, runs the poll engine and the watchdog.
    // True at once when already connected. The handler gets every message
    // with sequence number 0 on the poll worker.
    bool Connect(const std::string& address, std::uint16_t port, MessageHandler handler);
    // Closes the socket, ends the watchdog and the poll engine. True when the
    // socket is no longer open.
    bool Disconnect();

    // Sends one message; true when every byte went out. With `answer` the
    // command takes a sequence number and waits for the answer carrying it.
    bool Send(std::uint32_t command, const void* payload, std::size_t length,
              AnswerRequest* answer = nullptr);
    bool SendValue(std::uint32_t command, std::uint32_t value);

    // Called on the watchdog thread, with the link locked, after every
    // successful reconnection: the units send their kept records again.
    void SetResendHook(ResendHook hook);

    // Holds off the watchdog's reconnection and re-send (and every other
    // send) while a unit sends a record and keeps its copy, so a re-send
    // never goes out with the record that was just replaced.
    std::unique_lock<std::recursive_mutex> LockSends() { return std::unique_lock(lock_); }

    bool connected() const { return connected_.load(); }
    bool alive() const { return alive_.load(); }
    void MarkAlive() { alive_.store(1); }
    std::string address() const;
    std::uint16_t port() const;
    LinkCounters counters() const;
    // One line for a status panel.
    std::string Detail() const;

private:
    bool SetUpLocked();
    bool ReconnectLocked();
    void CloseSocketLocked();
    bool WriteAllLocked(const std::uint8_t* data, std::size_t length);
    void Drain();                                      // poll worker
    void OnMessage(const wire::MessageView& message);  // poll worker
    void WatchdogMain();
    static unsigned NextSequence();

    const unsigned cardIndex_;

    mutable std::recursive_mutex lock_;
    // guarded by lock_:
    std::string address_ = kDefaultAddress;
    std::uint16_t port_ = kDefaultPort;
    int socket_ = -1;
    bool setUp_ = false;
    bool stopping_ = false;
    std::unique_ptr<std::uint8_t[]> sendArea_;
    ResendHook resendHook_;
    MessageHandler handler_;        // set before the poll worker starts
    std::uint64_t generation_ = 0;  // bumped by every connect

    std::atomic<std::uint32_t> connected_{0};
    std::atomic<std::uint32_t> alive_{0};

    // Receive side, owned by the poll worker.
    std::unique_ptr<wire::ReceiveAssembler> receiver_;
    std::uint64_t receiverGeneration_ = 0;

    // Answer mechanism.
    std::mutex answerCallLock_;  // one waiting command at a time
    std::mutex answerLock_;
    std::unique_ptr<std::uint8_t[]> answerArea_;  // guarded by answerLock_
    std::size_t answerLength_ = 0;                // guarded by answerLock_
    unsigned awaitedSequence_ = 0;                // guarded by answerLock_
    SyncEvent answerEvent_{true, false};

    std::unique_ptr<CPollEngine> poll_;
    std::thread watchdog_;
    SyncEvent watchdogExit_{true, false};

    struct AtomicCounters {
        std::atomic<std::uint64_t> connects{0}, reconnects{0}, failedReconnects{0}, heartbeats{0},
            rxMessages{0}, rxBytes{0}, discardedBytes{0}, txMessages{0}, txFailures{0};
    } counters_;
};

}  // namespace bbdev

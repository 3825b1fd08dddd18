// Starts tools/cardengine on a free loopback port for a test or a benchmark
// and reads the record of the commands it received (its --log file).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cardengine::testkit {

struct ReceivedCommand {
    unsigned module = 0, operation = 0;
    std::size_t length = 0;
    std::vector<std::uint8_t> payload;
    // Little-endian fields of the payload; 0 past its end.
    std::uint32_t Word(std::size_t offset) const;
    std::uint16_t Half(std::size_t offset) const;
};

// The "rx" lines of a cardengine log as commands; with connection > 0 only
// those after the "accept" of that connection number. Lines whose payload
// does not match their length are left out.
std::vector<ReceivedCommand> ParseReceived(const std::vector<std::string>& logLines,
                                           int connection = 0);

class EngineProcess {
public:
    // Extra arguments go to cardengine after --listen and --log.
    explicit EngineProcess(std::vector<std::string> extraArgs = {});
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    bool started() const { return listening_; }
    std::uint16_t port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Whole lines of the log so far.
    std::vector<std::string> LogLines() const;
    int CountLines(const std::string& prefix) const;
    // Every command received; with connection > 0 only those of the
    // connection accepted as number `connection`.
    std::vector<ReceivedCommand> Received(int connection = 0) const;
    // Polls until pred() holds or the time runs out.
    template <class Pred>
    bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string logPath_;
    bool listening_ = false;
};

// cardengine in $TALVORA_BIN_DIR, else next to the running program.
std::string EngineBinary();
std::uint16_t FreeLoopbackPort();
void SleepMs(unsigned ms);

template <class Pred>
bool EngineProcess::WaitFor(Pred pred, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        SleepMs(20);
    }
}

}  // namespace cardengine::testkit

// Starts tools/cardengine on a free loopback port for one test and reads the
// record of what it received.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bbdev::enginetest {

struct ReceivedCommand {
    unsigned module = 0, operation = 0;
    std::size_t length = 0;
    std::vector<std::uint8_t> payload;
};

class EngineProcess {
public:
    // Extra arguments go to cardengine after --listen and --log.
    explicit EngineProcess(std::vector<std::string> extraArgs = {});
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    bool started() const { return listening_; }
    std::uint16_t port() const { return port_; }
    std::vector<std::string> LogLines() const;
    // Every command received; with connection > 0 only those of the
    // connection accepted as number `connection`.
    std::vector<ReceivedCommand> Received(int connection = 0) const;
    int CountLines(const std::string& prefix) const;
    // Polls the log until pred(lines) holds or the time runs out.
    template <class Pred>
    bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string logPath_;
    bool listening_ = false;
};

// The folder of cardengine: $TALVORA_BIN_DIR, else next to the test program.
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

}  // namespace bbdev::enginetest

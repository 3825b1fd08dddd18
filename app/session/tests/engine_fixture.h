// A cardengine process on a free loopback port for one test, and the record
// of the commands it received.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sessiontest {

struct Received {
    unsigned module = 0, operation = 0;
    std::vector<std::uint8_t> payload;
    std::uint32_t Word(std::size_t offset) const;
    std::uint16_t Half(std::size_t offset) const;
};

class Engine {
public:
    // Extra arguments follow --listen and --log.
    explicit Engine(std::vector<std::string> extraArgs = {});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool listening() const { return listening_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Parameter commands received so far, in order (module 1 and the link's
    // own messages left out).
    std::vector<Received> Commands() const;

private:
    std::vector<std::string> Lines() const;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string logPath_;
    bool listening_ = false;
};

std::uint16_t FreeLoopbackPort();
void SleepMs(unsigned ms);

}  // namespace sessiontest

// One accepted connection of the library: sends framed messages with the
// configured faults (garbage, split writes, close after N bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine_unit.h"

namespace cardengine {

class Session {
public:
    Session(int fd, unsigned id, const Options& options, Clock::time_point acceptedAt);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Sends one message (sequence 0). False once the connection is gone.
    bool Send(unsigned module, unsigned operation, std::span<const std::uint8_t> payload);
    bool SendValue(unsigned module, unsigned operation, std::uint32_t value);

    int fd() const { return fd_; }
    unsigned id() const { return id_; }
    Clock::time_point acceptedAt() const { return acceptedAt_; }
    double SecondsSinceAccept(Clock::time_point now) const {
        return std::chrono::duration<double>(now - acceptedAt_).count();
    }
    bool closing() const { return !closeReason_.empty(); }
    const std::string& closeReason() const { return closeReason_; }
    void RequestClose(std::string reason) {
        if (closeReason_.empty()) closeReason_ = std::move(reason);
    }
    std::uint64_t bytesSent() const { return bytesSent_; }

private:
    bool Write(const std::uint8_t* data, std::size_t length);
    bool WriteRaw(const std::uint8_t* data, std::size_t length);

    int fd_;
    unsigned id_;
    const Options& options_;
    Clock::time_point acceptedAt_;
    std::unique_ptr<std::uint8_t[]> sendArea_;
    std::unique_ptr<std::uint8_t[]> garbage_;
    std::uint64_t bytesSent_ = 0;
    std::string closeReason_;
};

}  // namespace cardengine

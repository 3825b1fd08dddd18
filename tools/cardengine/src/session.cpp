#include "session.h"

#include <bbdevice/wire/engine_message.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>

namespace cardengine {

namespace wire = bbdev::wire;

Session::Session(int fd, unsigned id, const Options& options, Clock::time_point acceptedAt)
    : fd_(fd),
      id_(id),
      options_(options),
      acceptedAt_(acceptedAt),
      sendArea_(new std::uint8_t[wire::MessageBytes(wire::kMaxPayloadBytes)]) {
    if (options_.garbageBytes > 0) {
        // Garbage never holds the first magic byte, so it cannot fake a header.
        garbage_.reset(new std::uint8_t[options_.garbageBytes]);
        std::mt19937 random(id);
        for (std::size_t i = 0; i < options_.garbageBytes; ++i) {
            std::uint8_t b = static_cast<std::uint8_t>(random());
            garbage_[i] = b == 0x26 ? 0x27 : b;
        }
    }
}

Session::~Session() {
    ::close(fd_);
}

bool Session::SendValue(unsigned module, unsigned operation, std::uint32_t value) {
    std::uint8_t payload[4];
    wire::StoreLe32(payload, value);
    return Send(module, operation, payload);
}

bool Session::Send(unsigned module, unsigned operation, std::span<const std::uint8_t> payload) {
    if (closing()) return false;
    const std::size_t total =
        wire::BuildMessage({sendArea_.get(), wire::MessageBytes(wire::kMaxPayloadBytes)},
                           wire::MakeCommand(module, operation), payload);
    if (total == 0) return false;
    if (garbage_ && !Write(garbage_.get(), options_.garbageBytes)) return false;
    return Write(sendArea_.get(), total);
}

bool Session::Write(const std::uint8_t* data, std::size_t length) {
    if (options_.closeAfterBytes >= 0) {
        const auto limit = static_cast<std::uint64_t>(options_.closeAfterBytes);
        const std::uint64_t room = limit > bytesSent_ ? limit - bytesSent_ : 0;
        if (length >= room) {
            // Close mid-message: the library must cope with a torn message.
            WriteRaw(data, static_cast<std::size_t>(room));
            RequestClose("byte-limit");
            return false;
        }
    }
    return WriteRaw(data, length);
}

bool Session::WriteRaw(const std::uint8_t* data, std::size_t length) {
    const std::size_t piece = options_.splitBytes ? options_.splitBytes : length;
    std::size_t done = 0;
    while (done < length) {
        const std::size_t n = std::min(piece, length - done);
        std::size_t written = 0;
        while (written < n) {
            ssize_t r = ::send(fd_, data + done + written, n - written, MSG_NOSIGNAL);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                RequestClose("send-failed");
                return false;
            }
            written += static_cast<std::size_t>(r);
        }
        done += n;
        bytesSent_ += n;
        if (options_.splitBytes && done < length && options_.splitPauseUs)
            ::usleep(options_.splitPauseUs);
    }
    return true;
}

}  // namespace cardengine

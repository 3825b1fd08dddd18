#include "command_log.h"

#include <fcntl.h>
#include <unistd.h>

namespace cardengine {

CommandLog::CommandLog(const std::string& path) : path_(path) {
    if (!path_.empty())
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
}

CommandLog::~CommandLog() {
    if (fd_ >= 0) ::close(fd_);
}

void CommandLog::Line(const std::string& text) {
    if (fd_ < 0) return;
    line_ = text;
    line_ += '\n';
    const char* p = line_.data();
    std::size_t left = line_.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void CommandLog::Received(unsigned module, unsigned operation,
                          std::span<const std::uint8_t> payload) {
    if (fd_ < 0) return;
    static const char kHex[] = "0123456789abcdef";
    std::string text = "rx " + std::to_string(module) + ' ' + std::to_string(operation) + ' ' +
                       std::to_string(payload.size()) + ' ';
    text.reserve(text.size() + payload.size() * 2);
    for (std::uint8_t b : payload) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    Line(text);
}

}  // namespace cardengine

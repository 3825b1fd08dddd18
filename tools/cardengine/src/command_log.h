// The record of everything the engine received, for tests to read:
//   listen PORT
//   accept ID
//   close ID REASON
//   rx MODULE OPERATION LENGTH HEX-OF-PAYLOAD
// Each line is written with one write() call as soon as it happens.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace cardengine {

class CommandLog {
public:
    explicit CommandLog(const std::string& path);  // empty path: no log
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    bool ok() const { return path_.empty() || fd_ >= 0; }
    void Line(const std::string& text);
    void Received(unsigned module, unsigned operation, std::span<const std::uint8_t> payload);

private:
    std::string path_;
    int fd_ = -1;
    std::string line_;  // reused for every line
};

}  // namespace cardengine

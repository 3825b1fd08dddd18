// Copy-data and close messages between processes: one Unix-domain socket per
// process, named after its process id in the object namespace.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "copy_frame.h"

namespace svclink {

// Hands a received frame to the window of its service; the answer goes back
// to the sender (0: handled).
using FrameHandler = std::uint32_t (*)(const FrameHead& head, const std::uint8_t* body);

// Starts this process's listening socket once; true when it listens.
bool StartCopyListener(FrameHandler handler);

// A connection to one peer process, reused while the peer stays the same.
class CopySender {
public:
    CopySender() = default;
    ~CopySender();
    CopySender(const CopySender&) = delete;
    CopySender& operator=(const CopySender&) = delete;

    // Sends head + part1 + part2 and waits at most 5 s for the answer. False
    // at once when the peer's socket is gone, or on time-out; *answer is the
    // peer's reply.
    bool Send(pid_t peer, const FrameHead& head, const void* part1, std::size_t length1,
              const void* part2, std::size_t length2, std::uint32_t* answer);
    // Leaves a frame without body in the peer's socket and closes the
    // connection without waiting for the answer; never blocks. False when the
    // frame could not be left there whole.
    bool Post(pid_t peer, const FrameHead& head);
    void Close();

private:
    int fd_ = -1;
    pid_t peer_ = 0;
};

}  // namespace svclink

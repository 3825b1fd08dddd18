// The data buffers the frame owns, allocated once at creation and freed in
// the exit sequence; nothing on the data path allocates per frame.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace mainframe {

inline constexpr std::size_t kWorkBufferSize = 1048576;        // 1 MiB
inline constexpr std::size_t kFrameBufferSize = 20971520;      // 20 MiB
inline constexpr std::size_t kSuperframeBufferSize = 8388608;  // 8 MiB
inline constexpr std::size_t kSendBufferSize = 262144;         // 256 KiB

// Two work buffers and the frame buffers A and B, allocated once at creation
// and freed at exit after the card is closed.
class FrameBuffers {
public:
    // Does nothing when already allocated.
    void Allocate();
    void Free();
    bool Allocated() const { return workA_ != nullptr; }

    std::uint8_t* WorkA() { return workA_.get(); }
    std::uint8_t* WorkB() { return workB_.get(); }
    std::uint8_t* FrameA() { return frameA_.get(); }
    std::uint8_t* FrameB() { return frameB_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> workA_, workB_, frameA_, frameB_;
};

// The superframe assembly buffer and the network send buffer with its fill
// count and lock. The send buffer is read by the 1 ms sender, so it lives
// until that timer is stopped, after the other buffers are gone.
struct DataPathBuffers {
    std::unique_ptr<std::uint8_t[]> superframe;     // kSuperframeBufferSize
    std::atomic<std::uint32_t> superframeCount{0};  // data path; reset from other threads
    std::unique_ptr<std::uint8_t[]> send;           // kSendBufferSize, guarded by sendLock
    std::uint32_t sendFill = 0;                     // guarded by sendLock
    std::mutex sendLock;

    void Allocate();
    void Free();
};

}  // namespace mainframe

// The telemetry send buffer: the data path appends whole hand-offs, the 1 ms
// sender takes packets from the front. One lock guards the bytes and the fill
// count; a hand-off that does not fit is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>

namespace datapath {

inline constexpr std::size_t kSendBufferBytes = 262144;

class SendBuffer {
public:
    // The storage, fill count and lock belong to the frame.
    SendBuffer(std::uint8_t* data, std::size_t capacity, std::uint32_t& fill, std::mutex& lock)
        : data_(data), capacity_(capacity), fill_(fill), lock_(lock) {}

    // Appends when fill + length stays below the capacity; false when dropped.
    // After an append the wake hook runs (outside the lock).
    bool Append(std::span<const std::uint8_t> bytes);

    // Wakes the sender that rests while the buffer holds nothing to send.
    // Set before data are appended.
    void SetWakeHook(std::function<void()> hook) { wake_ = std::move(hook); }

    // Runs `f(data, fill)` under the lock; `fill` may be changed by `f`.
    template <class F>
    decltype(auto) WithLock(F&& f) {
        std::lock_guard lock(lock_);
        return f(data_, fill_);
    }

    // Drops every byte waiting.
    void Clear() {
        std::lock_guard lock(lock_);
        fill_ = 0;
    }

    std::uint32_t Fill() const {
        std::lock_guard lock(lock_);
        return fill_;
    }
    std::size_t Capacity() const { return capacity_; }

private:
    std::uint8_t* const data_;
    const std::size_t capacity_;
    std::uint32_t& fill_;  // guarded by lock_
    std::mutex& lock_;
    std::function<void()> wake_;
};

}  // namespace datapath

// Reassembly of superframes from subframe records. Complete superframes lie
// from the start of the assembly buffer; the one being filled follows them
// and is moved to the front at the next hand-off. The count of complete
// superframes is shared with the refresh and with whoever resets it.
#pragma once

#include <datapath/frame_geometry.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace datapath {

class SuperframeAssembler {
public:
    // `buffer` holds `capacity` bytes and is not owned.
    SuperframeAssembler(std::uint8_t* buffer, std::size_t capacity,
                        std::atomic<std::uint32_t>& count);

    // Places the whole subframe records of `handoff` by the index byte of
    // their tags and returns the bytes of complete superframes at Data().
    // A record whose index is not below the superframe length, or that would
    // end beyond the buffer, is dropped.
    std::size_t Assemble(std::span<const std::uint8_t> handoff, const DataGeometry& g);

    // Outside superframe mode: the hand-off is kept at the start as it came.
    void CopyPlain(std::span<const std::uint8_t> handoff);

    // Any thread: forget every superframe, complete or not.
    void Reset() { count_.store(0, std::memory_order_relaxed); }

    const std::uint8_t* Data() const { return buffer_; }
    std::size_t Capacity() const { return capacity_; }
    std::uint32_t Count() const { return count_.load(std::memory_order_relaxed); }

private:
    std::uint8_t* const buffer_;
    const std::size_t capacity_;
    std::atomic<std::uint32_t>& count_;
};

}  // namespace datapath

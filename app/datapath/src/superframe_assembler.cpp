#include <datapath/superframe_assembler.h>

#include <cstring>

namespace datapath {

SuperframeAssembler::SuperframeAssembler(std::uint8_t* buffer, std::size_t capacity,
                                         std::atomic<std::uint32_t>& count)
    : buffer_(buffer), capacity_(capacity), count_(count) {}

std::size_t SuperframeAssembler::Assemble(std::span<const std::uint8_t> handoff,
                                          const DataGeometry& g) {
    const std::size_t sub = g.subframeRecord;
    const std::size_t super = g.superframeRecord;
    const std::size_t length = g.superframeLength;
    if (sub < kTimeTagBytes || length == 0 || super > capacity_) {
        // No superframe of this shape can be held.
        Reset();
        return 0;
    }

    std::size_t count = Count();
    if (count > 0) {
        // The superframe being filled goes to the front. The count may be
        // left from another geometry, so the source is checked against the
        // buffer; the two ranges never overlap.
        if ((count + 1) * super <= capacity_) std::memcpy(buffer_, buffer_ + count * super, super);
        count = 0;
    }

    const std::size_t records = handoff.size() / sub;
    for (std::size_t i = 0; i < records; ++i) {
        const std::uint8_t* rec = handoff.data() + i * sub;
        const std::size_t k = rec[kSubframeIndexByte];
        if (k >= length) continue;  // a corrupt tag has no place
        const std::size_t at = (k + length * count) * sub;
        if (at + sub > capacity_) continue;  // the buffer is full
        std::memcpy(buffer_ + at, rec, sub);
        if (k + 1 == length) ++count;
    }
    count_.store(static_cast<std::uint32_t>(count), std::memory_order_relaxed);
    return count * super;
}

void SuperframeAssembler::CopyPlain(std::span<const std::uint8_t> handoff) {
    std::memcpy(buffer_, handoff.data(), handoff.size() < capacity_ ? handoff.size() : capacity_);
}

}  // namespace datapath

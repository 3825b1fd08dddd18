#include <rawcurve/curve_queue.h>

#include <cstring>
#include <new>
#include <utility>

namespace rawcurve {

std::size_t CurveFrameBytes(const _FRAME_STRUCT_PARAM_EX& f) {
    if (f.nWordsPerSubframe == 0 || f.nSubframes == 0 || f.nWordBytes == 0) return 0;
    const std::size_t record = std::size_t{f.nWordsPerSubframe} * f.nWordBytes + f.nTimeBytes;
    const std::size_t total = record * f.nSubframes;  // below 2^42, no overflow
    return total <= kMaxFrameBytes ? total : 0;
}

std::size_t CurveHandoffBytes(const _FRAME_STRUCT_PARAM_EX& f) {
    if (f.nFramesPerBuffer < 0) return 0;
    const std::size_t frame = CurveFrameBytes(f);
    const std::size_t frames = f.nFramesPerBuffer == 0 ? 1 : std::size_t(f.nFramesPerBuffer);
    if (frame == 0 || frames > kMaxFrameBytes / frame) return 0;
    return frame * frames;
}

CurveQueue::CurveQueue(std::size_t slots) : slots_(slots == 0 ? 1 : slots) {
    for (CurveItem& s : slots_) {
        s.data.reset(new (std::nothrow) std::uint8_t[kInitialSlotBytes]);
        s.capacity = s.data ? kInitialSlotBytes : 0;
    }
}

bool CurveQueue::Push(const _FRAME_STRUCT_PARAM_EX& shape, const std::uint8_t* data,
                      std::size_t bytes) {
    if (!data || bytes == 0) return false;
    std::lock_guard lock(mutex_);
    if (count_ == slots_.size()) {
        head_ = (head_ + 1) % slots_.size();
        --count_;
        ++dropped_;
    }
    CurveItem& slot = slots_[(head_ + count_) % slots_.size()];
    if (slot.capacity < bytes) {
        // A larger frame shape: this slot grows once and keeps the size.
        std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[bytes]);
        if (!bigger) return false;
        slot.data = std::move(bigger);
        slot.capacity = bytes;
    }
    std::memcpy(slot.data.get(), data, bytes);
    slot.bytes = bytes;
    slot.shape = shape;
    ++count_;
    return true;
}

bool CurveQueue::Pop(CurveItem& out) {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return false;
    CurveItem& slot = slots_[head_];
    std::swap(slot.data, out.data);
    std::swap(slot.capacity, out.capacity);
    out.bytes = slot.bytes;
    out.shape = slot.shape;
    slot.bytes = 0;
    head_ = (head_ + 1) % slots_.size();
    --count_;
    return true;
}

std::size_t CurveQueue::Size() const {
    std::lock_guard lock(mutex_);
    return count_;
}

std::uint64_t CurveQueue::Dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace rawcurve

// The curve window's queue of data hand-offs between the program's data
// thread and the window's worker: a fixed ring of slots whose buffers are
// allocated once and grown only when a larger frame shape arrives. When the
// worker lags, the oldest hand-off is dropped and counted, so the data thread
// never waits and memory stays bounded.
#pragma once

#include <rawviews/frame_records.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace rawcurve {

// One hand-off as queued: the record and a copy of its frames.
struct CurveItem {
    _FRAME_STRUCT_PARAM_EX shape{};
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t capacity = 0;
    std::size_t bytes = 0;
};

// Frames larger than this are refused rather than copied.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{64} << 20;

// Bytes of one whole frame of this shape; 0 for a shape with a zero size or
// a frame beyond kMaxFrameBytes.
std::size_t CurveFrameBytes(const _FRAME_STRUCT_PARAM_EX& f);

// Bytes of one hand-off (nFramesPerBuffer frames, 0 counting as 1); 0 when
// refused: a bad shape, a negative frame count or more than kMaxFrameBytes.
std::size_t CurveHandoffBytes(const _FRAME_STRUCT_PARAM_EX& f);

class CurveQueue {
public:
    static constexpr std::size_t kSlots = 16;
    // Slots start with room for this many bytes.
    static constexpr std::size_t kInitialSlotBytes = 64 * 1024;

    explicit CurveQueue(std::size_t slots = kSlots);

    // Data thread: appends a copy of `bytes` bytes; when every slot is full
    // the oldest item is overwritten. False when the copy could not be made.
    bool Push(const _FRAME_STRUCT_PARAM_EX& shape, const std::uint8_t* data, std::size_t bytes);

    // Worker: moves the oldest item into `out` (exchanging buffers, so
    // nothing is copied under the lock). False when the queue is empty.
    bool Pop(CurveItem& out);

    std::size_t Size() const;
    std::uint64_t Dropped() const;

private:
    mutable std::mutex mutex_;
    std::vector<CurveItem> slots_;  // guarded by mutex_
    std::size_t head_ = 0, count_ = 0;
    std::uint64_t dropped_ = 0;
};

}  // namespace rawcurve

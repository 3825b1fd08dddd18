// The lock-free ring of one direction (see service_ring.h).
#include "svclink/service_ring.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace svclink {
namespace {

std::atomic_ref<std::uint64_t> U64(const std::uint8_t* header, std::size_t offset) {
    return std::atomic_ref<std::uint64_t>(
        *reinterpret_cast<std::uint64_t*>(const_cast<std::uint8_t*>(header) + offset));
}

std::atomic_ref<std::uint32_t> U32(const std::uint8_t* header, std::size_t offset) {
    return std::atomic_ref<std::uint32_t>(
        *reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(header) + offset));
}

void CopyIn(std::uint8_t* ring, std::uint64_t pos, const std::uint8_t* src, std::size_t n) {
    const std::size_t first = std::min<std::size_t>(n, kRingSize - pos);
    std::memcpy(ring + pos, src, first);
    if (first < n) std::memcpy(ring, src + first, n - first);
}

void CopyOut(const std::uint8_t* ring, std::uint64_t pos, std::uint8_t* dst, std::size_t n) {
    const std::size_t first = std::min<std::size_t>(n, kRingSize - pos);
    std::memcpy(dst, ring + pos, first);
    if (first < n) std::memcpy(dst + first, ring, n - first);
}

void StoreRingState(std::uint8_t* header, const WriterState& state) {
    U64(header, hdr::kWritePos).store(state.pos, std::memory_order_relaxed);
    U64(header, hdr::kTotal).store(state.total, std::memory_order_release);
}

// Position and total are two fields: an odd sequence count while they change
// lets the reader take them as one picture.
std::uint32_t BeginUpdate(std::uint8_t* header) {
    auto seq = U32(header, hdr::kSequence);
    const std::uint32_t s = seq.load(std::memory_order_relaxed);
    seq.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    return s;
}

void EndUpdate(std::uint8_t* header, std::uint32_t s) {
    U32(header, hdr::kSequence).store(s + 2, std::memory_order_release);
}

void PublishRingState(std::uint8_t* header, const WriterState& state) {
    const std::uint32_t s = BeginUpdate(header);
    StoreRingState(header, state);
    EndUpdate(header, s);
}

}  // namespace

void ResetDirection(std::uint8_t* header, WriterState& state) {
    const std::uint32_t count = U32(header, hdr::kResetCount).load(std::memory_order_relaxed);
    state.pos = 0;
    state.total = 0;
    state.started = false;
    state.resetCount = count + 1;
    const std::uint32_t s = BeginUpdate(header);
    U32(header, hdr::kStarted).store(0, std::memory_order_relaxed);
    U64(header, hdr::kReserved).store(0, std::memory_order_relaxed);
    StoreRingState(header, state);
    U32(header, hdr::kResetCount).store(state.resetCount, std::memory_order_release);
    EndUpdate(header, s);
}

bool WriteBlock(std::uint8_t* header, std::uint8_t* ring, WriterState& state, const void* data,
                std::size_t length, const std::uint32_t* description) {
    if (length > kRingSize || (!data && length > 0)) return false;
    if (description && (!state.haveDescription ||
                        std::memcmp(description, state.description, sizeof state.description))) {
        std::memcpy(state.description, description, sizeof state.description);
        state.haveDescription = true;
        ResetDirection(header, state);
    }
    if (!state.started) {
        state.started = true;
        if (state.haveDescription)
            std::memcpy(header + hdr::kDescription, state.description, sizeof state.description);
        const std::uint32_t s = BeginUpdate(header);
        U32(header, hdr::kStarted).store(1, std::memory_order_relaxed);
        EndUpdate(header, s);
    }
    if (length == 0) return true;
    const std::uint64_t newTotal = state.total + length;
    // A reader that copied any byte of this write sees the announced total
    // after its copy, so it can tell that its span was overwritten.
    U64(header, hdr::kReserved).store(newTotal, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    CopyIn(ring, state.pos, static_cast<const std::uint8_t*>(data), length);
    state.total = newTotal;
    state.pos = newTotal % kRingSize;
    PublishRingState(header, state);
    return true;
}

std::size_t WriteKey(std::uint8_t* header, const WriterState& state, std::uint32_t key,
                     const void* data, std::size_t length) {
    const KeyField field = FieldOfKey(key);
    if (field.bytes == 0 || !data) return 0;
    const std::size_t n = std::min(length, field.bytes);
    const std::uint32_t s = BeginUpdate(header);
    std::memcpy(header + field.offset, data, n);
    if (key == kKeySaveParam) StoreRingState(header, state);
    EndUpdate(header, s);
    return n;
}

std::size_t ReadKey(const std::uint8_t* header, std::uint32_t key, void* out, std::size_t length) {
    const KeyField field = FieldOfKey(key);
    if (field.bytes == 0 || !out) return 0;
    const std::size_t n = std::min(length, field.bytes);
    auto seq = U32(header, hdr::kSequence);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::uint32_t before = seq.load(std::memory_order_acquire);
        if (before & 1u) continue;
        std::memcpy(out, header + field.offset, n);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (seq.load(std::memory_order_relaxed) == before) return n;
    }
    return 0;
}

void WriteProcessId(std::uint8_t* header, std::uint32_t pid) {
    U32(header, hdr::kProcessId).store(pid, std::memory_order_release);
}

std::uint32_t ReadProcessId(const std::uint8_t* header) {
    return U32(header, hdr::kProcessId).load(std::memory_order_acquire);
}

namespace {

struct RingPicture {
    std::uint32_t resets = 0, started = 0;
    std::uint64_t pos = 0, total = 0;
};

// Position, total, started flag and reset count as one picture; false while
// the writer keeps the sequence count odd.
bool TakePicture(const std::uint8_t* header, RingPicture* p) {
    auto seq = U32(header, hdr::kSequence);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::uint32_t before = seq.load(std::memory_order_acquire);
        if (before & 1u) continue;
        p->resets = U32(header, hdr::kResetCount).load(std::memory_order_acquire);
        p->total = U64(header, hdr::kTotal).load(std::memory_order_acquire);
        p->pos = U64(header, hdr::kWritePos).load(std::memory_order_relaxed);
        p->started = U32(header, hdr::kStarted).load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (seq.load(std::memory_order_relaxed) == before) return true;
    }
    return false;
}

}  // namespace

void AttachReader(const std::uint8_t* header, ReaderState& state) {
    state = ReaderState{};
    RingPicture p;
    if (!TakePicture(header, &p)) {
        // The writer is stuck inside an update: these fields are still the
        // ring's, since an update never leaves them half written.
        p.resets = U32(header, hdr::kResetCount).load(std::memory_order_acquire);
        p.total = U64(header, hdr::kTotal).load(std::memory_order_acquire);
        p.started = U32(header, hdr::kStarted).load(std::memory_order_relaxed);
    }
    state.resetCount = p.resets;
    state.readTotal = p.started ? p.total : 0;
}

ChunkResult ReadChunk(const std::uint8_t* header, const std::uint8_t* ring, ReaderState& state,
                      std::uint8_t* out, std::size_t capacity, std::uint32_t* description) {
    RingPicture p;
    if (!TakePicture(header, &p)) return {0, false, true};
    const std::uint32_t resets = p.resets, started = p.started;
    const std::uint64_t pos = p.pos, total = p.total;
    if (resets != state.resetCount) {
        state.resetCount = resets;
        state.readTotal = 0;
    }
    if (!started) return {};
    if (pos >= kRingSize || pos != total % kRingSize) {
        ++state.badHeaders;
        return {};
    }
    if (total < state.readTotal) state.readTotal = 0;
    std::uint64_t available = total - state.readTotal;
    if (available == 0 || capacity == 0 || !out) return {};
    if (available > kRingSize) {
        state.lostBytes += available - kRingSize;
        state.readTotal = total - kRingSize;
        available = kRingSize;
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(available, capacity));
    CopyOut(ring, state.readTotal % kRingSize, out, n);
    if (description) std::memcpy(description, header + hdr::kDescription, hdr::kDescriptionBytes);
    std::atomic_thread_fence(std::memory_order_acquire);
    const std::uint64_t reserved = U64(header, hdr::kReserved).load(std::memory_order_relaxed);
    const std::uint32_t resetsAfter = U32(header, hdr::kResetCount).load(std::memory_order_relaxed);
    if (resetsAfter != resets) return {0, true};  // the span belongs to an earlier run
    if (reserved > kRingSize && state.readTotal < reserved - kRingSize) {
        // The writer reached into the span while it was copied.
        ++state.lappedSpans;
        state.lostBytes += n;
        state.readTotal += n;
        return {0, true};
    }
    state.readTotal += n;
    return {n, state.readTotal < total};
}

}  // namespace svclink

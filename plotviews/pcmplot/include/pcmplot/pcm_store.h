// Frame store of one PCM plot window: the report thread appends frame bytes,
// the window's timer takes a copy. It keeps the newest whole major frames in
// a ring of fixed size; every buffer is allocated once, at construction.
#pragma once

#include <bbdevice/dem_report.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

namespace pcmplot {

// A lock held for short spans only (a slot change, a data call's copy, a
// window's copy of the frames), so waiting is a yielding spin; its release
// is a plain store, which keeps the per-block cost of a data call low.
class PcmSpinLock {
public:
    void lock() {
        while (flag_.test_and_set(std::memory_order_acquire))
            while (flag_.test(std::memory_order_relaxed)) std::this_thread::yield();
    }
    void unlock() { flag_.clear(std::memory_order_release); }

private:
    std::atomic_flag flag_;
};

inline constexpr std::size_t kStoreBytes = kDemReportDataBytes;
inline constexpr std::uint32_t kMaxWordBits = 32;

// Frame layout worked out from a descriptor's word length, frame lengths and
// tag bytes (its own size fields are not trusted).
struct PcmGeometry {
    std::uint32_t wordBits = 0;        // 1..32
    std::uint32_t wordsPerMinor = 0;   // 子帧长
    std::uint32_t minorsPerMajor = 0;  // 副帧长
    std::uint32_t tagBytes = 0;        // 0 or 8 before each minor frame
    std::uint32_t bytesPerWord = 0;
    std::uint32_t minorBytes = 0;  // tag included
    std::uint32_t majorBytes = 0;
    bool hostTags = false;  // 配时精度 1: the host's tag layout

    bool Valid() const { return majorBytes != 0; }
    bool SameLayout(const PcmGeometry& o) const {
        return wordBits == o.wordBits && wordsPerMinor == o.wordsPerMinor &&
               minorsPerMajor == o.minorsPerMajor && tagBytes == o.tagBytes;
    }
};

// False for zero lengths, a word above 32 bits, tag bytes other than 0 or 8
// and a major frame larger than the store.
bool GeometryOf(const DemChannelDescriptor& d, PcmGeometry& out);

// What the window draws from: the frames in order, oldest first.
struct PcmSnapshot {
    PcmSnapshot();
    PcmGeometry geometry;
    std::uint32_t frames = 0;               // whole major frames in `bytes`
    std::uint64_t version = 0;              // of the store when taken
    std::uint64_t received = 0;             // whole major frames ever stored
    std::unique_ptr<std::uint8_t[]> bytes;  // kStoreBytes

    const std::uint8_t* Major(std::uint32_t i) const {
        return bytes.get() + std::size_t{i} * geometry.majorBytes;
    }
    std::uint32_t Minors() const { return frames * geometry.minorsPerMajor; }
    // Minor frame i of all, tag first.
    const std::uint8_t* Minor(std::uint32_t i) const {
        return bytes.get() + std::size_t{i} * geometry.minorBytes;
    }
};

class PcmFrameStore {
public:
    PcmFrameStore();
    PcmFrameStore(const PcmFrameStore&) = delete;
    PcmFrameStore& operator=(const PcmFrameStore&) = delete;

    // Any thread. A refused descriptor keeps the old geometry; a new layout
    // empties the store, since old bytes would be cut at the wrong places.
    bool SetGeometry(const DemChannelDescriptor& d);
    // Any thread. Appends bytes; a partial trailing major frame waits for the
    // next call. False without geometry, for null data or length 0.
    bool Append(const std::uint8_t* data, std::size_t length);
    // GUI thread. Copies the frames when the store changed since `out` was
    // taken; true when it did.
    bool Snapshot(PcmSnapshot& out) const;

    PcmGeometry Geometry() const;
    std::uint32_t Frames() const;
    std::size_t Pending() const;  // bytes of the partial frame

private:
    // Copies n whole major frames (at most the slot count) over the oldest.
    void Store(const std::uint8_t* frames, std::size_t n);

    mutable PcmSpinLock m_;
    // Guarded by m_.
    PcmGeometry g_;
    std::unique_ptr<std::uint8_t[]> ring_;   // slots of one major frame
    std::unique_ptr<std::uint8_t[]> carry_;  // the partial frame
    std::size_t carried_ = 0;
    std::uint32_t slots_ = 0, head_ = 0, count_ = 0;  // head_: the oldest
    std::uint64_t version_ = 1, received_ = 0;
};

}  // namespace pcmplot

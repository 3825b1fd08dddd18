#include <pcmplot/pcm_store.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace pcmplot {

bool GeometryOf(const DemChannelDescriptor& d, PcmGeometry& out) {
    if (d.字长 == 0 || d.字长 > kMaxWordBits || d.子帧长 == 0 || d.副帧长 == 0) return false;
    if (d.tagBytesPerMinorFrame != 0 && d.tagBytesPerMinorFrame != 8) return false;
    const std::uint64_t bytesPerWord = (d.字长 + 7) / 8;
    const std::uint64_t minor = std::uint64_t{d.子帧长} * bytesPerWord + d.tagBytesPerMinorFrame;
    if (minor > kStoreBytes) return false;
    const std::uint64_t major = minor * d.副帧长;
    if (major > kStoreBytes) return false;
    PcmGeometry g;
    g.wordBits = d.字长;
    g.wordsPerMinor = d.子帧长;
    g.minorsPerMajor = d.副帧长;
    g.tagBytes = d.tagBytesPerMinorFrame;
    g.bytesPerWord = static_cast<std::uint32_t>(bytesPerWord);
    g.minorBytes = static_cast<std::uint32_t>(minor);
    g.majorBytes = static_cast<std::uint32_t>(major);
    g.hostTags = g.tagBytes != 0 && d.配时精度 == 1;
    out = g;
    return true;
}

PcmSnapshot::PcmSnapshot() : bytes(new std::uint8_t[kStoreBytes]) {}

PcmFrameStore::PcmFrameStore()
    : ring_(new std::uint8_t[kStoreBytes]), carry_(new std::uint8_t[kStoreBytes]) {}

bool PcmFrameStore::SetGeometry(const DemChannelDescriptor& d) {
    PcmGeometry g;
    if (!GeometryOf(d, g)) return false;
    std::lock_guard lock(m_);
    if (!g_.SameLayout(g)) {
        carried_ = 0;
        head_ = count_ = 0;
        slots_ = static_cast<std::uint32_t>(kStoreBytes / g.majorBytes);
        received_ = 0;
    }
    g_ = g;
    ++version_;
    return true;
}

void PcmFrameStore::Store(const std::uint8_t* frames, std::size_t n) {
    // n <= slots_: runs up to the end of the ring, then from its start.
    const std::size_t m = g_.majorBytes;
    while (n != 0) {
        std::uint32_t write = head_ + count_;
        if (write >= slots_) write -= slots_;
        const std::uint32_t run =
            static_cast<std::uint32_t>(std::min<std::size_t>(n, slots_ - write));
        std::memcpy(ring_.get() + std::size_t{write} * m, frames, std::size_t{run} * m);
        const std::uint32_t total = count_ + run;
        if (total > slots_) {
            head_ += total - slots_;
            if (head_ >= slots_) head_ -= slots_;
            count_ = slots_;
        } else {
            count_ = total;
        }
        received_ += run;
        frames += std::size_t{run} * m;
        n -= run;
    }
}

bool PcmFrameStore::Append(const std::uint8_t* data, std::size_t length) {
    if (!data || length == 0) return false;
    std::lock_guard lock(m_);
    if (!g_.Valid()) return false;
    const std::size_t m = g_.majorBytes;
    const std::uint64_t before = received_;
    if (carried_ != 0) {
        const std::size_t take = std::min(m - carried_, length);
        std::memcpy(carry_.get() + carried_, data, take);
        carried_ += take;
        data += take;
        length -= take;
        if (carried_ == m) {
            Store(carry_.get(), 1);
            carried_ = 0;
        }
    }
    const std::size_t whole = length / m;
    // Frames that the newer ones of this call would overwrite are not copied.
    const std::size_t skip = whole > slots_ ? whole - slots_ : 0;
    Store(data + skip * m, whole - skip);
    received_ += skip;
    const std::size_t rest = length - whole * m;
    if (rest != 0) {
        std::memcpy(carry_.get(), data + whole * m, rest);
        carried_ = rest;
    }
    if (received_ != before) ++version_;
    return true;
}

bool PcmFrameStore::Snapshot(PcmSnapshot& out) const {
    std::lock_guard lock(m_);
    if (out.version == version_) return false;
    out.geometry = g_;
    out.frames = count_;
    out.version = version_;
    out.received = received_;
    if (count_ != 0) {
        const std::size_t m = g_.majorBytes;
        const std::uint32_t first = std::min(count_, slots_ - head_);
        std::memcpy(out.bytes.get(), ring_.get() + std::size_t{head_} * m, first * m);
        std::memcpy(out.bytes.get() + first * m, ring_.get(), (count_ - first) * m);
    }
    return true;
}

PcmGeometry PcmFrameStore::Geometry() const {
    std::lock_guard lock(m_);
    return g_;
}

std::uint32_t PcmFrameStore::Frames() const {
    std::lock_guard lock(m_);
    return count_;
}

std::size_t PcmFrameStore::Pending() const {
    std::lock_guard lock(m_);
    return carried_;
}

}  // namespace pcmplot

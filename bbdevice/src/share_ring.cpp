#include "share_ring.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/kernel_objects.h"

namespace bbdev {

namespace {

std::mutex g_counterLock;
std::uint32_t g_ringCounter = 0;  // guarded by g_counterLock

// A section of the same name may be held by another process using this
// library (each process counts from 1); such suffixes are skipped so that two
// processes never write into one ring.
constexpr int kNameProbes = 256;

}  // namespace

CShareRing::CShareRing() = default;

CShareRing::~CShareRing() {
    Release();
}

std::uint32_t CShareRing::LiveCount() {
    std::lock_guard lock(g_counterLock);
    return g_ringCounter;
}

bool CShareRing::Create(const std::string& baseName, std::size_t size) {
    Release();
    const std::size_t bytes = std::max(size, kMinBytes);
    std::uint32_t suffix;
    {
        std::lock_guard lock(g_counterLock);
        suffix = ++g_ringCounter;
    }
    for (int probe = 0; probe < kNameProbes; ++probe, ++suffix) {
        char tail[16];
        std::snprintf(tail, sizeof tail, "-%08X", static_cast<unsigned>(suffix));
        std::string name = baseName + tail;
        if (name.size() > kMaxNameBytes) break;
        bool existed = false;
        auto section = plat::SharedSection::Create(name, bytes, &existed);
        if (!section) break;
        if (existed) continue;
        section_ = std::move(section);
        data_ = static_cast<std::uint8_t*>(section_->data());
        capacity_ = section_->size();
        name_ = std::move(name);
        Reset(1);
        return true;
    }
    std::lock_guard lock(g_counterLock);
    --g_ringCounter;
    return false;
}

void CShareRing::Release() {
    if (!section_) return;
    section_.reset();
    data_ = nullptr;
    capacity_ = 0;
    name_.clear();
    Reset(1);
    std::lock_guard lock(g_counterLock);
    --g_ringCounter;
}

void CShareRing::Reset(std::uint32_t granule) {
    totalWritten_ = totalRead_ = writePos_ = readPos_ = 0;
    granule_ = granule != 0 ? granule : 1;
    hasData_ = false;
}

bool CShareRing::Write(std::span<const std::uint8_t> block) {
    if (!data_ || block.size() > capacity_) return false;
    const std::size_t n = block.size();
    const std::size_t first = std::min<std::uint64_t>(n, capacity_ - writePos_);
    std::memcpy(data_ + writePos_, block.data(), first);
    if (first < n) std::memcpy(data_, block.data() + first, n - first);
    writePos_ = (writePos_ + n) % capacity_;
    totalWritten_ += n;
    hasData_ = true;
    return true;
}

std::size_t CShareRing::Read(std::uint8_t* dst, std::size_t maxBytes) {
    if (!data_ || !hasData_) return 0;
    if (Pending() > capacity_) {
        // Fell behind: keep at most the newest capacity, starting on a granule
        // boundary of the stream so that frames stay whole.
        std::uint64_t skipTo = totalWritten_ - capacity_;
        skipTo = (skipTo + granule_ - 1) / granule_ * granule_;
        readPos_ = skipTo % capacity_;  // positions run in step with the totals
        lostBytes_ += skipTo - totalRead_;
        totalRead_ = skipTo;
    }
    std::uint64_t n = std::min<std::uint64_t>(Pending(), maxBytes);
    n -= n % granule_;
    if (n == 0) return 0;
    CopyOut(dst, static_cast<std::size_t>(n));
    readPos_ = (readPos_ + n) % capacity_;
    totalRead_ += n;
    return static_cast<std::size_t>(n);
}

void CShareRing::CopyOut(std::uint8_t* dst, std::size_t n) {
    const std::size_t first = std::min<std::uint64_t>(n, capacity_ - readPos_);
    std::memcpy(dst, data_ + readPos_, first);
    if (first < n) std::memcpy(dst + first, data_, n - first);
}

}  // namespace bbdev

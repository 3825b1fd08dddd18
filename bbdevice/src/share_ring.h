// A byte ring in a named shared-memory section. One writer and one reader,
// serialised by the caller (the data channel's lock). When the reader falls
// more than a capacity behind, the oldest bytes are lost and reading resumes
// at the newest whole granule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace plat {
class SharedSection;
}

namespace bbdev {

class CShareRing {
public:
    static constexpr std::size_t kMinBytes = 8388608;
    static constexpr std::size_t kOpenBytes = 16777216;  // what a card open asks for
    static constexpr std::size_t kMaxNameBytes = 1024;

    CShareRing();
    ~CShareRing();
    CShareRing(const CShareRing&) = delete;
    CShareRing& operator=(const CShareRing&) = delete;

    // Creates the section "<baseName>-%08X" of max(size, kMinBytes) bytes.
    bool Create(const std::string& baseName, std::size_t size);
    void Release();
    bool IsCreated() const { return data_ != nullptr; }

    // A block longer than the capacity is dropped (false).
    bool Write(std::span<const std::uint8_t> block);
    // Copies at most maxBytes, rounded down to whole granules; returns the count.
    std::size_t Read(std::uint8_t* dst, std::size_t maxBytes);
    // Counters and positions to 0 and a new granule; the bytes stay.
    void Reset(std::uint32_t granule);

    const std::string& Name() const { return name_; }
    std::uint64_t Capacity() const { return capacity_; }
    std::uint64_t TotalWritten() const { return totalWritten_; }
    std::uint64_t TotalRead() const { return totalRead_; }
    std::uint64_t Pending() const { return totalWritten_ - totalRead_; }
    std::uint32_t Granule() const { return granule_; }
    // Bytes skipped because the reader fell behind, since creation; a reset
    // keeps the count.
    std::uint64_t LostBytes() const { return lostBytes_; }

    // Rings alive in this process; the next ring takes this count + 1 as suffix.
    static std::uint32_t LiveCount();

private:
    void CopyOut(std::uint8_t* dst, std::size_t n);

    std::unique_ptr<plat::SharedSection> section_;
    std::uint8_t* data_ = nullptr;
    std::string name_;
    std::uint64_t capacity_ = 0;
    std::uint64_t totalWritten_ = 0;
    std::uint64_t totalRead_ = 0;
    std::uint64_t writePos_ = 0;
    std::uint64_t readPos_ = 0;
    std::uint32_t granule_ = 1;
    bool hasData_ = false;
    std::uint64_t lostBytes_ = 0;
};

}  // namespace bbdev

#include <stats/bit_error_lists.h>
#include <stats/bit_error_measurement.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace stats {
namespace {

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Error bits of one group: whole 8-byte words first, the rest byte by byte.
std::uint64_t GroupErrors(const std::uint8_t* rx, const std::uint8_t* st, const std::uint8_t* mask,
                          std::size_t bytes) {
    std::uint64_t e0 = 0, e1 = 0, e2 = 0, e3 = 0;
    std::size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        e0 += std::popcount((Load64(rx + i) ^ Load64(st + i)) & Load64(mask + i));
        e1 += std::popcount((Load64(rx + i + 8) ^ Load64(st + i + 8)) & Load64(mask + i + 8));
        e2 += std::popcount((Load64(rx + i + 16) ^ Load64(st + i + 16)) & Load64(mask + i + 16));
        e3 += std::popcount((Load64(rx + i + 24) ^ Load64(st + i + 24)) & Load64(mask + i + 24));
    }
    for (; i + 8 <= bytes; i += 8)
        e0 += std::popcount((Load64(rx + i) ^ Load64(st + i)) & Load64(mask + i));
    for (; i < bytes; ++i) e0 += std::popcount(unsigned((rx[i] ^ st[i]) & mask[i]));
    return e0 + e1 + e2 + e3;
}

}  // namespace

std::vector<std::uint8_t> BuildGroupMask(const datapath::DataGeometry& g,
                                         std::span<const int> excludedBytes) {
    const std::uint64_t b = g.wordBytes, w = g.subframeWords, n = g.superframeLength;
    const std::uint64_t dataBytes = w * b;  // per record
    const std::uint64_t record = dataBytes + datapath::kTimeTagBytes;
    if (b == 0 || w == 0 || n == 0 || dataBytes > kMaxComparedGroup ||
        record * n > kMaxComparedGroup)
        return {};
    const std::size_t group = std::size_t(record * n);
    // The word's high byte holds only the bits above the other bytes; what
    // lies above the word length is padding.
    const std::uint64_t highBits = g.wordBits - 8 * (b - 1);
    const std::uint8_t high = std::uint8_t(highBits >= 8 ? 0xFF : (1u << highBits) - 1);
    std::vector<std::uint8_t> mask((group + 7) / 8 * 8, 0);
    for (std::size_t r = 0; r < n; ++r) {
        std::uint8_t* data = mask.data() + r * record + datapath::kTimeTagBytes;
        for (std::size_t k = 0; k < dataBytes; ++k) data[k] = k % b == 0 ? high : 0xFF;
    }
    for (int e : excludedBytes) {
        if (e < 1 || std::uint64_t(e) > dataBytes * n) continue;
        const std::uint64_t i = std::uint64_t(e) - 1;
        mask[i / dataBytes * record + i % dataBytes + datapath::kTimeTagBytes] = 0;
    }
    return mask;
}

void BitErrorMeasurement::SetExclusionList(std::vector<int> bytes) {
    NormaliseList(bytes);
    const std::lock_guard lock(lock_);
    list_.swap(bytes);
}

std::vector<int> BitErrorMeasurement::ExclusionList() const {
    const std::lock_guard lock(lock_);
    return list_;
}

void BitErrorMeasurement::Start(const datapath::DataGeometry& g) {
    const std::lock_guard lock(lock_);
    mask_ = BuildGroupMask(g, list_);
    groupBytes_ = mask_.empty()
                      ? 0
                      : (std::size_t{g.subframeWords} * g.wordBytes + datapath::kTimeTagBytes) *
                            g.superframeLength;
    bitsPerGroup_ = 0;
    for (std::size_t i = 0; i < groupBytes_; ++i)
        bitsPerGroup_ += std::uint64_t(std::popcount(unsigned(mask_[i])));
    groupsPerRun_ = groupBytes_ == 0 ? 1 : std::max<std::size_t>(1, kRunBytes / groupBytes_);
    if (groupsPerRun_ > 1) {
        std::vector<std::uint8_t> run((groupBytes_ * groupsPerRun_ + 7) / 8 * 8, 0);
        for (std::size_t k = 0; k < groupsPerRun_; ++k)
            std::memcpy(run.data() + k * groupBytes_, mask_.data(), groupBytes_);
        mask_.swap(run);
    }
    runStandard_.assign(groupsPerRun_ > 1 ? groupBytes_ * groupsPerRun_ : 0, 0);
    runStandardFilled_ = false;
    lastCompared_ = Now();
    running_.store(true);
}

void BitErrorMeasurement::Stop() {
    const std::lock_guard lock(lock_);
    running_.store(false);
    ClearCounts();
}

void BitErrorMeasurement::Reset() {
    const std::lock_guard lock(lock_);
    ClearCounts();
}

void BitErrorMeasurement::ClearCounts() {
    compared_.store(0);
    errors_.store(0);
    rate_.store(0.0);
}

void BitErrorMeasurement::Compare(const std::uint8_t* data, std::size_t length,
                                  std::span<const std::uint8_t> standard, std::size_t groupBytes) {
    const std::lock_guard lock(lock_);
    if (!running_.load() || !data || groupBytes_ == 0 || groupBytes != groupBytes_ ||
        standard.size() != groupBytes_)
        return;
    const std::size_t groups = length / groupBytes_;
    if (groups > 0) lastCompared_ = Now();
    std::uint64_t errors = 0;
    std::size_t i = 0;
    if (groupsPerRun_ > 1) {
        // A new capture may have replaced the standard frame.
        if (!runStandardFilled_ ||
            std::memcmp(runStandard_.data(), standard.data(), groupBytes_) != 0) {
            runStandardFilled_ = true;
            for (std::size_t k = 0; k < groupsPerRun_; ++k)
                std::memcpy(runStandard_.data() + k * groupBytes_, standard.data(), groupBytes_);
        }
        const std::size_t run = groupBytes_ * groupsPerRun_;
        for (; i + groupsPerRun_ <= groups; i += groupsPerRun_)
            errors += GroupErrors(data + i * groupBytes_, runStandard_.data(), mask_.data(), run);
    }
    for (; i < groups; ++i)
        errors += GroupErrors(data + i * groupBytes_, standard.data(), mask_.data(), groupBytes_);
    const std::uint64_t e = errors_.load() + errors;
    const std::uint64_t c = compared_.load() + groups * bitsPerGroup_;
    errors_.store(e);
    compared_.store(c);
    rate_.store(c == 0 ? 0.0 : double(e) / double(c));
}

BitErrorReadout BitErrorMeasurement::Readout() const {
    const std::lock_guard lock(lock_);
    const bool running = running_.load();
    return {running, compared_.load(), errors_.load(), rate_.load(),
            running && Now() - lastCompared_ >= kIdleLimit};
}

std::uint64_t BitErrorMeasurement::ComparedBitsPerGroup() const {
    const std::lock_guard lock(lock_);
    return bitsPerGroup_;
}

}  // namespace stats

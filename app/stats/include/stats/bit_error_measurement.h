// The bit-error measurement: every frame group of a block is compared with
// the standard frame through a per-group mask, and the differing bits are
// counted. The mask is built at start from the exclusion list: 0 for the
// record headers and the excluded bytes, the word's own bits for every
// compared byte, so a group's compared bits are the mask's 1 bits.
//
// Threads: Compare runs on the data path's thread; start, stop, the list
// swap and reset on the user-interface thread. One lock is held by each of
// them, so a stop never meets a block half counted. The counters are also
// kept in atomics for the status view.
#pragma once

#include <datapath/frame_geometry.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

namespace stats {

// The largest frame group that is compared (the data path's standard frame
// holds no more).
inline constexpr std::size_t kMaxComparedGroup = 8388608;

// The per-group mask for a frame of `g`: excluded byte numbers beyond the
// group's data bytes are ignored. Empty when the group is empty or larger
// than kMaxComparedGroup.
std::vector<std::uint8_t> BuildGroupMask(const datapath::DataGeometry& g,
                                         std::span<const int> excludedBytes);

struct BitErrorReadout {
    bool running = false;
    std::uint64_t comparedBits = 0;
    std::uint64_t errorBits = 0;
    double errorRate = 0;  // 0 before any compared bit
    // Running, yet no group was compared for kIdleLimit: the rate says
    // nothing about the data now arriving.
    bool idle = false;
};

class BitErrorMeasurement {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kIdleLimit = std::chrono::seconds(1);

    // `now` stands in for the steady clock (tests); empty takes the clock.
    explicit BitErrorMeasurement(std::function<Clock::time_point()> now = {})
        : now_(std::move(now)) {}
    BitErrorMeasurement(const BitErrorMeasurement&) = delete;
    BitErrorMeasurement& operator=(const BitErrorMeasurement&) = delete;

    // Replaces the exclusion list (sorted, repeats removed). A running
    // measurement keeps the mask it started with.
    void SetExclusionList(std::vector<int> bytes);
    std::vector<int> ExclusionList() const;

    // Builds the mask for `g` and runs from the counts as they are.
    void Start(const datapath::DataGeometry& g);
    // Stops and sets the counts and the rate to 0.
    void Stop();
    // Sets the counts and the rate to 0 and keeps running or not.
    void Reset();

    // One block: its whole frame groups compared with `standard`. Nothing is
    // compared unless the measurement runs and the standard frame, the mask
    // and the block's group (`groupBytes` = N·R of the block) have one size.
    void Compare(const std::uint8_t* data, std::size_t length,
                 std::span<const std::uint8_t> standard, std::size_t groupBytes);

    bool Running() const { return running_.load(); }
    std::uint64_t ComparedBits() const { return compared_.load(); }
    std::uint64_t ErrorBits() const { return errors_.load(); }
    double ErrorRate() const { return rate_.load(); }
    // The three values of one moment.
    BitErrorReadout Readout() const;
    // Compared bits of one group under the mask in force.
    std::uint64_t ComparedBitsPerGroup() const;

private:
    void ClearCounts();  // lock held
    Clock::time_point Now() const { return now_ ? now_() : Clock::now(); }

    std::function<Clock::time_point()> now_;
    // Start, or the last block that compared a group; guarded by lock_.
    Clock::time_point lastCompared_{};

    mutable std::mutex lock_;
    std::vector<int> list_;  // guarded by lock_
    // Small groups are compared several at a time, so that the inner loop
    // runs long: the mask holds groupsPerRun_ copies of the group's mask
    // (padded to whole 8-byte words), runStandard_ as many copies of the
    // standard frame, refilled when that changes. All guarded by lock_.
    std::vector<std::uint8_t> mask_;
    std::vector<std::uint8_t> runStandard_;
    std::size_t groupBytes_ = 0;
    std::size_t groupsPerRun_ = 1;
    bool runStandardFilled_ = false;
    static constexpr std::size_t kRunBytes = 4096;
    std::uint64_t bitsPerGroup_ = 0;
    std::atomic<bool> running_{false};  // written under lock_
    std::atomic<std::uint64_t> compared_{0};
    std::atomic<std::uint64_t> errors_{0};
    std::atomic<double> rate_{0.0};
};

}  // namespace stats

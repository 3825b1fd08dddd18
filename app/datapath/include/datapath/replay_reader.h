// The software replay of a recorded file as the replay-feed thread sees it.
// Recording and replay provide the implementation; the feed calls it on the
// replay-feed thread once per 10 ms tick while a software replay runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace datapath {

class SoftwareReplayReader {
public:
    virtual ~SoftwareReplayReader() = default;
    // Asks for the replay to continue at `startRecord` (any thread). The
    // latest request wins; the feed takes it at its next tick.
    void RequestSeek(std::uint64_t startRecord) { pendingSeek_.store(startRecord); }
    // Moves to the position chosen with the status view's replay controls,
    // when one is pending (TakePendingSeek).
    virtual void ApplyPendingSeek() = 0;
    // Position in the file as a fraction; 1.0 at its end.
    virtual double Progress() = 0;
    // Reads the next block into `into` (up to `capacity` bytes); its length.
    virtual std::size_t ReadNextBlock(std::uint8_t* into, std::size_t capacity) = 0;
    // The file has been played to its end.
    virtual void StopReplay() = 0;

protected:
    // The record asked for since the last call, if any.
    bool TakePendingSeek(std::uint64_t& startRecord) {
        const std::uint64_t r = pendingSeek_.exchange(kNoSeek);
        if (r == kNoSeek) return false;
        startRecord = r;
        return true;
    }

private:
    static constexpr std::uint64_t kNoSeek = ~std::uint64_t{0};
    std::atomic<std::uint64_t> pendingSeek_{kNoSeek};
};

}  // namespace datapath

// The software replay of a recorded file as the replay-feed thread sees it.
// Recording and replay provide the implementation; the feed calls it on the
// replay-feed thread once per 10 ms tick while a software replay runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace datapath {

class SoftwareReplayReader {
public:
    virtual ~SoftwareReplayReader() = default;
    // Moves to the position chosen with the status view's replay controls,
    // when one is pending.
    virtual void ApplyPendingSeek() = 0;
    // Position in the file as a fraction; 1.0 at its end.
    virtual double Progress() = 0;
    // Reads the next block into `into` (up to `capacity` bytes); its length.
    virtual std::size_t ReadNextBlock(std::uint8_t* into, std::size_t capacity) = 0;
    // The file has been played to its end.
    virtual void StopReplay() = 0;
};

}  // namespace datapath

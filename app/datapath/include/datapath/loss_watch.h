// Frames the station had to drop because it could not keep up, by the place
// they were dropped: the device library's ring (the data thread fell more
// than the ring behind) and the telemetry send buffer (the sender fell
// behind). Read once per status tick; each episode of drops at a place is
// noted once, when it begins: it ends with a tick that saw no new drop there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace datapath {

struct LossCounts {
    std::uint64_t ringBytes = 0;  // BB_GetDemLostBytes
    bool ringKnown = false;       // false while no card is open: nothing new
    std::uint64_t sendBytes = 0;  // DataPath::sendDroppedBytes
};

class LossWatch {
public:
    // Takes a reading; `note` gets the journal line of every episode that
    // begins at it.
    void Update(const LossCounts& now, std::size_t subframeRecord,
                const std::function<void(const std::string&)>& note);

    // Frames lost so far at each place (a partial frame counts as one).
    std::uint64_t RingLostFrames() const { return ringFrames_; }
    std::uint64_t SendDroppedFrames() const { return sendFrames_; }

private:
    LossCounts last_;
    bool ringEpisode_ = false, sendEpisode_ = false;
    std::uint64_t ringFrames_ = 0, sendFrames_ = 0;
};

}  // namespace datapath

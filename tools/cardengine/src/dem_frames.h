// PCM minor frames as a card's demodulator delivers them: each minor frame
// preceded by its 8-byte card time tag, the sync code at its position, the
// sub-frame word, frame counters, a sine word and signal words, laid out by
// the last demodulator record and filled as the signal-source record says.
#pragma once

#include <bbdevice/dev_records.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace cardengine {

class GnssStream;

// Faults for the checks of the data path; 0 switches a fault off.
struct DemFaults {
    std::uint64_t counterJumpEvery = 0;  // every Nth minor frame the counter jumps ahead
    std::uint32_t counterJumpBy = 5;
    std::uint64_t dropEvery = 0;    // every Nth minor frame is not sent
    std::uint64_t tagGapEvery = 0;  // every Nth time tag lies tagGapUs later
    std::uint32_t tagGapUs = 10000;
    std::uint64_t bitErrorEvery = 0;  // every Nth minor frame has one bit flipped
    // Every Nth minor frame carries the ID of the minor frame after it; its
    // tag keeps its own index.
    std::uint64_t idFaultEvery = 0;
    // Signal words keep 信号初值 and the sine word stays put, so that frames
    // repeat but for their counters (a standard frame for bit-error tests).
    bool steady = false;
};

struct DemLayout {
    std::uint32_t wordBits = 0, wordBytes = 0, words = 0, minors = 0;
    std::size_t taggedMinorBytes = 0;
    double minorDurationUs = 0;
    bool valid = false;
};
DemLayout LayoutOf(const DemParam& dem);

// The card's 8-byte time tag of a minor frame: 0.1 ms, seconds, minutes,
// hours in BCD, the day of the year, the sub-frame index. `us` counts from
// day 0, 00:00.
void WriteCardTag(std::uint8_t* tag, double us, std::uint32_t index);

class DemFrameGenerator {
public:
    // Starts a new stream: counters at 0, the card clock at startUs
    // (microseconds since day 0, 00:00 of the day-of-year count).
    void Configure(const DemParam& dem, const SimParam& sim, double startUs,
                   const DemFaults& faults = {});
    const DemLayout& Layout() const { return layout_; }

    // Appends whole tagged minor frames to out, at most maxFrames and while
    // they fit in maxBytes; returns the frames generated (dropped ones
    // included, so that pacing stays on the bit clock).
    std::size_t Generate(std::uint8_t* out, std::size_t maxBytes, std::size_t maxFrames,
                         std::size_t* bytesWritten);
    std::uint64_t FramesGenerated() const { return frame_; }

    // Rewrites the frame-counter words of one tagged minor frame (for frames
    // generated once and sent many times).
    void StampCounter(std::uint8_t* taggedMinor, std::uint64_t counter) const;
    // A satellite-navigation stream written into every generated minor frame
    // (nullptr: none). It outlives the generation.
    void SetGnss(GnssStream* stream) { gnss_ = stream; }

private:
    enum class Role : std::uint8_t {
        Signal,
        Sync,
        SubFrame,
        CounterLow,
        CounterMid,
        CounterHigh,
        Sine
    };
    void BuildRoles();
    void PutWord(std::uint8_t* at, std::uint64_t value) const;
    std::uint64_t SignalWord();

    DemParam dem_{};
    SimParam sim_{};
    DemFaults faults_{};
    DemLayout layout_{};
    std::vector<Role> roles_;          // one per word of a minor frame
    std::vector<std::uint64_t> sync_;  // sync word values where roles_ is Sync
    std::vector<std::pair<std::uint32_t, Role>> counterWords_;  // word index, which part
    std::uint64_t mask_ = 0;
    std::uint64_t frame_ = 0;    // minor frames generated
    std::uint64_t counter_ = 0;  // frame-counter value of the next frame
    double startUs_ = 0;
    double gapUs_ = 0;
    std::uint64_t stair_ = 0;
    std::uint32_t random_ = 0x9E3779B9u;
    GnssStream* gnss_ = nullptr;
};

}  // namespace cardengine

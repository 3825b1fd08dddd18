// Frame geometry of a data channel, derived from the demodulator record.
#pragma once

#include <cstdint>

#include "bbdevice/dem_report.h"

struct DemParam;

namespace bbdev {

struct DemFrameGeometry {
    std::uint32_t bytesPerWord = 0;
    std::uint64_t minorBytes = 0;        // words of one minor frame
    std::uint64_t taggedMinorBytes = 0;  // minor frame with its 8-byte time tag
    std::uint64_t majorWords = 0;
    std::uint64_t taggedMajorBytes = 0;
    std::uint64_t granule = 0;    // whole tagged major frames, see below
    std::uint64_t threshold = 0;  // pending bytes that wake the report thread
    double minorDurationMs = 0;
    double tagStepUs = 0;
    bool valid = false;  // false when a major frame cannot fit one report block
};

inline constexpr std::uint32_t kTimeTagBytes = 8;

DemFrameGeometry ComputeDemGeometry(const DemParam& p);

// The descriptor word set a channel hands out with every block.
DemChannelDescriptor MakeDemDescriptor(const DemParam& p, const DemFrameGeometry& g,
                                       std::uint32_t cardIndex, std::uint32_t channel);

}  // namespace bbdev

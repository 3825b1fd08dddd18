// Command-line switches of the demodulator frame generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dem_frames.h"
#include "gnss_stream.h"

namespace cardengine {

struct DemFrameOptions {
    bool fullSpeed = false;        // pre-generated frames as fast as the link takes them
    std::uint64_t frames = 0;      // stop after this many minor frames and flush; 0: endless
    unsigned settleMs = 50;        // pause between a demodulator record and its first frame
    std::size_t messageBytes = 0;  // payload per data message; 0: about 1 ms of frames
    double fullSpeedMbps = 0;      // with fullSpeed: cap on the sent rate; 0: none
    DemFaults faults;
    GnssStreamOptions gnss;  // receiver stream in the minor frames
};

extern const char kDemFrameUsage[];

// Switches without a value; true when arg is one of them.
bool ParseDemFrameFlag(std::string_view arg, DemFrameOptions& o);
// Switches with a value; true when arg is one of them (ok tells if the value was good).
bool ParseDemFrameOption(std::string_view arg, const char* value, DemFrameOptions& o, bool& ok);

}  // namespace cardengine

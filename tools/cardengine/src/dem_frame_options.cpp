#include "dem_frame_options.h"

#include <cstdlib>

namespace cardengine {

const char kDemFrameUsage[] =
    "  --full-speed                demodulator frames pre-generated, sent as fast as possible\n"
    "  --dem-steady                signal words stay at 信号初值, the sine word constant\n"
    "  --dem-rate-mbps N           with --full-speed: send at most N Mbit/s\n"
    "  --dem-frames N              stop after N minor frames and send a flush\n"
    "  --dem-settle-ms N           pause after a demodulator record (default 50)\n"
    "  --dem-message-bytes N       payload of one data message (default: ~1 ms of frames)\n"
    "  --dem-counter-jump N        every Nth minor frame the frame counter jumps\n"
    "  --dem-counter-jump-by N     size of that jump (default 5)\n"
    "  --dem-drop N                drop every Nth minor frame\n"
    "  --dem-tag-gap N             every Nth time tag lies later by the gap\n"
    "  --dem-tag-gap-us N          size of that gap (default 10000)\n"
    "  --dem-bit-error N           flip one bit in every Nth minor frame\n"
    "  --dem-id-fault N            every Nth minor frame carries the next minor frame's ID\n";

namespace {

bool Count(const char* text, std::uint64_t& out) {
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || v < 0) return false;
    out = static_cast<std::uint64_t>(v);
    return true;
}

}  // namespace

bool ParseDemFrameFlag(std::string_view arg, DemFrameOptions& o) {
    if (arg == "--full-speed") {
        o.fullSpeed = true;
        return true;
    }
    if (arg == "--dem-steady") {
        o.faults.steady = true;
        return true;
    }
    return false;
}

bool ParseDemFrameOption(std::string_view arg, const char* value, DemFrameOptions& o, bool& ok) {
    if (ParseGnssOption(arg, value, o.gnss, ok)) return true;
    std::uint64_t n = 0;
    ok = Count(value, n);
    if (arg == "--dem-frames")
        o.frames = n;
    else if (arg == "--dem-settle-ms")
        o.settleMs = static_cast<unsigned>(n);
    else if (arg == "--dem-rate-mbps")
        o.fullSpeedMbps = double(n);
    else if (arg == "--dem-message-bytes") {
        ok = ok && n >= 1 && n <= (1u << 20);
        o.messageBytes = static_cast<std::size_t>(n);
    } else if (arg == "--dem-counter-jump")
        o.faults.counterJumpEvery = n;
    else if (arg == "--dem-counter-jump-by")
        o.faults.counterJumpBy = static_cast<std::uint32_t>(n);
    else if (arg == "--dem-drop")
        o.faults.dropEvery = n;
    else if (arg == "--dem-tag-gap")
        o.faults.tagGapEvery = n;
    else if (arg == "--dem-tag-gap-us")
        o.faults.tagGapUs = static_cast<std::uint32_t>(n);
    else if (arg == "--dem-bit-error")
        o.faults.bitErrorEvery = n;
    else if (arg == "--dem-id-fault")
        o.faults.idFaultEvery = n;
    else
        return false;
    return true;
}

}  // namespace cardengine

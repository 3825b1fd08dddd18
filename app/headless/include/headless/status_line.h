// The headless run's one-line status (each second) and its exit summary:
// blank-separated key=value fields, so a script or a test reads them with a
// split. A check that does not run shows "off".
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace headless {

struct StatusSample {
    std::uint64_t seconds = 0;  // since start
    bool bitSync = false, subframeSync = false, superframeSync = false;
    int syncLoss = 0;
    unsigned dayOfYear = 0;
    std::uint64_t framesPerSecond = 0;  // sub-frame records in the last second
    std::uint64_t recordedBytes = 0;
    std::uint64_t packetsSent = 0;
    // Frame-count, ID-count and time-continuity jumps; empty while off.
    std::array<std::optional<int>, 3> jumps{};
    // Frames dropped so far because the data thread fell behind the card's
    // ring, and because the telemetry send buffer was full.
    std::uint64_t ringLostFrames = 0;
    std::uint64_t sendDroppedFrames = 0;
    // The card's engine link: "up", "down" (the values above are then not
    // the card's) or "closed" (no card open).
    const char* link = "closed";
};

// "status t=.. bit=.. sub=.. super=.. sync_loss=.. day=.. frames_per_s=..
// recorded_bytes=.. packets_sent=.. frame_jumps=.. id_jumps=.. time_jumps=..
// ring_lost=.. send_dropped=.. link=.."
std::string FormatStatusLine(const StatusSample& s);

struct RunSummary {
    std::uint64_t seconds = 0;
    std::uint64_t frames = 0;  // sub-frame records received
    std::uint64_t recordedBytes = 0;
    std::uint64_t packetsSent = 0;
    std::string recordingFile;  // "" when nothing was recorded
    std::array<std::optional<int>, 3> jumps{};
    std::uint64_t ringLostFrames = 0;
    std::uint64_t sendDroppedFrames = 0;
    const char* link = "closed";   // at the end of the run
    std::uint64_t linkLosses = 0;  // times the link went down
};

// "summary seconds=.. frames=.. recorded_bytes=.. packets_sent=.. frame_jumps=..
// id_jumps=.. time_jumps=.. ring_lost=.. send_dropped=.. link=.. link_losses=..
// recording=<path or ->"
std::string FormatSummary(const RunSummary& s);

// The fields of a status or summary line by key; empty when `line` does not
// start with `kind` or a field is not key=value.
std::optional<std::map<std::string, std::string>> ParseFields(const std::string& line,
                                                              const std::string& kind);

}  // namespace headless

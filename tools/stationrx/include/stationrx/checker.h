// The checks a station computer makes on every datagram the program sends:
// header fields, the status word, the link-monitor layout, whole records with
// sane headers, a frame counter continuous across records and packets, and
// sequence gaps, duplicates, late arrivals and delays per BID. A pure
// function of the bytes and the receive time, so that tests feed it directly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace stationrx {

struct CheckerOptions {
    std::uint32_t telemetryBid = 0x00110101u;
    std::uint32_t linkBid = 0x00020101u;
    std::size_t recordBytes = 0;  // 0: records are not checked
    std::uint32_t subframes = 1;  // sub-frame indexes must stay below this
    // Frame counter: `counterBytes` bytes, high byte first, starting at byte
    // `counterPos` (1 = the first byte after the record's 8-byte header).
    std::size_t counterPos = 0;  // 0: not checked
    std::size_t counterBytes = 0;
    double lateMs = 20.0;
};

enum class Kind { Telemetry, LinkMonitor, Gnss, Malformed };

struct Counts {
    std::uint64_t telemetry = 0, linkMonitor = 0, gnss = 0, malformed = 0;
    std::uint64_t lost = 0, duplicates = 0, reordered = 0, delayed = 0;
    std::uint64_t records = 0, counterBreaks = 0;
};

// Sums the counts of several sockets.
Counts& operator+=(Counts& a, const Counts& b);

struct Verdict {
    Kind kind = Kind::Malformed;
    const char* problem = nullptr;  // set for Malformed
};

// A receive time as the header states a sending time: the day number and
// the time of day in 0.1 ms.
struct StationTime {
    std::uint32_t dayNumber = 0;
    std::uint32_t timeOfDay = 0;
};
StationTime StationTimeNow();

class StationChecker {
public:
    explicit StationChecker(const CheckerOptions& o) : opt_(o) {}

    // A datagram from the telemetry group or the unicast port.
    Verdict CheckStation(std::span<const std::uint8_t> d, StationTime received);
    // A datagram from the GNSS group.
    Verdict CheckGnss(std::span<const std::uint8_t> d);

    const Counts& Totals() const { return counts_; }
    // Longitude, latitude, height of the last good GNSS packet; false before one.
    bool LastGnss(double out[3]) const {
        for (int i = 0; i < 3; ++i) out[i] = lastGnss_[i];
        return counts_.gnss != 0;
    }

private:
    struct Sequence {
        bool started = false;
        std::uint32_t next = 0;
        std::array<std::uint32_t, 1024> seen{};  // seq + 1 at seq % 1024
    };
    void TrackSequence(std::uint32_t bid, std::uint32_t seq);
    double lastGnss_[3] = {0, 0, 0};
    const char* CheckRecords(std::span<const std::uint8_t> records);

    CheckerOptions opt_;
    Counts counts_;
    std::map<std::uint32_t, Sequence> sequences_;
    bool counterStarted_ = false;
    std::uint64_t nextCounter_ = 0;
};

// One line of counts, and the same as a JSON object.
std::string CountsLine(const Counts& c);
std::string CountsJson(const Counts& c);

}  // namespace stationrx

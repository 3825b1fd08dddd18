// What the frame hands the status view on each refresh besides the card's own
// state: the network packets, the recording sizes, the output lamps, the
// bit-error counters and the statistics texts. The frame fills it, the view
// only formats it. Groups whose producer is absent stay empty.
#pragma once

#include <cstdint>
#include <optional>

#include "status_texts.h"

namespace mainframe {

// The header fields of a network packet that the view shows.
struct PacketHeaderFields {
    bool present = false;
    std::uint32_t version = 0;
    std::uint32_t source = 0;
    std::uint32_t destination = 0;
    std::uint32_t dayNumber = 0;
    std::uint32_t timeOfDay = 0;  // 0.1 ms
    std::uint32_t sequence = 0;
};

// A packet received: its header, the sender and the 4-byte time after the
// header (0.1 ms, on the header's day).
struct ReceivedPacketFields {
    PacketHeaderFields header;
    char senderAddress[16] = {};
    std::uint32_t dataTime = 0;
};

struct StatusSnapshot {
    // Network packets.
    ReceivedPacketFields linkMonitorReceived;
    ReceivedPacketFields liftOffReceived;
    PacketHeaderFields telemetrySent;
    bool linkMonitorSent = false;
    std::uint32_t linkMonitorSentSequence = 0;

    // Recording sizes (bytes, header not counted).
    double beforeDecryptionBytes = 0;
    double sentDataBytes = 0;
    // Frames dropped because the data thread fell behind the card's ring,
    // and because the telemetry send buffer was full.
    std::uint64_t ringLostFrames = 0;
    std::uint64_t sendDroppedFrames = 0;

    // Output lamps: endpoint ready, and output switched on.
    bool broadcastReady = false;
    bool gnssMulticastReady = false;
    bool telemetryReady = false;
    bool broadcastOn = false;
    bool gnssMulticastOn = false;
    bool telemetryOn = false;
    bool monitoringLink = false;

    // Bit-error measurement.
    bool bitErrorRunning = false;
    bool bitErrorShowCount = false;  // error bits rather than the rate
    double comparedBits = 0;
    double errorBits = 0;
    bool bitErrorIdle = false;  // running, but nothing compared for a second

    // Statistics: each text is set while its check runs.
    struct Statistics {
        std::optional<StatusText> frameCount;
        std::optional<StatusText> idCount;
        std::optional<StatusText> timeContinuity;
    } statistics;
};

}  // namespace mainframe

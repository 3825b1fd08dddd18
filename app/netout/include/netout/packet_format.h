// The station's UDP packets: the 32-byte packet header, the telemetry packet
// with its status word and rewritten record headers, the 36-byte link-monitor
// packet, the 27-byte GNSS position packet, and the parser of the packets
// other stations send us. Every field is written and read little-endian at
// its named offset; nothing overlays a struct on the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace netout {

// Header field offsets.
inline constexpr std::size_t kOffVersion = 0;     // u8
inline constexpr std::size_t kOffTaskFlag = 1;    // u16
inline constexpr std::size_t kOffSource = 3;      // u32
inline constexpr std::size_t kOffDest = 7;        // u32
inline constexpr std::size_t kOffBid = 11;        // u32
inline constexpr std::size_t kOffSequence = 15;   // u32
inline constexpr std::size_t kOffReserved = 19;   // u8 + u32, zero
inline constexpr std::size_t kOffDayNumber = 24;  // u16
inline constexpr std::size_t kOffTimeOfDay = 26;  // u32, 0.1 ms
inline constexpr std::size_t kOffLength = 30;     // u16, bytes after the header

inline constexpr std::size_t kHeaderBytes = 32;
inline constexpr std::size_t kDataHeadBytes = 4;  // status word + record count
inline constexpr std::size_t kLinkMonitorBytes = 36;
inline constexpr std::size_t kGnssPacketBytes = 27;
inline constexpr std::size_t kRecordHeaderBytes = 8;
// The largest UDP payload over IPv4, and the record bytes a telemetry packet
// may carry within it.
inline constexpr std::size_t kMaxUdpPayload = 65507;
inline constexpr std::size_t kMaxTelemetryRecordBytes =
    kMaxUdpPayload - kHeaderBytes - kDataHeadBytes;  // 65,471

// BIDs of the packets received from other stations (fixed values).
inline constexpr std::uint32_t kReceivedLinkMonitorBid = 0x00020101u;
inline constexpr std::uint32_t kReceivedLiftOffBid = 0x00010101u;

inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
inline std::uint16_t GetU16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// What the operator sets for the header ("发送参数设置").
struct HeaderSettings {
    std::uint8_t version = 128;
    std::uint16_t taskFlag = 8080;
    std::uint32_t source = 0x80000307u;
    std::uint32_t destination = 0x80000307u;
    std::uint32_t linkMonitorBid = 0x00020101u;
    std::uint32_t telemetryBid = 0x00110101u;
    int streamNo = 1;
    int packetFactor = 5;  // K
};

// The values of one header as written.
struct PacketHeader {
    std::uint8_t version = 0;
    std::uint16_t taskFlag = 0;
    std::uint32_t source = 0;
    std::uint32_t destination = 0;
    std::uint32_t bid = 0;
    std::uint32_t sequence = 0;
    std::uint16_t dayNumber = 0;
    std::uint32_t timeOfDay = 0;  // 0.1 ms
    std::uint16_t length = 0;
};

void WriteHeader(std::uint8_t* out, const PacketHeader& h);
PacketHeader ReadHeader(const std::uint8_t* in);

// Days of the whole years from 2000 to year - 1 (0 for 2000 and before).
std::uint32_t DaysOfYearsSince2000(int year);
// Day of the year (1 January = 1) plus the whole years since 2000.
std::uint32_t DayNumber(int year, int dayOfYear);
// Day number for a calendar date.
std::uint32_t DayNumberOfDate(int year, int month, int day);

// The computer's local date and time as the header carries them.
struct ClockReading {
    int year = 2000;
    std::uint16_t dayNumber = 1;
    std::uint32_t timeOfDay = 0;  // 0.1 ms
};
ClockReading ReadLocalClock();

// Bit 4 locked, bit 8 set, bits 10-11 the stream (any value but 1 and 2
// counts as 3).
std::uint16_t StatusWord(bool locked, int streamNo);

// Time of day of a record's tag in 0.1 ms: the BCD fields for format 0,
// else the host form's second of day * 10,000 + microseconds / 100.
std::uint32_t RecordTimeOfDay(const std::uint8_t* tag, std::uint32_t tagFormat);

// What goes into the record headers of one telemetry packet.
struct RecordStamp {
    std::uint16_t dayNumber = 0;  // time-code day of the year + whole years
    std::uint32_t tagFormat = 0;  // 配时精度
};

// Writes a telemetry packet into `out` (at least kHeaderBytes + 4 +
// records.size() bytes): the header with length = records.size() + 4, the
// status word, `recordCount`, and the records with the header of every whole
// record of `recordBytes` rewritten. Returns the datagram size.
std::size_t BuildTelemetryPacket(std::uint8_t* out, PacketHeader header, std::uint16_t statusWord,
                                 std::uint16_t recordCount, std::span<const std::uint8_t> records,
                                 std::size_t recordBytes, const RecordStamp& stamp);

// The 36-byte link-monitor packet: the header with length 4, then a copy of
// its time of day.
void BuildLinkMonitorPacket(std::uint8_t* out, PacketHeader header);

// The 27-byte GNSS position packet: EB 90 55 and the three doubles.
void BuildGnssPacket(std::uint8_t* out, double x, double y, double z);

// --- reception ---
enum class StationPacketKind { Ignored, LinkMonitor, LiftOff };
struct StationPacket {
    StationPacketKind kind = StationPacketKind::Ignored;
    PacketHeader header;
    std::uint32_t dataTime = 0;  // the 4 bytes after the header
};
// A datagram from another station. Shorter than 36 bytes or of another BID:
// Ignored.
StationPacket ParseStationPacket(std::span<const std::uint8_t> datagram);

// --- send threshold ---
struct SendGeometry {
    std::size_t wordBytes = 0;    // B
    std::size_t recordBytes = 0;  // R = 8 + W * B
    std::size_t subframes = 1;    // N, 1 outside superframe mode
    bool superframeMode = false;
};
struct Threshold {
    std::size_t bytes = 0;  // S; 0 when the geometry has no records
    int factor = 0;         // the K used
    bool reduced = false;   // K was lowered (or records cut) to fit a datagram
};
// S = B * R * K (* N in superframe mode). When S + 36 would exceed the
// largest datagram, the largest K that fits is used, or whole records when
// not even one superframe fits.
Threshold SendThreshold(const SendGeometry& g, int factor);
// Datagram size for factor K (for the dialog's guard); 0 without records.
std::size_t DatagramBytes(const SendGeometry& g, int factor);

}  // namespace netout

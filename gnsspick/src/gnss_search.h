// The library's state and work without any window: byte picking, the three
// protocols' parsers, the decoders of the navigation solution and the
// channel data, the position and the texts the window shows. Not locked; the
// exports hold the library's lock around every call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "geodetic.h"
#include "parsers.h"

namespace gnsspick {

inline constexpr std::size_t kNavigationBufferBytes = 200;
inline constexpr std::size_t kReceivers = 8;
inline constexpr std::size_t kTableBytes = 8192;
inline constexpr std::size_t kChannelTablesBytes = kReceivers * kTableBytes;
inline constexpr std::size_t kSolutionBytes = 2048;
inline constexpr std::size_t kNavigationBlockBytes = 500;
inline constexpr std::size_t kOldRows = 16;
inline constexpr std::size_t kChannelRecordBytes = 28;
inline constexpr std::size_t kOldChannelEntryBytes = 8;
inline constexpr std::size_t kMaxSatellites = 255;

// The display layout: 1 old protocol, 2 both new ones; 0 before any search.
inline constexpr int kLayoutOld = 1;
inline constexpr int kLayoutNew = 2;

enum class Protocol { Old, WithReceiverId, WithoutReceiverId };

using Text = std::array<char, 32>;

// The last solution as numbers and as the window's texts.
struct Solution {
    bool timeValid = false;
    double timeOfDay = 0;  // s
    double pdop = 0;
    std::uint8_t status = 0;
    double x = 0, y = 0, z = 0, vx = 0, vy = 0, vz = 0;
    GeoPosition position;
};
// What the fields show: time and PDOP of the last solution, the rest of the
// last one with a valid position. Kept as numbers; the window formats them.
struct ShownSolution {
    bool haveTime = false, havePdop = false, havePosition = false;
    bool binary = false;  // the position came from a binary solution
    double timeOfDay = 0, pdop = 0;
    double x = 0, y = 0, z = 0, vx = 0, vy = 0, vz = 0;
    GeoPosition position;
};
struct SolutionTexts {
    Text time{}, pdop{}, x{}, y{}, z{}, longitude{}, latitude{}, height{}, vx{}, vy{}, vz{};
};
// Empty texts for what has not arrived yet.
SolutionTexts TextsOf(const ShownSolution& s);

// What the window shows, copied under the lock at each refresh.
struct DisplayState {
    int layout = 0;
    ShownSolution shown;
    // Old protocol: 3-byte satellite entries of the navigation message (at
    // most 16); new protocols: 5-byte entries of the binary solution.
    std::array<std::array<std::uint8_t, 5>, kMaxSatellites> satellites{};
    std::size_t satelliteCount = 0;
    // Old protocol: 8-byte channel entries in table 0; new protocols: one
    // receiver record per table.
    std::array<std::uint8_t, kChannelTablesBytes> tables{};
    std::size_t oldChannelCount = 0;
    std::array<std::size_t, kReceivers> recordBytes{};
    int recordVersion = 2;  // receiver record layout of the new protocols
};

// Decoders over stored bytes; each reads only what `length` holds.
// Navigation payload: fields from byte 24, big-endian. False when the
// message is too short for them.
// The satellite entries go to `d` when it is given.
bool DecodeNavigation(const std::uint8_t* m, std::size_t length, Solution& s, DisplayState* d);
// Binary solution (type 0), little-endian. False when too short.
bool DecodeBinarySolution(const std::uint8_t* p, std::size_t length, Solution& s, DisplayState* d);
// 0xE0 message: its 17-byte records as 8-byte entries in table 0.
std::size_t ConvertChannelRecords(const std::uint8_t* m, std::size_t length, std::uint8_t* table);
// Drops the second 0x10 of every 0x10 0x10; returns the bytes written.
std::size_t Unstuff(const std::uint8_t* in, std::size_t length, std::uint8_t* out,
                    std::size_t maxOut);
// Type 1 payload: receiver records of layout `version` (1 or 2) into the
// tables; returns the receivers copied.
std::size_t CopyReceiverRecords(const std::uint8_t* payload, std::size_t length, int version,
                                DisplayState& d);

class GnssSearch {
public:
    GnssSearch();

    void SetTelemetryPar(std::uint16_t h, std::uint16_t d, std::uint16_t n);
    void SetSelectRoads(const std::uint16_t positions[4]);
    void Search(Protocol p, const std::uint8_t* block, std::size_t length);
    int GetMeasureData(std::uint8_t* tables, std::uint8_t* solution, std::uint8_t* navigation);
    bool GetTargetPosition(double out[3]);

    const DisplayState& Display() const { return display_; }
    const Solution& LastSolution() const { return solution_; }

    // Calls sink(byte) for each picked byte of the block, in stream order.
    template <class Sink>
    void ForEachPicked(const std::uint8_t* block, std::size_t length, Sink&& sink) const {
        if (record_ == 0 || pickCount_ == 0) return;
        const std::size_t records = length / record_;
        const std::uint8_t* r = block;
        for (std::size_t i = 0; i < records; ++i, r += record_)
            for (std::size_t k = 0; k < pickCount_; ++k) sink(r[pick_[k]]);
    }

private:
    void ResetParsers();
    void UpdatePicks();
    void FeedOld(std::uint8_t b);
    void FeedNew(Protocol p, std::uint8_t b);
    void OnFrame(Protocol p);
    // Time and PDOP always; the position only when the status and the
    // coordinates make one.
    void Publish(const Solution& s, bool binary);

    std::uint16_t h_ = 0, d_ = 0, n_ = 0;
    std::size_t record_ = 0;
    std::array<std::uint16_t, 4> positions_{};
    std::array<std::size_t, 4> pick_{};  // byte offsets in a record
    std::size_t pickCount_ = 0;

    DleMessageParser navParser_{0xD7, kOldNavigationMax};
    DleMessageParser measureParser_{0xE0, kOldMeasureMax};
    bool navEnded_ = false;  // decoded on the next stream byte
    SyncFrameParser frameParser_;

    std::array<std::uint8_t, kNavigationBufferBytes> navBuffer_{};
    std::array<std::uint8_t, kSolutionBytes> solutionBlock_{};
    std::array<std::uint8_t, kFrameBufferBytes> unstuffed_{};
    Solution solution_;
    DisplayState display_;
    bool newNavigation_ = false, newChannels_ = false, newSolutionBlock_ = false;
    bool newPosition_ = false;
    double position_[3] = {0, 0, 0};
};

}  // namespace gnsspick

// Builds IRIG 106 Chapter 10 packets: the TMATS setup record on channel 0,
// time packets (format 1) and PCM packets (format 1, packed mode with an
// intra-packet header in front of every minor frame) from subframe records.
#pragma once

#include <ch10export/dat_source.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace ch10export {

inline constexpr std::uint16_t kTimeChannel = 1;
inline constexpr std::uint16_t kPcmChannel = 2;
inline constexpr std::size_t kPacketHeaderBytes = 24;
// A PCM packet is closed before it passes this many data bytes or 100 ms.
inline constexpr std::size_t kMaxPcmData = 65536;
inline constexpr std::int64_t kMaxPcmSpan = 1'000'000;  // 100 ms in 100 ns units

// The 16-bit sum of the first eleven 16-bit words of a packet header.
std::uint16_t HeaderChecksum(const std::uint8_t* header);

// The TMATS text describing the stream.
std::string TmatsText(const PcmDescription& d);

// Feeds subframe records in; hands every finished packet to the sink. A
// sink that returns false stops the writer (Failed() becomes true).
class Ch10Writer {
public:
    using Sink = std::function<bool(std::span<const std::uint8_t>)>;
    Ch10Writer(const PcmDescription& d, Sink sink);

    // One whole subframe record (RecordBytes(d) bytes).
    void AddRecord(const std::uint8_t* record);
    // Writes the open PCM packet. Call once at the end.
    void Finish();

    bool Failed() const { return failed_; }
    std::uint64_t Packets() const { return packets_; }

private:
    void Emit(std::uint16_t channel, std::uint8_t type, std::uint64_t rtc);
    void EmitTmats();
    void EmitTime(const TagTime& t, std::uint64_t rtc);
    void FlushPcm();
    void AppendFrameBits(const std::uint8_t* words);

    PcmDescription d_;
    Sink sink_;
    bool failed_ = false;
    bool started_ = false;
    std::uint64_t packets_ = 0;
    std::uint8_t sequence_[3] = {0, 0, 0};  // channels 0, 1, 2
    std::int64_t base_ = 0;                 // ticks at relative time counter 0
    std::int64_t dayOffset_ = 0;            // added after a midnight wrap
    std::int64_t lastTicks_ = 0;
    std::int64_t nextTimeSecond_ = 0;  // ticks of the next time packet
    std::vector<std::uint8_t> body_;   // channel-specific word + data of the packet built
    std::vector<std::uint8_t> packet_;
    std::size_t pcmFrames_ = 0;
    std::uint64_t pcmRtc_ = 0;
    std::int64_t pcmFirstTicks_ = 0;
    bool pcmMajorStart_ = false;
};

// Converts a .dat file into a .ch10 file.
struct ExportResult {
    bool ok = false;
    std::string message;  // the error, or a summary
    std::uint64_t records = 0;
    std::uint64_t dropped = 0;  // records cut at the end or missing against the header
    std::uint64_t packets = 0;
    bool cancelled = false;  // stopped by the progress call; `out` is removed
};
// Called after every read with the record bytes done and in all; false
// stops the export.
using ExportProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
ExportResult ExportFile(const std::string& in, const std::string& out,
                        const DescriptionOverrides& given, const ExportProgress& progress = {});

// The name an export of `recording` suggests: the same folder and stem,
// with the extension .ch10.
std::string SuggestedCh10Path(const std::string& recording);

}  // namespace ch10export

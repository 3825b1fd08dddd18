// The 1024-byte header of a .dem file, read and written at named offsets.
// Everything is little-endian; nothing read from a file is trusted.
#pragma once

#include <bbdevice/dem_file.h>

#include <cstddef>
#include <cstdint>
#include <span>

struct DemParam;

namespace bbdev::demfile {

inline constexpr std::size_t kHeaderBytes = kDemFileHeaderBytes;
inline constexpr std::size_t kOffHeaderLength = 336;  // u32, 1024
inline constexpr std::size_t kOffTitle = 340;         // GBK text, NUL-terminated
inline constexpr std::size_t kTitleArea = 44;         // up to the record count
inline constexpr std::size_t kOffRecordCount = 384;   // u64
inline constexpr std::size_t kOffMinorMs = 392;       // f64, minor-frame duration
inline constexpr std::size_t kOffFrameInfo = 704;     // ReplayInfo words from here
inline constexpr std::size_t kFrameInfoWords = 80;
inline constexpr std::size_t kTagBytes = 8;

// "遥测存盘数据" in GBK.
std::span<const std::uint8_t> TitleGbk();

// Bytes of one record: (字长 + 7) / 8 × 子帧长 + 8 when 配时密度 != 0.
std::uint64_t RecordBytes(const DemParam& p);
double MinorFrameMs(const DemParam& p);

// Rewrites the header area as a recording is finished: bytes 0-335 zeroed,
// length, title, record count, duration and the frame words from p; other
// bytes keep what the area held.
void BuildHeader(std::span<std::uint8_t, kHeaderBytes> area, const DemParam& p,
                 std::uint64_t records, std::uint32_t channel);

void LoadReplayInfo(std::span<const std::uint8_t> words320, ReplayInfo* info);

enum class HeaderCheck { Ok, TooShort, NotARecording };

// A header read back from a file: its length word and title must be there.
HeaderCheck ParseHeader(std::span<const std::uint8_t> bytes, ReplayInfo* info,
                        std::uint64_t* records);

// Geometry of a replay from its frame description; valid only when a
// record carries 1 to 65,536 frame bytes and a tag of 0 or 8 bytes.
struct ReplayGeometry {
    std::uint64_t bytesPerWord = 0;
    std::uint64_t frameBytes = 0;  // per record, without the tag
    std::uint64_t tagBytes = 0;    // per record
    std::uint64_t recordBytes = 0;
    bool valid = false;
};
inline constexpr std::uint64_t kMaxReplayFrameBytes = 65536;
ReplayGeometry GeometryOf(const ReplayInfo& info);

}  // namespace bbdev::demfile

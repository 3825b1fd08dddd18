// The main program's recording file (.dat): an optional 1024-byte header
// followed by whole subframe records (8-byte time tag, then the words). The
// header's bytes 704 on are laid out like the device library's file header,
// so that the card replays the file. All fields are little-endian and are
// written and read at named offsets.
#pragma once

#include <bbdevice/dem_file.h>
#include <bbdevice/dev_records.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace recording {

inline constexpr std::size_t kHeaderBytes = 1024;
inline constexpr std::size_t kIdentBytes = 136;
inline constexpr std::size_t kTagBytes = 8;

// Offsets in the header.
inline constexpr std::size_t kOffIdentRecordCount = 120;  // u32
inline constexpr std::size_t kOffHeaderLength = 336;      // u32, 1024
inline constexpr std::size_t kOffLiftOff = 368;           // u32 day + 12 zero bytes
inline constexpr std::size_t kOffRecordCount = 384;       // u64
inline constexpr std::size_t kOffDescription = 704;       // ReplayInfo words

// Sync code shown for a file without header.
inline constexpr std::uint32_t kDefaultSyncCode = 0xEB90;

// The local time written into the identification block.
struct HeaderTime {
    int year = 2000;  // full year
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Subframe record bytes of the demodulator record: words x word bytes + 8.
std::size_t SubframeRecordBytes(const DemParam& dem);

// Builds the whole 1024-byte header for `dataBytes` bytes of records.
void BuildHeader(const DemParam& dem, const HeaderTime& when, std::uint64_t dataBytes,
                 std::uint32_t liftOffDay, std::span<std::uint8_t, kHeaderBytes> out);

// What the replay dialog takes from a file's first bytes.
struct FileDescription {
    std::uint32_t headerLength = 0;  // 1024, or 0 for a file without header
    ReplayInfo info{};
};

// The description of a file without header: the frame fields of the
// demodulator record in force, sync code 0xEB90, 8 tag bytes.
ReplayInfo DescriptionFromDem(const DemParam& dem);

// Reads the header of a file from its first bytes (fewer than 1024 bytes is
// a file without header). `dem` describes a file without header.
FileDescription ParseHeader(std::span<const std::uint8_t> head, const DemParam& dem);

// True when the frame description is one the program can replay: subframe
// length 1..2048, word length 1..32, superframe length 1..256, a sync code
// that fits its bit length (at most 64).
bool DescriptionValid(const ReplayInfo& info);

// Record bytes of a description: (word length + 7) / 8 x subframe length + 8.
std::uint64_t RecordBytes(const ReplayInfo& info);
// Whole records after the header; 0 when there are none.
std::uint64_t RecordCount(std::uint64_t fileSize, std::uint32_t headerLength,
                          const ReplayInfo& info);

}  // namespace recording

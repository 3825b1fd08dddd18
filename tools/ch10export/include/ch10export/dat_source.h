// Reads a recording file (.dat) for the Chapter 10 export: the frame
// description from its 1024-byte header, or from values given by the user
// when the file has none, and the time of each record's tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ch10export {

// What the export needs to know about the PCM stream.
struct PcmDescription {
    std::uint32_t wordBits = 0;          // 1..32
    std::uint32_t subframeWords = 0;     // words per minor frame, 1..2048
    std::uint32_t superframeLength = 1;  // minor frames per major frame, 1..256
    std::uint32_t bitRate = 0;           // bit/s
    std::uint32_t codeType = 0;          // 0 NRZ-L .. 6 RNRZ-L
    std::uint32_t syncBits = 16;         // 1..64
    std::uint64_t syncCode = 0xEB90;
    std::uint32_t superframeType = 0;  // 0 none, 1 complement, 2 ID, 3 cyclic
    std::uint32_t idWord = 0;          // word position of the ID counter
    std::uint32_t tagFormat = 0;       // 0 BCD tags, anything else host tags
};

// Bytes of one subframe record: 8-byte tag and the words.
std::size_t RecordBytes(const PcmDescription& d);
std::size_t WordBytes(const PcmDescription& d);

// Values the user gave on the command line; each one replaces the header's.
struct DescriptionOverrides {
    std::optional<std::uint32_t> wordBits, subframeWords, superframeLength, bitRate, codeType,
        syncBits, idWord, tagFormat;
    std::optional<std::uint64_t> syncCode;
};

struct DatLayout {
    std::uint32_t headerLength = 0;   // 1024 or 0
    std::uint64_t headerRecords = 0;  // record count the header claims (0 without header)
    PcmDescription pcm;
};

struct LayoutResult {
    std::optional<DatLayout> layout;
    std::string error;  // what is missing or wrong when there is no layout
};

// The layout of a file from its first bytes (at most 1024 are looked at).
// A file without header needs word length, subframe length and bit rate
// from `given`; a missing one is named in the error.
LayoutResult ReadLayout(std::span<const std::uint8_t> head, const DescriptionOverrides& given);

// Time of a record's tag in 100 ns units counted from day 0, 00:00 of the
// year, plus the fields for a time packet. BCD tags carry 0.1 ms, host tags
// 1 us.
struct TagTime {
    std::int64_t ticks = 0;
    unsigned day = 0;  // day of the year as stamped in the tag, 0 when not
    unsigned hour = 0, minute = 0, second = 0, millisecond = 0;
    std::uint8_t subframeIndex = 0;  // tag byte 6
};
TagTime DecodeTag(const std::uint8_t* tag, std::uint32_t tagFormat);

}  // namespace ch10export

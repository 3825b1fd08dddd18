// The copy of the card's data that goes to the before-decryption file: the
// same bytes with the time-code unit's day of the year written into the time
// tag of every subframe record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace datapath {

// Writes `day` (three decimal digits) into bytes 4 and 5 of a time tag: bits
// 0-1 of the units digit are set into bits 6-7 of byte 4 (bits already set
// stay set), bits 2-3 of the units digit go to bits 0-1 of byte 5, the tens
// digit to bits 2-5 and the hundreds digit to bits 6-7; byte 5 is rewritten.
void StampDayOfYear(std::uint8_t* tag, unsigned day);

// Copies `data` into `out` (at least data.size() bytes) and stamps the tag of
// each whole subframe record; a partial record at the end is copied as it
// is. Returns the bytes copied.
std::size_t MakeRecordingCopy(std::span<const std::uint8_t> data, std::size_t subframeRecord,
                              unsigned day, std::span<std::uint8_t> out);

}  // namespace datapath

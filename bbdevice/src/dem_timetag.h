// Time tags at the head of each minor frame: the host form written from the
// channel's running clock, and the pass that rewrites or drops the tags of
// the frames read from the ring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "dem_geometry.h"

namespace bbdev {

inline constexpr double kMicrosPerDay = 86400000000.0;

// Little-endian u64: microseconds (bits 0-19), second of the day (20-36), day
// (37-45), the engine's byte 6 (48-55) and 0x40 in the top byte.
std::uint64_t MakeHostTimeTag(double clockUs, std::uint8_t byte6);

// One 16-byte time record (u32 day, u16 hour, minute, second, millisecond,
// u32 status) as microseconds since day 0, 00:00.
double ClockFromTimeRecord(std::span<const std::uint8_t, 16> record);

// Copies the whole tagged minor frames of src to dst: with host tags
// (配时精度 1) each tag is rebuilt from clockUs, with 配时密度 0 the tags are
// left out. clockUs advances one tag step per minor frame. Returns the bytes
// written; dst must hold src.size() bytes.
std::size_t ProcessMinorFrames(std::span<const std::uint8_t> src, std::uint8_t* dst,
                               const DemFrameGeometry& g, std::uint32_t 配时精度,
                               std::uint32_t 配时密度, double& clockUs);

}  // namespace bbdev

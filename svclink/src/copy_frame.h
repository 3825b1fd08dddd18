// Copy-data frames between processes: parsing from a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace svclink {

struct FrameHead {
    std::uint32_t service = 0, role = 0, message = 0, length = 0;
};

enum class FrameStatus { Ok, NeedMore, Malformed };

// Reads the 16-byte head and checks it: a known message, a service slot and
// role in range, a copy-data body of at least the description and at most
// description plus ring, a close request without body.
FrameStatus ParseFrameHead(std::span<const std::uint8_t> bytes, FrameHead* head);

void WriteFrameHead(const FrameHead& head, std::uint8_t* out16);

}  // namespace svclink

#include "copy_frame.h"

#include "svclink/service_layout.h"
#include "svclink/service_link.h"

namespace svclink {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

FrameStatus ParseFrameHead(std::span<const std::uint8_t> bytes, FrameHead* head) {
    if (bytes.size() < kFrameHead) return FrameStatus::NeedMore;
    FrameHead h{Le32(&bytes[0]), Le32(&bytes[4]), Le32(&bytes[8]), Le32(&bytes[12])};
    if (h.service >= kServiceSlots || (h.role != kRoleCreator && h.role != kRoleUser))
        return FrameStatus::Malformed;
    if (h.message == kWmCopyData) {
        if (h.length < hdr::kDescriptionBytes || h.length > kMaxFrameBody)
            return FrameStatus::Malformed;
    } else if (h.message == kWmClose) {
        if (h.length != 0) return FrameStatus::Malformed;
    } else {
        return FrameStatus::Malformed;
    }
    if (head) *head = h;
    return FrameStatus::Ok;
}

void WriteFrameHead(const FrameHead& head, std::uint8_t* out16) {
    PutLe32(out16, head.service);
    PutLe32(out16 + 4, head.role);
    PutLe32(out16 + 8, head.message);
    PutLe32(out16 + 12, head.length);
}

}  // namespace svclink

// Copy-data frames from a peer: the head check, then the split of the body.
#include <cstddef>
#include <cstdint>
#include <span>

#include "copy_frame.h"
#include "svclink/service_layout.h"
#include "svclink/service_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    svclink::FrameHead head;
    const std::span<const std::uint8_t> bytes(data, size);
    if (svclink::ParseFrameHead(bytes, &head) != svclink::FrameStatus::Ok) return 0;
    const std::size_t body = size - svclink::kFrameHead;
    if (head.message != svclink::kWmCopyData || body < head.length) return 0;
    const svclink::CopyDataStruct cds{head.service + svclink::kCopyDataKeyBase, head.length,
                                      data + svclink::kFrameHead};
    std::uint8_t info[svclink::kShareDataInfoBytes];
    BB_GetShareDataInfo(head.service, info, &cds);
    return 0;
}

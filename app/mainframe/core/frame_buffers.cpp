#include "frame_buffers.h"

namespace mainframe {

void FrameBuffers::Allocate() {
    if (Allocated()) return;
    workA_ = std::make_unique_for_overwrite<std::uint8_t[]>(kWorkBufferSize);
    workB_ = std::make_unique_for_overwrite<std::uint8_t[]>(kWorkBufferSize);
    frameA_ = std::make_unique_for_overwrite<std::uint8_t[]>(kFrameBufferSize);
    // B is shown by the refresh before anything writes it, so it starts zeroed.
    frameB_ = std::make_unique<std::uint8_t[]>(kFrameBufferSize);
}

void FrameBuffers::Free() {
    workA_.reset();
    workB_.reset();
    frameA_.reset();
    frameB_.reset();
}

void DataPathBuffers::Allocate() {
    if (!superframe)
        superframe = std::make_unique_for_overwrite<std::uint8_t[]>(kSuperframeBufferSize);
    std::lock_guard lock(sendLock);
    if (!send) send = std::make_unique_for_overwrite<std::uint8_t[]>(kSendBufferSize);
    sendFill = 0;
}

void DataPathBuffers::Free() {
    superframe.reset();
    superframeCount = 0;
    std::lock_guard lock(sendLock);
    send.reset();
    sendFill = 0;
}

}  // namespace mainframe

#include "frame_consumers.h"

#include <stats/frame_statistics.h>

void CFrameConsumers::CountFrames(const std::uint8_t* data, std::size_t length,
                                  const datapath::DataGeometry& g) {
    stats_.CountFrames(data, length, g);
}

void CFrameConsumers::CountIds(const std::uint8_t* data, std::size_t length,
                               const datapath::DataGeometry& g) {
    stats_.CountIds(data, length, g);
}

void CFrameConsumers::CheckTimeContinuity(const std::uint8_t* data, std::size_t length,
                                          const datapath::DataGeometry& g, std::uint32_t bitRate) {
    stats_.CheckTimeContinuity(data, length, g, bitRate);
}

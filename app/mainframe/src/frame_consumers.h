// The frame's consumers of the data path: the frame statistics for now,
// the other consumers keep the base class's empty work.
#pragma once

#include <datapath/data_consumers.h>

namespace stats {
class FrameStatistics;
}

class CFrameConsumers : public datapath::DataConsumers {
public:
    explicit CFrameConsumers(stats::FrameStatistics& statistics) : stats_(statistics) {}

    void CountFrames(const std::uint8_t* data, std::size_t length,
                     const datapath::DataGeometry& g) override;
    void CountIds(const std::uint8_t* data, std::size_t length,
                  const datapath::DataGeometry& g) override;
    void CheckTimeContinuity(const std::uint8_t* data, std::size_t length,
                             const datapath::DataGeometry& g, std::uint32_t bitRate) override;

private:
    stats::FrameStatistics& stats_;
};

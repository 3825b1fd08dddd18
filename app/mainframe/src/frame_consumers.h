// The frame's consumers of the data path: the frame statistics and the
// bit-error measurement; the other consumers keep the base class's empty work.
#pragma once

#include <datapath/data_consumers.h>

namespace datapath {
class DataPath;
}
namespace stats {
class BitErrorMeasurement;
class FrameStatistics;
}  // namespace stats

class CFrameConsumers : public datapath::DataConsumers {
public:
    explicit CFrameConsumers(stats::FrameStatistics& statistics) : stats_(statistics) {}

    void CountFrames(const std::uint8_t* data, std::size_t length,
                     const datapath::DataGeometry& g) override;
    void CountIds(const std::uint8_t* data, std::size_t length,
                  const datapath::DataGeometry& g) override;
    void CheckTimeContinuity(const std::uint8_t* data, std::size_t length,
                             const datapath::DataGeometry& g, std::uint32_t bitRate) override;

    // Bit-error measurement against the data path's standard frame; both
    // outlive the consumers once attached.
    void AttachBitErrors(stats::BitErrorMeasurement& m, const datapath::DataPath& path) {
        bitErrors_ = &m;
        bitErrorPath_ = &path;
    }
    void MeasureBitErrors(const std::uint8_t* data, std::size_t length) override;
    void StopBitErrorMeasurement() override;

private:
    stats::FrameStatistics& stats_;
    stats::BitErrorMeasurement* bitErrors_ = nullptr;
    const datapath::DataPath* bitErrorPath_ = nullptr;
};

// The frame's consumers of the data path: the frame statistics, the
// bit-error measurement and the recording; the other consumers keep the base class's empty work.
#pragma once

#include <datapath/data_consumers.h>

namespace datapath {
class DataPath;
}
namespace recording {
class RecordingFiles;
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

    // Recording: the before-decryption file of the frame's recording.
    void AttachRecording(recording::RecordingFiles& files) { recording_ = &files; }
    bool BeforeDecryptionFileOpen() override;
    std::size_t WriteBeforeDecryptionFile(const std::uint8_t* data, std::size_t length) override;

private:
    recording::RecordingFiles* recording_ = nullptr;
    stats::FrameStatistics& stats_;
    stats::BitErrorMeasurement* bitErrors_ = nullptr;
    const datapath::DataPath* bitErrorPath_ = nullptr;
};

// The frame's consumers of the data path: the frame statistics, the
// bit-error measurement, the network output and the recording; the other
// consumers keep the base class's empty work.
#pragma once

#include <datapath/data_consumers.h>
#include <gnssview/gnss_view.h>

#include <atomic>
#include <mutex>

class CurverWndClass;

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
namespace netout {
class NetworkOutput;
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

    // Bit-error measurement against the data path's standard frame; both
    // outlive the consumers once attached.
    void AttachBitErrors(stats::BitErrorMeasurement& m, const datapath::DataPath& path) {
        bitErrors_ = &m;
        bitErrorPath_ = &path;
    }
    void MeasureBitErrors(const std::uint8_t* data, std::size_t length) override;
    void StopBitErrorMeasurement() override;

    // Network output: the sockets and the telemetry switch (32784).
    void SetNetworkOutput(netout::NetworkOutput* network, const std::atomic<int>* sendingOn) {
        network_ = network;
        telemetryOn_ = sendingOn;
    }
    bool TelemetrySendingOn() override;
    void SendTelemetryDatagram(const std::uint8_t* data, std::size_t length) override;
    bool BroadcastEndpointReady() override;
    void SendBroadcastDatagram(const std::uint8_t* data, std::size_t length) override;
    // Recording: the before-decryption file of the frame's recording.
    void AttachRecording(recording::RecordingFiles& files) { recording_ = &files; }
    bool BeforeDecryptionFileOpen() override;
    std::size_t WriteBeforeDecryptionFile(const std::uint8_t* data, std::size_t length) override;
    // Satellite-navigation search and the position packet (main_frame_gnss.cpp).
    void SearchGnssFrames(int protocol, const std::uint8_t* data, std::size_t length) override;
    void SendGnssPosition() override;

    // Raw curve window: queued on the producer's thread while one is attached.
    void AttachRawCurve(CurverWndClass* curve);
    bool RawCurveExists() override;
    void SetRawcurveData(_FRAME_STRUCT_PARAM_EX& record, const std::uint8_t* data) override;

    // Solved-parameter windows (main_frame_params.cpp): any thread reads.
    // The solver is told the frame of `path` with every block.
    void AttachParamFrame(const datapath::DataPath& path) { paramPath_ = &path; }
    void SetParamWindowsOpen(bool open) { paramWindowsOpen_ = open; }
    void SetLiveParamSolving(bool on) { liveSolving_ = on; }
    bool ParamWindowOpen() override { return paramWindowsOpen_; }
    bool LiveParamSolving() override { return liveSolving_; }
    void SetDealDSDemData(const std::uint8_t* data, std::size_t length) override;

private:
    std::atomic<bool> paramWindowsOpen_{false}, liveSolving_{false};
    std::mutex curveMutex_;
    CurverWndClass* curve_ = nullptr;  // guarded by curveMutex_
    recording::RecordingFiles* recording_ = nullptr;
    stats::FrameStatistics& stats_;
    stats::BitErrorMeasurement* bitErrors_ = nullptr;
    const datapath::DataPath* bitErrorPath_ = nullptr;
    const datapath::DataPath* paramPath_ = nullptr;
    netout::NetworkOutput* network_ = nullptr;
    const std::atomic<int>* telemetryOn_ = nullptr;
    gnssview::PositionFeed gnssPositions_;  // data-path thread
};

#include "frame_consumers.h"

#include <datapath/data_path.h>
#include <netout/network_output.h>
#include <rawcurve/curver_wnd_class.h>
#include <recording/recording_files.h>
#include <stats/bit_error_measurement.h>
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

void CFrameConsumers::MeasureBitErrors(const std::uint8_t* data, std::size_t length) {
    if (!bitErrors_ || !bitErrorPath_) return;
    // Blocks of another geometry than the standard frame's are not compared.
    bitErrors_->Compare(data, length, bitErrorPath_->StandardFrame(),
                        bitErrorPath_->Geometry().superframeRecord);
}

void CFrameConsumers::StopBitErrorMeasurement() {
    if (bitErrors_) bitErrors_->Stop();
}

bool CFrameConsumers::TelemetrySendingOn() {
    return network_ && telemetryOn_ && telemetryOn_->load() != 0 && network_->TelemetryReady();
}

void CFrameConsumers::SendTelemetryDatagram(const std::uint8_t* data, std::size_t length) {
    if (network_) network_->SendReplayTelemetry(data, length);
}

bool CFrameConsumers::BroadcastEndpointReady() {
    return network_ && network_->BroadcastReady();
}

void CFrameConsumers::SendBroadcastDatagram(const std::uint8_t* data, std::size_t length) {
    if (network_) network_->SendBroadcast(data, length);
}

bool CFrameConsumers::BeforeDecryptionFileOpen() {
    return recording_ && recording_->BeforeDecryptionOpen();
}

std::size_t CFrameConsumers::WriteBeforeDecryptionFile(const std::uint8_t* data,
                                                       std::size_t length) {
    return recording_ ? recording_->WriteBeforeDecryption(data, length) : 0;
}

void CFrameConsumers::AttachRawCurve(CurverWndClass* curve) {
    std::lock_guard lock(curveMutex_);
    curve_ = curve;
}

bool CFrameConsumers::RawCurveExists() {
    std::lock_guard lock(curveMutex_);
    return curve_ != nullptr;
}

void CFrameConsumers::SetRawcurveData(_FRAME_STRUCT_PARAM_EX& record, const std::uint8_t* data) {
    // Held while the window queues, so the object is not deleted under it.
    std::lock_guard lock(curveMutex_);
    if (curve_) curve_->SetRawcurveData(&record, const_cast<std::uint8_t*>(data), -1);
}

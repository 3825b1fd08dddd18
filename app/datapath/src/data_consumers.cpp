// The consumer steps of the data path. Each is filled by the part of the
// program that owns the consumer; until then the step takes nothing.
#include <datapath/data_consumers.h>

namespace datapath {

// Filled by recording: appends to the before-decryption data file.
void DataConsumers::WriteBeforeDecryptionFile(const std::uint8_t*, std::size_t) {}

// Filled by the raw curve view.
void DataConsumers::SetRawcurveData(_FRAME_STRUCT_PARAM_EX&, const std::uint8_t*) {}

// Filled by the bit-error measurement.
void DataConsumers::MeasureBitErrors(const std::uint8_t*, std::size_t) {}
void DataConsumers::StopBitErrorMeasurement() {}

// Filled by the network output.
void DataConsumers::SendTelemetryDatagram(const std::uint8_t*, std::size_t) {}
void DataConsumers::SendBroadcastDatagram(const std::uint8_t*, std::size_t) {}
void DataConsumers::SendGnssPosition() {}

// Filled by the frame statistics.
void DataConsumers::CountFrames(const std::uint8_t*, std::size_t, const DataGeometry&) {}
void DataConsumers::CountIds(const std::uint8_t*, std::size_t, const DataGeometry&) {}
void DataConsumers::CheckTimeContinuity(const std::uint8_t*, std::size_t, const DataGeometry&,
                                        std::uint32_t) {}

// Filled by the satellite-navigation display.
void DataConsumers::SearchGnssFrames(int, const std::uint8_t*, std::size_t) {}

// Filled by the solved-parameter windows.
void DataConsumers::SetDealDSDemData(const std::uint8_t*, std::size_t) {}

}  // namespace datapath

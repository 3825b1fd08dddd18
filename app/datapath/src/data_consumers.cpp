// The consumers of the data path take nothing here. The program's consumers
// (a subclass made by the frame) override the methods they serve.
#include <datapath/data_consumers.h>

namespace datapath {

// Recording: appends to the before-decryption data file.
std::size_t DataConsumers::WriteBeforeDecryptionFile(const std::uint8_t*, std::size_t) {
    return 0;
}

// The raw curve view.
void DataConsumers::SetRawcurveData(_FRAME_STRUCT_PARAM_EX&, const std::uint8_t*) {}

// The bit-error measurement.
void DataConsumers::MeasureBitErrors(const std::uint8_t*, std::size_t) {}
void DataConsumers::StopBitErrorMeasurement() {}

// The network output.
void DataConsumers::SendTelemetryDatagram(const std::uint8_t*, std::size_t) {}
void DataConsumers::SendBroadcastDatagram(const std::uint8_t*, std::size_t) {}
void DataConsumers::SendGnssPosition() {}

// The frame statistics.
void DataConsumers::CountFrames(const std::uint8_t*, std::size_t, const DataGeometry&) {}
void DataConsumers::CountIds(const std::uint8_t*, std::size_t, const DataGeometry&) {}
void DataConsumers::CheckTimeContinuity(const std::uint8_t*, std::size_t, const DataGeometry&,
                                        std::uint32_t) {}

// The satellite-navigation display.
void DataConsumers::SearchGnssFrames(int, const std::uint8_t*, std::size_t) {}

// The solved-parameter windows.
void DataConsumers::SetDealDSDemData(const std::uint8_t*, std::size_t) {}

}  // namespace datapath

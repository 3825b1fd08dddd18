// The consumers the data path hands each block to, one method per kind of
// work. The base class takes nothing; the frame's subclass overrides the
// methods whose consumer the program has. All run
// on the producer's thread: the card's report thread or the replay-feed
// thread.
#pragma once

#include <datapath/frame_geometry.h>
#include <rawviews/frame_records.h>

#include <cstddef>
#include <cstdint>

namespace datapath {

class DataConsumers {
public:
    virtual ~DataConsumers() = default;

    // Recording: the before-decryption data file. The write returns the
    // bytes that reached the file, which are all the data path counts.
    virtual bool BeforeDecryptionFileOpen() { return false; }
    virtual std::size_t WriteBeforeDecryptionFile(const std::uint8_t* data, std::size_t length);

    // Raw curve window.
    virtual bool RawCurveExists() { return false; }
    virtual void SetRawcurveData(_FRAME_STRUCT_PARAM_EX& record, const std::uint8_t* data);

    // Bit-error measurement against the standard frame.
    virtual void MeasureBitErrors(const std::uint8_t* data, std::size_t length);
    // The after-decryption choice stopped a running measurement.
    virtual void StopBitErrorMeasurement();

    // Telemetry output: sending switched on (32784) and its endpoint ready.
    virtual bool TelemetrySendingOn() { return false; }
    // Replay only: one telemetry datagram sent at once.
    virtual void SendTelemetryDatagram(const std::uint8_t* data, std::size_t length);

    // Frame statistics, each called only while switched on.
    virtual void CountFrames(const std::uint8_t* data, std::size_t length, const DataGeometry& g);
    virtual void CountIds(const std::uint8_t* data, std::size_t length, const DataGeometry& g);
    virtual void CheckTimeContinuity(const std::uint8_t* data, std::size_t length,
                                     const DataGeometry& g, std::uint32_t bitRate);

    // Satellite-navigation search with the operation of `protocol` (0 old,
    // 1 new with receiver identifier, else new without), then the position.
    virtual void SearchGnssFrames(int protocol, const std::uint8_t* data, std::size_t length);
    // The 27-byte position packet to the multicast group.
    virtual void SendGnssPosition();

    // Replay only: the full-frame broadcast and the solved-parameter windows.
    virtual bool BroadcastEndpointReady() { return false; }
    virtual void SendBroadcastDatagram(const std::uint8_t* data, std::size_t length);
    virtual bool ParamWindowOpen() { return false; }
    // Card data are solved for the parameter windows too (off: replay only).
    virtual bool LiveParamSolving() { return false; }
    virtual void SetDealDSDemData(const std::uint8_t* data, std::size_t length);
};

// Cuts `length` bytes into datagrams of at most `maxBytes`, at whole
// superframe records (a whole record when one is larger), and calls
// send(offset, bytes) for each.
template <class Send>
void ForEachDatagram(std::size_t length, std::size_t superframeRecord, std::size_t maxBytes,
                     Send&& send) {
    if (length <= maxBytes) {
        if (length != 0) send(std::size_t{0}, length);
        return;
    }
    std::size_t part = maxBytes;
    if (superframeRecord != 0)
        part = superframeRecord > maxBytes ? superframeRecord
                                           : maxBytes / superframeRecord * superframeRecord;
    for (std::size_t at = 0; at < length; at += part)
        send(at, length - at < part ? length - at : part);
}

}  // namespace datapath

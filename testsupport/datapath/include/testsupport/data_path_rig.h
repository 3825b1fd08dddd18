// The frame's side of the data path for tests and benchmarks: the buffers
// (allocated zeroed, once), the flags and the demodulator record that the
// frame owns, and a DataPath wired to them and to `Consumers`.
#pragma once

#include <datapath/data_path.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace talvora::test {

// Zeroed memory that is only touched where written (calloc).
class ZeroedBuffer {
public:
    explicit ZeroedBuffer(std::size_t n) : p_(static_cast<std::uint8_t*>(std::calloc(n, 1))) {}
    ~ZeroedBuffer() { std::free(p_); }
    ZeroedBuffer(const ZeroedBuffer&) = delete;
    ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;

    std::uint8_t* data() const { return p_; }
    std::uint8_t& operator[](std::size_t i) const { return p_[i]; }

private:
    std::uint8_t* p_;
};

// A working frame: card open, parameters applied, every activity off, the
// default demodulator record handed to the path. Not attached: call
// path.Attach() once the producers may run.
template <class Consumers = datapath::DataConsumers>
struct DataPathRig {
    ZeroedBuffer latest{datapath::kLatestBlockBytes};
    ZeroedBuffer afterDecryption{datapath::kLatestBlockBytes};
    ZeroedBuffer assembly{datapath::kAssemblyBytes};
    ZeroedBuffer send{datapath::kSendBufferBytes};
    std::atomic<std::uint32_t> count{0};
    std::uint32_t fill = 0;
    std::mutex sendLock;
    std::atomic<int> cardOpen{1}, initialising{0}, replayRunning{0}, replayKind{0}, after{0},
        recording{0}, applied{1}, stdReady{0}, bitError{0}, frameStat{0}, idStat{0}, timeStat{0},
        gnss{0}, gnssMulticast{0}, broadcast{0};
    DemParam dem{};
    Consumers consumers;
    datapath::DataPath path;

    DataPathRig()
        : path(dem,
               datapath::DataPathBuffers{.latestBlock = latest.data(),
                                         .afterDecryptionBlock = afterDecryption.data(),
                                         .assembly = assembly.data(),
                                         .assemblyCount = &count,
                                         .sendBuffer = send.data(),
                                         .sendFill = &fill,
                                         .sendLock = &sendLock},
               datapath::DataPathFlags{.cardOpen = cardOpen,
                                       .cardInitialising = initialising,
                                       .replayRunning = replayRunning,
                                       .replayKind = replayKind,
                                       .afterDecryption = after,
                                       .recording = recording,
                                       .paramsApplied = applied,
                                       .standardFrameReady = stdReady,
                                       .bitErrorOn = bitError,
                                       .frameCountStatOn = frameStat,
                                       .idStatOn = idStat,
                                       .timeStatOn = timeStat,
                                       .gnssSearchOn = gnss,
                                       .gnssMulticastOn = gnssMulticast,
                                       .fullFrameBroadcastOn = broadcast},
               consumers) {
        // 24 words of 8 bits, 4 subframes, ID superframe: records of 32 bytes.
        FillDefault(dem);
        Publish();
    }
    DataPathRig(const DataPathRig&) = delete;
    DataPathRig& operator=(const DataPathRig&) = delete;

    // The frame hands the path every rewritten demodulator record.
    void Publish() { path.SetDemodulatorRecord(dem); }
};

}  // namespace talvora::test

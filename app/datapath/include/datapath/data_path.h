// The acquisition data path: every block from the card (through the device
// library's data callback) or from a software replay (through the replay-feed
// thread) is taken into the latest block, assembled into superframes and
// handed to the consumers in a fixed order. The frame owns the buffers and the
// flags; this object holds references to them and owns the few values that
// only the data path and its consumers share, among them its own copy of the
// demodulator record, so that a record being rewritten on another thread is
// never read half old and half new.
#pragma once

#include <datapath/data_consumers.h>
#include <datapath/frame_geometry.h>
#include <datapath/replay_reader.h>
#include <datapath/send_buffer.h>
#include <datapath/superframe_assembler.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace datapath {

inline constexpr std::size_t kLatestBlockBytes = 20971520;  // 20 MiB
inline constexpr std::size_t kAssemblyBytes = 8388608;      // 8 MiB
inline constexpr std::size_t kWorkBytes = 1048576;          // 1 MiB
inline constexpr std::size_t kMaxCardBlock = 65536;         // longer card blocks go in pieces
inline constexpr std::size_t kMaxReplayBlock = 2097152;     // longer replay blocks are ignored
inline constexpr std::size_t kBroadcastDatagram = 32768;
inline constexpr std::size_t kTelemetryDatagram = 64512;
// Nothing is recorded from the card until the sync-loss counter is below this.
inline constexpr int kSyncLossLimit = 30;

// Replay kinds.
inline constexpr int kSoftwareReplay = 1;
inline constexpr int kCardReplay = 2;

// The frame's buffers, allocated once at the sizes above.
struct DataPathBuffers {
    std::uint8_t* latestBlock = nullptr;                 // A, written by the producers
    const std::uint8_t* afterDecryptionBlock = nullptr;  // B, zero-filled, written by nothing
    std::uint8_t* assembly = nullptr;
    std::atomic<std::uint32_t>* assemblyCount = nullptr;
    std::uint8_t* sendBuffer = nullptr;  // kSendBufferBytes
    std::uint32_t* sendFill = nullptr;
    std::mutex* sendLock = nullptr;
};

// The frame's flags read (and a few written) on this path.
struct DataPathFlags {
    std::atomic<int>& cardOpen;
    std::atomic<int>& cardInitialising;
    std::atomic<int>& replayRunning;
    std::atomic<int>& replayKind;
    std::atomic<int>& afterDecryption;  // display the data after decryption
    std::atomic<int>& recording;
    std::atomic<int>& paramsApplied;
    std::atomic<int>& standardFrameReady;
    std::atomic<int>& bitErrorOn;
    std::atomic<int>& frameCountStatOn;
    std::atomic<int>& idStatOn;
    std::atomic<int>& timeStatOn;
    std::atomic<int>& gnssSearchOn;
    std::atomic<int>& gnssMulticastOn;
    std::atomic<int>& fullFrameBroadcastOn;
};

// Why the after-decryption choice was refused (nullptr: it was toggled).
inline constexpr const char* kFrameCountRunningText =
    "正在进行数据帧计数统计，请先停止帧计数统计。";
inline constexpr const char* kIdCountRunningText = "正在进行数据ID计数统计，请先停止ID计数统计。";
inline constexpr const char* kTimeContinuityRunningText =
    "正在进行数据时间连续统计，请先停止时间连续统计。";

// What the replay feed did on one tick.
enum class ReplayStep { Idle, Dispatched, Ignored, Finished };

class DataPath {
public:
    // `dem` is the demodulator record the path starts with; it is copied.
    DataPath(const DemParam& dem, DataPathBuffers buffers, DataPathFlags flags,
             DataConsumers& consumers);
    DataPath(const DataPath&) = delete;
    DataPath& operator=(const DataPath&) = delete;

    // The frame exists: blocks are taken from now on.
    void Attach() { live_.store(true); }
    // Blocks are refused from now on; returns once a block being dispatched
    // has been handed to every consumer, so the buffers may then be freed.
    void Detach();

    // The data callback's work for one card block (report thread). A block
    // longer than kMaxCardBlock (the device library hands on all that waited
    // when the callback was slow) goes through the whole chain in pieces of
    // whole frames, in order.
    void OnCardBlock(const std::uint8_t* data, std::size_t byteCount);
    // Bytes of the first piece of a long block in geometry `g`: the most
    // whole superframe records (or else subframe records) in kMaxCardBlock.
    static std::size_t CardPieceBytes(const DataGeometry& g);

    // A replay starts or ends between two blocks: both return once a card or
    // replay block being dispatched has been handed to every consumer, and
    // the next block sees the new state. A software replay's blocks, and
    // Geometry() while it runs, carry the time-tag format (配时精度) its file
    // was recorded with. `whileWaiting` runs between tries for the block in
    // flight (the frame lets a consumer's message box through).
    void BeginReplay(int kind, std::uint32_t fileTagFormat,
                     const std::function<void()>& whileWaiting = {});
    void EndReplay(const std::function<void()>& whileWaiting = {});

    // The replay feed's work for one tick (replay-feed thread): reads the
    // next block through the reader into the latest block and dispatches it.
    ReplayStep FeedReplay();
    // Dispatch of `length` bytes already in the latest block.
    void DispatchReplayBlock(std::size_t length) {
        std::lock_guard producer(producerLock_);
        DispatchReplayLocked(length);
    }

    // 5 ms pacing tick (timer thread): true on every second tick while a
    // software replay runs, when the replay feed is to be woken.
    bool OnPacingTick();

    // Forget every superframe (card reopened, demodulator or receiver sent),
    // and the bytes waiting in the send buffer: records of the old geometry
    // would shift every later packet.
    void ResetAssembly() {
        std::lock_guard producer(producerLock_);
        assembler_.Reset();
        send_.Clear();
    }

    // Replaces the path's copy of the demodulator record (any thread). A
    // block being dispatched keeps the copy it started with; the next block
    // takes the new one whole.
    void SetDemodulatorRecord(const DemParam& dem);
    // The copy blocks are dispatched with now (the station's record, also
    // during a replay).
    DemParam DemodulatorRecord() const;

    // --- the 250 ms refresh (GUI thread) ---
    // False while the card initialises, or without an open card or a replay.
    bool RefreshAllowed() const;
    // The frame the raw table and histogram show now, or null when there is
    // none: the latest block or the first assembled superframe, before or
    // after decryption as chosen. Null too when the frame `shown` describes
    // is larger than the buffer it would be read from.
    const std::uint8_t* RawViewData(const _FRAME_STRUCT_PARAM& shown) const;

    // Command 32785 (GUI thread): nullptr when the choice was toggled, else
    // the reason it was refused.
    const char* ToggleAfterDecryption();

    // --- values shared with the consumers ---
    std::atomic<int> syncLossCount{100};  // status view; 0 while in lock
    std::atomic<unsigned> dayOfYear{0};   // last read from the time-code unit
    std::atomic<int> beforeDecryptionRecording{1};
    std::atomic<int> standardFrameRequest{0};  // capture the next superframe
    std::atomic<int> gnssProtocol{0};
    std::atomic<std::uint32_t> replayBitRate{1000000};  // 实际码率 for the time check
    std::atomic<double> recordedBytes{0.0};             // before-decryption bytes recorded
    std::atomic<std::uint64_t> sendDroppedBlocks{0};    // blocks the full send buffer refused
    std::atomic<std::uint64_t> sendDroppedBytes{0};     // their bytes

    void SetReplayReader(SoftwareReplayReader* reader) { reader_.store(reader); }
    std::span<const std::uint8_t> StandardFrame() const;
    SendBuffer& Send() { return send_; }
    const SuperframeAssembler& Assembler() const { return assembler_; }
    DataGeometry Geometry() const;

private:
    struct Entry;  // counts a producer inside the dispatch
    // The record and its geometry as one block sees them.
    struct BlockSettings {
        DemParam dem;
        DataGeometry geometry;
    };
    void TakeSettings(BlockSettings& out, bool replay) const;
    std::unique_lock<std::mutex> WaitForProducer(const std::function<void()>& whileWaiting);
    void DispatchCardPiece(const std::uint8_t* data, std::size_t length, const BlockSettings& s);
    void DispatchReplayLocked(std::size_t length);
    std::span<const std::uint8_t> Assemble(std::size_t length, const DataGeometry& g);
    bool CaptureStandardFrame(std::span<const std::uint8_t> data, const DataGeometry& g);
    void FeedDisplaysAndChecks(std::span<const std::uint8_t> data, const BlockSettings& s,
                               bool replay);

    mutable std::mutex settingsLock_;
    BlockSettings settings_;  // guarded by settingsLock_
    // The file's tag format while a software replay runs; guarded by settingsLock_.
    std::optional<std::uint32_t> replayTagFormat_;
    // Held by a producer for a whole block and by whoever starts or ends a
    // replay, so that one producer at a time writes the latest block and the
    // assembly.
    std::mutex producerLock_;
    DataPathBuffers buf_;
    DataPathFlags flags_;
    DataConsumers& consumers_;
    SuperframeAssembler assembler_;
    SendBuffer send_;
    std::atomic<SoftwareReplayReader*> reader_{nullptr};

    std::atomic<bool> live_{false};
    std::atomic<int> inside_{0};  // producers inside the dispatch
    bool pacingToggle_ = false;   // timer thread

    // Owned scratch and capture areas, allocated once.
    std::unique_ptr<std::uint8_t[]> recordingCopy_;  // kMaxCardBlock + kAssemblyBytes
    std::unique_ptr<std::uint8_t[]> standardFrame_;  // one superframe record at most
    std::size_t standardFrameBytes_ = 0;             // written before the ready flag
    _FRAME_STRUCT_PARAM_EX curveRecord_{};           // producer thread
};

}  // namespace datapath

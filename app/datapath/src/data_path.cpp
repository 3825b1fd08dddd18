#include <datapath/data_path.h>
#include <datapath/recording_copy.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace datapath {

// Counts a producer inside the dispatch for Detach; `ok` is false once the
// path was detached.
struct DataPath::Entry {
    explicit Entry(DataPath& p) : path(p) {
        path.inside_.fetch_add(1);
        ok = path.live_.load();
    }
    ~Entry() { path.inside_.fetch_sub(1); }
    DataPath& path;
    bool ok;
};

DataPath::DataPath(const DemParam& dem, DataPathBuffers buffers, DataPathFlags flags,
                   DataConsumers& consumers)
    : settings_{dem, GeometryOf(dem)},
      buf_(buffers),
      flags_(flags),
      consumers_(consumers),
      assembler_(buffers.assembly, kAssemblyBytes, *buffers.assemblyCount),
      send_(buffers.sendBuffer, kSendBufferBytes, *buffers.sendFill, *buffers.sendLock),
      // A card block of at most 64 KiB plus the superframe moved to the front
      // is at most 64 KiB + one superframe record, and a record is at most
      // the assembly buffer.
      recordingCopy_(
          std::make_unique_for_overwrite<std::uint8_t[]>(kMaxCardBlock + kAssemblyBytes)),
      standardFrame_(std::make_unique_for_overwrite<std::uint8_t[]>(kAssemblyBytes)) {}

void DataPath::SetDemodulatorRecord(const DemParam& dem) {
    const DataGeometry g = GeometryOf(dem);
    std::lock_guard lock(settingsLock_);
    settings_.dem = dem;
    settings_.geometry = g;
}

DemParam DataPath::DemodulatorRecord() const {
    std::lock_guard lock(settingsLock_);
    return settings_.dem;
}

DataGeometry DataPath::Geometry() const {
    std::lock_guard lock(settingsLock_);
    DataGeometry g = settings_.geometry;
    if (replayTagFormat_) g.tagFormat = *replayTagFormat_;
    return g;
}

void DataPath::TakeSettings(BlockSettings& out, bool replay) const {
    std::lock_guard lock(settingsLock_);
    out = settings_;
    if (replay && replayTagFormat_) {
        out.dem.配时精度 = *replayTagFormat_;
        out.geometry.tagFormat = *replayTagFormat_;
    }
}

std::unique_lock<std::mutex> DataPath::WaitForProducer(const std::function<void()>& whileWaiting) {
    std::unique_lock producer(producerLock_, std::defer_lock);
    if (!whileWaiting) {
        producer.lock();
        return producer;
    }
    while (!producer.try_lock()) {
        whileWaiting();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return producer;
}

void DataPath::BeginReplay(int kind, std::uint32_t fileTagFormat,
                           const std::function<void()>& whileWaiting) {
    const auto producer = WaitForProducer(whileWaiting);
    {
        std::lock_guard lock(settingsLock_);
        if (kind == kSoftwareReplay)
            replayTagFormat_ = fileTagFormat;
        else
            replayTagFormat_.reset();
    }
    flags_.replayKind.store(kind);
    flags_.replayRunning.store(1);
}

void DataPath::EndReplay(const std::function<void()>& whileWaiting) {
    // Cleared first: a replay feed about to start its next block gives up.
    flags_.replayRunning.store(0);
    const auto producer = WaitForProducer(whileWaiting);
    std::lock_guard lock(settingsLock_);
    replayTagFormat_.reset();
}

void DataPath::Detach() {
    live_.store(false);
    while (inside_.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

std::span<const std::uint8_t> DataPath::Assemble(std::size_t length, const DataGeometry& g) {
    const std::span<const std::uint8_t> handoff(buf_.latestBlock, length);
    if (!g.superframeMode) {
        assembler_.CopyPlain(handoff);
        return handoff;
    }
    const std::size_t n = assembler_.Assemble(handoff, g);
    return {assembler_.Data(), n};
}

std::size_t DataPath::CardPieceBytes(const DataGeometry& g) {
    // Pieces end on frame boundaries: a cut record would be lost to the
    // assembly and misread by every check and packet after it.
    for (const std::size_t unit : {g.superframeRecord, g.subframeRecord})
        if (unit != 0 && unit <= kMaxCardBlock) return kMaxCardBlock / unit * unit;
    return kMaxCardBlock;
}

void DataPath::OnCardBlock(const std::uint8_t* data, std::size_t byteCount) {
    const Entry entry(*this);
    if (!entry.ok) return;
    std::lock_guard producer(producerLock_);
    if (!flags_.cardOpen || flags_.cardInitialising) return;
    if (flags_.replayRunning && flags_.replayKind == kSoftwareReplay) return;

    // One record for the whole block, like one block of today's size.
    BlockSettings s;
    TakeSettings(s, false);
    if (byteCount <= kMaxCardBlock) {
        DispatchCardPiece(data, byteCount, s);
        return;
    }
    const std::size_t piece = CardPieceBytes(s.geometry);
    for (std::size_t at = 0; at < byteCount; at += piece)
        DispatchCardPiece(data + at, std::min(piece, byteCount - at), s);
}

void DataPath::DispatchCardPiece(const std::uint8_t* data, std::size_t length,
                                 const BlockSettings& s) {
    std::memcpy(buf_.latestBlock, data, length);
    const DataGeometry& g = s.geometry;
    const std::span<const std::uint8_t> out = Assemble(length, g);
    if (out.empty()) return;  // no complete superframe yet

    // The copy is only made when it is going to be written.
    if (flags_.recording && consumers_.BeforeDecryptionFileOpen() && beforeDecryptionRecording &&
        syncLossCount < kSyncLossLimit) {
        const std::size_t n =
            MakeRecordingCopy(out, g.subframeRecord, dayOfYear,
                              {recordingCopy_.get(), kMaxCardBlock + kAssemblyBytes});
        recordedBytes.fetch_add(
            double(consumers_.WriteBeforeDecryptionFile(recordingCopy_.get(), n)));
    }
    if (flags_.paramsApplied && consumers_.LiveParamSolving() && consumers_.ParamWindowOpen())
        consumers_.SetDealDSDemData(out.data(), out.size());
    if (flags_.afterDecryption) return;
    FeedDisplaysAndChecks(out, s, false);
}

void DataPath::DispatchReplayLocked(std::size_t length) {
    const Entry entry(*this);
    if (!entry.ok || length == 0 || length > kMaxReplayBlock || flags_.cardInitialising) return;

    BlockSettings s;
    TakeSettings(s, true);
    const DataGeometry& g = s.geometry;
    const std::span<const std::uint8_t> out = Assemble(length, g);
    if (out.empty()) return;

    if (flags_.recording && consumers_.BeforeDecryptionFileOpen() && beforeDecryptionRecording) {
        recordedBytes.fetch_add(
            double(consumers_.WriteBeforeDecryptionFile(out.data(), out.size())));
    }
    if (flags_.fullFrameBroadcastOn && consumers_.BroadcastEndpointReady()) {
        ForEachDatagram(out.size(), g.superframeRecord, kBroadcastDatagram,
                        [&](std::size_t at, std::size_t n) {
                            consumers_.SendBroadcastDatagram(out.data() + at, n);
                        });
    }
    if (flags_.paramsApplied && consumers_.ParamWindowOpen())
        consumers_.SetDealDSDemData(out.data(), out.size());
    FeedDisplaysAndChecks(out, s, true);
}

bool DataPath::CaptureStandardFrame(std::span<const std::uint8_t> data, const DataGeometry& g) {
    // A block shorter than one superframe record leaves the request for the
    // next block rather than capture bytes that were not received.
    const std::size_t n = g.superframeRecord;
    if (n == 0 || n > data.size() || n > kAssemblyBytes) return false;
    flags_.standardFrameReady.store(0);
    std::memcpy(standardFrame_.get(), data.data(), n);
    standardFrameBytes_ = n;
    flags_.standardFrameReady.store(1);
    return true;
}

std::span<const std::uint8_t> DataPath::StandardFrame() const {
    if (!flags_.standardFrameReady) return {};
    return {standardFrame_.get(), standardFrameBytes_};
}

void DataPath::FeedDisplaysAndChecks(std::span<const std::uint8_t> out, const BlockSettings& s,
                                     bool replay) {
    const std::uint8_t* data = out.data();
    const std::size_t length = out.size();
    const DataGeometry& g = s.geometry;

    if (consumers_.RawCurveExists()) {
        FillCurveRecord(curveRecord_, s.dem, length);
        consumers_.SetRawcurveData(curveRecord_, data);
    }
    if (standardFrameRequest && CaptureStandardFrame(out, g)) standardFrameRequest.store(0);
    if (flags_.bitErrorOn) consumers_.MeasureBitErrors(data, length);

    if (consumers_.TelemetrySendingOn()) {
        if (replay) {
            ForEachDatagram(length, g.superframeRecord, kTelemetryDatagram,
                            [&](std::size_t at, std::size_t n) {
                                consumers_.SendTelemetryDatagram(data + at, n);
                            });
        } else if (syncLossCount < kSyncLossLimit) {
            // Like recording, nothing is queued from the card until it is in lock.
            if (!send_.Append(out)) {
                sendDroppedBytes.fetch_add(length);
                sendDroppedBlocks.fetch_add(1);
            }
        }
    }

    if (flags_.frameCountStatOn) consumers_.CountFrames(data, length, g);
    if (flags_.idStatOn) consumers_.CountIds(data, length, g);
    if (flags_.timeStatOn) {
        const std::uint32_t rate = flags_.replayRunning ? replayBitRate.load() : g.codeRate;
        consumers_.CheckTimeContinuity(data, length, g, rate);
    }
    if (flags_.gnssSearchOn) {
        consumers_.SearchGnssFrames(gnssProtocol, data, length);
        if (flags_.gnssMulticastOn) consumers_.SendGnssPosition();
    }
}

ReplayStep DataPath::FeedReplay() {
    SoftwareReplayReader* reader = reader_.load();
    if (!reader || !flags_.replayRunning || flags_.replayKind != kSoftwareReplay)
        return ReplayStep::Idle;
    // The read and the dispatch are one step: a replay ended meanwhile waits
    // for it, and a card block does not come in between.
    std::lock_guard producer(producerLock_);
    if (!flags_.replayRunning || flags_.replayKind != kSoftwareReplay) return ReplayStep::Idle;
    std::size_t length = 0;
    {
        const Entry entry(*this);
        if (!entry.ok) return ReplayStep::Idle;
        reader->ApplyPendingSeek();
        const double progress = reader->Progress();
        length = reader->ReadNextBlock(buf_.latestBlock, kLatestBlockBytes);
        if (progress >= 1.0) {
            reader->StopReplay();
            flags_.replayRunning.store(0);
            std::lock_guard lock(settingsLock_);
            replayTagFormat_.reset();
            return ReplayStep::Finished;
        }
    }
    if (length < 1 || length > kMaxReplayBlock || flags_.cardInitialising)
        return ReplayStep::Ignored;
    DispatchReplayLocked(length);
    return ReplayStep::Dispatched;
}

bool DataPath::OnPacingTick() {
    pacingToggle_ = !pacingToggle_;
    return !pacingToggle_ && flags_.replayRunning && flags_.replayKind == kSoftwareReplay;
}

bool DataPath::RefreshAllowed() const {
    if (flags_.cardInitialising) return false;
    return flags_.cardOpen || flags_.replayRunning;
}

const std::uint8_t* DataPath::RawViewData(const _FRAME_STRUCT_PARAM& shown) const {
    const std::size_t frameBytes =
        std::size_t{shown.nSubframes} *
        (std::size_t{shown.nWordsPerSubframe} * shown.nWordBytes + shown.nTimeBytes);
    const bool superframe = Geometry().superframeMode;
    if (frameBytes > (superframe ? kAssemblyBytes : kLatestBlockBytes)) return nullptr;
    if (flags_.afterDecryption) {
        // The second assembly is reserved for data after decryption; nothing
        // fills it, so its count stays 0 and it never has a frame to show.
        return superframe ? nullptr : buf_.afterDecryptionBlock;
    }
    if (!superframe) return buf_.latestBlock;
    return assembler_.Count() > 0 ? assembler_.Data() : nullptr;
}

const char* DataPath::ToggleAfterDecryption() {
    if (flags_.frameCountStatOn) return kFrameCountRunningText;
    if (flags_.idStatOn) return kIdCountRunningText;
    if (flags_.timeStatOn) return kTimeContinuityRunningText;
    flags_.afterDecryption.store(flags_.afterDecryption ? 0 : 1);
    if (flags_.bitErrorOn.exchange(0) != 0) consumers_.StopBitErrorMeasurement();
    flags_.standardFrameReady.store(0);
    return nullptr;
}

}  // namespace datapath

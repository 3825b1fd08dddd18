// The software replay of a recorded file as the replay-feed thread sees it.
// Recording and replay provide the implementation; the feed calls it on the
// replay-feed thread once per 10 ms tick while a software replay runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace datapath {

class SoftwareReplayReader {
public:
    virtual ~SoftwareReplayReader() = default;
    // Asks for the replay to continue at `startRecord` (any thread). The
    // latest request wins; the feed takes it at its next tick.
    void RequestSeek(std::uint64_t startRecord) { pendingSeek_.store(startRecord); }
    // Moves to the position chosen with the status view's replay controls,
    // when one is pending (TakePendingSeek).
    virtual void ApplyPendingSeek() = 0;
    // Position in the file as a fraction; 1.0 at its end.
    virtual double Progress() = 0;
    // Reads the next block into `into` (up to `capacity` bytes); its length.
    virtual std::size_t ReadNextBlock(std::uint8_t* into, std::size_t capacity) = 0;
    // The file has been played to its end.
    virtual void StopReplay() = 0;

protected:
    // The record asked for since the last call, if any.
    bool TakePendingSeek(std::uint64_t& startRecord) {
        const std::uint64_t r = pendingSeek_.exchange(kNoSeek);
        if (r == kNoSeek) return false;
        startRecord = r;
        return true;
    }

private:
    static constexpr std::uint64_t kNoSeek = ~std::uint64_t{0};
    std::atomic<std::uint64_t> pendingSeek_{kNoSeek};
};

// Replay speeds: multiples of the recording's own rate, or as fast as the
// block size allows.
inline constexpr int kReplayFastest = 0;

// The software replay of a recorded file: every block is whole superframe
// records (so the frame checks see no false jump between blocks), at most
// 2 MiB, and as many records per 10 ms tick as the file's code rate gives at
// the chosen speed. The object lives as long as its owner; Open and Close
// may come from another thread than the reads.
class FileReplayReader : public SoftwareReplayReader {
public:
    // Frame shape of the file and where its records begin.
    struct Shape {
        std::uint64_t dataOffset = 0;
        std::uint32_t wordBits = 0;
        std::uint32_t subframeWords = 0;
        std::uint32_t superframeLength = 1;
        std::uint32_t codeRate = 0;  // bit/s
    };
    static constexpr std::size_t kMaxBlock = 2097152;
    static constexpr double kTickSeconds = 0.010;

    ~FileReplayReader() override;
    // Opens `path` at `startRecord`; false when it cannot be read or holds
    // no record there.
    bool Open(const std::string& path, const Shape& shape, std::uint64_t startRecord);
    void Close();
    bool IsOpen() const;

    // 1, 2, 4 or kReplayFastest; any other value is taken as 1 (any thread).
    void SetSpeed(int speed) { speed_.store(speed); }
    int Speed() const { return speed_.load(); }

    std::uint64_t RecordCount() const { return recordCount_.load(); }
    // The record the next block starts with.
    std::uint64_t Position() const { return position_.load(); }
    std::size_t RecordBytes() const { return recordBytes_; }

    void ApplyPendingSeek() override;
    double Progress() override { return progress_.load(); }
    std::size_t ReadNextBlock(std::uint8_t* into, std::size_t capacity) override;
    void StopReplay() override { Close(); }

private:
    void SeekTo(std::uint64_t record);  // lock_ held
    // Records of this tick at the current speed, whole groups only.
    std::uint64_t RecordsThisTick(std::uint64_t maxRecords);  // lock_ held

    mutable std::mutex lock_;
    int fd_ = -1;                    // guarded by lock_
    std::size_t recordBytes_ = 0;    // guarded by lock_
    std::uint64_t group_ = 1;        // records per block unit (superframe), lock_
    std::uint64_t dataOffset_ = 0;   // lock_
    double recordsPerTick1x_ = 0.0;  // lock_
    double carry_ = 0.0;             // records owed from earlier ticks, lock_
    std::atomic<std::uint64_t> recordCount_{0};
    std::atomic<std::uint64_t> position_{0};
    std::atomic<double> progress_{0.0};
    std::atomic<int> speed_{1};
};

}  // namespace datapath

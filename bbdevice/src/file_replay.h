// File replay of the signal-source unit: reads a recording, strips the time
// tags and streams the frame bytes to the engine, which plays them through
// its demodulator path again. Start and stop run on the caller's thread,
// refills on the poll worker when the engine reports progress; lock_ guards
// the file and the send counters, the progress figures are atomics.
#pragma once

#include <bbdevice/dem_file.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace bbdev {

inline constexpr std::uint32_t kReplayBeginCommand = 0x01000405;
inline constexpr std::uint32_t kReplayDataCommand = 0x01000406;
inline constexpr std::uint32_t kReplayEndOfFillCommand = 0x01000407;
inline constexpr std::uint32_t kReplayStopCommand = 0x01000408;
inline constexpr std::uint64_t kReplayInFlightBytes = 2097152;
inline constexpr std::uint64_t kReplayMessageBytes = 65536;
inline constexpr std::size_t kReplayReadBytes = 2113536;
// One data message: the carried bytes and, when a single record exceeds a
// message, that whole record with its tag.
inline constexpr std::size_t kReplaySendAreaBytes = kReplayMessageBytes + 8 + 4;

// Free room in the engine's replay buffer after bytesSent bytes went out and
// the card reported playedWords (its 32-bit counter of words played out).
std::uint64_t ReplayFreeBytes(std::uint64_t bytesSent, std::uint32_t playedWords);

class CFileReplay {
public:
    struct Port {
        std::function<bool(std::uint32_t command, std::span<const std::uint8_t> payload)> send;
        std::function<void()> resendDemodulator;  // the kept record, when one was sent
        std::function<void(std::uint32_t code, const char* message)> fail;  // formats and shows
    };

    explicit CFileReplay(Port port);
    ~CFileReplay();
    CFileReplay(const CFileReplay&) = delete;
    CFileReplay& operator=(const CFileReplay&) = delete;

    bool Start(const char* path, std::uint64_t start, std::uint64_t end, const ReplayInfo* info,
               std::uint64_t dataOffset);
    bool Stop();
    // The finished flag; percent of the range played and records played.
    bool Finished(double* percent, std::uint64_t* records) const;
    // Module 4 operation 6 from the engine (poll worker).
    void OnProgress(std::span<const std::uint8_t> payload);

private:
    enum class Built { Sent, Failed, Empty };
    bool SendRecordsLocked(std::uint64_t n);
    Built SendMessageLocked(std::uint64_t n);
    void CloseLocked();
    void Fail(std::uint32_t code, const std::string& text);

    Port port_;

    std::mutex lock_;
    // guarded by lock_:
    int fd_ = -1;
    std::string path_;
    std::uint64_t fileLength_ = 0;
    ReplayInfo info_{};
    std::uint64_t dataOffset_ = 0;
    std::uint64_t recordCount_ = 0;
    std::uint64_t rangeStart_ = 0, rangeEnd_ = 0;
    std::uint64_t position_ = 0;  // file offset of the next record to send
    std::uint64_t recordsSent_ = 0, bytesSent_ = 0;
    std::uint64_t recordBytes_ = 0, tagBytes_ = 0, minChunk_ = 1, perMessage_ = 1;
    std::uint64_t sentBytesPerRecord_ = 1;  // what one record adds to a data message
    std::uint8_t carry_[3] = {};
    std::uint32_t carryBytes_ = 0;
    std::unique_ptr<std::uint8_t[]> readArea_;  // kReplayReadBytes, allocated at the first start
    std::unique_ptr<std::uint8_t[]> sendArea_;  // one data message

    std::atomic<std::uint64_t> frameBytes_{0};
    std::atomic<std::uint64_t> totalWords_{0};
    std::atomic<std::uint32_t> progressWords_{0};
    std::atomic<std::uint64_t> recordsReplayed_{0};
    std::atomic<std::uint32_t> feeding_{0};
    std::atomic<std::uint32_t> finished_{0};
};

}  // namespace bbdev

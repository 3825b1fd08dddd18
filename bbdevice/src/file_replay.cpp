#include "file_replay.h"

#include <bbdevice/wire/engine_message.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dem_file_header.h"

namespace bbdev {
namespace {

constexpr std::uint32_t kCodeOpen = 2;
constexpr std::uint32_t kCodeStart = 4;
constexpr const char* kMsgStartFailed = "启动数据回放失败！";
constexpr std::uint32_t kStateEnd = 2;
constexpr std::uint64_t kFreeThreshold = 32;

// Reads exactly length bytes at offset; false on a short file or an error.
bool ReadAt(int fd, std::uint8_t* out, std::size_t length, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::uint64_t ReplayFreeBytes(std::uint64_t bytesSent, std::uint32_t playedWords) {
    // The card counts words in 32 bits; the difference is taken in the same
    // width so that it stays right when the counter wraps after 16 GiB.
    const auto inFlightWords =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(bytesSent / 4) - playedWords);
    const std::uint64_t inFlight = inFlightWords > 0 ? std::uint64_t(inFlightWords) * 4 : 0;
    return inFlight < kReplayInFlightBytes ? kReplayInFlightBytes - inFlight : 0;
}

CFileReplay::CFileReplay(Port port)
    : port_(std::move(port)), sendArea_(std::make_unique<std::uint8_t[]>(kReplaySendAreaBytes)) {}

CFileReplay::~CFileReplay() {
    std::lock_guard lock(lock_);
    CloseLocked();
}

void CFileReplay::CloseLocked() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void CFileReplay::Fail(std::uint32_t code, const std::string& text) {
    if (port_.fail) port_.fail(code, text.c_str());
}

bool CFileReplay::Start(const char* path, std::uint64_t start, std::uint64_t end,
                        const ReplayInfo* info, std::uint64_t dataOffset) {
    if (port_.resendDemodulator) port_.resendDemodulator();
    std::lock_guard lock(lock_);
    CloseLocked();
    feeding_.store(0);
    const std::string name = path ? path : "";
    auto openFailed = [&] {
        CloseLocked();
        char text[1024];
        std::snprintf(text, sizeof text, "启动回放时发生以下错误：\n    打开回放文件：%s失败！",
                      name.c_str());
        Fail(kCodeOpen, text);
        return false;
    };

    // Others may read the file meanwhile but not write it.
    fd_ = name.empty() ? -1 : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 || ::flock(fd_, LOCK_SH | LOCK_NB) != 0) return openFailed();
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return openFailed();
    path_ = name;
    fileLength_ = static_cast<std::uint64_t>(st.st_size);

    // The description comes from the caller or from the file's own header;
    // either way the records it announces must be in the file.
    demfile::ReplayGeometry g;
    if (info) {
        info_ = *info;
        dataOffset_ = dataOffset;
        g = demfile::GeometryOf(info_);
        if (!g.valid || dataOffset_ > fileLength_) return openFailed();
        recordCount_ = (fileLength_ - dataOffset_) / g.recordBytes;
    } else {
        std::uint8_t header[kDemFileHeaderBytes];
        if (fileLength_ < sizeof header || !ReadAt(fd_, header, sizeof header, 0))
            return openFailed();
        std::uint64_t records = 0;
        if (demfile::ParseHeader(header, &info_, &records) != demfile::HeaderCheck::Ok)
            return openFailed();
        dataOffset_ = kDemFileHeaderBytes;
        g = demfile::GeometryOf(info_);
        if (!g.valid) return openFailed();
        // A recording whose header was never finished (count 0, or more
        // records than were written) still holds the records on disk.
        const std::uint64_t held = (fileLength_ - dataOffset_) / g.recordBytes;
        recordCount_ = records == 0 || records > held ? held : records;
    }

    // A range beyond the recording ends with it; an empty one has nothing to play.
    end = std::min(end, recordCount_);
    const std::uint64_t range = start < end ? end - start : 0;
    if (range == 0 || g.frameBytes * range < 4) {
        CloseLocked();
        Fail(kCodeStart, kMsgStartFailed);
        return false;
    }
    rangeStart_ = start;
    rangeEnd_ = end;
    position_ = dataOffset_ + start * g.recordBytes;
    recordBytes_ = g.recordBytes;
    tagBytes_ = g.recordBytes - g.frameBytes;
    // Without 配时密度 the records go out whole, tag bytes included.
    sentBytesPerRecord_ = info_.配时密度 == 0 ? g.recordBytes : g.frameBytes;
    frameBytes_.store(g.frameBytes);
    totalWords_.store(g.bytesPerWord * info_.子帧长 * range / 4 - 1);
    minChunk_ = std::max<std::uint64_t>(1, kFreeThreshold / g.frameBytes);
    perMessage_ = std::max<std::uint64_t>(1, kReplayMessageBytes / sentBytesPerRecord_);
    recordsSent_ = bytesSent_ = 0;
    carryBytes_ = 0;
    progressWords_.store(0);
    recordsReplayed_.store(0);
    finished_.store(0);
    if (!readArea_) readArea_ = std::make_unique<std::uint8_t[]>(kReplayReadBytes);

    std::uint8_t value[8];
    wire::StoreLe32(value, 1);
    bool ok = port_.send(kReplayBeginCommand, {value, 4});
    if (ok) ok = SendRecordsLocked(std::min(kReplayInFlightBytes / sentBytesPerRecord_, range));
    if (ok) {
        wire::StoreLe32(value, static_cast<std::uint32_t>(g.frameBytes));
        wire::StoreLe32(value + 4, static_cast<std::uint32_t>(totalWords_.load()));
        ok = port_.send(kReplayEndOfFillCommand, {value, 8});
    }
    if (!ok) {
        CloseLocked();
        Fail(kCodeStart, kMsgStartFailed);
        return false;
    }
    finished_.store(0);
    feeding_.store(1);
    return true;
}

bool CFileReplay::SendRecordsLocked(std::uint64_t n) {
    while (n > 0) {
        const std::uint64_t m = std::min(n, perMessage_);
        if (SendMessageLocked(m) == Built::Failed) return false;
        n -= m;
    }
    return true;
}

// Reads n records, keeps their frame bytes behind the carried ones and sends
// whole words; the 1 to 3 bytes left over open the next message. Nothing
// moves on when the send fails, so the next refill sends the same bytes.
CFileReplay::Built CFileReplay::SendMessageLocked(std::uint64_t n) {
    n = std::min(n, perMessage_);
    const std::uint64_t frame = frameBytes_.load();
    const std::size_t readBytes = static_cast<std::size_t>(n * recordBytes_);
    if (fd_ < 0 || !ReadAt(fd_, readArea_.get(), readBytes, position_)) return Built::Failed;

    std::uint8_t* out = sendArea_.get();
    std::size_t length = carryBytes_;
    std::memcpy(out, carry_, carryBytes_);
    if (info_.配时密度 == 0) {
        std::memcpy(out + length, readArea_.get(), readBytes);
        length += readBytes;
    } else {
        for (std::uint64_t r = 0; r < n; ++r) {
            std::memcpy(out + length, readArea_.get() + r * recordBytes_ + tagBytes_, frame);
            length += frame;
        }
    }
    const std::size_t whole = length & ~std::size_t{3};
    if (whole != 0 && !port_.send(kReplayDataCommand, {out, whole})) return Built::Failed;
    carryBytes_ = static_cast<std::uint32_t>(length - whole);
    std::memcpy(carry_, out + whole, carryBytes_);
    position_ += readBytes;
    recordsSent_ += n;
    bytesSent_ += whole;
    return whole != 0 ? Built::Sent : Built::Empty;
}

void CFileReplay::OnProgress(std::span<const std::uint8_t> payload) {
    if (payload.size() < 16) return;
    const std::uint32_t consumed = wire::LoadLe32(payload.data());
    const std::uint32_t state = wire::LoadLe32(payload.data() + 8);
    const std::uint32_t playedWords = wire::LoadLe32(payload.data() + 12);
    const std::uint64_t frame = frameBytes_.load();
    if (frame != 0) recordsReplayed_.store(std::uint64_t{consumed} * 4 / frame);
    progressWords_.store(consumed);
    if (state == kStateEnd) {
        finished_.store(1);
        feeding_.store(0);
        return;
    }
    if (!feeding_.load()) return;
    // Start and stop hold the lock while they talk to the engine; the next
    // progress message refills instead.
    std::unique_lock lock(lock_, std::try_to_lock);
    if (!lock.owns_lock() || !feeding_.load() || fd_ < 0) return;
    const std::uint64_t free = ReplayFreeBytes(bytesSent_, playedWords);
    if (free <= kFreeThreshold) return;
    const std::uint64_t left = rangeEnd_ - rangeStart_ - recordsSent_;
    const std::uint64_t n = std::min(free / sentBytesPerRecord_, left);
    // The tail of a range may be shorter than the minimum chunk; it still goes.
    if (n == 0 || (n < minChunk_ && n != left)) return;
    SendRecordsLocked(n);
}

bool CFileReplay::Stop() {
    std::lock_guard lock(lock_);
    std::uint8_t zero[4] = {};
    const bool sent = port_.send(kReplayStopCommand, {zero, 4});
    finished_.store(1);
    feeding_.store(0);
    CloseLocked();
    return sent;
}

bool CFileReplay::Finished(double* percent, std::uint64_t* records) const {
    if (records) *records = recordsReplayed_.load();
    const std::uint64_t total = totalWords_.load();
    const bool finished = finished_.load() != 0;
    if (percent) {
        if (total != 0)
            *percent = double(progressWords_.load()) * 100.0 / double(total);
        else
            *percent = finished ? 100.0 : 0.0;
    }
    return finished;
}

}  // namespace bbdev

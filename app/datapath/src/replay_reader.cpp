#include <datapath/replay_reader.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace datapath {

FileReplayReader::~FileReplayReader() {
    Close();
}

bool FileReplayReader::Open(const std::string& path, const Shape& shape,
                            std::uint64_t startRecord) {
    Close();
    if (shape.wordBits == 0 || shape.subframeWords == 0) return false;
    const std::uint64_t record = (std::uint64_t{shape.wordBits} + 7) / 8 * shape.subframeWords + 8;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || std::uint64_t(st.st_size) <= shape.dataOffset) {
        ::close(fd);
        return false;
    }
    const std::uint64_t count = (std::uint64_t(st.st_size) - shape.dataOffset) / record;
    if (count == 0 || startRecord >= count) {
        ::close(fd);
        return false;
    }
    std::lock_guard lock(lock_);
    fd_ = fd;
    recordBytes_ = std::size_t(record);
    dataOffset_ = shape.dataOffset;
    // A superframe larger than a block goes out in whole subframe records.
    const std::uint64_t n = std::max<std::uint32_t>(shape.superframeLength, 1);
    group_ = n * record <= kMaxBlock ? n : 1;
    const double period =
        shape.codeRate ? double(shape.subframeWords) * shape.wordBits / shape.codeRate : 0.0;
    recordsPerTick1x_ = period > 0 ? kTickSeconds / period : 0.0;
    recordCount_ = count;
    SeekTo(startRecord);
    return true;
}

void FileReplayReader::Close() {
    std::lock_guard lock(lock_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool FileReplayReader::IsOpen() const {
    std::lock_guard lock(lock_);
    return fd_ >= 0;
}

void FileReplayReader::SeekTo(std::uint64_t record) {
    const std::uint64_t count = recordCount_.load();
    record = std::min(record, count);
    position_ = record;
    progress_ = count ? double(record) / double(count) : 1.0;
    carry_ = 0.0;
}

void FileReplayReader::ApplyPendingSeek() {
    std::uint64_t record = 0;
    if (!TakePendingSeek(record)) return;
    std::lock_guard lock(lock_);
    if (fd_ >= 0 && record < recordCount_.load()) SeekTo(record);
}

std::uint64_t FileReplayReader::RecordsThisTick(std::uint64_t maxRecords) {
    const int speed = speed_.load();
    if (speed == kReplayFastest || recordsPerTick1x_ <= 0.0) return maxRecords;
    const int factor = speed == 2 || speed == 4 ? speed : 1;
    carry_ += recordsPerTick1x_ * factor;
    std::uint64_t n = std::uint64_t(carry_ / double(group_)) * group_;
    n = std::min(n, maxRecords);
    carry_ -= double(n);
    // A backlog is not made up for in bursts beyond one full block.
    carry_ = std::min(carry_, double(maxRecords));
    return n;
}

std::size_t FileReplayReader::ReadNextBlock(std::uint8_t* into, std::size_t capacity) {
    std::lock_guard lock(lock_);
    if (fd_ < 0 || !into || recordBytes_ == 0) return 0;
    const std::uint64_t count = recordCount_.load();
    const std::uint64_t at = position_.load();
    if (at >= count) {
        progress_ = 1.0;
        return 0;
    }
    const std::size_t limit = std::min(capacity, kMaxBlock);
    const std::uint64_t maxGroups = limit / (group_ * recordBytes_);
    if (maxGroups == 0) return 0;
    std::uint64_t n = RecordsThisTick(maxGroups * group_);
    n = std::min(n, count - at);  // the end of the file may end inside a group
    if (n == 0) return 0;
    const std::size_t bytes = std::size_t(n * recordBytes_);
    const std::uint64_t offset = dataOffset_ + at * recordBytes_;
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t r = ::pread(fd_, into + done, bytes - done, off_t(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += std::size_t(r);
    }
    // Only whole records count; a file cut while being read ends here.
    const std::uint64_t got = done / recordBytes_;
    if (got < n) recordCount_ = at + got;
    position_ = at + got;
    progress_ = recordCount_.load() ? double(at + got) / double(recordCount_.load()) : 1.0;
    return std::size_t(got * recordBytes_);
}

}  // namespace datapath

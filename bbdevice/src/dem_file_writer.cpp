#include "dem_file_writer.h"

#include <fcntl.h>
#include <platform/paths.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "card_device.h"
#include "dem_distribution.h"
#include "dem_file_header.h"
#include "device_messages.h"
#include "unit_demodulator.h"

namespace bbdev {
namespace {

constexpr unsigned kStartFlushMs = 15;

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length, std::size_t* done, int* error) {
    *done = 0;
    while (*done < length) {
        const ssize_t n = ::write(fd, data + *done, length - *done);
        if (n > 0) {
            *done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        *error = n < 0 ? errno : ENOSPC;  // a write of 0 bytes: the disk took nothing
        return false;
    }
    return true;
}

// Shown from its own thread: the report thread holds the channel lock, and a
// modal box there would stall the poll worker and with it the link.
void ShowLater(std::string text) {
    std::thread([text = std::move(text)] { ShowDeviceMessage(text); }).detach();
}

}  // namespace

CDemFileWriter::CDemFileWriter(std::uint32_t cardIndex, std::uint32_t channel,
                               ParamSource keptParam, Flush flush)
    : cardIndex_(cardIndex),
      channel_(channel != 0 ? 1 : 0),
      keptParam_(std::move(keptParam)),
      flush_(std::move(flush)) {}

CDemFileWriter::~CDemFileWriter() {
    Stop();
}

bool CDemFileWriter::Recording() const {
    std::lock_guard lock(lock_);
    return recording_ != 0;
}

std::string CDemFileWriter::Path() const {
    std::lock_guard lock(lock_);
    return path_;
}

bool CDemFileWriter::DefaultPathLocked() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    char dir[kDemFilePathBytes];
    const std::string module = plat::ModuleDirectory();
    int n = std::snprintf(dir, sizeof dir, "%s/DATA%u/", module.c_str(), cardIndex_);
    if (n < 0 || n >= static_cast<int>(sizeof dir)) return false;
    n = std::snprintf(path_, sizeof path_, "%s%s%s", dir, stamp, channel_ == 1 ? "DS.dem" : ".dem");
    return n > 0 && n < static_cast<int>(sizeof path_);
}

bool CDemFileWriter::Start(const DemSaveRequest* request) {
    if (flush_) flush_();
    std::lock_guard lock(lock_);
    bytes_.store(0);
    rewriteHeader_ = 1;
    if (const int previous = DetachLocked(false); previous >= 0) ::close(previous);

    if (request) {
        std::memcpy(header_, request->header, sizeof header_);
        std::memcpy(path_, request->path, sizeof path_);
        if (std::memchr(path_, 0, sizeof path_) == nullptr) {
            path_[0] = 0;  // no terminated path: nothing to create
            return false;
        }
    } else if (!DefaultPathLocked()) {
        path_[0] = 0;
        return false;
    }
    if (path_[0] == 0) return false;

    const std::string path = path_;
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 &&
        !plat::CreateDirectoryPath(path.substr(0, slash)))
        return false;

    // Not shared: a second writer of the same file, or a replay reading it,
    // is refused while this one holds it.
    int fd = ::open(path_, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) error = errno;
    if (fd >= 0 && error == 0 && ::ftruncate(fd, 0) != 0) error = errno;
    std::size_t done = 0;
    if (fd >= 0 && error == 0) WriteAll(fd, header_, sizeof header_, &done, &error);
    if (error != 0) {
        if (fd >= 0) ::close(fd);
        char text[kDemFilePathBytes + 128];
        std::snprintf(text, sizeof text, "创建【%s 文件】失败。\n系统错误代码：%X", path_,
                      static_cast<unsigned>(error));
        ShowDeviceMessage(text);
        return false;
    }
    fd_ = fd;
    recording_ = 1;
    return true;
}

void CDemFileWriter::WriteBlock(std::uint32_t, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(lock_);
    if (!recording_ || fd_ < 0 || bytes.empty()) return;
    std::size_t done = 0;
    int error = 0;
    const bool ok = WriteAll(fd_, bytes.data(), bytes.size(), &done, &error);
    bytes_.fetch_add(done);
    if (!ok) OnWriteFailedLocked(error);
}

// The disk took only part of a block: recording stops, the file is cut back
// to whole records, so that the header written at stop matches what it holds.
void CDemFileWriter::OnWriteFailedLocked(int error) {
    recording_ = 0;
    DemParam p{};
    const std::uint64_t record = keptParam_ && keptParam_(&p) ? demfile::RecordBytes(p) : 0;
    std::uint64_t kept = bytes_.load();
    if (record != 0) kept -= kept % record;
    if (::ftruncate(fd_, static_cast<off_t>(kDemFileHeaderBytes + kept)) == 0) bytes_.store(kept);
    char text[kDemFilePathBytes + 160];
    std::snprintf(text, sizeof text, "写入【%s 文件】失败，存盘已停止。\n系统错误代码：%X", path_,
                  static_cast<unsigned>(error));
    ShowLater(text);
}

int CDemFileWriter::DetachLocked(bool rewriteHeader) {
    if (fd_ < 0) return -1;
    if (rewriteHeader) {
        DemParam p{};
        if (keptParam_) keptParam_(&p);
        const std::uint64_t record = demfile::RecordBytes(p);
        const std::uint64_t records = record != 0 ? bytes_.load() / record : 0;
        demfile::BuildHeader(std::span<std::uint8_t, kDemFileHeaderBytes>(header_), p, records,
                             channel_);
        std::size_t done = 0;
        while (done < sizeof header_) {
            const ssize_t n =
                ::pwrite(fd_, header_ + done, sizeof header_ - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
    }
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool CDemFileWriter::Stop() {
    int fd;
    bool rewritten;
    {
        std::lock_guard lock(lock_);
        recording_ = 0;
        rewritten = rewriteHeader_ != 0;
        fd = DetachLocked(rewritten);
    }
    if (fd < 0) return false;
    // Outside the lock: the report thread, and behind it the poll worker,
    // need not wait for the disk.
    if (rewritten) ::fsync(fd);
    ::close(fd);
    return true;
}

std::unique_ptr<CDemFileWriter> MakeChannelWriter(CCardDevice& card, std::uint32_t channel) {
    const std::uint32_t k = channel != 0 ? 1 : 0;
    auto writer = std::make_unique<CDemFileWriter>(
        card.index(), k, [&card](DemParam* p) { return card.demodulator().KeptParam(p); },
        [&card, k] { card.distribution().Channel(k).Flush(kStartFlushMs); });
    card.distribution().Channel(k).SetWriter(writer.get());
    return writer;
}

}  // namespace bbdev

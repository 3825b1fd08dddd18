#include <fcntl.h>
#include <recording/dat_files.h>
#include <recording/recording_files.h>
#include <unistd.h>

#include <cerrno>

namespace recording {

namespace {

// Writes all of `length` unless the system refuses; the bytes written.
std::size_t WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t r = ::write(fd, data + done, length - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += std::size_t(r);
    }
    return done;
}

bool WriteHeaderAt0(int fd, const std::uint8_t* header) {
    std::size_t done = 0;
    while (done < kHeaderBytes) {
        const ssize_t r = ::pwrite(fd, header + done, kHeaderBytes - done, off_t(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += std::size_t(r);
    }
    return true;
}

int CreateNew(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

}  // namespace

std::string FailureMessage(const FileFailure& f) {
    switch (f.kind) {
        case FileFailure::Kind::DataWrite:
            return "文件写入失败，已停止存盘：\n" + f.path;
        case FileFailure::Kind::SentDataWrite:
            return "文件写入失败，已停止该文件的存盘：\n" + f.path;
        case FileFailure::Kind::FinalHeader:
            return "文件头写入失败，文件头中的记录数不是文件中的记录数：\n" + f.path;
        case FileFailure::Kind::FirstHeader:
            return "文件头写入失败，已删除新建的存盘文件：\n" + f.path;
    }
    return f.path;
}

std::string FailureJournalLine(const FileFailure& f) {
    std::string line = FailureMessage(f);
    const std::size_t cut = line.find('\n');
    if (cut != std::string::npos) line.erase(cut, 1);
    return line;
}

RecordingFiles::~RecordingFiles() {
    CloseData(nullptr, nullptr);
    CloseSent();
}

StartResult RecordingFiles::Start(const RecordingSettings& s, const DemParam& dem,
                                  std::uint32_t liftOffDay, const HeaderTime& now) {
    CloseData(nullptr, nullptr);
    CloseSent();
    failedPath_.clear();
    if (!s.beforeEnabled) return StartResult::Disabled;
    const std::string stamp = TimeStamp(now);
    if (!CreateDirectories(s.beforeDir)) {
        failedPath_ = s.beforeDir;
        return StartResult::Failed;
    }
    // The first suffix free for both names; O_EXCL so no existing file is
    // ever emptied, even when another start made it a moment ago.
    int sentFd = -1, dataFd = -1;
    std::string sentPath, dataPath;
    for (int suffix = 0; suffix < 10000; ++suffix) {
        sentPath = SentDataName(s.beforeDir, stamp, suffix);
        dataPath = BeforeDecryptionName(s.beforeDir, stamp, suffix);
        sentFd = CreateNew(sentPath);
        if (sentFd < 0) {
            if (errno == EEXIST) continue;
            failedPath_ = sentPath;
            return StartResult::Failed;
        }
        dataFd = CreateNew(dataPath);
        if (dataFd >= 0) break;
        const int err = errno;
        ::close(sentFd);
        ::unlink(sentPath.c_str());
        sentFd = -1;
        if (err != EEXIST) {
            failedPath_ = dataPath;
            return StartResult::Failed;
        }
    }
    if (sentFd < 0 || dataFd < 0) {
        failedPath_ = dataPath;
        return StartResult::Failed;
    }
    const bool withHeader = s.beforeHeaderOption == 0;
    if (withHeader) {
        std::uint8_t header[kHeaderBytes];
        BuildHeader(dem, now, 0, liftOffDay, header);
        if (!WriteHeaderAt0(dataFd, header) || ::lseek(dataFd, kHeaderBytes, SEEK_SET) < 0) {
            // Nothing was recorded: no half-made files are left behind.
            ::close(dataFd);
            ::close(sentFd);
            ::unlink(dataPath.c_str());
            ::unlink(sentPath.c_str());
            failedPath_ = dataPath;
            return StartResult::HeaderFailed;
        }
    }
    {
        std::lock_guard lock(sentLock_);
        sentFd_ = sentFd;
        sentFdPath_ = sentPath;
        sentBytes_ = 0;
    }
    {
        std::lock_guard lock(dataLock_);
        dataFd_ = dataFd;
        dataFdPath_ = dataPath;
        dataWritten_ = 0;
        withHeader_ = withHeader;
        liftOffDay_ = liftOffDay;
        dataBytes_ = 0;
        writeFailed_ = false;
        dataOpen_ = true;
    }
    dataPath_ = dataPath;
    sentPath_ = sentPath;
    return StartResult::Started;
}

bool RecordingFiles::Stop(const DemParam& dem, const HeaderTime& now) {
    const bool headerWritten = CloseData(&dem, &now);
    CloseSent();
    dataBytes_ = 0;
    sentBytes_ = 0;
    return headerWritten;
}

bool RecordingFiles::CloseData(const DemParam* dem, const HeaderTime* now) {
    std::lock_guard lock(dataLock_);
    dataOpen_ = false;
    if (dataFd_ < 0) return true;
    bool written = true;
    if (withHeader_ && dem && now) {
        std::uint8_t header[kHeaderBytes];
        BuildHeader(*dem, *now, dataWritten_, liftOffDay_, header);
        written = WriteHeaderAt0(dataFd_, header);
    }
    // Data still in the page cache may fail only here (a full network disk).
    if (::close(dataFd_) != 0 && errno != EINTR) written = false;
    dataFd_ = -1;
    return written;
}

void RecordingFiles::CloseSent() {
    std::lock_guard lock(sentLock_);
    if (sentFd_ >= 0) ::close(sentFd_);
    sentFd_ = -1;
}

std::size_t RecordingFiles::WriteBeforeDecryption(const std::uint8_t* data, std::size_t length) {
    std::size_t written = 0;
    bool failed = false;
    FileFailure failure{FileFailure::Kind::DataWrite, {}};
    {
        std::lock_guard lock(dataLock_);
        if (dataFd_ < 0 || !dataOpen_ || !data || length == 0) return 0;
        written = WriteAll(dataFd_, data, length);
        dataWritten_ += written;
        dataBytes_ = double(dataWritten_);
        if (written != length) {
            // Nothing more goes into this file: a later write that succeeded
            // would leave a gap in the records.
            dataOpen_ = false;
            failed = !writeFailed_.exchange(true);
            if (failed) failure.path = dataFdPath_;
        }
    }
    if (failed) ReportWriteFailure(failure);
    return written;
}

std::size_t RecordingFiles::WriteSentData(const std::uint8_t* data, std::size_t length) {
    std::size_t written = 0;
    FileFailure failure{FileFailure::Kind::SentDataWrite, {}};
    {
        std::lock_guard lock(sentLock_);
        if (sentFd_ < 0 || !data || length == 0) return 0;
        written = WriteAll(sentFd_, data, length);
        sentBytes_ = sentBytes_.load() + double(written);
        if (written == length) return written;
        // A packet cut short: later packets would no longer line up.
        ::close(sentFd_);
        sentFd_ = -1;
        failure.path = sentFdPath_;
    }
    ReportWriteFailure(failure);
    return written;
}

void RecordingFiles::ReportWriteFailure(const FileFailure& failure) {
    std::function<void(const FileFailure&)> handler;
    {
        std::lock_guard lock(handlerLock_);
        handler = onWriteFailure_;
    }
    if (handler) handler(failure);
}

void RecordingFiles::SetWriteFailureHandler(std::function<void(const FileFailure&)> handler) {
    std::lock_guard lock(handlerLock_);
    onWriteFailure_ = std::move(handler);
}

}  // namespace recording

// The two files of a recording: the before-decryption data file and the
// sent-data file, each behind its own mutex. Writers (the data path, the
// telemetry sender) check inside the lock that their file is open, and
// stop takes the same lock to rewrite the header and close, so no block is
// ever written into a file being closed. Only bytes actually written are
// counted; a failed write ends the recording of that file, and every
// failure is told to the caller with the file's path.
#pragma once

#include <recording/dat_header.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace recording {

struct RecordingSettings {
    std::string beforeDir;
    bool beforeEnabled = true;
    int beforeHeaderOption = 0;  // 0 with header, 1 without
};

enum class StartResult {
    Started,
    Disabled,      // before-decryption recording is off: nothing recorded
    Failed,        // FailedPath() could not be created
    HeaderFailed,  // FailedPath()'s header could not be written; both new files removed
};

// A recording file that failed, for the operator and the journal.
struct FileFailure {
    enum class Kind {
        DataWrite,      // a block could not be written: the recording stops
        SentDataWrite,  // a packet could not be written: that file is closed
        FinalHeader,    // the header with the final count could not be written at stop
        FirstHeader,    // the header could not be written at start: the files are gone
    };
    Kind kind;
    std::string path;
};
// The message box text (the path on its own line) and the journal line.
std::string FailureMessage(const FileFailure& f);
std::string FailureJournalLine(const FileFailure& f);

class RecordingFiles {
public:
    RecordingFiles() = default;
    ~RecordingFiles();
    RecordingFiles(const RecordingFiles&) = delete;
    RecordingFiles& operator=(const RecordingFiles&) = delete;

    // Opens a new file pair under the settings' directory (created when
    // missing). An existing file is never emptied: a clashing name gets
    // "_1", "_2", ... before ".dat". With the header option 0 a header is
    // written first; when that fails both new files are removed. GUI thread.
    StartResult Start(const RecordingSettings& s, const DemParam& dem, std::uint32_t liftOffDay,
                      const HeaderTime& now);
    // Rewrites the header with the final record count (header option 0) and
    // closes both files; the counts go back to 0. False when the header
    // could not be written (the data file keeps its first header). GUI thread.
    bool Stop(const DemParam& dem, const HeaderTime& now);

    // Data path: true while the data file takes blocks.
    bool BeforeDecryptionOpen() const { return dataOpen_.load(); }
    // Appends a block; the bytes written. A failed or short write closes the
    // data file for writing (the records written so far stay), and the
    // failure handler is called once, outside the lock.
    std::size_t WriteBeforeDecryption(const std::uint8_t* data, std::size_t length);
    // The telemetry sender's copy of every packet sent; the bytes written.
    // A failed or short write closes the sent-data file and calls the
    // failure handler once, outside the lock.
    std::size_t WriteSentData(const std::uint8_t* data, std::size_t length);

    // Bytes written to each file since the start, header not counted.
    double BeforeDecryptionBytes() const { return dataBytes_.load(); }
    double SentDataBytes() const { return sentBytes_.load(); }

    // Called (on the writer's thread) when a write to either file failed.
    void SetWriteFailureHandler(std::function<void(const FileFailure&)> handler);
    bool WriteFailed() const { return writeFailed_.load(); }

    const std::string& FailedPath() const { return failedPath_; }
    const std::string& BeforeDecryptionPath() const { return dataPath_; }
    const std::string& SentDataPath() const { return sentPath_; }

private:
    // False when the final header could not be written.
    bool CloseData(const DemParam* dem, const HeaderTime* now);
    void CloseSent();
    void ReportWriteFailure(const FileFailure& failure);

    std::mutex dataLock_;
    int dataFd_ = -1;                // guarded by dataLock_
    std::uint64_t dataWritten_ = 0;  // guarded by dataLock_
    bool withHeader_ = false;        // guarded by dataLock_
    std::uint32_t liftOffDay_ = 0;
    std::string dataFdPath_;  // guarded by dataLock_: the file of dataFd_
    std::atomic<bool> dataOpen_{false};
    std::atomic<double> dataBytes_{0.0};
    std::atomic<bool> writeFailed_{false};

    std::mutex sentLock_;
    int sentFd_ = -1;         // guarded by sentLock_
    std::string sentFdPath_;  // guarded by sentLock_: the file of sentFd_
    std::atomic<double> sentBytes_{0.0};

    std::mutex handlerLock_;
    std::function<void(const FileFailure&)> onWriteFailure_;  // guarded by handlerLock_

    std::string failedPath_, dataPath_, sentPath_;  // GUI thread
};

}  // namespace recording

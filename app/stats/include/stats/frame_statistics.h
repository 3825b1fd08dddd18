// The run-time side of the three frame checks: each has a running flag, a
// report file and its own lock. The data path calls the per-block work on
// its thread; start and stop run on the user-interface thread. The lock of a
// check is held around a block's check and write and around the close, so a
// block never writes into a closed report.
#pragma once

#include <datapath/frame_geometry.h>
#include <stats/frame_checks.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace stats {

enum class Check { FrameCount = 0, IdCount = 1, TimeContinuity = 2 };
inline constexpr std::size_t kCheckCount = 3;

// What the status view shows of the checks.
struct StatisticsReadout {
    std::array<bool, kCheckCount> running{};
    std::array<int, kCheckCount> jumps{};
};

// "帧计数错误:%d个", "ID计数错误:%d个", "时间不连续:%d个" for the checks
// that run, an empty text for those that do not (UTF-8).
std::array<std::string, kCheckCount> StatisticsTexts(const StatisticsReadout& r);

// Report file name in the module directory.
std::string ReportPath(const std::string& moduleDir, Check c);

// Why a check may not start with the current geometry (UTF-8), or an empty
// text. highPos 0: no high word.
std::string FrameCountRefusal(const datapath::DataGeometry& g, std::uint32_t highPos,
                              std::uint32_t lowPos);
std::string IdCountRefusal(const datapath::DataGeometry& g, std::uint32_t idPos);
std::string TimeContinuityRefusal(const datapath::DataGeometry& g, std::uint32_t bitRate);

class FrameStatistics {
public:
    // The running flags are the frame's, read lock-free by the data path and
    // by the commands that are refused while a check runs.
    FrameStatistics(std::atomic<int>& frameCountOn, std::atomic<int>& idCountOn,
                    std::atomic<int>& timeOn);
    ~FrameStatistics();
    FrameStatistics(const FrameStatistics&) = delete;
    FrameStatistics& operator=(const FrameStatistics&) = delete;

    // Opens the report for viewing (xdg-open by default).
    void SetReportOpener(std::function<void(const std::string& path)> open);

    // Creates the report in `moduleDir` and starts the check with its word
    // positions. On failure shows the creation message and stays stopped.
    bool StartFrameCount(const std::string& moduleDir, std::uint32_t highPos, std::uint32_t lowPos);
    bool StartIdCount(const std::string& moduleDir, std::uint32_t idPos);
    bool StartTimeContinuity(const std::string& moduleDir);
    // Clears the flag and closes the report; with jumps asks whether to open
    // the report. Nothing when the check does not run.
    void Stop(Check c);
    // Closes every report without asking (exit).
    void StopAll();

    // Per block, on the data path's thread.
    void CountFrames(const std::uint8_t* data, std::size_t length, const datapath::DataGeometry& g);
    void CountIds(const std::uint8_t* data, std::size_t length, const datapath::DataGeometry& g);
    void CheckTimeContinuity(const std::uint8_t* data, std::size_t length,
                             const datapath::DataGeometry& g, std::uint32_t bitRate);

    StatisticsReadout Readout() const;
    bool Running(Check c) const { return slot(c).running.load() != 0; }
    int Jumps(Check c) const { return slot(c).jumps.load(); }
    std::string Path(Check c) const;

private:
    struct Slot {
        explicit Slot(std::atomic<int>& flag) : running(flag) {}
        std::mutex lock;
        std::atomic<int>& running;  // written under lock
        std::atomic<int> jumps{0};
        int fd = -1;       // guarded by lock
        std::string path;  // guarded by lock
    };
    Slot& slot(Check c) { return *slots_[std::size_t(c)]; }
    const Slot& slot(Check c) const { return *slots_[std::size_t(c)]; }
    bool Open(Slot& s, const std::string& path, const char* failureText);
    // Writes a block's text whole; on a write error the text is lost, the
    // check goes on.
    static void WriteAll(int fd, std::string_view text);
    // Closes the report under the lock; returns the jumps and the path.
    bool Close(Slot& s, int& jumps, std::string& path);

    std::array<Slot*, kCheckCount> slots_;
    Slot frameCount_, idCount_, time_;
    FrameCountCheck frameCheck_;                          // guarded by frameCount_.lock
    IdCountCheck idCheck_;                                // guarded by idCount_.lock
    TimeContinuityCheck timeCheck_;                       // guarded by time_.lock
    std::uint32_t highPos_ = 0, lowPos_ = 0, idPos_ = 0;  // set before the flag
    std::function<void(const std::string&)> openReport_;
};

// Starts xdg-open on `path`, detached. When it cannot be started or ends
// with an error, a box names the path.
void OpenWithDesktop(const std::string& path);

}  // namespace stats

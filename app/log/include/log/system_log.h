// The program's journal of notable events of one run. A dedicated thread,
// LogThread, owns the file Log/<start time>.txt under the module directory;
// any thread posts messages, which are queued and written in order, each
// exactly once, as "%H:%M:%S" + four blanks + message + "\r\n" in GBK.
// Posting never waits on the disk. When the directory, the wake-up event or
// the file cannot be made, the thread ends silently and posts are dropped.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace applog {

inline constexpr const char* kLogEventName = "EVENT_LOG";
inline constexpr const char* kExitMessage = "退出软件！";

// Local broken-down time; replaceable for tests.
using LocalClock = std::function<std::tm()>;
std::tm LocalNow();

// "2026年3月5日08时07分09秒.txt": no leading zeros in year, month and day.
std::string LogFileName(const std::tm& t);
// The first record of a journal (UTF-8).
std::string FormatFirstRecord(const std::tm& t);
// "%H:%M:%S" + four blanks + message + "\r\n" (UTF-8).
std::string FormatRecord(const std::tm& t, std::string_view message);

struct LogOptions {
    std::string moduleDir;                  // empty: plat::ModuleDirectory()
    LocalClock clock;                       // empty: LocalNow
    std::string eventName = kLogEventName;  // wake-up event, manual reset
};

// Results of LogThread.
enum LogThreadResult : int {
    kLogRunning = 1,  // not ended yet (or never started)
    kLogOk = 0,
    kLogNoPath = -1,
    kLogNoEvent = -2,
    kLogNoFile = -3,
};

class SystemLog {
public:
    SystemLog();
    ~SystemLog();  // stops the thread (without the exit message) if still running
    SystemLog(const SystemLog&) = delete;
    SystemLog& operator=(const SystemLog&) = delete;

    // Creates moduleDir/Log, names the file after the start time and starts
    // LogThread. A second Start while running does nothing.
    void Start(const LogOptions& options = {});
    // Queues one message (UTF-8; it may contain line ends).
    void Post(std::string message);
    // Sets the stop flag, posts kExitMessage (the last record) and waits for
    // the thread to end.
    void Stop();

    // Full path of this run's journal; empty before Start.
    std::string FilePath() const;
    // kLogRunning until the thread has ended, then its result.
    int Result() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

// The program's one journal.
SystemLog& TheSystemLog();
// Full path of the journal of this run; set by StartSystemLog before the
// thread starts.
extern std::string g_strLogFile;

void StartSystemLog(const LogOptions& options = {});
void PostLog(std::string message);
// printf-style convenience: PostLogF("数据广播端口:%d初始化成功！", port).
void PostLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void StopSystemLog();

}  // namespace applog

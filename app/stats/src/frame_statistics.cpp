#include <fcntl.h>
#include <platform/codepage.h>
#include <platform/notify.h>
#include <spawn.h>
#include <stats/frame_statistics.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <thread>

extern char** environ;

namespace stats {
namespace {

constexpr const char* kCaption = "Talvora";

struct CheckTexts {
    const char* file;
    const char* creationFailed;
    const char* viewQuestion;
};
constexpr CheckTexts kTexts[kCheckCount] = {
    {"/ZhenJiShu.ini", "创建帧计数统计报告失败！", "现在是否查看帧计数统计报告！"},
    {"/IDJiShu.ini", "创建ID计数统计报告失败！", "现在是否查看ID计数统计报告！"},
    {"/TimeLianXu.ini", "创建时间连续统计报告失败！", "现在是否查看时间连续统计报告！"},
};

std::string ReportHead() {
    char stamp[128] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "统计时间：  %Y年%m月%d日%H时%M分%S秒\r\n", &local);
    return plat::Utf8ToGbk(std::string("统计报告\r\n\r\n") + stamp);
}

BlockShape ShapeOf(const datapath::DataGeometry& g) {
    return {.words = g.subframeWords,
            .subframes = g.superframeLength,
            .headerBytes = std::uint32_t(datapath::kTimeTagBytes),
            .wordBytes = g.wordBytes,
            .tagFormat = g.tagFormat};
}

std::string PositionRefusal(std::uint32_t words) {
    return "路序超出子帧长（" + std::to_string(words) + "）！";
}

}  // namespace

std::array<std::string, kCheckCount> StatisticsTexts(const StatisticsReadout& r) {
    static constexpr const char* kLabels[kCheckCount] = {
        "帧计数错误:", "ID计数错误:", "时间不连续:"};
    std::array<std::string, kCheckCount> out;
    for (std::size_t i = 0; i < kCheckCount; ++i)
        if (r.running[i]) out[i] = kLabels[i] + std::to_string(r.jumps[i]) + "个";
    return out;
}

std::string ReportPath(const std::string& moduleDir, Check c) {
    return moduleDir + kTexts[std::size_t(c)].file;
}

std::string FrameCountRefusal(const datapath::DataGeometry& g, std::uint32_t highPos,
                              std::uint32_t lowPos) {
    if (g.wordBytes > 2) return "字长超过16位，不能进行帧计数统计！";
    if (lowPos > g.subframeWords || highPos > g.subframeWords)
        return PositionRefusal(g.subframeWords);
    return {};
}

std::string IdCountRefusal(const datapath::DataGeometry& g, std::uint32_t idPos) {
    if (g.wordBytes > 2) return "字长超过16位，不能进行ID计数统计！";
    if (idPos > g.subframeWords) return PositionRefusal(g.subframeWords);
    return {};
}

std::string TimeContinuityRefusal(const datapath::DataGeometry& g, std::uint32_t bitRate) {
    if (bitRate == 0) return "码率为0，无法进行帧周期连续统计！";
    if (SubframePeriodMs(g.subframeWords, g.wordBytes, bitRate) < 0.1)
        return "帧周期太短，无法进行帧周期连续统计！";
    return {};
}

void OpenWithDesktop(const std::string& path) {
    // The viewer may be missing (no xdg-open) or find nothing to open the file
    // with (xdg-open ends with an error); the operator is then told where the
    // report is, so it can be opened by hand.
    auto failed = [](const std::string& report) {
        plat::MessageBox("无法打开统计报告，报告文件在：\n" + report, kCaption,
                         plat::MB_OK | plat::MB_ICONWARNING);
    };
    char program[] = "xdg-open";
    std::string arg = path;
    char* argv[] = {program, arg.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) {
        failed(path);
        return;
    }
    // Reaped on the side so that the caller does not wait for the viewer.
    std::thread([pid, path, failed] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) failed(path);
    }).detach();
}

FrameStatistics::FrameStatistics(std::atomic<int>& frameCountOn, std::atomic<int>& idCountOn,
                                 std::atomic<int>& timeOn)
    : slots_{&frameCount_, &idCount_, &time_},
      frameCount_(frameCountOn),
      idCount_(idCountOn),
      time_(timeOn),
      openReport_(OpenWithDesktop) {}

FrameStatistics::~FrameStatistics() {
    StopAll();
}

void FrameStatistics::SetReportOpener(std::function<void(const std::string&)> open) {
    openReport_ = std::move(open);
}

std::string FrameStatistics::Path(Check c) const {
    Slot& s = *slots_[std::size_t(c)];
    std::lock_guard lock(s.lock);
    return s.path;
}

bool FrameStatistics::Open(Slot& s, const std::string& path, const char* failureText) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        plat::MessageBox(failureText, kCaption, plat::MB_OK | plat::MB_ICONWARNING);
        return false;
    }
    WriteAll(fd, ReportHead());
    s.fd = fd;
    s.path = path;
    s.jumps.store(0);
    return true;
}

bool FrameStatistics::StartFrameCount(const std::string& moduleDir, std::uint32_t highPos,
                                      std::uint32_t lowPos) {
    Slot& s = frameCount_;
    std::lock_guard lock(s.lock);
    if (s.running) return true;
    if (!Open(s, ReportPath(moduleDir, Check::FrameCount), kTexts[0].creationFailed)) return false;
    highPos_ = highPos;
    lowPos_ = lowPos;
    frameCheck_.Start();
    s.running.store(1);
    return true;
}

bool FrameStatistics::StartIdCount(const std::string& moduleDir, std::uint32_t idPos) {
    Slot& s = idCount_;
    std::lock_guard lock(s.lock);
    if (s.running) return true;
    if (!Open(s, ReportPath(moduleDir, Check::IdCount), kTexts[1].creationFailed)) return false;
    idPos_ = idPos;
    idCheck_.Start();
    s.running.store(1);
    return true;
}

bool FrameStatistics::StartTimeContinuity(const std::string& moduleDir) {
    Slot& s = time_;
    std::lock_guard lock(s.lock);
    if (s.running) return true;
    if (!Open(s, ReportPath(moduleDir, Check::TimeContinuity), kTexts[2].creationFailed))
        return false;
    timeCheck_.Start();
    s.running.store(1);
    return true;
}

bool FrameStatistics::Close(Slot& s, int& jumps, std::string& path) {
    std::lock_guard lock(s.lock);
    if (!s.running && s.fd < 0) return false;
    s.running.store(0);
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
    jumps = s.jumps.load();
    path = s.path;
    return true;
}

void FrameStatistics::Stop(Check c) {
    int jumps = 0;
    std::string path;
    if (!Close(slot(c), jumps, path)) return;
    if (jumps == 0) return;
    const int answer = plat::MessageBox(kTexts[std::size_t(c)].viewQuestion, kCaption,
                                        plat::MB_YESNO | plat::MB_ICONQUESTION);
    if (answer == plat::IDYES && openReport_) openReport_(path);
}

void FrameStatistics::StopAll() {
    for (Slot* s : slots_) {
        int jumps = 0;
        std::string path;
        Close(*s, jumps, path);
    }
}

void FrameStatistics::WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(std::size_t(n));
    }
}

void FrameStatistics::CountFrames(const std::uint8_t* data, std::size_t length,
                                  const datapath::DataGeometry& g) {
    Slot& s = frameCount_;
    std::lock_guard lock(s.lock);
    if (!s.running || s.fd < 0) return;
    const std::size_t lines = frameCheck_.CheckBlock(data, length, ShapeOf(g), highPos_, lowPos_);
    if (lines == 0) return;
    WriteAll(s.fd, frameCheck_.Text());
    s.jumps.fetch_add(int(lines));
}

void FrameStatistics::CountIds(const std::uint8_t* data, std::size_t length,
                               const datapath::DataGeometry& g) {
    Slot& s = idCount_;
    std::lock_guard lock(s.lock);
    if (!s.running || s.fd < 0) return;
    const std::size_t lines = idCheck_.CheckBlock(data, length, ShapeOf(g), idPos_);
    if (lines == 0) return;
    WriteAll(s.fd, idCheck_.Text());
    s.jumps.fetch_add(int(lines));
}

void FrameStatistics::CheckTimeContinuity(const std::uint8_t* data, std::size_t length,
                                          const datapath::DataGeometry& g, std::uint32_t bitRate) {
    Slot& s = time_;
    std::lock_guard lock(s.lock);
    if (!s.running || s.fd < 0) return;
    const std::size_t lines = timeCheck_.CheckBlock(data, length, ShapeOf(g), bitRate);
    if (lines == 0) return;
    WriteAll(s.fd, timeCheck_.Text());
    s.jumps.fetch_add(int(lines));
}

StatisticsReadout FrameStatistics::Readout() const {
    StatisticsReadout r;
    for (std::size_t i = 0; i < kCheckCount; ++i) {
        r.running[i] = slots_[i]->running.load() != 0;
        r.jumps[i] = slots_[i]->jumps.load();
    }
    return r;
}

}  // namespace stats

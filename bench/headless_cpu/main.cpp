// What the headless program costs: cardengine and `talvora-headless` (the
// run of `Talvora --headless`) with recording, the three frame checks,
// telemetry output and the full-frame broadcast on, at 0 (card open, no
// frames) and 3 x 20 Mbit/s; its CPU is read from its own /proc counters per
// thread over each step.
//
//   bench_headless_cpu [seconds per step, default 10] [Mbit/s ...]
#include <arpa/inet.h>
#include <cardengine/testkit/engine_process.h>
#include <config/para_config.h>
#include <dirent.h>
#include <netinet/in.h>
#include <platform/codepage.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../common/loopback_sink.h"
#include "../common/thread_cpu.h"

namespace {

using cardengine::testkit::EngineProcess;
using Clock = std::chrono::steady_clock;

constexpr double kWarmUpSeconds = 5;  // card open, recording and checks started

using benchcpu::Measure;
using benchcpu::Usage;

// The child's standard output goes to `out`.
pid_t Spawn(std::vector<std::string> args, const std::string& out) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (FILE* f = std::freopen(out.c_str(), "w", stdout); !f) std::_Exit(127);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    std::_Exit(127);
}

// SIGTERM, then up to limitSeconds for the normal exit; the exit code or -1.
int Stop(pid_t pid, double limitSeconds) {
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::duration<double>(limitSeconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> EngineArgs(int mbps) {
    if (mbps == 0) return {"--dem-frames", "1"};  // one frame after the record, then none
    return {"--full-speed", "--dem-rate-mbps", std::to_string(mbps)};
}

std::string LastLine(const std::string& file, const char* kind) {
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line))
        if (line.rfind(kind, 0) == 0) last = line;
    return last;
}

struct Step {
    int mbps = 0;
    int exitCode = -1;
    Usage program;
    std::string status, summary;
};

Step RunStep(const std::string& program, int mbps, double seconds, const std::string& scratch) {
    Step step;
    step.mbps = mbps;
    const std::string home = scratch + "/home-" + std::to_string(mbps);
    const std::string runtime = scratch + "/run-" + std::to_string(mbps);
    ::mkdir(home.c_str(), 0700);
    ::mkdir(runtime.c_str(), 0700);
    // The unicast target exists but is never read.
    const benchcpu::LoopbackSink sink;
    if (sink.Port() == 0) return step;
    {
        std::ofstream para(home + "/Para.ini", std::ios::binary);
        para << plat::Utf8ToGbk(
            "[网络配置参数]\r\n网络组播本地IP地址=127.0.0.1\r\n"
            "网络广播本地IP地址=127.0.0.1\r\n单播目标IP=127.0.0.1\r\n"
            "单播目标端口=" +
            std::to_string(sink.Port()) +
            "\r\n[Headless]\r\nRecording=1\r\nTelemetry=1\r\nFullFrameBroadcast=1\r\n"
            "FrameCountStat=1\r\nIdStat=0\r\nTimeStat=1\r\n");
    }
    // The engine's task carries its frame counter in word 5 and the ID in
    // word 7: the checks find no fault in a clean stream.
    cfg::FrameCountConfig frameCount;
    frameCount.lowWordPos = 5;
    cfg::IdCountConfig idCount;
    idCount.idWordPos = 7;
    if (!cfg::SaveFrameCountConfig(home, frameCount) || !cfg::SaveIdCountConfig(home, idCount))
        return step;
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("TALVORA_OBJECT_NAMESPACE", ("bench-headless-" + std::to_string(::getpid())).c_str(),
             1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    EngineProcess engine(EngineArgs(mbps));
    if (engine.started()) {
        const std::string out = home + "/stdout.txt";
        const pid_t pid = Spawn({program, "--engine", engine.Address(), "--home", home}, out);
        std::this_thread::sleep_for(std::chrono::duration<double>(kWarmUpSeconds));
        step.program = Measure(pid, seconds);
        step.exitCode = Stop(pid, 60);
        step.status = LastLine(out, "status ");
        step.summary = LastLine(out, "summary ");
    }
    // The recording of this step is not kept.
    const std::string cleanup = "rm -rf '" + home + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", home.c_str());
    return step;
}

void Print(const Step& s) {
    std::printf("\n%d Mbit/s%s\n", s.mbps, s.mbps == 0 ? " (card open, no frames)" : "");
    for (const auto& [name, share] : s.program.threads)
        if (share >= 0.0005) std::printf("  %-24s %6.2f %%\n", name.c_str(), share * 100);
    std::printf("  %-24s %6.2f %%\n", "headless total", s.program.total * 100);
    std::printf("  last status: %s\n  %s\n  exit code %d\n", s.status.c_str(), s.summary.c_str(),
                s.exitCode);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strncmp(argv[1], "--", 2) == 0) {
        std::fprintf(stderr, "usage: bench_headless_cpu [seconds] [Mbit/s ...]\n");
        return 2;
    }
    ::setenv("MCASTLIB_IF", "127.0.0.1", 1);
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    std::vector<int> rates;
    for (int i = 2; i < argc; ++i) rates.push_back(std::max(0, std::atoi(argv[i])));
    if (rates.empty()) rates = {0, 60};

    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return 1;
    path[length] = '\0';
    std::string dir = path;
    dir.resize(dir.rfind('/'));
    const std::string program = dir + "/talvora-headless";
    char scratch[] = "/tmp/headless_cpu-XXXXXX";
    if (!::mkdtemp(scratch)) return 1;
    std::printf("CPU as a share of one core over %.0f s per step (%ld ticks/s)\n", seconds,
                ::sysconf(_SC_CLK_TCK));
    for (int mbps : rates) {
        Print(RunStep(program, mbps, seconds, scratch));
        std::fflush(stdout);
    }
    const std::string cleanup = std::string("rm -rf '") + scratch + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}

// What the program costs: cardengine and the program (offscreen, its card
// open against cardengine, the telemetry output switched on, the raw table
// and the status view shown) run for a fixed time at 0 (no frames), 4, 20 and
// 3 x 20 Mbit/s; the program's CPU is read from its own /proc counters per
// thread, beside a process that only receives the same TCP stream with a
// blocking recv loop, measured in the same run.
//
//   bench_program_cpu [seconds per step, default 10] [Mbit/s ...]
//
// The program runs in a child process of this one (the same frame the
// program links, driven as main() drives it); so does the reference.
#include <arpa/inet.h>
#include <bbdevice/wire/engine_message.h>
#include <cardengine/testkit/engine_process.h>
#include <dirent.h>
#include <netinet/in.h>
#include <platform/codepage.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../common/loopback_sink.h"
#include "../common/thread_cpu.h"
#include "command_ids.h"
#include "main_frame.h"
#include "telemetry_app.h"

namespace {

using cardengine::testkit::EngineProcess;
using Clock = std::chrono::steady_clock;
namespace wire = bbdev::wire;

constexpr double kWarmUpSeconds = 5;  // card open, then the 3 s window timer

// ---- the child processes -------------------------------------------------

int RunProgram(const char* self, const char* engine, const char* home, const char* quitAfter) {
    std::vector<std::string> args = {self, "--engine",     engine,   "--home",
                                     home, "--quit-after", quitAfter};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());
    CTelemetryApp app(argc, argv.data());
    int exitCode = 0;
    if (!app.InitInstance(&exitCode)) return exitCode;
    // The telemetry output, switched on as the operator would (32784).
    QTimer::singleShot(500, &app, [&app] {
        if (CMainFrame* f = app.MainFrame()) f->OnCommand(mainframe::ID_MULTICAST_CENTER);
    });
    // The goals are for the raw views, the status view and the network
    // output: the signal plot that the window timer opens with them is closed
    // again unless BENCH_SIGNAL_PLOT=1 asks for its cost too.
    const char* keep = std::getenv("BENCH_SIGNAL_PLOT");
    if (!keep || std::strcmp(keep, "1") != 0)
        QTimer::singleShot(4000, &app, [&app] {
            if (CMainFrame* f = app.MainFrame())
                if (QWidget* w = f->View(FrameView::SignalSpectrum).wnd) w->close();
        });
    return app.exec();
}

bool SendAll(int s, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(s, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Connects, sends the records (module, operation, hex payload per argument
// triple) and then only receives, blocking, until killed.
int RunReference(int port, int argc, char** argv) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (s < 0 || ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 1;
    for (int i = 0; i + 2 < argc; i += 3) {
        const std::string hex = argv[i + 2];
        std::vector<std::uint8_t> payload(hex.size() / 2);
        for (std::size_t k = 0; k < payload.size(); ++k)
            payload[k] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * k, 2), nullptr, 16));
        std::vector<std::uint8_t> message(payload.size() + 32);
        const std::size_t n = wire::BuildMessage(
            message, wire::MakeCommand(std::atoi(argv[i]), std::atoi(argv[i + 1])), payload);
        message.resize(n);
        if (n == 0 || !SendAll(s, message)) return 1;
    }
    std::vector<std::uint8_t> buffer(wire::kReceiveBufferBytes);
    for (;;) {
        const ssize_t n = ::recv(s, buffer.data(), buffer.size(), 0);
        if (n <= 0) return 0;
    }
}

// ---- measuring -----------------------------------------------------------

using benchcpu::Measure;
using benchcpu::Usage;

pid_t Spawn(std::vector<std::string> args) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    std::_Exit(127);
}

// Waits up to limitSeconds for the child, then kills it.
void Reap(pid_t pid, double limitSeconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(limitSeconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::vector<std::string> EngineArgs(int mbps) {
    if (mbps == 0) return {"--dem-frames", "1"};  // one frame after the record, then none
    return {"--full-speed", "--dem-rate-mbps", std::to_string(mbps)};
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char k[] = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : bytes) {
        s += k[b >> 4];
        s += k[b & 15];
    }
    return s;
}

struct Step {
    int mbps = 0;
    bool cardOpened = false;
    Usage program, reference;
};

Step RunStep(const std::string& self, int mbps, double seconds, const std::string& scratch) {
    Step step;
    step.mbps = mbps;
    const std::string home = scratch + "/home-" + std::to_string(mbps);
    const std::string runtime = scratch + "/run-" + std::to_string(mbps);
    ::mkdir(home.c_str(), 0700);
    ::mkdir(runtime.c_str(), 0700);
    // Network output on loopback only; the unicast target exists but is
    // never read.
    const benchcpu::LoopbackSink sink;
    if (sink.Port() == 0) return step;
    {
        std::ofstream para(home + "/Para.ini", std::ios::binary);
        para << plat::Utf8ToGbk(
            "[网络配置参数]\r\n网络组播本地IP地址=127.0.0.1\r\n"
            "网络广播本地IP地址=127.0.0.1\r\n单播目标IP=127.0.0.1\r\n"
            "单播目标端口=" +
            std::to_string(sink.Port()) + "\r\n");
    }
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("TALVORA_OBJECT_NAMESPACE", ("bench-program-" + std::to_string(::getpid())).c_str(),
             1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);

    std::vector<std::uint8_t> demParam, simParam;
    {
        EngineProcess engine(EngineArgs(mbps));
        if (!engine.started()) return step;
        const int quitAfter = static_cast<int>(kWarmUpSeconds + seconds + 2);
        const pid_t program =
            Spawn({self, "--program", engine.Address(), home, std::to_string(quitAfter)});
        std::this_thread::sleep_for(std::chrono::duration<double>(kWarmUpSeconds));
        step.program = Measure(program, seconds);
        Reap(program, 30);
        for (const auto& c : engine.Received()) {
            if (c.module == 2 && c.operation == 3) demParam = c.payload;
            if (c.module == 4 && c.operation == 3) simParam = c.payload;
        }
        step.cardOpened = !demParam.empty();
    }
    if (!step.cardOpened) return step;
    EngineProcess engine(EngineArgs(mbps));
    std::vector<std::string> args = {self, "--reference", std::to_string(engine.port())};
    if (!simParam.empty()) args.insert(args.end(), {"4", "3", Hex(simParam)});
    args.insert(args.end(), {"2", "3", Hex(demParam)});
    const pid_t reference = Spawn(args);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    step.reference = Measure(reference, seconds);
    ::kill(reference, SIGKILL);
    ::waitpid(reference, nullptr, 0);
    return step;
}

void Print(const Step& s) {
    std::printf("\n%d Mbit/s%s\n", s.mbps, s.mbps == 0 ? " (card open, no frames)" : "");
    if (!s.cardOpened) {
        std::printf("  the program did not open the card\n");
        return;
    }
    for (const auto& [name, share] : s.program.threads)
        if (share >= 0.0005) std::printf("  %-24s %6.2f %%\n", name.c_str(), share * 100);
    std::printf("  %-24s %6.2f %%\n", "program total", s.program.total * 100);
    std::printf("  %-24s %6.2f %%\n", "reference (recv loop)", s.reference.total * 100);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--program") == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("MCASTLIB_IF", "127.0.0.1", 1);
        return RunProgram(argv[0], argv[2], argv[3], argv[4]);
    }
    if (argc >= 3 && std::strcmp(argv[1], "--reference") == 0)
        return RunReference(std::atoi(argv[2]), argc - 3, argv + 3);
    // Anything else starting with "--" is a child's call gone wrong: never
    // start more children from it.
    if (argc > 1 && std::strncmp(argv[1], "--", 2) == 0) {
        std::fprintf(stderr, "usage: bench_program_cpu [seconds] [Mbit/s ...]\n");
        return 2;
    }

    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    std::vector<int> rates;
    for (int i = 2; i < argc; ++i) rates.push_back(std::max(0, std::atoi(argv[i])));
    if (rates.empty()) rates = {0, 4, 20, 60};

    char scratch[] = "/tmp/program_cpu-XXXXXX";
    if (!::mkdtemp(scratch)) return 1;
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return 1;
    path[length] = '\0';
    const std::string self = path;
    std::printf("CPU as a share of one core over %.0f s per step (%ld ticks/s)\n", seconds,
                ::sysconf(_SC_CLK_TCK));
    std::vector<Step> steps;
    for (int mbps : rates) {
        steps.push_back(RunStep(self, mbps, seconds, scratch));
        Print(steps.back());
        std::fflush(stdout);
    }
    const Step* idle = nullptr;
    for (const Step& s : steps)
        if (s.mbps == 0 && s.cardOpened) idle = &s;
    if (idle) {
        std::printf("\ncost per Mbit/s above the idle program (program, reference):\n");
        for (const Step& s : steps)
            if (s.mbps > 0 && s.cardOpened)
                std::printf("  %3d Mbit/s: %.3f %%, %.3f %%\n", s.mbps,
                            (s.program.total - idle->program.total) * 100 / s.mbps,
                            (s.reference.total - idle->reference.total) * 100 / s.mbps);
    }
    std::string cleanup = std::string("rm -rf '") + scratch + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}

// bench_svclink: the service link between this process and tmserver.
//   throughput: one way into `tmserver --sink`, 64 KiB and 1 MiB blocks,
//     against a plain two-process memcpy through a section of the same size
//     with an event handshake per block;
//   latency: key 3 -> tmserver echo -> parameter callback, against a plain
//     two-process event ping-pong.
// Usage: bench_svclink [seconds per throughput figure, default 3]
#include <linux/futex.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel_objects.h"
#include "platform/paths.h"
#include "svclink/service_link.h"
#include "svclink/service_ring.h"

extern char** environ;

namespace {

using namespace svclink;
using Clock = std::chrono::steady_clock;

constexpr const char* kShareEnable = "{A937D1DA-1195-4c5b-AA42-B2E3DD2D43CF}-SHAREENABLE";
constexpr const char* kServerExit = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVEREXIT";
constexpr const char* kServerAlive = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVERALIVE";
constexpr const char* kReady0 = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-INITFINISH-00";
constexpr const char* kRefSection = "bench-svclink-reference";
constexpr const char* kRefGo = "bench-svclink-go";
constexpr const char* kRefDone = "bench-svclink-done";
constexpr std::size_t kStopWord = 64;  // in the reference section's header area

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

pid_t Spawn(const std::string& path, std::vector<std::string> args) {
    std::vector<char*> argv = {const_cast<char*>(path.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

bool ServerAlive() {
    auto m = plat::NamedMutex::Open(kServerAlive);
    if (!m) return false;
    if (m->Lock(0) == plat::WaitResult::Timeout) return true;
    m->Unlock();
    return false;
}

void StopServer(pid_t pid) {
    if (auto e = plat::NamedEvent::Open(kServerExit)) e->Set();
    if (pid > 0) waitpid(pid, nullptr, 0);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (ServerAlive() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// ------------------------------------------------------------ reference children

int ReferenceCopyChild() {
    auto section = plat::SharedSection::Open(kRefSection);
    auto go = plat::NamedEvent::Open(kRefGo);
    auto done = plat::NamedEvent::Open(kRefDone);
    if (!section || !go || !done) return 1;
    auto* base = static_cast<std::uint8_t*>(section->data());
    std::vector<std::uint8_t> out(1 << 20);
    std::atomic_ref<std::uint32_t> stop(*reinterpret_cast<std::uint32_t*>(base + kStopWord));
    std::atomic_ref<std::uint32_t> length(*reinterpret_cast<std::uint32_t*>(base + kStopWord + 4));
    while (!stop.load()) {
        if (go->Wait(1000) != plat::WaitResult::Signaled) continue;
        std::memcpy(out.data(), base + kUserToCreatorRing, length.load());
        done->Set();
    }
    return 0;
}

int ReferencePongChild() {
    auto go = plat::NamedEvent::Open(kRefGo);
    auto done = plat::NamedEvent::Open(kRefDone);
    auto section = plat::SharedSection::Open(kRefSection);
    if (!go || !done || !section) return 1;
    auto* base = static_cast<std::uint8_t*>(section->data());
    std::atomic_ref<std::uint32_t> stop(*reinterpret_cast<std::uint32_t*>(base + kStopWord));
    while (!stop.load()) {
        if (go->Wait(1000) == plat::WaitResult::Signaled) done->Set();
    }
    return 0;
}

struct Reference {
    std::unique_ptr<plat::SharedSection> section;
    std::unique_ptr<plat::NamedEvent> go, done;
    pid_t child = -1;
    std::uint8_t* base = nullptr;

    bool Start(const char* role) {
        section = plat::SharedSection::Create(kRefSection, kSectionSize);
        go = plat::NamedEvent::Create(kRefGo, false, false);
        done = plat::NamedEvent::Create(kRefDone, false, false);
        if (!section || !go || !done) return false;
        base = static_cast<std::uint8_t*>(section->data());
        std::memset(base, 0, 128);
        child = Spawn("/proc/self/exe", {role});
        return child > 0;
    }
    void Stop() {
        std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(base + kStopWord))
            .store(1);
        go->Set();
        waitpid(child, nullptr, 0);
    }
};

double ReferenceCopyRate(std::size_t block, double seconds) {
    Reference ref;
    if (!ref.Start("--ref-copy-child")) return 0;
    std::vector<std::uint8_t> data(block, 0x5A);
    std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(ref.base + kStopWord + 4))
        .store(static_cast<std::uint32_t>(block));
    std::uint64_t bytes = 0;
    const auto start = Clock::now();
    while (Seconds(Clock::now() - start) < seconds) {
        std::memcpy(ref.base + kUserToCreatorRing, data.data(), block);
        ref.go->Set();
        if (ref.done->Wait(5000) != plat::WaitResult::Signaled) break;
        bytes += block;
    }
    const double rate = bytes / Seconds(Clock::now() - start);
    ref.Stop();
    return rate;
}

// ------------------------------------------------------------ through the link

void Ignore(std::uint32_t, ServiceRecord*) {}

std::uint64_t SinkCount() {
    std::uint64_t n = 0;
    if (const std::uint8_t* peer = PeerHeader(0)) ReadKey(peer, kKeyServiceParam, &n, sizeof n);
    return n;
}

// Closes service 0 and waits until the server has opened it again for the
// next client.
void CloseAndAwaitReopen() {
    auto ready = plat::NamedEvent::Create(kReady0, true, false);
    if (ready) ready->Reset();
    BB_CloseService(0, kRoleUser);
    if (ready) ready->Wait(10000);
}

double LinkRate(std::size_t block, double seconds) {
    ServiceRecord r{};
    r.dataCallback = Ignore;
    r.paramCallback = Ignore;
    if (!BB_OpenService(0, &r, &r, kRoleUser)) return 0;
    std::vector<std::uint8_t> data(block, 0xA5);
    const std::uint64_t base = SinkCount();
    std::uint64_t sent = 0;
    const auto start = Clock::now();
    auto stopAt =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < stopAt) {
        // Never more in flight than the ring holds, so the sink loses nothing.
        while (sent - (SinkCount() - base) > kRingSize - block && Clock::now() < stopAt)
            std::this_thread::yield();
        if (!BB_SendShareData(0, data.data(), static_cast<std::uint32_t>(block), nullptr)) break;
        sent += block;
    }
    while (SinkCount() - base < sent && Clock::now() < stopAt + std::chrono::seconds(5))
        std::this_thread::yield();
    const double rate = (SinkCount() - base) / Seconds(Clock::now() - start);
    CloseAndAwaitReopen();
    return rate;
}

// ------------------------------------------------------------ latency

std::atomic<std::uint32_t> g_echoed{0};
static_assert(sizeof g_echoed == 4);

void OnParam(std::uint32_t, ServiceRecord*) {
    std::uint32_t v = 0;
    if (const std::uint8_t* peer = PeerHeader(0)) ReadKey(peer, kKeyCommand, &v, sizeof v);
    g_echoed.store(v, std::memory_order_release);
    syscall(SYS_futex, &g_echoed, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// Sleeps until the callback saw `value`, like a client blocked on a reply;
// false after two seconds.
bool AwaitEcho(std::uint32_t value) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    for (;;) {
        const std::uint32_t seen = g_echoed.load(std::memory_order_acquire);
        if (seen == value) return true;
        if (Clock::now() > deadline) return false;
        timespec slice{0, 100000000};
        syscall(SYS_futex, &g_echoed, FUTEX_WAIT_PRIVATE, seen, &slice, nullptr, 0);
    }
}

struct Stats {
    double p50, p99, max;
};

Stats Summarise(std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    if (us.empty()) return {0, 0, 0};
    return {us[us.size() / 2], us[us.size() * 99 / 100], us.back()};
}

bool LinkRoundTrips(int warmup, int count, std::vector<double>* us) {
    ServiceRecord r{};
    r.dataCallback = Ignore;
    r.paramCallback = OnParam;
    if (!BB_OpenService(0, &r, &r, kRoleUser)) return false;
    std::uint32_t value = 0x10000;
    for (int i = 0; i < warmup + count; ++i) {
        ++value;
        const SvcCmdParam p{kKeyCommand, 4, &value};
        const auto t0 = Clock::now();
        BB_SendCmdParam(0, &p);
        if (!AwaitEcho(value)) {
            BB_CloseService(0, kRoleUser);
            return false;
        }
        if (i >= warmup) us->push_back(Seconds(Clock::now() - t0) * 1e6);
    }
    BB_CloseService(0, kRoleUser);
    return true;
}

bool PingPong(int warmup, int count, std::vector<double>* us) {
    Reference ref;
    if (!ref.Start("--ref-pong-child")) return false;
    for (int i = 0; i < warmup + count; ++i) {
        const auto t0 = Clock::now();
        ref.go->Set();
        if (ref.done->Wait(2000) != plat::WaitResult::Signaled) {
            ref.Stop();
            return false;
        }
        if (i >= warmup) us->push_back(Seconds(Clock::now() - t0) * 1e6);
    }
    ref.Stop();
    return true;
}

bool FutexWaitvAvailable() {
    long r = syscall(SYS_futex_waitv, nullptr, 0, 0, nullptr, CLOCK_MONOTONIC);
    return !(r < 0 && errno == ENOSYS);
}

bool WaitReady() {
    auto ready = plat::NamedEvent::Create(kReady0, true, false);
    return ready && ready->Wait(10000) == plat::WaitResult::Signaled;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--ref-copy-child") == 0) return ReferenceCopyChild();
    if (argc > 1 && std::strcmp(argv[1], "--ref-pong-child") == 0) return ReferencePongChild();
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;

    const std::string ns = "bench-svclink-" + std::to_string(getpid());
    setenv("TALVORA_OBJECT_NAMESPACE", ns.c_str(), 1);
    auto shareEnable = plat::NamedEvent::Create(kShareEnable, true, false);
    const std::string server = plat::ModuleDirectory() + "/tmserverdir/tmserver";
    std::printf("futex_waitv: %s\n", FutexWaitvAvailable() ? "available" : "missing (1 ms slices)");

    pid_t sink = Spawn(server, {"--services", "0", "--sink"});
    if (sink <= 0 || !WaitReady()) {
        std::fprintf(stderr, "bench_svclink: %s --sink did not get ready\n", server.c_str());
        return 1;
    }
    std::printf("%-34s %12s %12s %8s\n", "one-way throughput", "link MB/s", "memcpy MB/s", "ratio");
    for (std::size_t block : {std::size_t{64} << 10, std::size_t{1} << 20}) {
        const double link = LinkRate(block, seconds) / 1e6;
        const double ref = ReferenceCopyRate(block, seconds) / 1e6;
        std::printf("%-34s %12.0f %12.0f %8.2f\n",
                    (std::to_string(block >> 10) + " KiB blocks").c_str(), link, ref,
                    ref > 0 ? link / ref : 0.0);
    }
    StopServer(sink);

    const std::uint32_t list[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (!BB_InitService(list, server.c_str())) return 1;
    std::vector<double> link, ping;
    const bool linkOk = LinkRoundTrips(1000, 10000, &link);
    const bool pingOk = PingPong(1000, 10000, &ping);
    StopServer(-1);
    const Stats l = Summarise(link), p = Summarise(ping);
    std::printf("%-34s %10s %10s %10s\n", "round trip (10,000 after 1,000)", "p50 us", "p99 us",
                "max us");
    std::printf("%-34s %10.1f %10.1f %10.1f%s\n", "key 3 -> tmserver echo -> callback", l.p50,
                l.p99, l.max, linkOk ? "" : "  (incomplete)");
    std::printf("%-34s %10.1f %10.1f %10.1f%s\n", "plain event ping-pong", p.p50, p.p99, p.max,
                pingOk ? "" : "  (incomplete)");
    return linkOk && pingOk ? 0 : 1;
}

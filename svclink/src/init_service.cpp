// Starting the telemetry server and waiting until it serves.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel_objects.h"
#include "platform/notify.h"
#include "platform/paths.h"
#include "service_names.h"
#include "svclink/service_link.h"

extern char** environ;

namespace svclink {
namespace {

constexpr unsigned kReadyWaitMs = 10000;
constexpr unsigned kPollSliceMs = 20;

void Show(const std::string& text) {
    plat::MessageBox(text, "", plat::MB_OK | plat::MB_ICONERROR);
}

// A running server holds the liveness mutex; a mutex we can take has no server.
bool ServerRuns() {
    auto alive = plat::NamedMutex::Open(kServerAliveName);
    if (!alive) return false;
    const plat::WaitResult r = alive->Lock(0);
    if (r == plat::WaitResult::Signaled || r == plat::WaitResult::Abandoned) {
        alive->Unlock();
        return false;
    }
    return r == plat::WaitResult::Timeout;
}

// Reaps the server when it exits, so it leaves no zombie, and tells the
// waiting start-up that it is gone.
std::shared_ptr<std::atomic<bool>> WatchExit(pid_t pid) {
    auto exited = std::make_shared<std::atomic<bool>>(false);
    std::thread([pid, exited] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        exited->store(true);
    }).detach();
    return exited;
}

}  // namespace
}  // namespace svclink

using namespace svclink;

extern "C" std::int32_t BB_InitService(const std::uint32_t* services, const char* serverPath) {
    setpriority(PRIO_PROCESS, 0, -10);  // best effort, like a high priority class
    if (!services || services[8] > kServiceSlots) return 0;
    const std::uint32_t count = services[8];
    if (ServerRuns()) return 1;

    std::string path;
    if (serverPath && *serverPath) {
        path = serverPath;
    } else {
        const std::string dir = plat::ModuleDirectory();
        if (dir.empty()) {
            Show("获取默认服务进程路径失败！");
            return 0;
        }
        path = dir + "/tmserverdir/tmserver";
    }

    std::string list;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i) list += ',';
        list += std::to_string(services[i] % kServiceSlots);
    }
    std::vector<char*> argv = {path.data()};
    std::string option = "--services";
    if (count > 0) {
        argv.push_back(option.data());
        argv.push_back(list.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        char text[1024];
        std::snprintf(text, sizeof text, "启动服务进程%s失败:\n    %s", path.c_str(),
                      std::strerror(rc));
        Show(text);
        return 0;
    }
    auto exited = WatchExit(pid);

    std::vector<std::unique_ptr<plat::NamedEvent>> ready;
    for (std::uint32_t i = 0; i < count; ++i) {
        auto e = plat::NamedEvent::Create(SlotName("INITFINISH", services[i] % kServiceSlots), true,
                                          false);
        if (!e) {
            Show("等待服务进程初始化错误！");
            return 0;
        }
        ready.push_back(std::move(e));
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyWaitMs);
    for (;;) {
        bool all = true;
        for (auto& e : ready) {
            if (e->Wait(0) != plat::WaitResult::Signaled) {
                all = false;
                e->Wait(kPollSliceMs);
                break;
            }
        }
        if (all) break;
        if (exited->load()) {
            Show("等待服务进程初始化错误！");
            return 0;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            Show("启动服务进程超时！");
            return 0;
        }
    }
    for (auto& e : ready) e->Reset();
    return 1;
}

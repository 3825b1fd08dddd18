#include "headless/headless_main.h"

#include <log/system_log.h>
#include <platform/notify.h>
#include <platform/paths.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "headless_station.h"

namespace headless {
namespace {

// Message boxes of a run without a screen: the text goes to the journal and
// to standard error, and the box is answered with its default button.
class LoggingSink : public plat::NotifySink {
public:
    int Show(const plat::MessageRequest& r) override {
        applog::PostLog("提示：" + r.text);
        std::fprintf(stderr, "Talvora: %s\n", r.text.c_str());
        return plat::DefaultAnswer(r.type);
    }
};

// SIGINT and SIGTERM are blocked before any thread starts, so every thread
// inherits the mask and only the main loop takes them, synchronously.
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

int HeadlessMain(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    const OptionsResult parsed = ParseHeadlessOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "Talvora: %s\n%s", parsed.error.c_str(), HeadlessUsage().c_str());
        return 2;
    }
    const HeadlessOptions& o = *parsed.options;
    if (o.help) {
        std::fputs(HeadlessUsage().c_str(), stdout);
        return 0;
    }
    if (!o.home.empty()) {
        std::error_code ec;
        const std::string home = std::filesystem::absolute(o.home, ec).string();
        if (ec || !plat::CreateDirectoryPath(home)) {
            std::fprintf(stderr, "Talvora: cannot create the home directory %s\n", o.home.c_str());
            return 2;
        }
        plat::SetModuleDirectory(home);
    }
    if (!o.engine.empty()) ::setenv("TALVORA_ENGINE", o.engine.c_str(), 1);

    const sigset_t stop = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    plat::SetNotifySink(std::make_shared<LoggingSink>());

    int exitCode = 0;
    {
        HeadlessStation station;
        if (!station.Start(o, &exitCode)) {
            station.Stop();
            plat::SetNotifySink(nullptr);
            return exitCode;
        }
        const timespec tick{0, 100 * 1000 * 1000};
        unsigned ticks = 0;
        const unsigned limit = static_cast<unsigned>(o.quitAfterSeconds) * 10;
        for (;;) {
            siginfo_t info;
            if (sigtimedwait(&stop, &info, &tick) > 0) {
                std::fprintf(stderr, "Talvora: %s, leaving\n",
                             info.si_signo == SIGINT ? "SIGINT" : "SIGTERM");
                break;
            }
            station.Tick();
            if (limit && ++ticks >= limit) break;
        }
        station.Stop();
    }
    plat::SetNotifySink(nullptr);
    return exitCode;
}

}  // namespace headless

#include "testsupport/wait.h"

#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace talvora::test {
namespace {

std::mutex g_stepMutex;
std::function<void()> g_step;  // guarded by g_stepMutex

void PollStep() {
    std::function<void()> step;
    {
        std::lock_guard lock(g_stepMutex);
        step = g_step;
    }
    if (step)
        step();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

void SetPollStep(std::function<void()> step) {
    std::lock_guard lock(g_stepMutex);
    g_step = std::move(step);
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    if (!pred) return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred()) return true;
        PollStep();
    }
    return pred();
}

::testing::AssertionResult WaitUntil(const std::function<bool()>& pred,
                                     std::chrono::milliseconds timeout, std::string_view what) {
    if (WaitUntil(pred, timeout)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "timed out after " << timeout.count() << " ms waiting for " << std::string(what);
}

}  // namespace talvora::test

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/winmsg.h"

namespace plat {
namespace {

struct Recorder : MessageReceiver {
    struct Msg {
        std::uint32_t msg;
        std::uintptr_t wparam;
        std::intptr_t lparam;
    };
    std::vector<Msg> got;
    void OnMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) override {
        got.push_back({msg, wparam, lparam});
    }
};

TEST(WinMsg, PostReachesTheRegisteredReceiverOnly) {
    int windowA = 0, windowB = 0;
    Recorder a, b;
    EXPECT_FALSE(PostMessage(&windowA, 1204, 1, 2));
    RegisterWindow(&windowA, &a);
    RegisterWindow(&windowB, &b);
    EXPECT_TRUE(PostMessage(&windowA, 1204, 0xFFFFFFFFFFull, -3));
    EXPECT_TRUE(PostMessage(&windowB, 1135, 5, 6));
    ASSERT_EQ(a.got.size(), 1u);
    EXPECT_EQ(a.got[0].msg, 1204u);
    EXPECT_EQ(a.got[0].wparam, 0xFFFFFFFFFFull);
    EXPECT_EQ(a.got[0].lparam, -3);
    ASSERT_EQ(b.got.size(), 1u);
    EXPECT_EQ(b.got[0].msg, 1135u);

    UnregisterWindow(&windowA);
    EXPECT_FALSE(PostMessage(&windowA, 1204, 0, 0));
    EXPECT_EQ(a.got.size(), 1u);
    UnregisterWindow(&windowB);
    UnregisterWindow(&windowB);  // twice is harmless
}

// Blocks inside OnMessage until released.
struct Blocker : MessageReceiver {
    std::mutex m;
    std::condition_variable cv;
    bool entered = false, release = false;
    std::atomic<bool>* unregistered = nullptr;
    bool unregisteredWhileRunning = false;
    void OnMessage(std::uint32_t, std::uintptr_t, std::intptr_t) override {
        std::unique_lock lock(m);
        entered = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        unregisteredWhileRunning = unregistered->load();
    }
};

TEST(WinMsg, UnregisterWaitsForARunningCall) {
    int window = 0;
    std::atomic<bool> unregistered{false};
    Blocker blocker;
    blocker.unregistered = &unregistered;
    RegisterWindow(&window, &blocker);
    std::thread poster([&] { PostMessage(&window, 1, 0, 0); });
    {
        std::unique_lock lock(blocker.m);
        blocker.cv.wait(lock, [&] { return blocker.entered; });
    }
    std::thread remover([&] {
        UnregisterWindow(&window);
        unregistered = true;
    });
    // Give a faulty Unregister the chance to return early.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
        std::lock_guard lock(blocker.m);
        blocker.release = true;
    }
    blocker.cv.notify_all();
    poster.join();
    remover.join();
    EXPECT_FALSE(blocker.unregisteredWhileRunning);
    EXPECT_TRUE(unregistered);
}

struct SelfRemover : MessageReceiver {
    WindowHandle window = nullptr;
    int calls = 0;
    void OnMessage(std::uint32_t, std::uintptr_t, std::intptr_t) override {
        ++calls;
        UnregisterWindow(window);  // must not deadlock
    }
};

TEST(WinMsg, ReceiverMayUnregisterItself) {
    int window = 0;
    SelfRemover r;
    r.window = &window;
    RegisterWindow(&window, &r);
    EXPECT_TRUE(PostMessage(&window, 7, 0, 0));
    EXPECT_FALSE(PostMessage(&window, 7, 0, 0));
    EXPECT_EQ(r.calls, 1);
}

}  // namespace
}  // namespace plat

// Window message routing. A post looks up the receiver under the lock and
// calls it outside the lock; unregistering waits for calls in progress so
// the receiver can be destroyed right after.
#include "platform/winmsg.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace plat {
namespace {

struct Entry {
    MessageReceiver* receiver;
    int calls = 0;  // OnMessage calls in progress, guarded by g_mutex
};

std::mutex g_mutex;
std::condition_variable g_idle;
std::unordered_map<WindowHandle, std::shared_ptr<Entry>> g_windows;  // guarded by g_mutex

// Entries whose OnMessage is running on this thread (nested posts included).
thread_local std::vector<Entry*> t_dispatching;

}  // namespace

MessageReceiver::~MessageReceiver() = default;

void RegisterWindow(WindowHandle window, MessageReceiver* receiver) {
    if (!window || !receiver) return;
    std::lock_guard lock(g_mutex);
    g_windows[window] = std::make_shared<Entry>(Entry{receiver});
}

void UnregisterWindow(WindowHandle window) {
    std::unique_lock lock(g_mutex);
    auto it = g_windows.find(window);
    if (it == g_windows.end()) return;
    std::shared_ptr<Entry> entry = it->second;
    g_windows.erase(it);
    // Calls on this thread (unregistering from inside OnMessage) cannot be
    // waited for; wait only for the others.
    auto own = [&] {
        return static_cast<int>(
            std::count(t_dispatching.begin(), t_dispatching.end(), entry.get()));
    };
    g_idle.wait(lock, [&] { return entry->calls <= own(); });
}

bool PostMessage(WindowHandle window, std::uint32_t msg, std::uintptr_t wparam,
                 std::intptr_t lparam) {
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_windows.find(window);
        if (it == g_windows.end()) return false;
        entry = it->second;
        ++entry->calls;
    }
    t_dispatching.push_back(entry.get());
    entry->receiver->OnMessage(msg, wparam, lparam);
    t_dispatching.pop_back();
    {
        std::lock_guard lock(g_mutex);
        --entry->calls;
    }
    g_idle.notify_all();
    return true;
}

}  // namespace plat

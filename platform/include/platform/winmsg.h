// Window messages between libraries: a message posted to a window handle is
// handed to the receiver the window registered. The Qt receiver turns it into
// an event posted to the window, so the window handles it on the GUI thread.
#pragma once

#include <cstdint>

namespace plat {

using WindowHandle = void*;  // a QWidget* on the Qt side

// A copy-data message carries in lparam a pointer to this structure; the
// structure and its bytes are valid only while the message is delivered, so
// a receiver that handles it later must keep its own copy.
inline constexpr std::uint32_t kWmCopyData = 0x004A;
struct CopyData {
    std::uintptr_t key;
    std::uint32_t length;
    const void* data;
};

class MessageReceiver {
public:
    virtual ~MessageReceiver();
    // Runs on the poster's thread.
    virtual void OnMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) = 0;
};

void RegisterWindow(WindowHandle window, MessageReceiver* receiver);
// After it returns, no OnMessage call for this window is running or will start.
void UnregisterWindow(WindowHandle window);
// False when the handle is not registered.
bool PostMessage(WindowHandle window, std::uint32_t msg, std::uintptr_t wparam,
                 std::intptr_t lparam);

}  // namespace plat

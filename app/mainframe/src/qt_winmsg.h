// Qt side of the window-message stand-in: a message posted to a registered
// window becomes a WinMsgEvent delivered to that widget on the GUI thread.
#pragma once

#include <platform/winmsg.h>

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <vector>

class WinMsgEvent : public QEvent {
public:
    static QEvent::Type EventType();
    WinMsgEvent(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam)
        : QEvent(EventType()), msg(msg), wparam(wparam), lparam(lparam) {}
    // A copy-data message: the event keeps its own copy of the structure and
    // its bytes, and lparam points to that copy for as long as the event lives.
    WinMsgEvent(std::uintptr_t wparam, const plat::CopyData& copyData);
    const std::uint32_t msg;
    const std::uintptr_t wparam;
    const std::intptr_t lparam;

private:
    std::vector<std::uint8_t> copyBytes_;
    plat::CopyData copyData_{};
};

// Registers the widget as a window handle for plat::PostMessage for as long
// as the receiver lives.
class QtMessageReceiver : public plat::MessageReceiver {
public:
    explicit QtMessageReceiver(QWidget* window);
    ~QtMessageReceiver() override;
    void OnMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) override;
    plat::WindowHandle Handle() const { return handle_; }

private:
    QPointer<QWidget> window_;
    plat::WindowHandle handle_;
};

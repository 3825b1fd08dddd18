#include "qt_winmsg.h"

#include <QCoreApplication>

QEvent::Type WinMsgEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QtMessageReceiver::QtMessageReceiver(QWidget* window)
    : window_(window), handle_(static_cast<plat::WindowHandle>(window)) {
    plat::RegisterWindow(handle_, this);
}

QtMessageReceiver::~QtMessageReceiver() {
    plat::UnregisterWindow(handle_);
}

void QtMessageReceiver::OnMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
    // postEvent is thread-safe; the event is dropped if the widget is gone.
    if (QWidget* w = window_.data())
        QCoreApplication::postEvent(w, new WinMsgEvent(msg, wparam, lparam));
}

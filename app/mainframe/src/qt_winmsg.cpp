#include "qt_winmsg.h"

#include <QCoreApplication>

QEvent::Type WinMsgEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

WinMsgEvent::WinMsgEvent(std::uintptr_t wparam, const plat::CopyData& copyData)
    : QEvent(EventType()),
      msg(plat::kWmCopyData),
      wparam(wparam),
      lparam(reinterpret_cast<std::intptr_t>(&copyData_)) {
    const auto* bytes = static_cast<const std::uint8_t*>(copyData.data);
    if (bytes) copyBytes_.assign(bytes, bytes + copyData.length);
    copyData_.key = copyData.key;
    copyData_.length = bytes ? copyData.length : 0;
    copyData_.data = bytes ? copyBytes_.data() : nullptr;
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
    // The event is handled after the sender's structure is gone, so a
    // copy-data message travels as a copy.
    QWidget* w = window_.data();
    if (!w) return;
    if (msg == plat::kWmCopyData && lparam) {
        const auto& copyData = *reinterpret_cast<const plat::CopyData*>(lparam);
        QCoreApplication::postEvent(w, new WinMsgEvent(wparam, copyData));
        return;
    }
    QCoreApplication::postEvent(w, new WinMsgEvent(msg, wparam, lparam));
}

#include "exclusivity_marker.h"

#include <bbdevice/app_window.h>
#include <platform/winmsg.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "device_messages.h"

namespace bbdev {
namespace {

std::mutex g_windowLock;
void* g_mainWindow = nullptr;         // guarded by g_windowLock
std::function<void()> g_raiseWindow;  // guarded by g_windowLock

constexpr char kRaiseRequest[] = "raise";

socklen_t MarkerAddress(const std::string& title, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // Abstract name: a leading NUL, then the title, cut to what fits.
    const std::string name = "talvora-marker/" + title;
    const std::size_t n = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), n);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

int ConnectToMarker(const std::string& title) {
    sockaddr_un address;
    const socklen_t length = MarkerAddress(title, address);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

void SetApplicationWindow(void* window, std::function<void()> raise) {
    std::lock_guard lock(g_windowLock);
    g_mainWindow = window;
    g_raiseWindow = std::move(raise);
}

std::string MarkerTitle(const std::string& engineAddress) {
    return std::string(kMarkerTitlePrefix) + "-" + engineAddress;
}

CExclusivityMarker::CExclusivityMarker(std::string title) : title_(std::move(title)) {}

CExclusivityMarker::~CExclusivityMarker() {
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
        (void)ignored;
    }
    if (server_.joinable()) server_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool CExclusivityMarker::Exists(const std::string& title) {
    int fd = ConnectToMarker(title);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool CExclusivityMarker::AskToRaise(const std::string& title) {
    int fd = ConnectToMarker(title);
    if (fd < 0) return false;
    const bool sent = ::send(fd, kRaiseRequest, sizeof kRaiseRequest - 1, MSG_NOSIGNAL) > 0;
    ::close(fd);
    return sent;
}

bool CExclusivityMarker::Create() {
    sockaddr_un address;
    const socklen_t length = MarkerAddress(title_, address);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return false;
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    server_ = std::thread(&CExclusivityMarker::Serve, this);
    return true;
}

void CExclusivityMarker::Serve() {
    pthread_setname_np(pthread_self(), "bb-marker");
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        int peer = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) continue;
        char request[16] = {};
        pollfd p{peer, POLLIN, 0};
        if (::poll(&p, 1, 200) > 0 && ::recv(peer, request, sizeof request - 1, 0) > 0 &&
            std::strcmp(request, kRaiseRequest) == 0) {
            std::function<void()> raise;
            {
                std::lock_guard lock(g_windowLock);
                raise = g_raiseWindow;
            }
            if (raise) raise();
        }
        ::close(peer);
    }
}

std::string CExclusivityMarker::Establish(unsigned card) {
    if (owned()) return {};
    if (!Exists(title_)) {
        // Raced by another process between the search and the creation: the
        // card is then treated as in use, below.
        if (Create()) return {};
    }
    char text[256];
    std::snprintf(text, sizeof text, "当前【数字基带卡:%d】已在其他应用程序打开!",
                  static_cast<int>(card));
    ShowDeviceMessage(text);
    if (!Exists(title_)) {
        std::snprintf(text, sizeof text, "【数字基带卡:%d】未正确识别或在当前系统中不存在!",
                      static_cast<int>(card));
        return text;
    }
    std::snprintf(text, sizeof text, "【数字基带卡:%d】已在其他应用程序打开!",
                  static_cast<int>(card));
    ShowDeviceMessage(text);
    void* window;
    {
        std::lock_guard lock(g_windowLock);
        window = g_mainWindow;
    }
    if (window) plat::PostMessage(window, kWmClose, card, 0);
    AskToRaise(title_);
    return text;
}

}  // namespace bbdev

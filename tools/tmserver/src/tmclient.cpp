// tmclient: starts the telemetry server through BB_InitService and round-trips
// a block through the ring on service 0, a block in copy-data messages on
// service 1 and a command (key 3) on service 0. It stands in for an open card
// by holding "SHAREENABLE" itself unless --no-share-enable is given.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel_objects.h"
#include "platform/winmsg.h"
#include "svclink/service_link.h"
#include "svclink/service_ring.h"

namespace {

using namespace svclink;
using namespace std::chrono_literals;

constexpr const char* kShareEnableName = "{A937D1DA-1195-4c5b-AA42-B2E3DD2D43CF}-SHAREENABLE";
constexpr const char* kServerExitName = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVEREXIT";

struct Echo {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::uint8_t> data;            // guarded by mutex
    std::uint32_t description[18] = {};        // guarded by mutex
    std::uint32_t command = 0;                 // guarded by mutex
    bool gotData = false, gotCommand = false;  // guarded by mutex

    void Data(const ServiceRecord& r) {
        std::lock_guard lock(mutex);
        data.insert(data.end(), r.data, r.data + r.length);
        std::memcpy(description, r.description, sizeof description);
        gotData = true;
        cv.notify_all();
    }
    template <class Pred>
    bool Wait(Pred pred) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 5s, pred);
    }
};

Echo g_ring, g_copy;

void OnRingData(std::uint32_t, ServiceRecord* r) {
    g_ring.Data(*r);
}

void OnRingParam(std::uint32_t, ServiceRecord*) {
    std::uint32_t command = 0;
    if (const std::uint8_t* peer = PeerHeader(0))
        ReadKey(peer, kKeyCommand, &command, sizeof command);
    std::lock_guard lock(g_ring.mutex);
    g_ring.command = command;
    g_ring.gotCommand = true;
    g_ring.cv.notify_all();
}

void OnNothing(std::uint32_t, ServiceRecord*) {}

struct CopyWindow : plat::MessageReceiver {
    void OnMessage(std::uint32_t msg, std::uintptr_t, std::intptr_t lparam) override {
        if (msg != kWmCopyData || !lparam) return;
        ServiceRecord info{};
        if (!BB_GetShareDataInfo(1, &info, reinterpret_cast<const CopyDataStruct*>(lparam))) return;
        g_copy.Data(info);
    }
};

void PrintDescription(const char* label, const std::uint32_t* d) {
    std::printf("%s description %08X %08X %08X ...\n", label, d[0], d[1], d[2]);
}

}  // namespace

int main(int argc, char** argv) {
    const char* server = nullptr;
    bool shareEnable = true, keepServer = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--server") == 0 && i + 1 < argc) {
            server = argv[++i];
        } else if (std::strcmp(argv[i], "--no-share-enable") == 0) {
            shareEnable = false;
        } else if (std::strcmp(argv[i], "--keep-server") == 0) {
            keepServer = true;
        } else {
            std::fprintf(stderr,
                         "usage: tmclient [--server PATH] [--no-share-enable] [--keep-server]\n");
            return 1;
        }
    }
    std::unique_ptr<plat::NamedEvent> enable;
    if (shareEnable) enable = plat::NamedEvent::Create(kShareEnableName, true, false);

    const std::uint32_t list[9] = {0, 1, 0, 0, 0, 0, 0, 0, 2};
    if (!BB_InitService(list, server)) {
        std::fprintf(stderr, "tmclient: the server did not start\n");
        return 2;
    }
    std::printf("server ready\n");

    int failures = 0;
    ServiceRecord ring{};
    ring.dataCallback = OnRingData;
    ring.paramCallback = OnRingParam;
    CopyWindow copyWindow;
    plat::RegisterWindow(&copyWindow, &copyWindow);
    ServiceRecord copy{};
    copy.copyDataMode = 1;
    copy.paramCallback = OnNothing;
    if (!BB_OpenService(0, &ring, &ring, kRoleUser) ||
        !BB_OpenService(1, &copyWindow, &copy, kRoleUser)) {
        std::fprintf(stderr, "tmclient: opening the services failed\n");
        return 3;
    }

    std::vector<std::uint8_t> block(4096);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    std::uint32_t desc[18];
    for (std::uint32_t i = 0; i < 18; ++i) desc[i] = 0xA5000000u + i;

    struct Mode {
        const char* name;
        std::uint32_t service;
        Echo* echo;
    } modes[] = {{"shared memory", 0, &g_ring}, {"copy-data", 1, &g_copy}};
    for (const Mode& m : modes) {
        if (!BB_SendShareData(m.service, block.data(), static_cast<std::uint32_t>(block.size()),
                              desc)) {
            std::printf("%s: send failed\n", m.name);
            ++failures;
            continue;
        }
        const bool got = m.echo->Wait([&] { return m.echo->data.size() >= block.size(); });
        std::lock_guard lock(m.echo->mutex);
        const bool same = got && m.echo->data == block;
        std::printf("%s: echoed %zu bytes, %s:", m.name, m.echo->data.size(),
                    same ? "equal to the block sent" : "NOT the block sent");
        for (std::size_t i = 0; i < 8 && i < m.echo->data.size(); ++i)
            std::printf(" %02X", m.echo->data[i]);
        std::printf(" ...\n");
        PrintDescription(m.name, m.echo->description);
        if (!same || std::memcmp(m.echo->description, desc, sizeof desc)) ++failures;
    }

    const std::uint32_t command = 0x00C0FFEE;
    const SvcCmdParam param{kKeyCommand, sizeof command, &command};
    if (BB_SendCmdParam(0, &param) &&
        g_ring.Wait([&] { return g_ring.gotCommand && g_ring.command == command; })) {
        std::printf("command: key 3 = 0x%08X echoed\n", command);
    } else {
        std::printf("command: no echo\n");
        ++failures;
    }

    BB_CloseService(0, kRoleUser);
    BB_CloseService(1, kRoleUser);
    plat::UnregisterWindow(&copyWindow);
    if (!keepServer) {
        if (auto exitEvent = plat::NamedEvent::Open(kServerExitName)) exitEvent->Set();
    }
    return failures == 0 ? 0 : 4;
}

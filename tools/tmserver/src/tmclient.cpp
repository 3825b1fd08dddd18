// tmclient: starts the telemetry server through BB_InitService and round-trips
// a block through the ring on service 0, a block in copy-data messages on
// service 1 and a command (key 3) on service 0. It stands in for an open card
// by holding "SHAREENABLE" itself unless --no-share-enable is given.
// --abandon N sends N bytes on service 0 and, once their echo is back, ends
// without closing, as a client that was killed would. --open-close opens all
// eight services (odd ones in copy-data mode), closes them and ends, for
// timing an exit while the server is stopped.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
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
    long abandon = 0;
    bool openClose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--server") == 0 && i + 1 < argc) {
            server = argv[++i];
        } else if (std::strcmp(argv[i], "--no-share-enable") == 0) {
            shareEnable = false;
        } else if (std::strcmp(argv[i], "--keep-server") == 0) {
            keepServer = true;
        } else if (std::strcmp(argv[i], "--open-close") == 0) {
            openClose = true;
        } else if (std::strcmp(argv[i], "--abandon") == 0 && i + 1 < argc) {
            abandon = std::strtol(argv[++i], nullptr, 10);
            if (abandon <= 0 || abandon > static_cast<long>(kRingSize)) abandon = 0;
        } else {
            std::fprintf(stderr,
                         "usage: tmclient [--server PATH] [--no-share-enable] [--keep-server] "
                         "[--abandon BYTES] [--open-close]\n");
            return 1;
        }
    }
    std::unique_ptr<plat::NamedEvent> enable;
    if (shareEnable) enable = plat::NamedEvent::Create(kShareEnableName, true, false);

    if (openClose) {
        const std::uint32_t all[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
        if (!BB_InitService(all, server)) {
            std::fprintf(stderr, "tmclient: the server did not start\n");
            return 2;
        }
        ServiceRecord records[kServiceSlots]{};
        CopyWindow windows[kServiceSlots];
        int opened = 0;
        for (std::uint32_t i = 0; i < kServiceSlots; ++i) {
            records[i].paramCallback = OnNothing;
            void* window = &records[i];
            if (i % 2) {
                records[i].copyDataMode = 1;
                plat::RegisterWindow(&windows[i], &windows[i]);
                window = &windows[i];
            } else {
                records[i].dataCallback = OnNothing;
            }
            opened += BB_OpenService(i, window, &records[i], kRoleUser) ? 1 : 0;
        }
        const auto closing = std::chrono::steady_clock::now();
        for (std::uint32_t i = 0; i < kServiceSlots; ++i) BB_CloseService(i, kRoleUser);
        for (std::uint32_t i = 1; i < kServiceSlots; i += 2) plat::UnregisterWindow(&windows[i]);
        const auto closed = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - closing);
        std::printf("opened %d services, closed them in %.1f ms\n", opened,
                    static_cast<double>(closed.count()) / 1000.0);
        return opened == static_cast<int>(kServiceSlots) ? 0 : 3;
    }

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

    if (abandon > 0) {
        std::vector<std::uint8_t> left(static_cast<std::size_t>(abandon), 0xAB);
        const bool sent =
            BB_SendShareData(0, left.data(), static_cast<std::uint32_t>(left.size()), nullptr);
        const bool echoed = sent && g_ring.Wait([&] { return g_ring.data.size() >= left.size(); });
        std::printf("abandoned %zu bytes on service 0%s\n", left.size(),
                    echoed ? "" : " (no echo)");
        std::fflush(stdout);
        _exit(echoed ? 0 : 5);
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

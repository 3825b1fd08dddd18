// tmserver: the telemetry server of the service link. It opens every service
// (or those of --services) as creator, echoes data in the mode it came and
// parameter keys that changed, reopens a service its client closed, and
// exits when "SERVEREXIT" is set or on SIGTERM. --sink counts data instead
// of echoing; the counts go to the first 16 bytes of its service parameters.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel_objects.h"
#include "platform/notify.h"
#include "platform/winmsg.h"
#include "svclink/service_link.h"
#include "svclink/service_ring.h"

namespace {

using namespace svclink;

constexpr const char* kServerExitName = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVEREXIT";
constexpr const char* kShareEnableName = "{A937D1DA-1195-4c5b-AA42-B2E3DD2D43CF}-SHAREENABLE";
constexpr const char* kServerAliveName = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVERALIVE";

volatile sig_atomic_t g_terminate = 0;
bool g_sink = false;

// Keys echoed back when their bytes changed, with the bytes that carry meaning.
struct EchoKey {
    std::uint32_t key;
    std::size_t bytes;
};
constexpr EchoKey kEchoKeys[] = {{kKeyServiceParam, hdr::kServiceParamBytes},
                                 {kKeySaveParam, hdr::kSaveParamKeptBytes},
                                 {kKeyCommand, 4},
                                 {kKey256, 4},
                                 {kKey257, 4},
                                 {kKey261, 4}};

struct Slot;
Slot* g_slots[kServiceSlots] = {};

struct Slot : plat::MessageReceiver {
    std::uint32_t index = 0;
    ServiceRecord record{};
    std::atomic<bool> reopen{false};
    std::atomic<std::uint64_t> received{0};
    std::uint8_t lastKeys[6][hdr::kServiceParamBytes] = {};  // receive thread
    std::uint8_t info[kShareDataInfoBytes] = {};             // copy-data thread

    void OnMessage(std::uint32_t msg, std::uintptr_t, std::intptr_t lparam) override {
        if (msg == kWmClose) {
            reopen.store(true);
        } else if (msg == kWmCopyData && lparam) {
            const auto* cds = reinterpret_cast<const CopyDataStruct*>(lparam);
            if (!BB_GetShareDataInfo(index, info, cds)) return;
            ServiceRecord view{};
            std::memcpy(&view, info, sizeof info);
            Handle(view, true);
        }
    }

    void Handle(const ServiceRecord& block, bool copyData) {
        if (g_sink) {
            const std::uint64_t total = received.fetch_add(block.length) + block.length;
            const SvcCmdParam p{kKeyServiceParam, sizeof total, &total};
            BB_SendCmdParam(index, &p);
            return;
        }
        SendShareDataAs(index, block.data, block.length, block.description, copyData);
    }

    void EchoChangedKeys() {
        const std::uint8_t* peer = PeerHeader(index);
        if (!peer) return;
        for (std::size_t k = 0; k < std::size(kEchoKeys); ++k) {
            std::uint8_t now[hdr::kServiceParamBytes] = {};
            const std::size_t size = FieldOfKey(kEchoKeys[k].key).bytes;
            if (ReadKey(peer, kEchoKeys[k].key, now, size) != size) continue;
            if (std::memcmp(now, lastKeys[k], kEchoKeys[k].bytes) == 0) continue;
            std::memcpy(lastKeys[k], now, size);
            if (g_sink && kEchoKeys[k].key == kKeyServiceParam) continue;  // holds the counts
            const SvcCmdParam p{kEchoKeys[k].key, static_cast<std::uint32_t>(size), now};
            BB_SendCmdParam(index, &p);
        }
    }

    static void OnData(std::uint32_t, ServiceRecord* r) {
        if (Slot* s = FromRecord(r)) s->Handle(*r, false);
    }
    static void OnParam(std::uint32_t, ServiceRecord* r) {
        if (Slot* s = FromRecord(r)) s->EchoChangedKeys();
    }
    // The service hands its own copy of the record; our slot number rides in
    // its spare bytes.
    static Slot* FromRecord(const ServiceRecord* r) {
        std::uint32_t index = 0;
        std::memcpy(&index, r->reserved, sizeof index);
        return index < kServiceSlots ? g_slots[index] : nullptr;
    }

    bool Open() {
        record = ServiceRecord{};
        std::memcpy(record.reserved, &index, sizeof index);
        record.dataCallback = &Slot::OnData;
        record.paramCallback = &Slot::OnParam;
        std::memset(lastKeys, 0, sizeof lastKeys);
        received.store(0);  // the counts describe the current client only
        return BB_OpenService(index, this, &record, kRoleCreator) != 0;
    }
};

void OnSignal(int) {
    g_terminate = 1;
}

bool ParseServices(const char* text, std::vector<std::uint32_t>* out) {
    out->clear();
    std::string s(text);
    std::size_t at = 0;
    while (at <= s.size()) {
        std::size_t comma = s.find(',', at);
        std::string item =
            s.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        char* end = nullptr;
        unsigned long v = std::strtoul(item.c_str(), &end, 10);
        if (item.empty() || *end || v >= kServiceSlots) return false;
        out->push_back(static_cast<std::uint32_t>(v));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return !out->empty();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::uint32_t> services;
    for (std::uint32_t i = 0; i < kServiceSlots; ++i) services.push_back(i);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sink") == 0) {
            g_sink = true;
        } else if (std::strcmp(argv[i], "--services") == 0 && i + 1 < argc) {
            if (!ParseServices(argv[++i], &services)) {
                std::fprintf(stderr, "tmserver: --services wants slot numbers 0-7 like 0,1\n");
                return 1;
            }
        } else {
            std::fprintf(stderr, "usage: tmserver [--services 0,1,...] [--sink]\n");
            return 1;
        }
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    auto shareEnable = plat::NamedEvent::Open(kShareEnableName);
    if (!shareEnable) {
        plat::MessageBox("服务创建者启动遥测服务失败！", "tmserver", plat::MB_OK);
        return 2;
    }
    auto alive = plat::NamedMutex::Create(kServerAliveName);
    if (!alive || alive->Lock(0) == plat::WaitResult::Timeout) {
        std::fprintf(stderr, "tmserver: another server is running\n");
        return 3;
    }
    auto serverExit = plat::NamedEvent::Create(kServerExitName, true, false);
    if (!serverExit) {
        std::fprintf(stderr, "tmserver: cannot create the exit event\n");
        return 1;
    }
    serverExit->Reset();  // a stop request left over from an earlier server

    std::vector<std::unique_ptr<Slot>> slots;
    for (std::uint32_t index : services) {
        auto slot = std::make_unique<Slot>();
        slot->index = index;
        g_slots[index] = slot.get();
        plat::RegisterWindow(slot.get(), slot.get());
        if (!slot->Open()) std::fprintf(stderr, "tmserver: service %u did not open\n", index);
        slots.push_back(std::move(slot));
    }
    while (!g_terminate && serverExit->Wait(20) != plat::WaitResult::Signaled) {
        for (auto& slot : slots) {
            if (!slot->reopen.exchange(false)) continue;
            CloseServiceQuietly(slot->index, kRoleCreator);
            if (!slot->Open())
                std::fprintf(stderr, "tmserver: service %u did not reopen\n", slot->index);
        }
    }
    for (auto& slot : slots) {
        CloseServiceQuietly(slot->index, kRoleCreator);
        plat::UnregisterWindow(slot.get());
        g_slots[slot->index] = nullptr;
    }
    alive->Unlock();
    return 0;
}

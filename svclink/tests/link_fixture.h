// A test of the service link against a real tmserver, in an object namespace
// of its own so that no other test's server or sections are seen.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel_objects.h"
#include "platform/notify.h"
#include "platform/winmsg.h"
#include "svclink/service_link.h"
#include "svclink/service_ring.h"
#include "testsupport/wait.h"

namespace svclink::test {

using namespace std::chrono_literals;

inline constexpr const char* kShareEnable = "{A937D1DA-1195-4c5b-AA42-B2E3DD2D43CF}-SHAREENABLE";
inline constexpr const char* kServerExit = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVEREXIT";
inline constexpr const char* kServerAlive = "{B064E0BE-C996-4341-A6A7-CE8AF3AAA05D}-SERVERALIVE";

inline std::string BinDir() {
    const char* dir = std::getenv("TALVORA_BIN_DIR");
    return dir && *dir ? dir : ".";
}

inline std::string ServerPath() {
    return BinDir() + "/tmserverdir/tmserver";
}

inline bool ServerAlive() {
    auto m = plat::NamedMutex::Open(kServerAlive);
    if (!m) return false;
    if (m->Lock(0) == plat::WaitResult::Timeout) return true;
    m->Unlock();
    return false;
}

inline std::uint8_t PatternByte(std::uint64_t i) {
    return static_cast<std::uint8_t>((i * 131) ^ (i >> 11));
}

inline std::vector<std::uint8_t> Pattern(std::uint64_t from, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t k = 0; k < n; ++k) v[k] = PatternByte(from + k);
    return v;
}

inline std::array<std::uint32_t, 18> Desc(std::uint32_t tag) {
    std::array<std::uint32_t, 18> d{};
    for (std::uint32_t i = 0; i < 18; ++i) d[i] = tag * 1000 + i;
    return d;
}

// What came back on one service: every block with its description.
struct Received {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::uint8_t> bytes;                   // guarded by mutex
    std::vector<std::array<std::uint32_t, 18>> descs;  // one per callback; mutex
    std::vector<std::size_t> lengths;                  // one per callback; mutex
    int params = 0;                                    // guarded by mutex

    void Add(const std::uint8_t* data, std::size_t n, const std::uint32_t* desc) {
        std::lock_guard lock(mutex);
        bytes.insert(bytes.end(), data, data + n);
        std::array<std::uint32_t, 18> d;
        std::memcpy(d.data(), desc, sizeof d);
        descs.push_back(d);
        lengths.push_back(n);
        cv.notify_all();
    }
    bool WaitBytes(std::size_t n, std::chrono::milliseconds limit = 20s) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, limit, [&] { return bytes.size() >= n; });
    }
    std::size_t Size() {
        std::lock_guard lock(mutex);
        return bytes.size();
    }
    void Clear() {
        std::lock_guard lock(mutex);
        bytes.clear();
        descs.clear();
        lengths.clear();
    }
};

// Received blocks per slot, reached from the callbacks through the record's
// spare bytes.
inline Received g_received[kServiceSlots];
inline std::atomic<bool> g_holdData{false};
inline std::mutex g_holdMutex;
inline std::condition_variable g_holdCv;

inline Received& Of(const ServiceRecord* r) {
    std::uint32_t slot = 0;
    std::memcpy(&slot, r->reserved, 4);
    return g_received[slot % kServiceSlots];
}

inline void OnData(std::uint32_t, ServiceRecord* r) {
    Of(r).Add(r->data, r->length, r->description);
    std::unique_lock lock(g_holdMutex);
    g_holdCv.wait_for(lock, 30s, [] { return !g_holdData.load(); });
}

inline void OnParam(std::uint32_t, ServiceRecord* r) {
    Received& rx = Of(r);
    std::lock_guard lock(rx.mutex);
    ++rx.params;
    rx.cv.notify_all();
}

// The window of a copy-data service.
struct CopyWindow : plat::MessageReceiver {
    std::uint32_t slot = 0;
    std::atomic<int> closes{0};
    void OnMessage(std::uint32_t msg, std::uintptr_t, std::intptr_t lparam) override {
        if (msg == kWmClose) ++closes;
        if (msg != kWmCopyData) return;
        std::uint8_t info[kShareDataInfoBytes];
        if (!BB_GetShareDataInfo(slot, info, reinterpret_cast<const CopyDataStruct*>(lparam)))
            return;
        ServiceRecord r{};
        std::memcpy(&r, info, sizeof info);
        g_received[slot].Add(r.data, r.length, r.description);
    }
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        ns_ = "svclink-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        ::setenv("TALVORA_OBJECT_NAMESPACE", ns_.c_str(), 1);
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
        for (auto& r : g_received) r.Clear();
        for (std::uint32_t i = 0; i < kServiceSlots; ++i) windows_[i].slot = i;
        if (WantShareEnable()) shareEnable_ = plat::NamedEvent::Create(kShareEnable, true, false);
    }
    void TearDown() override {
        g_holdData.store(false);
        g_holdCv.notify_all();
        for (std::uint32_t i = 0; i < kServiceSlots; ++i) {
            BB_CloseService(i, kRoleUser);
            plat::UnregisterWindow(&windows_[i]);
        }
        StopServer();
        plat::SetNotifySink(nullptr);
        ::unsetenv("TALVORA_OBJECT_NAMESPACE");
    }
    virtual bool WantShareEnable() const { return true; }

    void StopServer() {
        if (auto exitEvent = plat::NamedEvent::Open(kServerExit)) exitEvent->Set();
        EXPECT_TRUE(talvora::test::WaitUntil([] { return !ServerAlive(); }, 10s, "server exit"));
    }

    bool Start(std::initializer_list<std::uint32_t> services, const char* path = nullptr) {
        std::uint32_t list[9] = {};
        std::uint32_t n = 0;
        for (std::uint32_t s : services) list[n++] = s;
        list[8] = n;
        return BB_InitService(list, path) == 1;
    }

    // Opens `slot` as user; copy-data services get a registered window.
    bool Open(std::uint32_t slot, bool copyData) {
        records_[slot] = ServiceRecord{};
        std::memcpy(records_[slot].reserved, &slot, 4);
        records_[slot].paramCallback = OnParam;
        void* window = &records_[slot];
        if (copyData) {
            records_[slot].copyDataMode = 1;
            plat::RegisterWindow(&windows_[slot], &windows_[slot]);
            window = &windows_[slot];
        } else {
            records_[slot].dataCallback = OnData;
        }
        return BB_OpenService(slot, window, &records_[slot], kRoleUser) == 1;
    }

    pid_t ServerPid(std::uint32_t slot) {
        std::uint32_t pid = 0;
        if (const std::uint8_t* peer = PeerHeader(slot)) ReadKey(peer, kKeyWindow, &pid, 4);
        return static_cast<pid_t>(pid);
    }

    std::vector<std::string> Shown() const {
        std::vector<std::string> texts;
        for (const auto& r : sink_->Shown()) texts.push_back(r.text);
        return texts;
    }

    std::string ns_;
    std::shared_ptr<plat::CapturingSink> sink_;
    std::unique_ptr<plat::NamedEvent> shareEnable_;
    ServiceRecord records_[kServiceSlots]{};
    CopyWindow windows_[kServiceSlots];
};

}  // namespace svclink::test

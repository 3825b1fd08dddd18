// Service slots: opening, sending, the receive thread and closing.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "copy_link.h"
#include "platform/kernel_objects.h"
#include "platform/notify.h"
#include "platform/winmsg.h"
#include "service_names.h"
#include "svclink/service_link.h"
#include "svclink/service_ring.h"

namespace svclink {
namespace {

struct Service {
    std::uint32_t slot = 0, role = 0;
    void* window = nullptr;
    ServiceRecord record{};  // handed to the callbacks; touched by the receive thread only

    std::unique_ptr<plat::SharedSection> section;
    std::uint8_t* ownHeader = nullptr;
    std::uint8_t* ownRing = nullptr;
    const std::uint8_t* peerHeader = nullptr;
    const std::uint8_t* peerRing = nullptr;
    std::unique_ptr<plat::NamedEvent> dataSent, dataArrives, paramSent, paramArrives, exitEvent,
        initFinish;

    std::mutex sendMutex;
    WriterState writer;                      // guarded by sendMutex
    CopySender sender;                       // guarded by sendMutex
    std::uint32_t copyDescription[18] = {};  // last one sent in copy-data; sendMutex

    ReaderState reader;               // receive thread
    std::vector<std::uint8_t> chunk;  // receive thread, allocated at open
    std::atomic<std::uint64_t> lost{0};

    std::thread thread;
    std::atomic<bool> stop{false};
    std::mutex endMutex;
    std::condition_variable endCv;
    bool ended = false;  // the receive thread left its loop; endMutex

    ~Service() {
        if (thread.joinable())
            thread.detach();  // only when the thread itself dropped the last hold
    }
};

std::mutex g_mutex;
std::shared_ptr<Service> g_slots[kServiceSlots];  // guarded by g_mutex
std::atomic<std::uint32_t> g_exitEvents{0};

// How long a close waits for the receive thread to leave a callback.
constexpr auto kReceiverStopWait = std::chrono::milliseconds(200);
// Wake period of an idle receive thread, and the retry of a header that was
// being rewritten.
constexpr unsigned kIdleWakeMs = 1000;
constexpr unsigned kBusyRetryMs = 5;

void Show(const char* text) {
    plat::MessageBox(text, "", plat::MB_OK | plat::MB_ICONERROR);
}

std::shared_ptr<Service> Find(std::uint32_t service) {
    std::lock_guard lock(g_mutex);
    return g_slots[service % kServiceSlots];
}

pid_t PeerPid(const Service& s) {
    const std::uint32_t pid = ReadProcessId(s.peerHeader);
    if (pid == 0 || pid > 0x3FFFFFFF || static_cast<pid_t>(pid) == getpid()) return 0;
    return static_cast<pid_t>(pid);
}

// Hands everything unread to the data callback; false when the header was
// being rewritten and the rest must be fetched again soon.
bool Drain(Service& s) {
    for (;;) {
        const ChunkResult c = ReadChunk(s.peerHeader, s.peerRing, s.reader, s.chunk.data(),
                                        s.chunk.size(), s.record.description);
        s.lost.store(s.reader.lostBytes, std::memory_order_relaxed);
        if (c.bytes > 0 && s.record.dataCallback) {
            s.record.data = s.chunk.data();
            s.record.length = static_cast<std::uint32_t>(c.bytes);
            s.record.dataCallback(0, &s.record);
        }
        if (c.busy) return false;
        if (!c.more || s.stop.load()) return true;
    }
}

void Receive(std::shared_ptr<Service> s) {
    plat::NamedEvent* events[3] = {s->exitEvent.get(), s->dataArrives.get(), s->paramArrives.get()};
    bool retry = false;
    while (!s->stop.load()) {
        const int r = plat::WaitForAnyEvent(events, retry ? kBusyRetryMs : kIdleWakeMs);
        if (s->stop.load()) break;
        if (r == 2) {
            ReadKey(s->peerHeader, kKeyDescription, s->record.description,
                    sizeof s->record.description);
            if (s->record.paramCallback) s->record.paramCallback(0, &s->record);
            if (s->stop.load()) break;
        }
        // Every wake, the time-out included, drains what is unread: a data
        // signal taken while the header was being rewritten is not lost.
        retry = !Drain(*s);
    }
    std::lock_guard lock(s->endMutex);
    s->ended = true;
    s->endCv.notify_all();
}

std::uint32_t DeliverFrame(const FrameHead& head, const std::uint8_t* body) {
    std::shared_ptr<Service> s = Find(head.service);
    if (!s || s->role != head.role) return 1;
    if (head.message == kWmCopyData) {
        CopyDataStruct cds{head.service + kCopyDataKeyBase, head.length, body};
        return plat::PostMessage(s->window, kWmCopyData, 0, reinterpret_cast<std::intptr_t>(&cds))
                   ? 0
                   : 1;
    }
    return plat::PostMessage(s->window, kWmClose, 0, 0) ? 0 : 1;
}

struct EventToOpen {
    std::unique_ptr<plat::NamedEvent>* target;
    const char* suffix;
    const char* failure;
};

// The open steps below hold the slot lock, so they leave the message of a
// failure in *failure for the caller to show once the lock is released.

// Points the service at its own and its peer's half of the section and
// starts its own direction over; false (with `tooSmall`) for a section
// smaller than the layout.
bool MapDirections(Service& s, bool creator, const char* tooSmall, const char** failure) {
    if (s.section->size() < kSectionSize) {
        *failure = tooSmall;
        return false;
    }
    auto* base = static_cast<std::uint8_t*>(s.section->data());
    std::uint8_t* toUser = base + kCreatorToUserHeader;
    std::uint8_t* toCreator = base + kUserToCreatorHeader;
    s.ownHeader = creator ? toUser : toCreator;
    s.peerHeader = creator ? toCreator : toUser;
    s.ownRing = base + (creator ? kCreatorToUserRing : kUserToCreatorRing);
    s.peerRing = base + (creator ? kUserToCreatorRing : kCreatorToUserRing);
    ResetDirection(s.ownHeader, s.writer);
    return true;
}

// Our process id where the peer sends copy-data and close requests, and the
// same in the window field that parameter key 262 may change later.
void PublishOwnProcess(Service& s) {
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    WriteProcessId(s.ownHeader, pid);
    WriteKey(s.ownHeader, s.writer, kKeyWindow, &pid, sizeof pid);
}

bool OpenCreator(Service& s, const char** failure) {
    if (!plat::NamedEvent::Open(kShareEnableName)) {
        *failure = "服务创建者启动遥测服务失败！";
        return false;
    }
    s.section = plat::SharedSection::Create(SlotName("MAPFILEHANDLE", s.slot), kSectionSize);
    if (!s.section) {
        *failure = "服务创建者打开内存共享文件失败！";
        return false;
    }
    if (!MapDirections(s, true, "服务创建者打开内存共享文件视图失败！", failure)) return false;
    const EventToOpen events[] = {
        {&s.dataSent, "DTOUSER", "服务创建者创建发送共享数据事件失败！"},
        {&s.dataArrives, "DFROMUSER", "服务创建者创建接收共享数据事件失败！"},
        {&s.paramSent, "PTOUSER", "服务创建者创建发送共享参数事件失败！"},
    };
    for (const EventToOpen& e : events) {
        *e.target = plat::NamedEvent::Create(SlotName(e.suffix, s.slot), false, false);
        if (!*e.target) {
            *failure = e.failure;
            return false;
        }
    }
    PublishOwnProcess(s);
    s.paramSent->Set();
    s.paramArrives = plat::NamedEvent::Create(SlotName("PFROMUSER", s.slot), false, false);
    if (!s.paramArrives) {
        *failure = "服务创建者创建接收共享参数事件失败！";
        return false;
    }
    return true;
}

bool OpenUser(Service& s, const char** failure) {
    s.section = plat::SharedSection::Open(SlotName("MAPFILEHANDLE", s.slot));
    if (!s.section) {
        *failure = "服务使用者打开内存共享文件失败！";
        return false;
    }
    if (!MapDirections(s, false, "服务使用者打开内存共享文件视图失败！", failure)) return false;
    const EventToOpen events[] = {
        {&s.dataArrives, "DTOUSER", "服务使用者打开接收共享数据事件失败！"},
        {&s.dataSent, "DFROMUSER", "服务使用者打开发送共享数据事件失败！"},
        {&s.paramArrives, "PTOUSER", "服务使用者打开接收共享参数事件失败！"},
        {&s.paramSent, "PFROMUSER", "服务创打开创建发送共享参数事件失败！"},
    };
    for (const EventToOpen& e : events) {
        *e.target = plat::NamedEvent::Open(SlotName(e.suffix, s.slot));
        if (!*e.target) {
            *failure = e.failure;
            return false;
        }
    }
    PublishOwnProcess(s);
    return true;
}

bool StartReceiver(const std::shared_ptr<Service>& s, const char* threadFailure,
                   const char** failure) {
    std::string exitName = "svclink-exit-" + std::to_string(getpid()) + "-" +
                           std::to_string(g_exitEvents.fetch_add(1));
    s->exitEvent = plat::NamedEvent::Create(exitName, false, false);
    if (!s->exitEvent) {
        *failure = "创建共享数据接收线程退出事件失败！";
        return false;
    }
    AttachReader(s->peerHeader, s->reader);
    s->chunk.assign(kMaxChunk, 0);
    try {
        s->thread = std::thread(Receive, s);
    } catch (const std::system_error&) {
        *failure = threadFailure;
        return false;
    }
    if (s->role == kRoleCreator) {
        // The server's receive thread runs at the highest priority it is allowed.
        sched_param param{};
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
        pthread_setschedparam(s->thread.native_handle(), SCHED_FIFO, &param);
    }
    return true;
}

// Stops the receive thread. From inside a callback, or when a callback does
// not return in time, the thread is left to end on its own: it holds the
// service, so the section stays mapped until it has.
void StopReceiver(Service& s) {
    s.stop.store(true);
    if (s.exitEvent) s.exitEvent->Set();
    if (!s.thread.joinable()) return;
    if (s.thread.get_id() == std::this_thread::get_id()) {
        s.thread.detach();
        return;
    }
    bool ended = false;
    {
        std::unique_lock lock(s.endMutex);
        ended = s.endCv.wait_for(lock, kReceiverStopWait, [&] { return s.ended; });
    }
    if (ended) {
        s.thread.join();
        return;
    }
    std::fprintf(stderr,
                 "svclink: service %u closed while its receive thread was still in a callback "
                 "after %lld ms; the thread ends on its own\n",
                 s.slot, static_cast<long long>(kReceiverStopWait.count()));
    s.thread.detach();
}

// Posts the close request: a frame left in the peer's socket without waiting
// for its answer, so a hung peer cannot hold the close up. A send in
// progress keeps its connection; the request then goes on a new one.
void PostClose(Service& s) {
    const pid_t peer = PeerPid(s);
    if (peer == 0) return;
    const std::uint32_t peerRole = s.role == kRoleCreator ? kRoleUser : kRoleCreator;
    const FrameHead head{s.slot, peerRole, kWmClose, 0};
    std::unique_lock lock(s.sendMutex, std::try_to_lock);
    if (lock.owns_lock()) {
        s.sender.Post(peer, head);
        return;
    }
    CopySender own;
    own.Post(peer, head);
}

std::int32_t Close(std::uint32_t service, std::uint32_t role, bool notifyPeer) {
    const std::uint32_t slot = service % kServiceSlots;
    std::shared_ptr<Service> s;
    {
        std::lock_guard lock(g_mutex);
        if (!g_slots[slot] || g_slots[slot]->role != role) return 0;
        s = std::move(g_slots[slot]);
    }
    StopReceiver(*s);
    if (notifyPeer) PostClose(*s);
    return 1;
}

}  // namespace

std::int32_t CloseServiceQuietly(std::uint32_t service, std::uint32_t role) {
    return Close(service, role, false);
}

std::int32_t SendShareDataAs(std::uint32_t service, const void* data, std::uint32_t length,
                             const std::uint32_t* description, bool copyData) {
    if (length > kRingSize || (!data && length > 0)) return 0;
    std::shared_ptr<Service> s = Find(service);
    if (!s) return 0;
    std::lock_guard lock(s->sendMutex);
    if (copyData) {
        if (description) std::memcpy(s->copyDescription, description, sizeof s->copyDescription);
        const pid_t peer = PeerPid(*s);
        const std::uint32_t peerRole = s->role == kRoleCreator ? kRoleUser : kRoleCreator;
        std::uint32_t answer = 1;
        const bool sent =
            s->sender.Send(peer,
                           FrameHead{s->slot, peerRole, kWmCopyData,
                                     static_cast<std::uint32_t>(hdr::kDescriptionBytes + length)},
                           s->copyDescription, sizeof s->copyDescription, data, length, &answer);
        return sent && answer == 0 ? 1 : 0;
    }
    if (!WriteBlock(s->ownHeader, s->ownRing, s->writer, data, length, description)) return 0;
    s->dataSent->Set();
    return 1;
}

const std::uint8_t* PeerHeader(std::uint32_t service) {
    std::shared_ptr<Service> s = Find(service);
    return s ? s->peerHeader : nullptr;
}

std::uint64_t LostBytes(std::uint32_t service) {
    std::shared_ptr<Service> s = Find(service);
    return s ? s->lost.load() : 0;
}

}  // namespace svclink

using namespace svclink;

extern "C" {

std::int32_t BB_OpenService(std::uint32_t service, void* window, ServiceRecord* record,
                            std::uint32_t role) {
    if (!window || !record || (!record->copyDataMode && !record->dataCallback)) return 0;
    if (role != kRoleCreator && role != kRoleUser) return 0;
    const std::uint32_t slot = service % kServiceSlots;
    const char* failure = nullptr;
    {
        std::lock_guard lock(g_mutex);
        if (g_slots[slot]) return 0;
        auto s = std::make_shared<Service>();
        s->slot = slot;
        s->role = role;
        s->window = window;
        std::memcpy(&s->record, record, sizeof s->record);
        if (!StartCopyListener(DeliverFrame)) return 0;
        if (role == kRoleCreator) {
            if (OpenCreator(*s, &failure) &&
                StartReceiver(s, "服务创建者创建接收共享数据线程失败！", &failure)) {
                s->initFinish = plat::NamedEvent::Create(SlotName("INITFINISH", slot), true, false);
                if (s->initFinish) s->initFinish->Set();
            }
        } else {
            if (OpenUser(*s, &failure) &&
                StartReceiver(s, "服务使用者创建接收共享数据线程失败！", &failure))
                s->paramSent->Set();
        }
        if (failure) {
            StopReceiver(*s);
        } else {
            g_slots[slot] = std::move(s);
        }
    }
    // A message box runs an event loop whose handlers may call this library.
    if (failure) {
        Show(failure);
        return 0;
    }
    return 1;
}

std::int32_t BB_CloseService(std::uint32_t service, std::uint32_t role) {
    return Close(service, role, true);
}

std::int32_t BB_SendShareData(std::uint32_t service, const void* data, std::uint32_t length,
                              const std::uint32_t* description) {
    std::shared_ptr<Service> s = Find(service);
    if (!s) return 0;
    return SendShareDataAs(service, data, length, description, s->record.copyDataMode == 1);
}

std::int32_t BB_SendCmdParam(std::uint32_t service, const SvcCmdParam* param) {
    if (!param || !param->data) return 0;
    std::shared_ptr<Service> s = Find(service);
    if (!s) return 0;
    std::lock_guard lock(s->sendMutex);
    if (WriteKey(s->ownHeader, s->writer, param->key, param->data, param->length) == 0) return 0;
    s->paramSent->Set();
    return 1;
}

std::int32_t BB_SetTlmtyServiceParam(std::uint32_t service, const void* param160) {
    const SvcCmdParam p{kKeyServiceParam, hdr::kServiceParamBytes, param160};
    return BB_SendCmdParam(service, &p);
}

std::int32_t BB_SetSaveDemDataParam(std::uint32_t service, const void* param32) {
    const SvcCmdParam p{kKeySaveParam, hdr::kSaveParamBytes, param32};
    return BB_SendCmdParam(service, &p);
}

std::int32_t BB_GetShareDataInfo(std::uint32_t service, void* info,
                                 const CopyDataStruct* copyData) {
    if (!info || !copyData || !copyData->data) return 0;
    if (copyData->key != (service % kServiceSlots) + kCopyDataKeyBase) return 0;
    if (copyData->length < hdr::kDescriptionBytes) return 0;
    auto* out = static_cast<std::uint8_t*>(info);
    const auto* in = static_cast<const std::uint8_t*>(copyData->data);
    std::memcpy(out, in, hdr::kDescriptionBytes);
    const std::uint8_t* data = in + hdr::kDescriptionBytes;
    const std::uint32_t length = copyData->length - hdr::kDescriptionBytes;
    std::memcpy(out + offsetof(ServiceRecord, data), &data, sizeof data);
    std::memcpy(out + offsetof(ServiceRecord, length), &length, sizeof length);
    return 1;
}

std::int32_t BB_GetLastErrorS(std::uint32_t, std::uint32_t* first, std::uint32_t* second) {
    if (first) *first = 0;
    if (second) *second = 0;
    return 0;
}

}  // extern "C"

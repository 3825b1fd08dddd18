// Service slots: opening, sending, the receive thread and closing.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
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

    ~Service() {
        if (thread.joinable())
            thread.detach();  // only when the thread itself dropped the last hold
    }
};

std::mutex g_mutex;
std::shared_ptr<Service> g_slots[kServiceSlots];  // guarded by g_mutex
std::atomic<std::uint32_t> g_exitEvents{0};

void Show(const char* text) {
    plat::MessageBox(text, "", plat::MB_OK | plat::MB_ICONERROR);
}

std::shared_ptr<Service> Find(std::uint32_t service) {
    std::lock_guard lock(g_mutex);
    return g_slots[service % kServiceSlots];
}

pid_t PeerPid(const Service& s) {
    std::uint32_t pid = 0;
    if (ReadKey(s.peerHeader, kKeyWindow, &pid, sizeof pid) != sizeof pid) return 0;
    if (pid == 0 || pid > 0x3FFFFFFF || static_cast<pid_t>(pid) == getpid()) return 0;
    return static_cast<pid_t>(pid);
}

void Drain(Service& s) {
    for (;;) {
        const ChunkResult c = ReadChunk(s.peerHeader, s.peerRing, s.reader, s.chunk.data(),
                                        s.chunk.size(), s.record.description);
        s.lost.store(s.reader.lostBytes, std::memory_order_relaxed);
        if (c.bytes > 0 && s.record.dataCallback) {
            s.record.data = s.chunk.data();
            s.record.length = static_cast<std::uint32_t>(c.bytes);
            s.record.dataCallback(0, &s.record);
        }
        if (!c.more || s.stop.load()) return;
    }
}

void Receive(std::shared_ptr<Service> s) {
    plat::NamedEvent* events[3] = {s->exitEvent.get(), s->dataArrives.get(), s->paramArrives.get()};
    while (!s->stop.load()) {
        const int r = plat::WaitForAnyEvent(events, 1000);
        if (s->stop.load()) break;
        if (r == 1) {
            Drain(*s);
        } else if (r == 2) {
            ReadKey(s->peerHeader, kKeyDescription, s->record.description,
                    sizeof s->record.description);
            if (s->record.paramCallback) s->record.paramCallback(0, &s->record);
        }
    }
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

// Points the service at its own and its peer's half of the section and
// starts its own direction over; false (after `tooSmall`) for a section
// smaller than the layout.
bool MapDirections(Service& s, bool creator, const char* tooSmall) {
    if (s.section->size() < kSectionSize) {
        Show(tooSmall);
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

bool OpenCreator(Service& s) {
    if (!plat::NamedEvent::Open(kShareEnableName)) {
        Show("服务创建者启动遥测服务失败！");
        return false;
    }
    s.section = plat::SharedSection::Create(SlotName("MAPFILEHANDLE", s.slot), kSectionSize);
    if (!s.section) {
        Show("服务创建者打开内存共享文件失败！");
        return false;
    }
    if (!MapDirections(s, true, "服务创建者打开内存共享文件视图失败！")) return false;
    const EventToOpen events[] = {
        {&s.dataSent, "DTOUSER", "服务创建者创建发送共享数据事件失败！"},
        {&s.dataArrives, "DFROMUSER", "服务创建者创建接收共享数据事件失败！"},
        {&s.paramSent, "PTOUSER", "服务创建者创建发送共享参数事件失败！"},
    };
    for (const EventToOpen& e : events) {
        *e.target = plat::NamedEvent::Create(SlotName(e.suffix, s.slot), false, false);
        if (!*e.target) {
            Show(e.failure);
            return false;
        }
    }
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    WriteKey(s.ownHeader, s.writer, kKeyWindow, &pid, sizeof pid);
    s.paramSent->Set();
    s.paramArrives = plat::NamedEvent::Create(SlotName("PFROMUSER", s.slot), false, false);
    if (!s.paramArrives) {
        Show("服务创建者创建接收共享参数事件失败！");
        return false;
    }
    return true;
}

bool OpenUser(Service& s) {
    s.section = plat::SharedSection::Open(SlotName("MAPFILEHANDLE", s.slot));
    if (!s.section) {
        Show("服务使用者打开内存共享文件失败！");
        return false;
    }
    if (!MapDirections(s, false, "服务使用者打开内存共享文件视图失败！")) return false;
    const EventToOpen events[] = {
        {&s.dataArrives, "DTOUSER", "服务使用者打开接收共享数据事件失败！"},
        {&s.dataSent, "DFROMUSER", "服务使用者打开发送共享数据事件失败！"},
        {&s.paramArrives, "PTOUSER", "服务使用者打开接收共享参数事件失败！"},
        {&s.paramSent, "PFROMUSER", "服务创打开创建发送共享参数事件失败！"},
    };
    for (const EventToOpen& e : events) {
        *e.target = plat::NamedEvent::Open(SlotName(e.suffix, s.slot));
        if (!*e.target) {
            Show(e.failure);
            return false;
        }
    }
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    WriteKey(s.ownHeader, s.writer, kKeyWindow, &pid, sizeof pid);
    return true;
}

bool StartReceiver(const std::shared_ptr<Service>& s, const char* failure) {
    std::string exitName = "svclink-exit-" + std::to_string(getpid()) + "-" +
                           std::to_string(g_exitEvents.fetch_add(1));
    s->exitEvent = plat::NamedEvent::Create(exitName, false, false);
    if (!s->exitEvent) {
        Show("创建共享数据接收线程退出事件失败！");
        return false;
    }
    AttachReader(s->peerHeader, s->reader);
    s->chunk.assign(kMaxChunk, 0);
    try {
        s->thread = std::thread(Receive, s);
    } catch (const std::system_error&) {
        Show(failure);
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

// Stops the receive thread; from inside a callback the thread lets go of the
// service itself once the callback returns.
void StopReceiver(Service& s) {
    s.stop.store(true);
    if (s.exitEvent) s.exitEvent->Set();
    if (!s.thread.joinable()) return;
    if (s.thread.get_id() == std::this_thread::get_id()) {
        s.thread.detach();
    } else {
        s.thread.join();
    }
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
    if (notifyPeer) {
        std::lock_guard lock(s->sendMutex);
        if (pid_t peer = PeerPid(*s)) {
            const std::uint32_t peerRole = role == kRoleCreator ? kRoleUser : kRoleCreator;
            s->sender.Send(peer, FrameHead{slot, peerRole, kWmClose, 0}, nullptr, 0, nullptr, 0,
                           nullptr);
        }
    }
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
    std::lock_guard lock(g_mutex);
    if (g_slots[slot]) return 0;
    auto s = std::make_shared<Service>();
    s->slot = slot;
    s->role = role;
    s->window = window;
    std::memcpy(&s->record, record, sizeof s->record);
    if (!StartCopyListener(DeliverFrame)) return 0;
    if (role == kRoleCreator) {
        if (!OpenCreator(*s) || !StartReceiver(s, "服务创建者创建接收共享数据线程失败！")) {
            StopReceiver(*s);
            return 0;
        }
        s->initFinish = plat::NamedEvent::Create(SlotName("INITFINISH", slot), true, false);
        if (s->initFinish) s->initFinish->Set();
    } else {
        if (!OpenUser(*s) || !StartReceiver(s, "服务使用者创建接收共享数据线程失败！")) {
            StopReceiver(*s);
            return 0;
        }
        s->paramSent->Set();
    }
    g_slots[slot] = std::move(s);
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

// Named kernel objects in POSIX shared memory.
//
// Every object is one shm object: a header (initialisation flag, kind, table
// of holding processes, a robust lock guarding that table) followed by the
// kind's state. The first creator initialises it (O_EXCL create, then a
// release-store of the ready flag); openers wait for the flag. The last
// holder to close unlinks the name; holders that died are pruned, so an
// object left behind by crashed processes counts as gone, as a kernel object
// of a dead process would.
//
// Events are futex words (bit 0 signalled, the upper bits change on every
// Set), so a wait for any of several events is one futex_waitv call.
// Mutexes are process-shared, robust, recursive pthread mutexes.
#include "platform/kernel_objects.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>

namespace plat {
namespace {

constexpr std::uint32_t kReadyMagic = 0x564C4154;  // written last by the creator
constexpr int kMaxHolders = 32;
constexpr std::size_t kMaxWaitObjects = 64;

enum class Kind : std::uint32_t { Event = 1, Mutex = 2, Section = 3 };

struct Holder {
    std::int32_t pid;
    std::uint32_t count;
};

struct Header {
    std::uint32_t ready;  // kReadyMagic once initialised
    std::uint32_t kind;
    std::int32_t creatorPid;
    std::uint32_t dead;  // the name has been unlinked; guarded by lock
    std::uint64_t dataSize;
    std::uint32_t untracked;  // holders beyond the table; guarded by lock
    std::uint32_t reserved;
    Holder holders[kMaxHolders];  // guarded by lock
    pthread_mutex_t lock;         // robust, process-shared
    // Event
    std::uint32_t eventWord;
    std::uint32_t manualReset;
    std::uint32_t waiters;
    std::uint32_t reserved2;
    // Mutex
    pthread_mutex_t userMutex;  // robust, process-shared, recursive
};
constexpr std::size_t kDataOffset = (sizeof(Header) + 63) & ~std::size_t{63};
static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free);

using Atomic = std::atomic_ref<std::uint32_t>;

void AppendEncoded(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '_' || c == '-';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
}

// "/talvora." and the scope (user id, "." and the namespace from
// TALVORA_OBJECT_NAMESPACE followed by "%%", which no encoded name contains),
// then the name with every byte outside [A-Za-z0-9._-] written as %XX; '%'
// itself is encoded, so the mapping is one-to-one.
std::optional<std::string> ShmName(const std::string& name) {
    std::string out = "/talvora." + NamedObjectScope();
    AppendEncoded(out, name);
    if (out.size() - 1 > NAME_MAX) return std::nullopt;
    return out;
}

timespec DeadlineAfter(unsigned ms) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += ms / 1000;
    ts.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

bool Passed(const timespec& deadline) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > deadline.tv_sec ||
           (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

void LockHeader(Header* h) {
    // A holder that died inside the lock left the table consistent enough:
    // every update is a single field.
    if (pthread_mutex_lock(&h->lock) == EOWNERDEAD) pthread_mutex_consistent(&h->lock);
}

bool ProcessAlive(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

// Drops holders whose process is gone and returns how many holds remain.
std::uint64_t PruneHolders(Header* h) {
    std::uint64_t live = h->untracked;
    for (Holder& holder : h->holders) {
        if (holder.pid == 0) continue;
        if (!ProcessAlive(holder.pid)) {
            holder = Holder{};
            continue;
        }
        live += holder.count;
    }
    return live;
}

void AddHolder(Header* h, pid_t pid) {
    Holder* free = nullptr;
    for (Holder& holder : h->holders) {
        if (holder.pid == pid) {
            ++holder.count;
            return;
        }
        if (holder.pid == 0 && !free) free = &holder;
    }
    if (free) {
        *free = Holder{pid, 1};
    } else {
        ++h->untracked;
    }
}

void RemoveHolder(Header* h, pid_t pid) {
    for (Holder& holder : h->holders) {
        if (holder.pid == pid) {
            if (--holder.count == 0) holder = Holder{};
            return;
        }
    }
    if (h->untracked > 0) --h->untracked;
}

bool InitMutex(pthread_mutex_t* m, bool recursive) {
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) return false;
    bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
              (!recursive || pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0) &&
              pthread_mutex_init(m, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

long Futex(std::uint32_t* addr, int op, std::uint32_t val, const timespec* ts) {
    return syscall(SYS_futex, addr, op, val, ts, nullptr, FUTEX_BITSET_MATCH_ANY);
}

void WakeAll(Header* h) {
    if (Atomic(h->waiters).load() > 0) Futex(&h->eventWord, FUTEX_WAKE, INT_MAX, nullptr);
}

struct CreateParams {
    Kind kind;
    std::size_t dataSize;
    bool manualReset;
    bool initialState;
};

}  // namespace

// One mapping of one named object, registered as a hold of this process.
class ShmObject {
public:
    ShmObject(std::string shmName, Header* header, std::size_t length)
        : shmName_(std::move(shmName)), header_(header), length_(length), pid_(getpid()) {}
    ~ShmObject() {
        // A forked child holding an inherited handle is not a registered holder.
        if (getpid() == pid_) {
            LockHeader(header_);
            RemoveHolder(header_, pid_);
            if (PruneHolders(header_) == 0 && !header_->dead) {
                header_->dead = 1;
                shm_unlink(shmName_.c_str());
            }
            pthread_mutex_unlock(&header_->lock);
        }
        munmap(header_, length_);
    }
    ShmObject(const ShmObject&) = delete;
    ShmObject& operator=(const ShmObject&) = delete;

    Header* header() const { return header_; }
    void* data() const { return reinterpret_cast<char*>(header_) + kDataOffset; }

    enum class Mode { Create, Open, Probe };
    // Probe maps nothing for the caller; it only sets *exists when a live
    // object of the kind is there.
    static std::unique_ptr<ShmObject> Acquire(const std::string& name, Mode mode,
                                              const CreateParams& params, bool* existed,
                                              bool* exists = nullptr);

private:
    std::string shmName_;
    Header* header_;
    std::size_t length_;
    pid_t pid_;
};

namespace {

enum class MapStatus { Ok, Stale, Error };

// Maps an existing object once its creator has finished initialising it.
MapStatus MapExisting(int fd, Header** header, std::size_t* length) {
    // The creator sizes and initialises within microseconds; two seconds
    // without progress means it died half-way.
    const timespec deadline = DeadlineAfter(2000);
    struct stat st {};
    for (;;) {
        if (fstat(fd, &st) != 0) return MapStatus::Error;
        if (static_cast<std::size_t>(st.st_size) >= sizeof(Header)) break;
        if (Passed(deadline)) return MapStatus::Stale;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    *length = static_cast<std::size_t>(st.st_size);
    void* p = mmap(nullptr, *length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return MapStatus::Error;
    *header = static_cast<Header*>(p);
    while (Atomic((*header)->ready).load(std::memory_order_acquire) != kReadyMagic) {
        if (Passed(deadline)) {
            pid_t creator = (*header)->creatorPid;
            munmap(p, *length);
            return creator == 0 || !ProcessAlive(creator) ? MapStatus::Stale : MapStatus::Error;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (kDataOffset + (*header)->dataSize > *length) {
        munmap(p, *length);
        return MapStatus::Error;
    }
    return MapStatus::Ok;
}

bool InitObject(Header* h, const CreateParams& params) {
    h->creatorPid = getpid();
    h->kind = static_cast<std::uint32_t>(params.kind);
    h->dataSize = params.dataSize;
    h->holders[0] = Holder{getpid(), 1};
    if (!InitMutex(&h->lock, false)) return false;
    if (params.kind == Kind::Event) {
        h->manualReset = params.manualReset ? 1 : 0;
        h->eventWord = params.initialState ? 1 : 0;
    }
    if (params.kind == Kind::Mutex && !InitMutex(&h->userMutex, true)) return false;
    Atomic(h->ready).store(kReadyMagic, std::memory_order_release);
    return true;
}

}  // namespace

std::string NamedObjectScope() {
    std::string out = std::to_string(::getuid()) + ".";
    if (const char* ns = std::getenv("TALVORA_OBJECT_NAMESPACE"); ns && *ns) {
        AppendEncoded(out, ns);
        out += "%%";
    }
    return out;
}

std::string NamedObjectDirectory() {
    struct stat st {};
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) return "/dev/shm";
    return "/tmp";
}

std::unique_ptr<ShmObject> ShmObject::Acquire(const std::string& name, Mode mode,
                                              const CreateParams& params, bool* existed,
                                              bool* exists) {
    if (existed) *existed = false;
    if (exists) *exists = false;
    auto shmName = ShmName(name);
    if (!shmName) return nullptr;
    const std::size_t newLength = kDataOffset + params.dataSize;

    for (int attempt = 0; attempt < 16; ++attempt) {
        if (mode == Mode::Create) {
            int fd = shm_open(shmName->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                void* p = MAP_FAILED;
                if (ftruncate(fd, static_cast<off_t>(newLength)) == 0)
                    p = mmap(nullptr, newLength, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
                close(fd);
                auto* h = static_cast<Header*>(p);
                if (p == MAP_FAILED || !InitObject(h, params)) {
                    if (p != MAP_FAILED) munmap(p, newLength);
                    shm_unlink(shmName->c_str());
                    return nullptr;
                }
                return std::make_unique<ShmObject>(*shmName, h, newLength);
            }
            if (errno != EEXIST) return nullptr;
        }

        int fd = shm_open(shmName->c_str(), O_RDWR | O_CLOEXEC, 0);
        if (fd < 0) {
            if (errno == ENOENT && mode == Mode::Create) continue;  // vanished meanwhile
            return nullptr;
        }
        Header* h = nullptr;
        std::size_t length = 0;
        MapStatus status = MapExisting(fd, &h, &length);
        close(fd);
        if (status == MapStatus::Stale) {
            shm_unlink(shmName->c_str());
            if (mode == Mode::Create) continue;
            return nullptr;
        }
        if (status == MapStatus::Error) return nullptr;

        LockHeader(h);
        bool retry = h->dead != 0;
        if (!retry && PruneHolders(h) == 0) {
            // Every holder died without closing: the object is gone.
            h->dead = 1;
            shm_unlink(shmName->c_str());
            retry = true;
        }
        if (retry) {
            pthread_mutex_unlock(&h->lock);
            munmap(h, length);
            if (mode == Mode::Create) continue;
            return nullptr;
        }
        const bool sameKind = h->kind == static_cast<std::uint32_t>(params.kind);
        if (mode == Mode::Probe || !sameKind) {
            if (exists) *exists = sameKind;
            pthread_mutex_unlock(&h->lock);
            munmap(h, length);
            return nullptr;
        }
        AddHolder(h, getpid());
        pthread_mutex_unlock(&h->lock);
        if (existed) *existed = true;
        return std::make_unique<ShmObject>(*shmName, h, length);
    }
    return nullptr;
}

// ---------------------------------------------------------------- events

NamedEvent::NamedEvent(std::unique_ptr<ShmObject> obj) : obj_(std::move(obj)) {}
NamedEvent::~NamedEvent() = default;

std::unique_ptr<NamedEvent> NamedEvent::Create(const std::string& name, bool manualReset,
                                               bool initialState, bool* alreadyExisted) {
    auto obj = ShmObject::Acquire(name, ShmObject::Mode::Create,
                                  {Kind::Event, 0, manualReset, initialState}, alreadyExisted);
    return obj ? std::unique_ptr<NamedEvent>(new NamedEvent(std::move(obj))) : nullptr;
}

std::unique_ptr<NamedEvent> NamedEvent::Open(const std::string& name) {
    auto obj =
        ShmObject::Acquire(name, ShmObject::Mode::Open, {Kind::Event, 0, false, false}, nullptr);
    return obj ? std::unique_ptr<NamedEvent>(new NamedEvent(std::move(obj))) : nullptr;
}

void NamedEvent::Set() {
    Header* h = obj_->header();
    Atomic word(h->eventWord);
    std::uint32_t s = word.load();
    while (!word.compare_exchange_weak(s, (s | 1u) + 2u)) {
    }
    WakeAll(h);
}

void NamedEvent::Reset() {
    Atomic(obj_->header()->eventWord).fetch_and(~1u);
}

bool NamedEvent::TryConsume() {
    Header* h = obj_->header();
    Atomic word(h->eventWord);
    std::uint32_t s = word.load();
    for (;;) {
        if (!(s & 1u)) return false;
        if (h->manualReset) return true;
        if (word.compare_exchange_weak(s, s & ~1u)) return true;
    }
}

WaitResult NamedEvent::Wait(unsigned timeoutMs) {
    NamedEvent* self = this;
    int r = WaitForAnyEvent(std::span<NamedEvent* const>(&self, 1), timeoutMs);
    return r == 0 ? WaitResult::Signaled : WaitResult::Timeout;
}

namespace {

std::atomic<bool> g_noWaitv{false};  // futex_waitv unavailable; poll instead

}  // namespace

int WaitForAnyEvent(std::span<NamedEvent* const> events, unsigned timeoutMs) {
    if (events.empty() || events.size() > kMaxWaitObjects) return -1;
    for (NamedEvent* e : events)
        if (!e) return -1;
    const bool infinite = timeoutMs == kInfinite;
    const timespec deadline = DeadlineAfter(infinite ? 0 : timeoutMs);

    futex_waitv waiters[kMaxWaitObjects] = {};
    for (;;) {
        for (std::size_t i = 0; i < events.size(); ++i)
            if (events[i]->TryConsume()) return static_cast<int>(i);
        if (!infinite && (timeoutMs == 0 || Passed(deadline))) return -1;

        bool signalled = false;
        for (std::size_t i = 0; i < events.size(); ++i) {
            Header* h = events[i]->obj_->header();
            Atomic(h->waiters).fetch_add(1);
            std::uint32_t s = Atomic(h->eventWord).load();
            signalled = signalled || (s & 1u);
            waiters[i] =
                futex_waitv{s, reinterpret_cast<std::uintptr_t>(&h->eventWord), FUTEX_32, 0};
        }
        if (!signalled) {
            if (!g_noWaitv.load(std::memory_order_relaxed)) {
                long r = syscall(SYS_futex_waitv, waiters, events.size(), 0,
                                 infinite ? nullptr : &deadline, CLOCK_MONOTONIC);
                if (r < 0 && errno != EAGAIN && errno != ETIMEDOUT && errno != EINTR)
                    g_noWaitv.store(true);
            } else {
                // Without futex_waitv: sleep on the first event in short slices.
                timespec slice = DeadlineAfter(1);
                if (!infinite && Passed(deadline)) slice = deadline;
                Futex(reinterpret_cast<std::uint32_t*>(waiters[0].uaddr), FUTEX_WAIT_BITSET,
                      static_cast<std::uint32_t>(waiters[0].val), &slice);
            }
        }
        for (NamedEvent* e : events) Atomic(e->obj_->header()->waiters).fetch_sub(1);
    }
}

// ---------------------------------------------------------------- mutexes

NamedMutex::NamedMutex(std::unique_ptr<ShmObject> obj) : obj_(std::move(obj)) {}
NamedMutex::~NamedMutex() = default;

std::unique_ptr<NamedMutex> NamedMutex::Create(const std::string& name, bool* alreadyExisted) {
    auto obj = ShmObject::Acquire(name, ShmObject::Mode::Create, {Kind::Mutex, 0, false, false},
                                  alreadyExisted);
    return obj ? std::unique_ptr<NamedMutex>(new NamedMutex(std::move(obj))) : nullptr;
}

std::unique_ptr<NamedMutex> NamedMutex::Open(const std::string& name) {
    auto obj =
        ShmObject::Acquire(name, ShmObject::Mode::Open, {Kind::Mutex, 0, false, false}, nullptr);
    return obj ? std::unique_ptr<NamedMutex>(new NamedMutex(std::move(obj))) : nullptr;
}

WaitResult NamedMutex::Lock(unsigned timeoutMs) {
    pthread_mutex_t* m = &obj_->header()->userMutex;
    int r;
    if (timeoutMs == kInfinite) {
        r = pthread_mutex_lock(m);
    } else if (timeoutMs == 0) {
        r = pthread_mutex_trylock(m);
    } else {
        const timespec deadline = DeadlineAfter(timeoutMs);
        r = pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &deadline);
    }
    switch (r) {
        case 0:
            return WaitResult::Signaled;
        case EOWNERDEAD:
            pthread_mutex_consistent(m);
            return WaitResult::Abandoned;
        case EBUSY:
        case ETIMEDOUT:
            return WaitResult::Timeout;
        default:
            return WaitResult::Failed;
    }
}

void NamedMutex::Unlock() {
    pthread_mutex_unlock(&obj_->header()->userMutex);
}

// ---------------------------------------------------------------- sections

SharedSection::SharedSection(std::unique_ptr<ShmObject> obj) : obj_(std::move(obj)) {}
SharedSection::~SharedSection() = default;

std::unique_ptr<SharedSection> SharedSection::Create(const std::string& name, std::size_t size,
                                                     bool* alreadyExisted) {
    if (size == 0) return nullptr;
    auto obj = ShmObject::Acquire(name, ShmObject::Mode::Create,
                                  {Kind::Section, size, false, false}, alreadyExisted);
    return obj ? std::unique_ptr<SharedSection>(new SharedSection(std::move(obj))) : nullptr;
}

std::unique_ptr<SharedSection> SharedSection::Open(const std::string& name) {
    auto obj =
        ShmObject::Acquire(name, ShmObject::Mode::Open, {Kind::Section, 0, false, false}, nullptr);
    return obj ? std::unique_ptr<SharedSection>(new SharedSection(std::move(obj))) : nullptr;
}

bool SharedSection::Exists(const std::string& name) {
    bool exists = false;
    ShmObject::Acquire(name, ShmObject::Mode::Probe, {Kind::Section, 0, false, false}, nullptr,
                       &exists);
    return exists;
}

void* SharedSection::data() {
    return obj_->data();
}
std::size_t SharedSection::size() const {
    return obj_->header()->dataSize;
}

}  // namespace plat

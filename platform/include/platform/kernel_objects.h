// Named events, mutexes and shared sections that work between processes.
// Each lives in a POSIX shared-memory object whose name is derived one-to-one
// from the given name; the object is removed when its last handle closes
// (or when every process holding it has died). Names are per user: two users'
// programs never meet. The environment variable TALVORA_OBJECT_NAMESPACE, when
// set, gives a separate set of names, so that test runs and program instances
// started with it do not meet each other.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

namespace plat {

inline constexpr unsigned kInfinite = 0xFFFFFFFFu;

enum class WaitResult { Signaled, Timeout, Abandoned, Failed };

// What keeps the names of one user and namespace apart from all others: the
// user id, then the namespace, if any, encoded. Anything that must be shared
// by exactly the programs that share named objects (the single-instance lock)
// puts this in its name.
std::string NamedObjectScope();
// The directory the named objects live in (/dev/shm), so that a file scoped
// like them also sits where they are; another directory when that is missing.
std::string NamedObjectDirectory();

class ShmObject;  // private

class NamedEvent {
public:
    // Creates the event, or opens it when it already exists (then manualReset
    // and initialState are ignored and *alreadyExisted is set). Null on error.
    static std::unique_ptr<NamedEvent> Create(const std::string& name, bool manualReset,
                                              bool initialState, bool* alreadyExisted = nullptr);
    // Null when no event of that name exists.
    static std::unique_ptr<NamedEvent> Open(const std::string& name);
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    void Set();
    void Reset();
    // An auto-reset event is reset by the wait that sees it signalled.
    WaitResult Wait(unsigned timeoutMs);

private:
    friend int WaitForAnyEvent(std::span<NamedEvent* const>, unsigned);
    explicit NamedEvent(std::unique_ptr<ShmObject> obj);
    bool TryConsume();
    std::unique_ptr<ShmObject> obj_;
};

// Waits until one of the events is signalled and returns its index (consuming
// it when auto-reset); -1 on time-out or error.
int WaitForAnyEvent(std::span<NamedEvent* const> events, unsigned timeoutMs);

class NamedMutex {
public:
    static std::unique_ptr<NamedMutex> Create(const std::string& name,
                                              bool* alreadyExisted = nullptr);
    static std::unique_ptr<NamedMutex> Open(const std::string& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Recursive within a thread. Abandoned when the previous owner died while
    // holding it; the caller then owns it.
    WaitResult Lock(unsigned timeoutMs = kInfinite);
    void Unlock();

private:
    explicit NamedMutex(std::unique_ptr<ShmObject> obj);
    std::unique_ptr<ShmObject> obj_;
};

class SharedSection {
public:
    // Zero-filled when new. When it exists already, *alreadyExisted is set and
    // the existing section (with its own size) is returned.
    static std::unique_ptr<SharedSection> Create(const std::string& name, std::size_t size,
                                                 bool* alreadyExisted = nullptr);
    static std::unique_ptr<SharedSection> Open(const std::string& name);
    static bool Exists(const std::string& name);
    ~SharedSection();
    SharedSection(const SharedSection&) = delete;
    SharedSection& operator=(const SharedSection&) = delete;

    void* data();
    std::size_t size() const;

private:
    explicit SharedSection(std::unique_ptr<ShmObject> obj);
    std::unique_ptr<ShmObject> obj_;
};

}  // namespace plat

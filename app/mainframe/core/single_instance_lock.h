// The single-instance guard: a lock file held with flock for the life of the
// process. The kernel drops the lock when the process dies, so a crashed run
// never blocks the next start.
#pragma once

#include <memory>
#include <string>

namespace mainframe {

inline constexpr const char* kInstanceMutexName = "{QUILLWAY-9310-11d5-8066-00E04C3A48E6_LAN}";

// Where the lock and the raise socket live: beside the named objects, so the
// lock has their scope. Two copies that would share the named events (same
// user, same object namespace) meet at the lock, whatever their runtime
// directories; another user's copy has objects and a lock of its own.
std::string InstanceDir();

// dir + "/talvora-" + the named objects' scope (user id, namespace) + name
// with '/' replaced + suffix.
std::string InstanceObjectPath(const std::string& dir, const std::string& name,
                               const std::string& suffix);

class SingleInstanceLock {
public:
    // Takes the lock. *alreadyExists is set when another holder has it (then
    // null is returned). Null without *alreadyExists when the file cannot be
    // opened at all; the program then runs unguarded.
    static std::unique_ptr<SingleInstanceLock> Create(const std::string& dir,
                                                      const std::string& name, bool* alreadyExists);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    const std::string& Path() const { return path_; }

private:
    SingleInstanceLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

}  // namespace mainframe

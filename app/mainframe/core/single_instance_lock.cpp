#include "single_instance_lock.h"

#include <fcntl.h>
#include <platform/kernel_objects.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace mainframe {

std::string InstanceDir() {
    return plat::NamedObjectDirectory();
}

std::string InstanceObjectPath(const std::string& dir, const std::string& name,
                               const std::string& suffix) {
    std::string safe = name;
    for (char& c : safe)
        if (c == '/') c = '_';
    return dir + "/talvora-" + plat::NamedObjectScope() + safe + suffix;
}

std::unique_ptr<SingleInstanceLock> SingleInstanceLock::Create(const std::string& dir,
                                                               const std::string& name,
                                                               bool* alreadyExists) {
    if (alreadyExists) *alreadyExists = false;
    std::string path = InstanceObjectPath(dir, name, ".lock");
    // O_NOFOLLOW: in a shared /tmp, never follow a link someone else planted.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        if (alreadyExists) *alreadyExists = held;
        return nullptr;
    }
    return std::unique_ptr<SingleInstanceLock>(new SingleInstanceLock(fd, std::move(path)));
}

SingleInstanceLock::~SingleInstanceLock() {
    // The file stays: unlinking it would let a third start lock a new file
    // while a second still waits on the old one.
    ::close(fd_);
}

}  // namespace mainframe

// Profile-file access: read the whole file, look up or edit its text, and
// replace it atomically (temporary file in the same directory, fsync, rename).
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/codepage.h"
#include "profile_text.h"

namespace plat {
namespace {

using namespace profile_detail;

// Profile files are small; anything larger is not one of ours.
constexpr off_t kMaxProfileBytes = 16 * 1024 * 1024;

// Serialises read-modify-write cycles within the process (flock does not
// exclude two descriptors of one process reliably across threads).
std::mutex g_writeMutex;

enum class ReadStatus { Ok, Missing, Error };

bool ReadFd(int fd, std::string* out) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxProfileBytes) return false;
    out->clear();
    char buf[16384];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || out->size() + static_cast<std::size_t>(n) > kMaxProfileBytes) return false;
        if (n == 0) return true;
        out->append(buf, static_cast<std::size_t>(n));
    }
}

ReadStatus ReadFile(const std::string& file, std::string* out) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Error;
    bool ok = ReadFd(fd, out);
    close(fd);
    return ok ? ReadStatus::Ok : ReadStatus::Error;
}

// The file a write goes to: a symbolic link is followed so the link stays.
std::string WriteTarget(const std::string& file) {
    std::string target = file;
    if (char* real = realpath(file.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    return target;
}

// Opens the target (creating it empty when missing) and holds an exclusive
// flock on it, so writers in other processes take turns. A writer that locked
// a file meanwhile replaced by rename tries again on the new one.
int LockTarget(const std::string& target) {
    // Every retry means another writer finished, so this ends.
    for (;;) {
        int fd = open(target.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return -1;
        if (flock(fd, LOCK_EX) != 0) {
            const int err = errno;
            close(fd);
            if (err == EINTR) continue;
            return -1;
        }
        struct stat locked {};
        struct stat current {};
        if (fstat(fd, &locked) == 0 && stat(target.c_str(), &current) == 0 &&
            locked.st_ino == current.st_ino && locked.st_dev == current.st_dev)
            return fd;
        close(fd);
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes the new content next to the target and renames it over the target,
// so readers see either the old or the new file, never a partial one.
bool ReplaceFile(const std::string& target, std::string_view content) {
    std::string tmp = target + ".XXXXXX";
    int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    // The target exists (LockTarget created it); keep its permissions.
    const mode_t mode = stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable.
    std::size_t slash = target.rfind('/');
    std::string dir =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}

std::optional<std::string> ReadValueGbk(std::string_view section, std::string_view key,
                                        const std::string& file) {
    std::string text;
    if (ReadFile(file, &text) != ReadStatus::Ok) return std::nullopt;
    auto value = FindValue(text, Utf8ToGbk(section), Utf8ToGbk(key));
    if (!value) return std::nullopt;
    return std::string(*value);
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view def, std::size_t bufSize,
                                    const std::string& file) {
    if (bufSize == 0) return {};
    auto value = ReadValueGbk(section, key, file);
    if (!value) {
        // Trailing blanks of the default are dropped, as profile readers do.
        while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
    }
    std::string gbk = value ? std::move(*value) : Utf8ToGbk(def);
    return GbkToUtf8(CutGbk(gbk, bufSize - 1));
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int def,
                         const std::string& file) {
    auto value = ReadValueGbk(section, key, file);
    if (!value || value->empty()) return def;
    return ParseProfileInt(*value);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& file) {
    // Line breaks in a name would change the structure of the file; a value
    // keeps only its first line, which is all a reader could get back.
    auto hasBreak = [](std::string_view s) { return s.find_first_of("\r\n") != s.npos; };
    // A key with '=' or a leading '[' would read back as something else.
    std::string_view trimmedKey = key.substr(std::min(key.size(), key.find_first_not_of(" \t")));
    if (hasBreak(section) || hasBreak(key) || key.find('=') != key.npos ||
        (!trimmedKey.empty() && trimmedKey.front() == '['))
        return false;
    if (std::size_t br = value.find_first_of("\r\n"); br != value.npos) value = value.substr(0, br);

    const std::string target = WriteTarget(file);
    // A read-only file stays untouched although its directory would allow
    // the rename.
    if (access(target.c_str(), F_OK) == 0 && access(target.c_str(), W_OK) != 0) return false;
    std::lock_guard lock(g_writeMutex);
    int fd = LockTarget(target);
    if (fd < 0) return false;
    std::string text;
    bool ok = ReadFd(fd, &text) && ReplaceFile(target, SetValue(text, Utf8ToGbk(section),
                                                                Utf8ToGbk(key), Utf8ToGbk(value)));
    close(fd);
    return ok;
}

bool WritePrivateProfileInt(std::string_view section, std::string_view key, int value,
                            const std::string& file) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", value);
    return WritePrivateProfileString(section, key, buf, file);
}

}  // namespace plat

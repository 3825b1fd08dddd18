// Profile-file access: read the whole file, look up or edit its text, and
// replace it atomically (temporary file in the same directory, fsync, rename).
#include "platform/profile.h"

#include <fcntl.h>
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

// Serialises read-modify-write cycles within the process.
std::mutex g_writeMutex;

enum class ReadStatus { Ok, Missing, Error };

ReadStatus ReadFile(const std::string& file, std::string* out) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Error;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxProfileBytes) {
        close(fd);
        return ReadStatus::Error;
    }
    out->clear();
    char buf[16384];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || out->size() + static_cast<std::size_t>(n) > kMaxProfileBytes) {
            close(fd);
            return ReadStatus::Error;
        }
        if (n == 0) break;
        out->append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return ReadStatus::Ok;
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
bool ReplaceFile(const std::string& file, std::string_view content) {
    // Follow a symbolic link so the link itself stays in place.
    std::string target = file;
    if (char* real = realpath(file.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    std::string tmp = target + ".XXXXXX";
    int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    mode_t mode = 0666;
    if (stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
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

    std::lock_guard lock(g_writeMutex);
    std::string text;
    if (ReadFile(file, &text) == ReadStatus::Error) return false;
    return ReplaceFile(file, SetValue(text, Utf8ToGbk(section), Utf8ToGbk(key), Utf8ToGbk(value)));
}

bool WritePrivateProfileInt(std::string_view section, std::string_view key, int value,
                            const std::string& file) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", value);
    return WritePrivateProfileString(section, key, buf, file);
}

}  // namespace plat

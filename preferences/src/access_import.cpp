#include "access_import.h"

#include <dlfcn.h>
#include <platform/paths.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace prefs {
namespace {

std::string CacheDirectory() {
    std::string base;
    if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.cache";
    else
        base = ".cache";
    return base + "/talvora";
}

// The helper lies beside this library.
std::string HelperPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&AccessCopy), &info) && info.dli_fname) {
        std::string lib = info.dli_fname;
        const std::size_t slash = lib.rfind('/');
        if (slash != std::string::npos) return lib.substr(0, slash) + "/talvora-mdbimport";
    }
    return "talvora-mdbimport";
}

std::uint64_t Fnv1a(const std::string& s, std::uint64_t h = 1469598103934665603ull) {
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

bool RunHelper(const std::string& source, const std::string& target) {
    const std::string helper = HelperPath();
    std::string a0 = helper, a1 = source, a2 = target;
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kImportTimeLimitMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (r < 0) return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

bool IsAccessFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char head[19] = {};
    const bool read = std::fread(head, 1, sizeof head, f) == sizeof head;
    std::fclose(f);
    if (!read) return false;
    const std::string id(head + 4, 15);
    return id == "Standard Jet DB" || id == "Standard ACE DB";
}

std::optional<std::string> AccessCopy(const std::string& mdbPath) {
    struct stat st {};
    if (stat(mdbPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    char key[64];
    std::snprintf(
        key, sizeof key, "%016llx",
        static_cast<unsigned long long>(Fnv1a(mdbPath + '\n' + std::to_string(st.st_size) + '\n' +
                                              std::to_string(st.st_mtim.tv_sec) + '.' +
                                              std::to_string(st.st_mtim.tv_nsec))));
    const std::string dir = CacheDirectory();
    const std::string copy = dir + "/param-" + key + ".sqlite";
    struct stat cs {};
    if (stat(copy.c_str(), &cs) == 0) return copy;
    if (!plat::CreateDirectoryPath(dir) || !RunHelper(mdbPath, copy)) return std::nullopt;
    return copy;
}

}  // namespace prefs

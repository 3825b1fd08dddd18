// Module directory and directory creation.
#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace plat {
namespace {

std::mutex g_mutex;
std::string g_override;  // guarded by g_mutex

std::string StripTrailingSlashes(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string ModuleDirectory() {
    {
        std::lock_guard lock(g_mutex);
        if (!g_override.empty()) return g_override;
    }
    if (const char* home = std::getenv("TALVORA_HOME"); home && *home)
        return StripTrailingSlashes(home);
    std::string exe(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= exe.size()) return ".";
    exe.resize(static_cast<std::size_t>(n));
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return exe.substr(0, slash);
}

void SetModuleDirectory(std::string dir) {
    std::lock_guard lock(g_mutex);
    g_override = dir.empty() ? std::string() : StripTrailingSlashes(std::move(dir));
}

bool CreateDirectoryPath(const std::string& path) {
    if (path.empty()) return false;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string part = path.substr(0, pos);
        if (part.empty() || part.back() == '/') continue;  // repeated slashes
        // A failure on a parent (existing but not writable) is not fatal;
        // whether the full path exists at the end decides.
        mkdir(part.c_str(), 0777);
    }
    return IsDirectory(path);
}

}  // namespace plat

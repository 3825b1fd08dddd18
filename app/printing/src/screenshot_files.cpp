#include <fcntl.h>
#include <printing/screenshot_files.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

namespace printing {

std::string TaskFolderName(std::string_view taskName) {
    std::string out;
    out.reserve(taskName.size());
    for (char c : taskName) {
        switch (c) {
            case '*':
            case '\\':
            case '/':
            case '?':
            case ':':
            case '"':
            case '<':
            case '>':
            case '|':
                break;
            default:
                out.push_back(c);
        }
    }
    if (out == "." || out == "..") out.clear();
    return out;
}

std::string ScreenshotFolder(const std::string& moduleDir, std::string_view taskName) {
    const std::string task = TaskFolderName(taskName);
    std::string folder = moduleDir + "/Data";
    if (!task.empty()) folder += "/" + task;
    return folder;
}

std::string ScreenshotStem(const std::tm& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d", (t.tm_year + 1900) % 100,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

bool MakeDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    for (std::size_t at = 1; at <= dir.size(); ++at) {
        if (at != dir.size() && dir[at] != '/') continue;
        const std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int CreateScreenshotFile(const std::string& folder, const std::string& stem, std::string* path) {
    if (!MakeDirectories(folder)) return -1;
    // O_EXCL: two screenshots of the same second, even from two workers at
    // once, never get the same file.
    for (int n = 1; n <= 1000; ++n) {
        const std::string name =
            folder + "/" + stem + (n == 1 ? std::string() : "-" + std::to_string(n)) + ".bmp";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (path) *path = name;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace printing

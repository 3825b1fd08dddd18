#include <datapath/time_tag.h>
#include <fcntl.h>
#include <recording/dat_files.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace recording {

std::string TimeStamp(const HeaderTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%02d", t.year % 100, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

HeaderTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

namespace {
std::string Name(const std::string& dir, const std::string& stamp, const char* kind, int suffix) {
    std::string s = dir + "/" + stamp + kind;
    if (suffix > 0) s += "_" + std::to_string(suffix);
    return s + ".dat";
}
}  // namespace

std::string BeforeDecryptionName(const std::string& dir, const std::string& stamp, int suffix) {
    return Name(dir, stamp, "解密前", suffix);
}

std::string SentDataName(const std::string& dir, const std::string& stamp, int suffix) {
    return Name(dir, stamp, "发送数据", suffix);
}

bool CreateDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    // Every prefix that ends before a separator, then the whole path.
    for (std::size_t at = dir.find('/', 1); at != std::string::npos; at = dir.find('/', at + 1))
        ::mkdir(dir.substr(0, at).c_str(), 0777);
    ::mkdir(dir.c_str(), 0777);
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {
bool ReadAt(int fd, std::uint64_t at, std::uint8_t* into, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, into + done, n - done, off_t(at + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += std::size_t(r);
    }
    return true;
}
}  // namespace

std::optional<FileTimes> ReadFileTimes(const std::string& path, std::uint64_t dataOffset,
                                       const ReplayInfo& info) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<FileTimes> result;
    struct stat st {};
    const std::uint64_t record = RecordBytes(info);
    if (::fstat(fd, &st) == 0 && std::uint64_t(st.st_size) >= dataOffset + record) {
        std::uint8_t first[kTagBytes], last[kTagBytes];
        if (ReadAt(fd, dataOffset, first, kTagBytes) &&
            // The last whole record: a cut record at the end has no valid tag.
            ReadAt(fd,
                   dataOffset + ((std::uint64_t(st.st_size) - dataOffset) / record - 1) * record,
                   last, kTagBytes))
            result = FileTimes{datapath::TagDayMs(first, info.配时精度),
                               datapath::TagDayMs(last, info.配时精度)};
    }
    ::close(fd);
    return result;
}

}  // namespace recording

// A replay started from arbitrary file bytes: the header (or a caller's
// frame description taken from the same bytes), the first fill and a few
// refills. The file lives in memory; nothing reaches a network.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "file_replay.h"

namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("replay", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (!WriteAll(fd, data, size)) {
        ::close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    bbdev::CFileReplay::Port port;
    port.send = [](std::uint32_t, std::span<const std::uint8_t> payload) {
        if (payload.size() > bbdev::kReplaySendAreaBytes) __builtin_trap();
        return true;
    };
    bbdev::CFileReplay replay(std::move(port));

    // Byte 0 chooses a caller's description (bytes 704-1023 as its words,
    // data from the offset in byte 1) over the file's own header.
    ReplayInfo info{};
    const bool withInfo = size > 0 && (data[0] & 1) != 0;
    if (withInfo && size >= 704 + sizeof info) std::memcpy(&info, data + 704, sizeof info);
    const std::uint64_t offset = size > 1 ? data[1] : 0;
    if (replay.Start(path.c_str(), 0, ~std::uint64_t{0}, withInfo ? &info : nullptr, offset)) {
        std::uint8_t progress[16] = {};
        for (std::uint32_t words : {0u, 1000u, 0x7FFFFFFFu, 0xFFFFFFF0u}) {
            std::memcpy(progress + 12, &words, 4);
            replay.OnProgress(progress);
        }
        replay.Stop();
    }
    ::close(fd);
    return 0;
}

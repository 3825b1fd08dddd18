// A replay started from arbitrary file bytes: the header (or a caller's
// frame description taken from the same bytes), the first fill and a few
// refills. The file lives in memory; nothing reaches a network.
#include <bbdevice/wire/engine_message.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "dem_file_header.h"
#include "file_replay.h"

namespace {

namespace wire = bbdev::wire;

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

// Input: byte 0 flags, byte 1 a data offset, then the 320 bytes of the frame
// description, the 8-byte record count and the record bytes. Flag bit 0
// hands the description over as the caller's ReplayInfo, bit 1 writes a
// valid header length and title, bit 2 takes the input as the whole file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t flags = data[0];
    const std::uint64_t offset = data[1];
    const std::span<const std::uint8_t> rest(data + 2, size - 2);

    std::vector<std::uint8_t> file;
    ReplayInfo info{};
    if (flags & 4) {
        file.assign(data, data + size);
        if (size >= bbdev::demfile::kOffFrameInfo + sizeof info)
            std::memcpy(&info, data + bbdev::demfile::kOffFrameInfo, sizeof info);
    } else {
        file.assign(kDemFileHeaderBytes, 0);
        const std::size_t described = std::min(rest.size(), sizeof info);
        std::memcpy(file.data() + bbdev::demfile::kOffFrameInfo, rest.data(), described);
        std::memcpy(&info, rest.data(), described);
        const std::size_t counted = std::min<std::size_t>(rest.size() - described, 8);
        std::memcpy(file.data() + bbdev::demfile::kOffRecordCount, rest.data() + described,
                    counted);
        file.insert(file.end(), rest.begin() + described + counted, rest.end());
        if (flags & 2) {
            wire::StoreLe32(file.data() + bbdev::demfile::kOffHeaderLength, kDemFileHeaderBytes);
            const auto title = bbdev::demfile::TitleGbk();
            std::memcpy(file.data() + bbdev::demfile::kOffTitle, title.data(), title.size());
        }
    }

    const int fd = ::memfd_create("replay", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (!WriteAll(fd, file.data(), file.size())) {
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
    if (replay.Start(path.c_str(), 0, ~std::uint64_t{0}, (flags & 1) ? &info : nullptr, offset)) {
        std::uint8_t progress[16] = {};
        for (std::uint32_t words : {0u, 1000u, 0x7FFFFFFFu, 0xFFFFFFF0u}) {
            wire::StoreLe32(progress + 12, words);
            replay.OnProgress(progress);
        }
        replay.Stop();
    }
    ::close(fd);
    return 0;
}

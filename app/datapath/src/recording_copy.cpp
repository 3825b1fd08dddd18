#include <datapath/frame_geometry.h>
#include <datapath/recording_copy.h>

#include <cstring>

namespace datapath {

void StampDayOfYear(std::uint8_t* tag, unsigned day) {
    const unsigned units = day % 10, tens = day / 10 % 10, hundreds = day / 100 % 10;
    tag[4] |= static_cast<std::uint8_t>((units & 0x3) << 6);
    tag[5] = static_cast<std::uint8_t>((units >> 2 & 0x3) | tens << 2 | (hundreds & 0x3) << 6);
}

std::size_t MakeRecordingCopy(std::span<const std::uint8_t> data, std::size_t subframeRecord,
                              unsigned day, std::span<std::uint8_t> out) {
    const std::size_t n = data.size() < out.size() ? data.size() : out.size();
    std::memcpy(out.data(), data.data(), n);
    if (subframeRecord < kTimeTagBytes) return n;
    for (std::size_t at = 0; at + subframeRecord <= n; at += subframeRecord)
        StampDayOfYear(out.data() + at, day);
    return n;
}

}  // namespace datapath

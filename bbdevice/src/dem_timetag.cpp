#include "dem_timetag.h"

#include <bbdevice/wire/engine_message.h>

#include <cmath>
#include <cstring>

namespace bbdev {

using wire::LoadLe16;
using wire::LoadLe32;
using wire::StoreLe64;

std::uint64_t MakeHostTimeTag(double clockUs, std::uint8_t byte6) {
    if (!(clockUs >= 0)) clockUs = 0;  // also catches NaN
    const double day = std::floor(clockUs / kMicrosPerDay);
    const double second = std::floor((clockUs - day * kMicrosPerDay) / 1e6);
    const double micro = std::fmod(clockUs, 1e6);
    const std::uint64_t d = static_cast<std::uint64_t>(std::fmod(day, 512.0)) & 0x1FF;
    const std::uint64_t s = static_cast<std::uint64_t>(second) & 0x1FFFF;
    const std::uint64_t us = static_cast<std::uint64_t>(micro) & 0xFFFFF;
    return us | s << 20 | d << 37 | std::uint64_t{byte6} << 48 | std::uint64_t{0x40} << 56;
}

double ClockFromTimeRecord(std::span<const std::uint8_t, 16> r) {
    const double day = LoadLe32(r.data());
    const double hour = LoadLe16(r.data() + 4), minute = LoadLe16(r.data() + 6);
    const double second = LoadLe16(r.data() + 8), milli = LoadLe16(r.data() + 10);
    return ((((day * 24 + hour) * 60 + minute) * 60 + second) * 1000 + milli) * 1000;
}

std::size_t ProcessMinorFrames(std::span<const std::uint8_t> src, std::uint8_t* dst,
                               const DemFrameGeometry& g, std::uint32_t 配时精度,
                               std::uint32_t 配时密度, double& clockUs) {
    const std::size_t tagged = static_cast<std::size_t>(g.taggedMinorBytes);
    const std::size_t words = static_cast<std::size_t>(g.minorBytes);
    if (tagged == 0) return 0;
    std::size_t out = 0;
    for (std::size_t at = 0; at + tagged <= src.size(); at += tagged) {
        const std::uint8_t* frame = src.data() + at;
        if (配时密度 != 0) {
            std::memcpy(dst + out, frame, tagged);
            if (配时精度 == 1) {
                StoreLe64(dst + out, MakeHostTimeTag(clockUs, frame[6]));
            }
            out += tagged;
        } else {
            std::memcpy(dst + out, frame + kTimeTagBytes, words);
            out += words;
        }
        clockUs += g.tagStepUs;
    }
    return out;
}

}  // namespace bbdev

#include "dem_file_header.h"

#include <bbdevice/dev_records.h>
#include <bbdevice/wire/engine_message.h>
#include <platform/codepage.h>

#include <cstring>
#include <string>

namespace bbdev::demfile {

using wire::LoadLe32;
using wire::LoadLe64;
using wire::StoreLe32;
using wire::StoreLe64;

std::span<const std::uint8_t> TitleGbk() {
    static const std::string gbk = plat::Utf8ToGbk("遥测存盘数据");
    return {reinterpret_cast<const std::uint8_t*>(gbk.data()), gbk.size()};
}

std::uint64_t RecordBytes(const DemParam& p) {
    return (std::uint64_t{p.字长} + 7) / 8 * p.子帧长 + (p.配时密度 != 0 ? kTagBytes : 0);
}

double MinorFrameMs(const DemParam& p) {
    // No bit rate, no duration (rather than an infinity in the file).
    if (p.码率 == 0) return 0.0;
    return double(p.字长) * double(p.子帧长) * 1000.0 / double(p.码率);
}

void BuildHeader(std::span<std::uint8_t, kHeaderBytes> area, const DemParam& p,
                 std::uint64_t records, std::uint32_t channel) {
    std::uint8_t* h = area.data();
    std::memset(h, 0, kOffHeaderLength);
    StoreLe32(h + kOffHeaderLength, static_cast<std::uint32_t>(kHeaderBytes));
    const auto title = TitleGbk();
    const std::size_t n = std::min(title.size(), kTitleArea - 1);
    std::memcpy(h + kOffTitle, title.data(), n);
    h[kOffTitle + n] = 0;
    StoreLe64(h + kOffRecordCount, records);
    wire::StoreLeF64(h + kOffMinorMs, MinorFrameMs(p));

    const std::uint32_t w[] = {
        static_cast<std::uint32_t>(p.帧同步码),
        static_cast<std::uint32_t>(p.帧同步码 >> 32),
        p.副帧同步码,
        p.帧同步码位长,
        p.帧同步码位置2,
        p.码率,
        p.码型,
        p.字长,
        p.子帧长,
        p.副帧长,
        p.副帧类型,
        p.副帧路序,
        p.ID码计数方式,
        p.配时密度 != 0 ? std::uint32_t{kTagBytes} : 0u,
        p.配时密度,
        p.配时精度,
        channel,
    };
    for (std::size_t i = 0; i < std::size(w); ++i) StoreLe32(h + kOffFrameInfo + 4 * i, w[i]);
}

void LoadReplayInfo(std::span<const std::uint8_t> words320, ReplayInfo* info) {
    std::uint32_t w[kFrameInfoWords] = {};
    const std::size_t count = std::min(words320.size() / 4, kFrameInfoWords);
    for (std::size_t i = 0; i < count; ++i) w[i] = LoadLe32(words320.data() + 4 * i);
    static_assert(sizeof w == sizeof(ReplayInfo));
    std::memcpy(info, w, sizeof w);
}

HeaderCheck ParseHeader(std::span<const std::uint8_t> bytes, ReplayInfo* info,
                        std::uint64_t* records) {
    if (bytes.size() < kHeaderBytes) return HeaderCheck::TooShort;
    const std::uint8_t* h = bytes.data();
    if (LoadLe32(h + kOffHeaderLength) != kHeaderBytes) return HeaderCheck::NotARecording;
    const auto title = TitleGbk();
    if (std::memcmp(h + kOffTitle, title.data(), title.size()) != 0 ||
        h[kOffTitle + title.size()] != 0)
        return HeaderCheck::NotARecording;
    if (info) LoadReplayInfo(bytes.subspan(kOffFrameInfo, kFrameInfoWords * 4), info);
    if (records) *records = LoadLe64(h + kOffRecordCount);
    return HeaderCheck::Ok;
}

ReplayGeometry GeometryOf(const ReplayInfo& info) {
    ReplayGeometry g;
    g.bytesPerWord = (std::uint64_t{info.字长} + 7) / 8;
    g.frameBytes = g.bytesPerWord * info.子帧长;
    g.tagBytes = info.tagBytesPerRecord;
    g.recordBytes = g.frameBytes + g.tagBytes;
    // A record tag is 8 bytes or absent; anything else is not a recording.
    g.valid = g.frameBytes != 0 && g.frameBytes <= kMaxReplayFrameBytes &&
              (g.tagBytes == 0 || g.tagBytes == kTagBytes);
    return g;
}

}  // namespace bbdev::demfile

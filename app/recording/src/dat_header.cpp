#include <recording/dat_header.h>

#include <algorithm>
#include <cstring>

namespace recording {

namespace {

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
void Put64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// `digits` ASCII digits of `value`, units first.
void PutDigitsUnitsFirst(std::uint8_t* p, int value, int digits) {
    unsigned v = unsigned(value < 0 ? 0 : value);
    for (int i = 0; i < digits; ++i, v /= 10) p[i] = std::uint8_t('0' + v % 10);
}

}  // namespace

std::size_t SubframeRecordBytes(const DemParam& dem) {
    return std::size_t{dem.子帧长} * ((dem.字长 + 7) / 8) + kTagBytes;
}

void BuildHeader(const DemParam& dem, const HeaderTime& when, std::uint64_t dataBytes,
                 std::uint32_t liftOffDay, std::span<std::uint8_t, kHeaderBytes> out) {
    std::uint8_t* h = out.data();
    std::memset(h, 0, kHeaderBytes);
    const std::size_t record = SubframeRecordBytes(dem);
    const std::uint64_t records = record ? dataBytes / record : 0;

    static constexpr std::uint8_t kMagic[9] = {'Y', 'C', 0, 4, 2, 'Y', 'C', 'Y', 'S'};
    std::memcpy(h, kMagic, sizeof kMagic);
    PutDigitsUnitsFirst(h + 17, when.year, 4);
    PutDigitsUnitsFirst(h + 21, when.month, 2);
    PutDigitsUnitsFirst(h + 23, when.day, 2);
    PutDigitsUnitsFirst(h + 25, when.hour, 2);
    PutDigitsUnitsFirst(h + 27, when.minute, 2);
    PutDigitsUnitsFirst(h + 29, when.second, 2);
    Put16(h + 31, dem.子帧长);
    h[33] = std::uint8_t(dem.副帧长);
    Put32(h + 34, dem.码率);
    h[38] = std::uint8_t(dem.字长);
    h[39] = std::uint8_t(dem.帧同步码位长);
    Put32(h + 40, std::uint32_t(dem.帧同步码));
    h[45] = std::uint8_t(dem.副帧类型 - 1);
    h[46] = std::uint8_t(dem.帧同步码位长);
    Put32(h + 47, dem.副帧同步码);
    h[52] = std::uint8_t(dem.副帧长 - 1);
    Put16(h + 53, dem.副帧路序);
    std::memset(h + 55, 0xF0, 64);
    Put32(h + kOffIdentRecordCount, std::uint32_t(records));

    Put32(h + kOffHeaderLength, kHeaderBytes);
    Put32(h + kOffLiftOff, liftOffDay);
    Put64(h + kOffRecordCount, records);

    Put32(h + 704, std::uint32_t(dem.帧同步码));
    Put32(h + 708, std::uint32_t(dem.帧同步码 >> 32));
    Put32(h + 712, dem.副帧同步码);
    Put32(h + 716, dem.帧同步码位长);
    Put32(h + 724, dem.码率);
    Put32(h + 728, dem.码型);
    Put32(h + 732, dem.字长);
    Put32(h + 736, dem.子帧长);
    Put32(h + 740, dem.副帧长);
    Put32(h + 756, kTagBytes);
    Put32(h + 760, dem.配时密度);
    Put32(h + 764, dem.配时精度);
}

ReplayInfo DescriptionFromDem(const DemParam& dem) {
    ReplayInfo info{};
    info.帧同步码Low = kDefaultSyncCode;
    info.帧同步码位长 = dem.帧同步码位长;
    info.副帧同步码 = dem.副帧同步码;
    info.码率 = dem.码率;
    info.码型 = dem.码型;
    info.字长 = dem.字长;
    info.子帧长 = dem.子帧长;
    info.副帧长 = dem.副帧长;
    info.tagBytesPerRecord = kTagBytes;
    info.配时密度 = dem.配时密度;
    info.配时精度 = dem.配时精度;
    return info;
}

FileDescription ParseHeader(std::span<const std::uint8_t> head, const DemParam& dem) {
    FileDescription d;
    if (head.size() < kHeaderBytes || Get32(head.data() + kOffHeaderLength) != kHeaderBytes) {
        d.info = DescriptionFromDem(dem);
        return d;
    }
    d.headerLength = kHeaderBytes;
    std::uint32_t words[sizeof(ReplayInfo) / 4];
    for (std::size_t i = 0; i < std::size(words); ++i)
        words[i] = Get32(head.data() + kOffDescription + 4 * i);
    std::memcpy(&d.info, words, sizeof d.info);
    return d;
}

bool DescriptionValid(const ReplayInfo& info) {
    if (info.子帧长 == 0 || info.子帧长 > 2048) return false;
    if (info.字长 == 0 || info.字长 > 32) return false;
    if (info.副帧长 == 0 || info.副帧长 > 256) return false;
    const unsigned bits = info.帧同步码位长;
    if (bits > 64) return false;
    const std::uint64_t code = std::uint64_t{info.帧同步码Low} | std::uint64_t{info.帧同步码High}
                                                                     << 32;
    return bits == 64 || (code >> bits) == 0;
}

std::uint64_t RecordBytes(const ReplayInfo& info) {
    return (std::uint64_t{info.字长} + 7) / 8 * info.子帧长 + kTagBytes;
}

std::uint64_t RecordCount(std::uint64_t fileSize, std::uint32_t headerLength,
                          const ReplayInfo& info) {
    if (fileSize <= headerLength) return 0;
    return (fileSize - headerLength) / RecordBytes(info);
}

}  // namespace recording

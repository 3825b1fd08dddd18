#include "display_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace gnsspick {
namespace {

constexpr const char* kEmpty = "--";

template <class... A>
std::string Format(const char* format, A... a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, a...);
    return buf;
}

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

const char* Sync(bool on) {
    return on ? "同步" : "失步";
}

TableRow EmptyRow(std::size_t i) {
    TableRow r;
    r.fill(kEmpty);
    r[0] = Format("   %d", int(i + 1));
    return r;
}

// Satellite number with its system: 1-100 GPS, 101-200 GNSS, 201 on BeiDou.
std::string SatelliteName(unsigned n) {
    if (n <= 100) return Format("GPS %d#", int(n));
    if (n <= 200) return Format("GNSS %d#", int(n - 100));
    return Format("北斗 %d#", int(n - 200));
}

void OldUpper(const DisplayState& d, std::vector<TableRow>& rows) {
    for (std::size_t i = 0; i < kOldRows; ++i) {
        TableRow r = EmptyRow(i);
        const unsigned number = i < d.satelliteCount ? d.satellites[i][0] & 0x3F : 0;
        if (number >= 1 && number <= 32) {
            const auto& e = d.satellites[i];
            r[1] = Format("%d", int(number));
            r[2] = Format("%.2f", e[2] * 0.25);
            r[3] = e[0] & 0x80 ? "YES" : "NO";
            r[4] = e[1] & 0x04 ? "不健康" : "健康";
            r[5] = Sync(e[1] & 0x20);
            r[6] = Sync(e[1] & 0x10);
            r[7] = e[1] & 0x01 ? "故障" : "无故障";
        }
        rows.push_back(std::move(r));
    }
}

void OldLower(const DisplayState& d, std::vector<TableRow>& rows) {
    for (std::size_t i = 0; i < kOldRows; ++i) {
        TableRow r = EmptyRow(i);
        if (i < d.oldChannelCount) {
            const std::uint8_t* e = d.tables.data() + kOldChannelEntryBytes * i;
            std::int32_t range;
            std::memcpy(&range, e + 4, 4);
            r[1] = Format("%d", int(e[0] & 0x3F));
            r[2] = Format("%.2f", e[2] * 0.25);
            r[3] = Sync(e[1] & 0x80);
            r[4] = Sync(e[1] & 0x40);
            r[5] = Sync(e[1] & 0x10);
            r[6] = e[0] & 0x08 ? "YES" : "NO";
            r[7] = Format("%d", int(range));
        }
        rows.push_back(std::move(r));
    }
}

void NewUpper(const DisplayState& d, std::vector<TableRow>& rows) {
    for (std::size_t i = 0; i < d.satelliteCount; ++i) {
        const auto& e = d.satellites[i];
        TableRow r = EmptyRow(i);
        const unsigned number = e[0] | unsigned{e[1]} << 8;
        if (number != 0) {
            const std::uint8_t s = e[2];
            auto lock = [](bool on) { return on ? "同步" : "失锁"; };
            r[1] = SatelliteName(number);
            r[2] = Format("%.2lf", e[4] * 0.25);
            r[3] = s & 0x20 ? "YES" : "NO";
            r[4] = lock(s & 0x02);
            r[5] = lock(s & 0x04);
            r[6] = lock(s & 0x08);
            r[7] = s & 0x10 ? "故障" : "正常";
        }
        rows.push_back(std::move(r));
    }
}

void NewLower(const DisplayState& d, std::vector<TableRow>& rows) {
    const std::size_t recordsAt = d.recordVersion == 1 ? 17 : 18;
    for (std::size_t k = 0; k < kReceivers; ++k) {
        const std::size_t bytes = d.recordBytes[k];
        if (bytes < recordsAt) continue;
        const std::uint8_t* rec = d.tables.data() + k * kTableBytes;
        const std::size_t channels = (bytes - recordsAt) / kChannelRecordBytes;
        for (std::size_t c = 0; c < channels; ++c) {
            const std::uint8_t* p = rec + recordsAt + c * kChannelRecordBytes;
            TableRow r = EmptyRow(rows.size());
            const unsigned number = p[0] | unsigned{p[1]} << 8;
            if (number != 0) r[1] = SatelliteName(number);
            r[2] = Format("%.2lf", p[23] * 0.25);
            if (const std::uint32_t lock = Le32(p + 24)) r[3] = Format("%u", unsigned(lock));
            const std::int64_t phase =
                std::int64_t(std::uint64_t{Le32(p + 11)} | std::uint64_t{Le32(p + 15)} << 32);
            if (phase != 0) r[4] = Format("%.3lf", double(phase) * 0.001);
            const std::int32_t doppler = std::int32_t(Le32(p + 19));
            if (doppler != 0x7FFFFF) r[5] = Format("%.2lf", doppler * 0.01);
            if (const std::uint32_t c = Le32(p + 3)) r[6] = Format("%.2lf", c * 0.01);
            if (const std::uint32_t pr = Le32(p + 7)) r[7] = Format("%.2lf", pr * 0.01);
            rows.push_back(std::move(r));
        }
    }
}

}  // namespace

const std::array<const char*, kColumns>& UpperHeaders(int layout) {
    static const std::array<const char*, kColumns> kOld = {
        "通道号", "卫星号", "信噪比", "参与定位", "广播星历", "位同步", "帧同步", "RAIM检测"};
    static const std::array<const char*, kColumns> kNew = {
        "通道号", "卫星号", "信噪比", "参与定位", "载波环路", "位同步", "帧同步", "RAIM检测"};
    return layout == kLayoutNew ? kNew : kOld;
}

const std::array<const char*, kColumns>& LowerHeaders(int layout) {
    static const std::array<const char*, kColumns> kOld = {
        "通道号", "卫星号", "信噪比", "相关器", "载波环路", "帧同步", "Coasting", "伪距"};
    static const std::array<const char*, kColumns> kNew = {
        "通道号", "卫星号", "信噪比", "锁定时间", "载波相位", "多普勒", "C码伪距", "P码伪距"};
    return layout == kLayoutNew ? kNew : kOld;
}

void UpperRows(const DisplayState& d, std::vector<TableRow>& rows) {
    rows.clear();
    if (d.layout == kLayoutNew)
        NewUpper(d, rows);
    else
        OldUpper(d, rows);
}

void LowerRows(const DisplayState& d, std::vector<TableRow>& rows) {
    rows.clear();
    if (d.layout == kLayoutNew)
        NewLower(d, rows);
    else
        OldLower(d, rows);
}

}  // namespace gnsspick

#include "gnss_search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace gnsspick {
namespace {

constexpr std::size_t kNavFieldsAt = 24;
constexpr std::size_t kNavMinLength = kNavFieldsAt + 38;  // up to the satellite entries
constexpr std::size_t kOldRecordsAt = 22;
constexpr std::size_t kOldRecordBytes = 17;
constexpr std::size_t kBinaryMinLength = 38;  // up to Vz
constexpr std::size_t kBinarySatellitesAt = 50;
constexpr std::size_t kBinarySatelliteBytes = 5;

std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
float BeF32(const std::uint8_t* p) {
    const std::uint32_t v = Be32(p);
    float f;
    std::memcpy(&f, &v, sizeof f);
    return f;
}
std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
double LeF64(const std::uint8_t* p) {
    const std::uint64_t v = std::uint64_t{Le32(p)} | std::uint64_t{Le32(p + 4)} << 32;
    double d;
    std::memcpy(&d, &v, sizeof d);
    return d;
}

template <class... A>
void Put(Text& t, const char* format, A... a) {
    std::snprintf(t.data(), t.size(), format, a...);
}

// Hours, minutes, seconds of a time of day; false for a value that is not
// a time (NaN, negative, a day or more).
bool TimeText(double hours, double minutes, double seconds, Text& t) {
    if (!(hours >= 0 && hours < 100 && minutes >= 0 && minutes < 100 && seconds >= 0 &&
          seconds < 100))
        return false;
    Put(t, "%02d:%02d:%02d", int(hours), int(minutes), int(seconds));
    return true;
}

}  // namespace

bool DecodeNavigation(const std::uint8_t* m, std::size_t length, Solution& s, DisplayState* d) {
    if (!m || length < kNavMinLength) return false;
    const std::uint8_t* f = m + kNavFieldsAt;
    s.timeValid = f[0] == 1;
    // The seconds, minutes and hours make a time of day.
    const double sec = BeF32(f + 1);
    s.timeOfDay = f[6] * 3600.0 + f[5] * 60.0 + (std::isfinite(sec) ? sec : -1e9);
    s.status = f[11];
    s.x = BeF32(f + 12);
    s.y = BeF32(f + 16);
    s.z = BeF32(f + 20);
    s.vx = BeF32(f + 24);
    s.vy = BeF32(f + 28);
    s.vz = BeF32(f + 32);
    s.pdop = (std::uint32_t{f[36]} << 8 | f[37]) / 100.0;
    if (d) {
        const std::size_t entries = std::min((length - kNavMinLength) / 3, kOldRows);
        for (std::size_t i = 0; i < entries; ++i) {
            auto& e = d->satellites[i];
            e = {};
            std::memcpy(e.data(), f + 38 + 3 * i, 3);
        }
        d->satelliteCount = entries;
    }
    return true;
}

bool DecodeBinarySolution(const std::uint8_t* p, std::size_t length, Solution& s, DisplayState* d) {
    if (!p || length < kBinaryMinLength) return false;
    s.timeValid = p[1] != 0;
    s.timeOfDay = LeF64(p + 2);
    s.pdop = (p[10] | std::uint32_t{p[11]} << 8) / 100.0;
    s.status = p[12];
    auto i32 = [p](std::size_t at) { return double(std::int32_t(Le32(p + at))); };
    s.x = i32(14) * 0.1;
    s.y = i32(18) * 0.1;
    s.z = i32(22) * 0.1;
    s.vx = i32(26) * 0.001;
    s.vy = i32(30) * 0.001;
    s.vz = i32(34) * 0.001;
    if (d) {
        const std::size_t held = length > kBinarySatellitesAt
                                     ? (length - kBinarySatellitesAt) / kBinarySatelliteBytes
                                     : 0;
        const std::size_t entries = std::min({std::size_t{p[0]}, held, kMaxSatellites});
        for (std::size_t i = 0; i < entries; ++i)
            std::memcpy(d->satellites[i].data(),
                        p + kBinarySatellitesAt + kBinarySatelliteBytes * i, kBinarySatelliteBytes);
        d->satelliteCount = entries;
    }
    return true;
}

std::size_t ConvertChannelRecords(const std::uint8_t* m, std::size_t length, std::uint8_t* table) {
    if (!m || length < kOldRecordsAt) return 0;
    const std::size_t records = std::min((length - kOldRecordsAt) / kOldRecordBytes, kOldRows);
    for (std::size_t i = 0; i < records; ++i) {
        const std::uint8_t* r = m + kOldRecordsAt + kOldRecordBytes * i;
        std::uint8_t* e = table + kOldChannelEntryBytes * i;
        e[0] = r[0];
        e[1] = r[1];
        e[2] = r[10];
        e[3] = 0;
        const std::uint32_t range = Be32(r + 2);
        std::memcpy(e + 4, &range, 4);
    }
    return records;
}

std::size_t Unstuff(const std::uint8_t* in, std::size_t length, std::uint8_t* out,
                    std::size_t maxOut) {
    std::size_t n = 0;
    bool dle = false;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = in[i];
        if (dle && b == 0x10) {
            dle = false;
            continue;
        }
        if (n >= maxOut) break;
        out[n++] = b;
        dle = b == 0x10;
    }
    return n;
}

std::size_t CopyReceiverRecords(const std::uint8_t* payload, std::size_t length, int version,
                                DisplayState& d) {
    d.recordBytes.fill(0);
    if (!payload || length < 1) return 0;
    const std::size_t receivers = std::min<std::size_t>(payload[0], kReceivers);
    const std::size_t countAt = version == 1 ? 2 : 3;
    const std::size_t fixed = version == 1 ? 23 : 24;
    std::size_t at = 1, copied = 0;
    for (; copied < receivers; ++copied) {
        if (at + countAt >= length) break;
        const std::size_t bytes = fixed + kChannelRecordBytes * payload[at + countAt];
        if (bytes > length - at || bytes > kTableBytes) break;
        std::memcpy(d.tables.data() + copied * kTableBytes, payload + at, bytes);
        d.recordBytes[copied] = bytes;
        at += bytes;
    }
    return copied;
}

GnssSearch::GnssSearch() = default;

void GnssSearch::SetTelemetryPar(std::uint16_t h, std::uint16_t d, std::uint16_t n) {
    h_ = h;
    d_ = d;
    n_ = n;
    record_ = std::size_t{h} + d;
    UpdatePicks();
    ResetParsers();
}

void GnssSearch::SetSelectRoads(const std::uint16_t positions[4]) {
    std::copy(positions, positions + 4, positions_.begin());
    UpdatePicks();
    ResetParsers();
}

void GnssSearch::UpdatePicks() {
    pickCount_ = 0;
    for (std::uint16_t p : positions_)
        if (p >= 1 && p <= d_) pick_[pickCount_++] = std::size_t{h_} + p - 1;
}

void GnssSearch::ResetParsers() {
    navParser_.Reset();
    measureParser_.Reset();
    navEnded_ = false;
    frameParser_.Reset();
    display_.satelliteCount = 0;
    display_.oldChannelCount = 0;
    display_.recordBytes.fill(0);
    display_.tables.fill(0);
    newChannels_ = false;
}

void GnssSearch::Search(Protocol p, const std::uint8_t* block, std::size_t length) {
    if (!block) return;
    const int layout = p == Protocol::Old ? kLayoutOld : kLayoutNew;
    if (display_.layout != layout) {
        // The other layout's entries would be read in the wrong format.
        display_.layout = layout;
        display_.satelliteCount = 0;
        display_.oldChannelCount = 0;
        display_.recordBytes.fill(0);
    }
    if (p == Protocol::Old) {
        ForEachPicked(block, length, [this](std::uint8_t b) { FeedOld(b); });
        return;
    }
    frameParser_.SetFormat(p == Protocol::WithReceiverId ? SyncFrameParser::kWithReceiverId
                                                         : SyncFrameParser::kWithoutReceiverId);
    display_.recordVersion = p == Protocol::WithReceiverId ? 1 : 2;
    ForEachPicked(block, length, [this, p](std::uint8_t b) {
        if (frameParser_.Feed(b)) OnFrame(p);
    });
}

void GnssSearch::FeedOld(std::uint8_t b) {
    if (navEnded_) {
        navEnded_ = false;
        const std::size_t n = std::min(navParser_.Length(), kNavigationBufferBytes);
        navBuffer_.fill(0);
        std::memcpy(navBuffer_.data(), navParser_.Data(), n);
        Solution s = solution_;
        if (DecodeNavigation(navBuffer_.data(), n, s, &display_)) Publish(s, false);
        newNavigation_ = true;
    }
    if (navParser_.Feed(b)) navEnded_ = true;
    if (measureParser_.Feed(b)) {
        display_.oldChannelCount = ConvertChannelRecords(
            measureParser_.Data(), measureParser_.Length(), display_.tables.data());
        newChannels_ = true;
    }
}

void GnssSearch::OnFrame(Protocol p) {
    const std::uint8_t* payload = frameParser_.Payload();
    const std::size_t length = frameParser_.PayloadLength();
    const std::uint8_t type = frameParser_.Type();
    if (type == 0) {
        const std::size_t n = std::min(length, kSolutionBytes);
        solutionBlock_.fill(0);
        std::memcpy(solutionBlock_.data(), payload, n);
        newSolutionBlock_ = true;
        Solution s = solution_;
        if (p == Protocol::WithReceiverId && DecodeBinarySolution(payload, n, s, &display_))
            Publish(s, true);
    } else if (type == 1) {
        const std::size_t n = Unstuff(payload, length, unstuffed_.data(), unstuffed_.size());
        CopyReceiverRecords(unstuffed_.data(), n, p == Protocol::WithReceiverId ? 1 : 2, display_);
        newChannels_ = true;
    } else if (type == (p == Protocol::WithReceiverId ? 4 : 6)) {
        navBuffer_.fill(0);
        const std::size_t n = Unstuff(payload, length, navBuffer_.data(), kNavigationBufferBytes);
        Solution s = solution_;
        // Its satellite entries are of the old kind, which this layout does not show.
        if (DecodeNavigation(navBuffer_.data(), n, s, nullptr)) Publish(s, false);
        newNavigation_ = true;
    }
}

void GnssSearch::Publish(const Solution& s, bool binary) {
    ShownSolution& shown = display_.shown;
    solution_.timeValid = s.timeValid;
    solution_.timeOfDay = s.timeOfDay;
    solution_.pdop = s.pdop;
    solution_.status = s.status;
    if (s.timeValid && s.timeOfDay >= 0 && s.timeOfDay < 360000.0) {
        shown.haveTime = true;
        shown.timeOfDay = s.timeOfDay;
    }
    shown.havePdop = true;
    shown.pdop = s.pdop;
    GeoPosition g;
    if ((s.status & 0x0F) != 0 || !ConvertPosition(s.x, s.y, s.z, g)) return;
    if (!std::isfinite(s.vx) || !std::isfinite(s.vy) || !std::isfinite(s.vz)) return;
    solution_.x = s.x;
    solution_.y = s.y;
    solution_.z = s.z;
    solution_.vx = s.vx;
    solution_.vy = s.vy;
    solution_.vz = s.vz;
    solution_.position = g;
    shown.havePosition = true;
    shown.binary = binary;
    shown.x = s.x;
    shown.y = s.y;
    shown.z = s.z;
    shown.vx = s.vx;
    shown.vy = s.vy;
    shown.vz = s.vz;
    shown.position = g;
    position_[0] = g.longitude;
    position_[1] = g.latitude;
    position_[2] = g.height;
    newPosition_ = true;
}

SolutionTexts TextsOf(const ShownSolution& s) {
    SolutionTexts t;
    if (s.haveTime) {
        const int whole = int(s.timeOfDay);
        TimeText(whole / 3600, whole / 60 % 60, whole % 60, t.time);
    }
    if (s.havePdop) Put(t.pdop, "%.2lf", s.pdop);
    if (s.havePosition) {
        const char* xyz = s.binary ? "%.1lf" : "%.2f";
        const char* v = s.binary ? "%.3lf" : "%.2f";
        Put(t.x, xyz, s.x);
        Put(t.y, xyz, s.y);
        Put(t.z, xyz, s.z);
        Put(t.vx, v, s.vx);
        Put(t.vy, v, s.vy);
        Put(t.vz, v, s.vz);
        Put(t.longitude, "%.5lf", s.position.longitude);
        Put(t.latitude, "%.5lf", s.position.latitude);
        Put(t.height, "%.3lf", s.position.height);
    }
    return t;
}

int GnssSearch::GetMeasureData(std::uint8_t* tables, std::uint8_t* solution,
                               std::uint8_t* navigation) {
    if (!tables || !solution || !navigation) return 0;
    int mask = 0;
    if (newChannels_) {
        std::memcpy(tables, display_.tables.data(), kChannelTablesBytes);
        newChannels_ = false;
        mask |= 1;
    }
    if (newSolutionBlock_) {
        std::memcpy(solution, solutionBlock_.data(), kSolutionBytes);
        newSolutionBlock_ = false;
        mask |= 2;
    }
    if (newNavigation_) {
        std::memset(navigation, 0, kNavigationBlockBytes);
        std::memcpy(navigation, navBuffer_.data(), kNavigationBufferBytes);
        const Solution& s = solution_;
        const double values[] = {s.timeOfDay,
                                 s.x,
                                 s.y,
                                 s.z,
                                 s.vx,
                                 s.vy,
                                 s.vz,
                                 s.pdop,
                                 s.position.longitude,
                                 s.position.latitude,
                                 s.position.height};
        std::memcpy(navigation + kNavigationBufferBytes, values, sizeof values);
        newNavigation_ = false;
        mask |= 4;
    }
    return mask;
}

bool GnssSearch::GetTargetPosition(double out[3]) {
    if (!out || !newPosition_) return false;
    std::copy(position_, position_ + 3, out);
    newPosition_ = false;
    return true;
}

}  // namespace gnsspick

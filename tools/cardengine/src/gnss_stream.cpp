#include "gnss_stream.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace cardengine {
namespace {

constexpr double kA = 6378137.0, kE2 = 0.00669437999013;
constexpr double kMicrosPerDay = 86400000000.0;
constexpr std::size_t kQueueLimit = 1u << 16;  // a stream too slow for its messages drops seconds
constexpr int kSatellites = 6;

using Bytes = std::vector<std::uint8_t>;

void Be32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}
void BeF32(Bytes& b, std::size_t at, float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    Be32(b, at, v);
}
void Le(Bytes& b, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

void AppendStuffed(Bytes& out, const Bytes& data) {
    for (std::uint8_t b : data) {
        out.push_back(b);
        if (b == 0x10) out.push_back(0x10);
    }
}

// Old protocol: 0x10, identifier, data with 0x10 doubled, 0x10 0x03. `stored`
// starts with the 0x10 and the identifier.
void AppendDle(Bytes& out, const Bytes& stored) {
    out.push_back(0x10);
    out.push_back(stored[1]);
    AppendStuffed(out, Bytes(stored.begin() + 2, stored.end()));
    out.push_back(0x10);
    out.push_back(0x03);
}

void AppendFrame(Bytes& out, bool withId, std::uint8_t type, const Bytes& payload) {
    out.insert(out.end(), {0xAA, 0x55, 0x11, 0xBB});
    if (!withId) out.insert(out.end(), {0x00, 0x00});
    out.push_back(type);
    out.push_back(std::uint8_t(payload.size()));
    out.push_back(std::uint8_t(payload.size() >> 8));
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), 7, 0x00);
}

// Navigation message: fields big-endian from byte 24, then 3-byte satellites.
Bytes Navigation(double x, double y, double z, double dayUs, std::uint8_t first,
                 std::uint8_t second) {
    Bytes m(62 + 3 * kSatellites, 0);
    m[0] = first;
    m[1] = second;
    const double s = std::fmod(dayUs, kMicrosPerDay) / 1e6;
    const std::size_t f = 24;
    m[f] = 1;
    BeF32(m, f + 1, float(std::fmod(s, 60.0)));
    m[f + 5] = std::uint8_t(int(s / 60) % 60);
    m[f + 6] = std::uint8_t(int(s / 3600) % 24);
    BeF32(m, f + 12, float(x));
    BeF32(m, f + 16, float(y));
    BeF32(m, f + 20, float(z));
    m[f + 36] = 0;
    m[f + 37] = 150;  // PDOP 1.50
    for (int i = 0; i < kSatellites; ++i) {
        m[f + 38 + 3 * i] = std::uint8_t(0x80 | (3 + 4 * i));
        m[f + 38 + 3 * i + 1] = 0x30;
        m[f + 38 + 3 * i + 2] = std::uint8_t(4 * (38 + i));
    }
    return m;
}

// Old-protocol channel message: 17-byte records from byte 22.
Bytes OldChannels() {
    Bytes m(22 + 17 * kSatellites, 0);
    m[0] = 0x10;
    m[1] = 0xE0;
    for (int i = 0; i < kSatellites; ++i) {
        const std::size_t r = 22 + 17 * std::size_t(i);
        m[r] = std::uint8_t(3 + 4 * i);
        m[r + 1] = 0xD0;
        Be32(m, r + 2, std::uint32_t(20000000 + 100000 * i));
        m[r + 10] = std::uint8_t(4 * (38 + i));
    }
    return m;
}

// Binary solution (type 0), little-endian.
Bytes BinarySolution(double x, double y, double z, double dayUs) {
    Bytes p(50 + 5 * kSatellites, 0);
    p[0] = kSatellites;
    p[1] = 1;
    const double tod = std::fmod(dayUs, kMicrosPerDay) / 1e6;
    std::uint64_t bits;
    std::memcpy(&bits, &tod, 8);
    Le(p, 2, bits, 8);
    Le(p, 10, 150, 2);
    Le(p, 14, std::uint32_t(std::int32_t(std::lround(x * 10))), 4);
    Le(p, 18, std::uint32_t(std::int32_t(std::lround(y * 10))), 4);
    Le(p, 22, std::uint32_t(std::int32_t(std::lround(z * 10))), 4);
    for (int i = 0; i < kSatellites; ++i) {
        const std::size_t e = 50 + 5 * std::size_t(i);
        Le(p, e, i < 3 ? 3 + 4 * i : 201 + i, 2);  // GPS and BeiDou
        p[e + 2] = 0x2E;
        p[e + 4] = std::uint8_t(4 * (38 + i));
    }
    return p;
}

// Type 1: one receiver record of the given version with its channel records.
Bytes ReceiverRecords(int version) {
    const std::size_t countAt = version == 1 ? 2 : 3, fixed = version == 1 ? 23 : 24;
    const std::size_t recordsAt = fixed - 6;
    Bytes p(1 + fixed + 28 * kSatellites, 0);
    p[0] = 1;
    std::uint8_t* r = p.data() + 1;
    r[0] = 0x01;
    r[1] = 0x00;
    r[countAt] = kSatellites;
    for (int i = 0; i < kSatellites; ++i) {
        Bytes c(28, 0);
        Le(c, 0, 3 + 4 * i, 2);
        Le(c, 3, 2000000000u + 1000u * unsigned(i), 4);
        Le(c, 11, std::uint64_t(std::int64_t(-123456789) * (i + 1)), 8);
        Le(c, 19, std::uint32_t(-2500 + 100 * i), 4);
        c[23] = std::uint8_t(4 * (38 + i));
        Le(c, 24, 1000 + i, 4);
        std::memcpy(r + recordsAt + 28 * std::size_t(i), c.data(), 28);
    }
    return p;
}

bool ParseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(out);
}

// Comma-separated numbers, exactly n of them.
bool ParseList(std::string_view v, std::size_t n, double* out) {
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t comma = v.find(',');
        const bool last = k + 1 == n;
        if ((comma == std::string_view::npos) != last) return false;
        if (!ParseNumber(std::string(v.substr(0, comma)), out[k])) return false;
        if (!last) v.remove_prefix(comma + 1);
    }
    return true;
}

}  // namespace

const char kGnssUsage[] =
    "  --gnss old|new1|new2        carry a satellite-navigation receiver's messages\n"
    "  --gnss-bytes P1,P2,P3,P4    their bytes after the tag, 1-based, 0 unused (default "
    "10,11,12,13)\n"
    "  --gnss-position LAT,LON,H   the receiver's position (default 40.0,116.4,50.0)\n";

bool ParseGnssOption(std::string_view arg, const char* value, GnssStreamOptions& o, bool& ok) {
    const std::string_view v = value;
    if (arg == "--gnss") {
        ok = true;
        if (v == "old")
            o.protocol = GnssProtocol::Old;
        else if (v == "new1")
            o.protocol = GnssProtocol::WithReceiverId;
        else if (v == "new2")
            o.protocol = GnssProtocol::WithoutReceiverId;
        else
            ok = false;
        return true;
    }
    if (arg == "--gnss-bytes") {
        double p[4];
        ok = ParseList(v, 4, p);
        for (int i = 0; ok && i < 4; ++i) {
            ok = p[i] >= 0 && p[i] <= 65535 && p[i] == std::floor(p[i]);
            o.positions[i] = std::uint16_t(p[i]);
        }
        return true;
    }
    if (arg == "--gnss-position") {
        double p[3];
        ok = ParseList(v, 3, p) && std::fabs(p[0]) <= 90 && std::fabs(p[1]) <= 180;
        if (ok) {
            o.latitude = p[0];
            o.longitude = p[1];
            o.height = p[2];
        }
        return true;
    }
    return false;
}

void GeodeticToEcef(double latDeg, double lonDeg, double h, double& x, double& y, double& z) {
    const double lat = latDeg * M_PI / 180.0, lon = lonDeg * M_PI / 180.0;
    const double n = kA / std::sqrt(1 - kE2 * std::sin(lat) * std::sin(lat));
    x = (n + h) * std::cos(lat) * std::cos(lon);
    y = (n + h) * std::cos(lat) * std::sin(lon);
    z = (n * (1 - kE2) + h) * std::sin(lat);
}

Bytes GnssSecondMessages(const GnssStreamOptions& o, double dayUs) {
    double x, y, z;
    GeodeticToEcef(o.latitude, o.longitude, o.height, x, y, z);
    Bytes out;
    switch (o.protocol) {
        case GnssProtocol::Old:
            AppendDle(out, Navigation(x, y, z, dayUs, 0x10, 0xD7));
            AppendDle(out, OldChannels());
            break;
        case GnssProtocol::WithReceiverId: {
            Bytes nav = Navigation(x, y, z, dayUs, 0, 0);
            Bytes stuffed;
            AppendStuffed(stuffed, nav);
            AppendFrame(out, true, 4, stuffed);
            AppendFrame(out, true, 0, BinarySolution(x, y, z, dayUs));
            stuffed.clear();
            AppendStuffed(stuffed, ReceiverRecords(1));
            AppendFrame(out, true, 1, stuffed);
            break;
        }
        case GnssProtocol::WithoutReceiverId: {
            Bytes stuffed;
            AppendStuffed(stuffed, Navigation(x, y, z, dayUs, 0, 0));
            AppendFrame(out, false, 6, stuffed);
            stuffed.clear();
            AppendStuffed(stuffed, ReceiverRecords(2));
            AppendFrame(out, false, 1, stuffed);
            break;
        }
        case GnssProtocol::Off:
            break;
    }
    return out;
}

void GnssStream::Configure(const GnssStreamOptions& o) {
    o_ = o;
    queue_.clear();
    queue_.reserve(kQueueLimit);
    at_ = 0;
    second_ = -1;
}

void GnssStream::Fill(std::uint8_t* words, std::size_t bytes, double us) {
    const long long second = static_cast<long long>(us / 1e6);
    if (second != second_) {
        second_ = second;
        if (at_ == queue_.size()) {
            queue_.clear();
            at_ = 0;
        }
        const Bytes m = GnssSecondMessages(o_, us);
        if (queue_.size() + m.size() <= kQueueLimit)
            queue_.insert(queue_.end(), m.begin(), m.end());
    }
    for (std::uint16_t p : o_.positions) {
        if (p == 0 || p > bytes) continue;
        words[p - 1] = at_ < queue_.size() ? queue_[at_++] : 0x00;
    }
}

}  // namespace cardengine

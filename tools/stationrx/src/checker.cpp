#include <stationrx/checker.h>
#include <sys/time.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace stationrx {

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t Le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

constexpr std::uint32_t kTenthMsPerDay = 864000000u;

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

}  // namespace

StationTime StationTimeNow() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    const time_t secs = tv.tv_sec;
    tm t{};
    ::localtime_r(&secs, &t);
    StationTime s;
    std::uint32_t days = 0;
    for (int y = 2000; y < t.tm_year + 1900; ++y) days += IsLeap(y) ? 366 : 365;
    s.dayNumber = days + std::uint32_t(t.tm_yday + 1);
    s.timeOfDay = (std::uint32_t(t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec) * 1000u +
                   std::uint32_t(tv.tv_usec / 1000)) *
                  10u;
    return s;
}

void StationChecker::TrackSequence(std::uint32_t bid, std::uint32_t seq) {
    Sequence& s = sequences_[bid];
    std::uint32_t& slot = s.seen[seq % s.seen.size()];
    if (!s.started) {
        s.started = true;
        s.next = seq + 1;
        slot = seq + 1;
        return;
    }
    const std::uint32_t ahead = seq - s.next;  // wraps at 2^32
    if (ahead < 0x80000000u) {
        counts_.lost += ahead;
        s.next = seq + 1;
        slot = seq + 1;
        return;
    }
    // Behind what was expected: seen already, or late and no longer lost.
    if (slot == seq + 1) {
        ++counts_.duplicates;
        return;
    }
    ++counts_.reordered;
    if (counts_.lost) --counts_.lost;
    slot = seq + 1;
}

const char* StationChecker::CheckRecords(std::span<const std::uint8_t> records) {
    const std::size_t r = opt_.recordBytes;
    if (records.size() % r != 0) return "records not whole";
    for (std::size_t at = 0; at < records.size(); at += r) {
        const std::uint8_t* rec = records.data() + at;
        if (Le32(rec + 2) >= kTenthMsPerDay) return "record time past the day";
        if (Le16(rec + 6) >= opt_.subframes) return "sub-frame index out of range";
    }
    if (opt_.counterPos == 0 || opt_.counterBytes == 0) {
        counts_.records += records.size() / r;
        return nullptr;
    }
    if (8 + opt_.counterPos - 1 + opt_.counterBytes > r) return "counter outside the record";
    const std::uint64_t mask =
        opt_.counterBytes >= 8 ? ~0ull : (1ull << (8 * opt_.counterBytes)) - 1;
    for (std::size_t at = 0; at < records.size(); at += r) {
        const std::uint8_t* c = records.data() + at + 8 + opt_.counterPos - 1;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < opt_.counterBytes; ++i) v = v << 8 | c[i];
        if (counterStarted_ && v != nextCounter_) ++counts_.counterBreaks;
        counterStarted_ = true;
        nextCounter_ = (v + 1) & mask;
        ++counts_.records;
    }
    return nullptr;
}

Verdict StationChecker::CheckStation(std::span<const std::uint8_t> d, StationTime received) {
    Verdict v;
    auto bad = [&](const char* why) {
        ++counts_.malformed;
        v.kind = Kind::Malformed;
        v.problem = why;
        return v;
    };
    if (d.size() < 36) return bad("shorter than a header and data head");
    if (Le16(d.data() + 30) != d.size() - 32) return bad("length field is not size - 32");
    for (std::size_t i = 19; i < 24; ++i)
        if (d[i] != 0) return bad("reserved bytes not zero");
    const std::uint32_t bid = Le32(d.data() + 11);
    const std::uint32_t seq = Le32(d.data() + 15);
    if (bid == opt_.linkBid) {
        if (d.size() != 36) return bad("link monitor is not 36 bytes");
        if (std::memcmp(d.data() + 26, d.data() + 32, 4) != 0)
            return bad("link monitor does not echo its time");
        v.kind = Kind::LinkMonitor;
        ++counts_.linkMonitor;
    } else if (bid == opt_.telemetryBid) {
        const std::uint16_t status = Le16(d.data() + 32);
        if (!(status & 0x0100)) return bad("status word bit 8 clear");
        if (status & ~0x0D10u) return bad("status word bits outside 4, 8, 10, 11");
        if (opt_.recordBytes != 0)
            if (const char* why = CheckRecords(d.subspan(36))) return bad(why);
        v.kind = Kind::Telemetry;
        ++counts_.telemetry;
    } else {
        return bad("unknown BID");
    }
    TrackSequence(bid, seq);
    // Delay: receive time minus the header's sending time, across midnight.
    const std::uint32_t sentTod = Le32(d.data() + 26);
    const std::int64_t sent = std::int64_t(Le16(d.data() + 24)) * kTenthMsPerDay + sentTod;
    const std::int64_t got = std::int64_t(received.dayNumber) * kTenthMsPerDay + received.timeOfDay;
    if (double(got - sent) / 10.0 > opt_.lateMs) ++counts_.delayed;
    return v;
}

Verdict StationChecker::CheckGnss(std::span<const std::uint8_t> d) {
    Verdict v;
    if (d.size() != 27 || d[0] != 0xEB || d[1] != 0x90 || d[2] != 0x55) {
        ++counts_.malformed;
        v.problem = "GNSS packet is not EB 90 55 + 24 bytes";
        return v;
    }
    double p[3];
    for (int i = 0; i < 3; ++i) {
        std::memcpy(&p[i], d.data() + 3 + 8 * i, 8);
        if (!std::isfinite(p[i])) {
            ++counts_.malformed;
            v.problem = "GNSS position not finite";
            return v;
        }
    }
    for (int i = 0; i < 3; ++i) lastGnss_[i] = p[i];
    ++counts_.gnss;
    v.kind = Kind::Gnss;
    return v;
}

Counts& operator+=(Counts& a, const Counts& b) {
    a.telemetry += b.telemetry;
    a.linkMonitor += b.linkMonitor;
    a.gnss += b.gnss;
    a.malformed += b.malformed;
    a.lost += b.lost;
    a.duplicates += b.duplicates;
    a.reordered += b.reordered;
    a.delayed += b.delayed;
    a.records += b.records;
    a.counterBreaks += b.counterBreaks;
    return a;
}

std::string CountsLine(const Counts& c) {
    char text[320];
    std::snprintf(text, sizeof text,
                  "telemetry %llu link-monitor %llu gnss %llu malformed %llu lost %llu "
                  "duplicates %llu reordered %llu delayed %llu records %llu counter-breaks %llu",
                  (unsigned long long)c.telemetry, (unsigned long long)c.linkMonitor,
                  (unsigned long long)c.gnss, (unsigned long long)c.malformed,
                  (unsigned long long)c.lost, (unsigned long long)c.duplicates,
                  (unsigned long long)c.reordered, (unsigned long long)c.delayed,
                  (unsigned long long)c.records, (unsigned long long)c.counterBreaks);
    return text;
}

std::string CountsJson(const Counts& c) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "{\"telemetry\":%llu,\"link_monitor\":%llu,\"gnss\":%llu,\"malformed\":%llu,"
                  "\"lost\":%llu,\"duplicates\":%llu,\"reordered\":%llu,\"delayed\":%llu,"
                  "\"records\":%llu,\"counter_breaks\":%llu}",
                  (unsigned long long)c.telemetry, (unsigned long long)c.linkMonitor,
                  (unsigned long long)c.gnss, (unsigned long long)c.malformed,
                  (unsigned long long)c.lost, (unsigned long long)c.duplicates,
                  (unsigned long long)c.reordered, (unsigned long long)c.delayed,
                  (unsigned long long)c.records, (unsigned long long)c.counterBreaks);
    return text;
}

}  // namespace stationrx

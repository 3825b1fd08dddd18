#include <datapath/time_tag.h>
#include <netout/packet_format.h>
#include <sys/time.h>

#include <cstring>
#include <ctime>

namespace netout {

void WriteHeader(std::uint8_t* out, const PacketHeader& h) {
    out[kOffVersion] = h.version;
    PutU16(out + kOffTaskFlag, h.taskFlag);
    PutU32(out + kOffSource, h.source);
    PutU32(out + kOffDest, h.destination);
    PutU32(out + kOffBid, h.bid);
    PutU32(out + kOffSequence, h.sequence);
    std::memset(out + kOffReserved, 0, 5);
    PutU16(out + kOffDayNumber, h.dayNumber);
    PutU32(out + kOffTimeOfDay, h.timeOfDay);
    PutU16(out + kOffLength, h.length);
}

PacketHeader ReadHeader(const std::uint8_t* in) {
    PacketHeader h;
    h.version = in[kOffVersion];
    h.taskFlag = GetU16(in + kOffTaskFlag);
    h.source = GetU32(in + kOffSource);
    h.destination = GetU32(in + kOffDest);
    h.bid = GetU32(in + kOffBid);
    h.sequence = GetU32(in + kOffSequence);
    h.dayNumber = GetU16(in + kOffDayNumber);
    h.timeOfDay = GetU32(in + kOffTimeOfDay);
    h.length = GetU16(in + kOffLength);
    return h;
}

namespace {
bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
}  // namespace

std::uint32_t DaysOfYearsSince2000(int year) {
    std::uint32_t days = 0;
    for (int y = 2000; y < year && y < 10000; ++y) days += IsLeap(y) ? 366 : 365;
    return days;
}

std::uint32_t DayNumber(int year, int dayOfYear) {
    return DaysOfYearsSince2000(year) + std::uint32_t(dayOfYear < 0 ? 0 : dayOfYear);
}

std::uint32_t DayNumberOfDate(int year, int month, int day) {
    static constexpr int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    if (month < 1 || month > 12) return DayNumber(year, day);
    int doy = kBefore[month - 1] + day;
    if (month > 2 && IsLeap(year)) ++doy;
    return DayNumber(year, doy);
}

ClockReading ReadLocalClock() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    // The calendar fields change once a second; each thread keeps its last.
    thread_local time_t cachedSecond = -1;
    thread_local tm local{};
    const time_t secs = tv.tv_sec;
    if (secs != cachedSecond) {
        ::localtime_r(&secs, &local);
        cachedSecond = secs;
    }
    ClockReading c;
    c.year = local.tm_year + 1900;
    c.dayNumber = std::uint16_t(DayNumber(c.year, local.tm_yday + 1));
    const std::uint32_t ms = std::uint32_t(local.tm_hour) * 3600000u +
                             std::uint32_t(local.tm_min) * 60000u +
                             std::uint32_t(local.tm_sec) * 1000u + std::uint32_t(tv.tv_usec / 1000);
    c.timeOfDay = ms * 10u;
    return c;
}

std::uint16_t StatusWord(bool locked, int streamNo) {
    std::uint16_t w = 0x0100;
    if (locked) w |= 0x0010;
    w |= streamNo == 1 ? 0x0400 : streamNo == 2 ? 0x0800 : 0x0C00;
    return w;
}

std::uint32_t RecordTimeOfDay(const std::uint8_t* tag, std::uint32_t tagFormat) {
    if (tagFormat == datapath::kBcdTimeTag)
        return std::uint32_t(datapath::TagTicks(tag, tagFormat));
    // Host form: 20 bits of microseconds, then 17 bits of the second of day.
    const std::uint64_t v = std::uint64_t{tag[0]} | std::uint64_t{tag[1]} << 8 |
                            std::uint64_t{tag[2]} << 16 | std::uint64_t{tag[3]} << 24 |
                            std::uint64_t{tag[4]} << 32;
    const std::uint32_t micros = std::uint32_t(v & 0xFFFFF);
    const std::uint32_t second = std::uint32_t(v >> 20 & 0x1FFFF);
    return second * 10000u + micros / 100u;
}

std::size_t BuildTelemetryPacket(std::uint8_t* out, PacketHeader header, std::uint16_t statusWord,
                                 std::uint16_t recordCount, std::span<const std::uint8_t> records,
                                 std::size_t recordBytes, const RecordStamp& stamp) {
    header.length = std::uint16_t(records.size() + kDataHeadBytes);
    WriteHeader(out, header);
    PutU16(out + kHeaderBytes, statusWord);
    PutU16(out + kHeaderBytes + 2, recordCount);
    std::uint8_t* body = out + kHeaderBytes + kDataHeadBytes;
    if (!records.empty()) std::memcpy(body, records.data(), records.size());
    if (recordBytes >= kRecordHeaderBytes) {
        for (std::size_t at = 0; at + recordBytes <= records.size(); at += recordBytes) {
            const std::uint8_t* tag = records.data() + at;
            std::uint8_t* rec = body + at;
            const std::uint8_t index = tag[6];
            PutU16(rec, stamp.dayNumber);
            PutU32(rec + 2, RecordTimeOfDay(tag, stamp.tagFormat));
            rec[6] = index;
            rec[7] = 0;
        }
    }
    return kHeaderBytes + kDataHeadBytes + records.size();
}

void BuildLinkMonitorPacket(std::uint8_t* out, PacketHeader header) {
    header.length = 4;
    WriteHeader(out, header);
    PutU32(out + kHeaderBytes, header.timeOfDay);
}

void BuildGnssPacket(std::uint8_t* out, double x, double y, double z) {
    out[0] = 0xEB;
    out[1] = 0x90;
    out[2] = 0x55;
    std::memcpy(out + 3, &x, 8);
    std::memcpy(out + 11, &y, 8);
    std::memcpy(out + 19, &z, 8);
}

StationPacket ParseStationPacket(std::span<const std::uint8_t> d) {
    StationPacket p;
    if (d.size() < kHeaderBytes + 4) return p;
    const std::uint32_t bid = GetU32(d.data() + kOffBid);
    if (bid == kReceivedLinkMonitorBid)
        p.kind = StationPacketKind::LinkMonitor;
    else if (bid == kReceivedLiftOffBid)
        p.kind = StationPacketKind::LiftOff;
    else
        return p;
    p.header = ReadHeader(d.data());
    p.dataTime = GetU32(d.data() + kHeaderBytes);
    return p;
}

Threshold SendThreshold(const SendGeometry& g, int factor) {
    Threshold t;
    if (g.recordBytes == 0 || g.wordBytes == 0) return t;
    const std::size_t unit = g.wordBytes * g.recordBytes * (g.superframeMode ? g.subframes : 1);
    if (unit == 0) return t;
    const std::size_t k = factor < 1 ? 1 : std::size_t(factor);
    t.factor = int(k);
    if (unit <= kMaxTelemetryRecordBytes / k) {
        t.bytes = unit * k;
        return t;
    }
    t.reduced = true;
    const std::size_t fit = kMaxTelemetryRecordBytes / unit;
    if (fit >= 1) {
        t.factor = int(fit);
        t.bytes = unit * fit;
    } else {
        // Not even one superframe: whole sub-frame records.
        t.factor = 0;
        t.bytes = kMaxTelemetryRecordBytes / g.recordBytes * g.recordBytes;
    }
    return t;
}

std::size_t DatagramBytes(const SendGeometry& g, int factor) {
    if (g.recordBytes == 0 || g.wordBytes == 0 || factor < 1) return 0;
    const std::size_t unit = g.wordBytes * g.recordBytes * (g.superframeMode ? g.subframes : 1);
    return unit * std::size_t(factor) + kHeaderBytes + kDataHeadBytes;
}

}  // namespace netout

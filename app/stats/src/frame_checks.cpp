#include <datapath/time_tag.h>
#include <platform/codepage.h>
#include <stats/frame_checks.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace stats {
namespace {

// The time fields of a report line: hours, minutes, seconds, ms.
constexpr const char* kAtTime = "在时间为%02d:%02d:%03d:%05.01lf时，";

// How many records of `length` bytes are examined: whole groups of N records
// of R bytes; 0 when the shape cannot hold one.
std::size_t RecordsExamined(std::size_t length, std::uint64_t recordBytes,
                            std::uint32_t subframes) {
    if (subframes == 0 || recordBytes == 0 || recordBytes > length) return 0;
    const std::uint64_t records = length / recordBytes;
    return std::size_t(records / subframes * subframes);
}

std::uint64_t RecordBytes(const BlockShape& s) {
    return std::uint64_t{s.headerBytes} + std::uint64_t{s.words} * s.wordBytes;
}

// A word position the records hold, for words of one or two bytes behind a
// header that holds the time of day.
bool Readable(const BlockShape& s, std::uint32_t pos) {
    return s.wordBytes >= 1 && s.wordBytes <= 2 && s.headerBytes >= 5 && pos >= 1 && pos <= s.words;
}

template <class... Args>
void AppendLine(ReportText& text, const std::string& format, Args... args) {
    char line[256];
    const int n = std::snprintf(line, sizeof line, format.c_str(), args...);
    if (n <= 0) return;
    // The fields are bounded (hours below 64, a ms value below 1700, hex of
    // 32 bits at most), so the line always fits.
    text.Append(line, std::size_t(n) < sizeof line ? std::size_t(n) : sizeof line - 1);
}

// Reads an 8 or 16-bit word stored high byte first.
template <std::uint32_t Bytes>
std::uint32_t Word(const std::uint8_t* p) {
    if constexpr (Bytes == 1)
        return p[0];
    else
        return std::uint32_t{p[0]} << 8 | p[1];
}

// The counter loop for one word size and high-word choice: the common case
// stays a byte read and a compare per record.
template <std::uint32_t Bytes, bool High>
std::size_t CountLoop(const std::uint8_t* block, std::size_t records, std::uint64_t recordBytes,
                      std::size_t lowOffset, std::size_t highOffset, std::uint32_t tagFormat,
                      std::uint32_t& expected, ReportText& text, const std::string& format) {
    constexpr unsigned kShift = 8 * Bytes;
    constexpr std::uint32_t kMask =
        High ? (Bytes == 1 ? 0xFFFFu : 0xFFFFFFFFu) : (Bytes == 1 ? 0xFFu : 0xFFFFu);
    auto read = [&](const std::uint8_t* rec) {
        std::uint32_t v = Word<Bytes>(rec + lowOffset);
        if constexpr (High) v |= Word<Bytes>(rec + highOffset) << kShift;
        return v;
    };
    std::size_t lines = 0;
    std::uint32_t e = expected;
    const std::uint8_t* rec = block;
    for (std::size_t i = 0; i < records; ++i, rec += recordBytes) {
        e = (e + 1) & kMask;
        const std::uint32_t v = read(rec);
        if (v == e) [[likely]]
            continue;
        const datapath::TagTime t = datapath::DecodeTimeTag(rec, tagFormat);
        AppendLine(text, format, t.hours, t.minutes, t.seconds, t.ms, unsigned(e), unsigned(v));
        e = v;
        ++lines;
    }
    expected = e;
    return lines;
}

// BCD ticks of consecutive tags: seconds, minutes and hours (bytes 2 to 4)
// change only every few thousand records, so their part is kept and only the
// milliseconds are decoded for the others.
struct BcdTicks {
    std::uint32_t upper = ~0u;  // bytes 2-4 of the last tag, day bits cleared
    std::int64_t secondsTicks = 0;

    static std::int64_t MsTicks(std::uint32_t bytes01) {
        const std::uint32_t x = bytes01 & 0xFFFF;
        const std::uint32_t dec = (x >> 4 & 0x0F0F) * 10 + (x & 0x0F0F);
        return std::int64_t(dec >> 8) * 100 + std::int64_t(dec & 0xFF);
    }
    std::int64_t operator()(const std::uint8_t* tag) {
        std::uint32_t low;
        std::memcpy(&low, tag, sizeof low);
        const std::uint32_t u = low >> 16 | std::uint32_t(tag[4] & 0x3F) << 16;
        const std::int64_t ms = MsTicks(low);
        if (u != upper) [[unlikely]] {
            upper = u;
            secondsTicks = datapath::TagTicks(tag, datapath::kBcdTimeTag) - ms;
        }
        return secondsTicks + ms;
    }
};

}  // namespace

double SubframePeriodMs(std::uint32_t words, std::uint32_t wordBytes, std::uint32_t bitRate) {
    if (bitRate == 0) return 0.0;
    return double(words) * double(wordBytes) * 8.0 * 1000.0 / double(bitRate);
}

// --- frame counter ---

FrameCountCheck::FrameCountCheck() {
    const std::string at = kAtTime;
    lineFormat_[0] = plat::Utf8ToGbk(at + "帧计数从0x%02X跃变到了0x%02X,\r\n ");
    lineFormat_[1] = plat::Utf8ToGbk(at + "帧计数从0x%04X跃变到了0x%04X,\r\n ");
    lineFormat_[2] = plat::Utf8ToGbk(at + "帧计数从0x%08X跃变到了0x%08X,\r\n ");
}

void FrameCountCheck::Start() {
    first_ = true;
    expected_ = 0;
    text_.Clear();
    text_.Reserve(kInitialReportBytes);
}

std::size_t FrameCountCheck::CheckBlock(const std::uint8_t* block, std::size_t length,
                                        const BlockShape& shape, std::uint32_t highPos,
                                        std::uint32_t lowPos) {
    text_.Clear();
    const bool high = highPos != 0;
    if (!block || !Readable(shape, lowPos) || (high && !Readable(shape, highPos))) return 0;
    const std::uint64_t r = RecordBytes(shape);
    const std::size_t records = RecordsExamined(length, r, shape.subframes);
    if (records == 0) return 0;

    const std::uint32_t b = shape.wordBytes;
    const std::size_t low = shape.headerBytes + std::size_t{lowPos - 1} * b;
    const std::size_t hi = high ? shape.headerBytes + std::size_t{highPos - 1} * b : 0;
    if (first_) {
        first_ = false;
        std::uint32_t first = b == 1 ? Word<1>(block + low) : Word<2>(block + low);
        std::uint32_t mask = b == 1 ? 0xFFu : 0xFFFFu;
        if (high) {
            first |= (b == 1 ? Word<1>(block + hi) : Word<2>(block + hi)) << (8 * b);
            mask = b == 1 ? 0xFFFFu : 0xFFFFFFFFu;
        }
        expected_ = (first - 1) & mask;
    }
    const std::uint32_t f = shape.tagFormat;
    if (b == 1 && !high)
        return CountLoop<1, false>(block, records, r, low, hi, f, expected_, text_, lineFormat_[0]);
    if (b == 1)
        return CountLoop<1, true>(block, records, r, low, hi, f, expected_, text_, lineFormat_[1]);
    if (!high)
        return CountLoop<2, false>(block, records, r, low, hi, f, expected_, text_, lineFormat_[1]);
    return CountLoop<2, true>(block, records, r, low, hi, f, expected_, text_, lineFormat_[2]);
}

// --- subframe ID ---

IdCountCheck::IdCountCheck() {
    const std::string at = kAtTime;
    lineFormat_[0] = plat::Utf8ToGbk(at + "ID计数从0x%02X跃变到了0x%02X,\r\n ");
    lineFormat_[1] = plat::Utf8ToGbk(at + "ID计数从0x%04X跃变到了0x%04X,\r\n ");
}

void IdCountCheck::Start() {
    first_ = true;
    expected_ = 0;
    text_.Clear();
    text_.Reserve(kInitialReportBytes);
}

std::size_t IdCountCheck::CheckBlock(const std::uint8_t* block, std::size_t length,
                                     const BlockShape& shape, std::uint32_t idPos) {
    text_.Clear();
    if (!block || !Readable(shape, idPos)) return 0;
    const std::uint64_t r = RecordBytes(shape);
    const std::size_t records = RecordsExamined(length, r, shape.subframes);
    if (records == 0) return 0;

    const std::uint32_t b = shape.wordBytes;
    const std::uint32_t n = shape.subframes;
    const std::size_t at = shape.headerBytes + std::size_t{idPos - 1} * b;
    auto read = [&](const std::uint8_t* rec) {
        return std::uint16_t(b == 1 ? Word<1>(rec + at) : Word<2>(rec + at));
    };
    const std::string& format = lineFormat_[b == 1 ? 0 : 1];
    if (first_) {
        first_ = false;
        expected_ = std::uint16_t(read(block) - 1);
    }
    std::size_t lines = 0;
    std::uint16_t e = expected_;
    const std::uint8_t* rec = block;
    for (std::size_t i = 0; i < records; ++i, rec += r) {
        // e is below n but after a reported ID, so the division is rare.
        const std::uint16_t next = std::uint16_t(e + 1);
        e = next < n ? next : std::uint16_t(next % n);
        const std::uint16_t v = read(rec);
        if (v == e) [[likely]]
            continue;
        const datapath::TagTime t = datapath::DecodeTimeTag(rec, shape.tagFormat);
        AppendLine(text_, format, t.hours, t.minutes, t.seconds, t.ms, unsigned(e), unsigned(v));
        e = v;
        ++lines;
    }
    expected_ = e;
    return lines;
}

// --- time continuity ---

TimeContinuityCheck::TimeContinuityCheck()
    : lineFormat_(
          plat::Utf8ToGbk("时间从%02d:%02d:%03d:%05.01lf跃变到了%02d:%02d:%03d:%05.01lf,\r\n ")) {}

void TimeContinuityCheck::Start() {
    first_ = true;
    std::memset(prevTag_, 0, sizeof prevTag_);
    prevFormat_ = 0;
    text_.Clear();
    text_.Reserve(kInitialReportBytes);
}

bool TimeContinuityCheck::JumpByDoubles(double previous, double now, double twice) const {
    constexpr double kDayMs = 86400000.0;
    double d = now - previous;
    if (d < 0) d += kDayMs;  // the day rolled over
    return d > twice || d < 0;
}

void TimeContinuityCheck::AppendJump(const std::uint8_t* previousTag, std::uint32_t previousFormat,
                                     const std::uint8_t* tag, std::uint32_t format) {
    const datapath::TagTime p = datapath::DecodeTimeTag(previousTag, previousFormat);
    const datapath::TagTime t = datapath::DecodeTimeTag(tag, format);
    AppendLine(text_, lineFormat_, p.hours, p.minutes, p.seconds, p.ms, t.hours, t.minutes,
               t.seconds, t.ms);
}

// The jump test is d > 2P || d < 0 on doubles. Records are compared here in
// whole ticks instead, which gives the same answer wherever the tick
// difference lies clearly apart from 0 and from 2P; the few that do not (a
// 2P that is a whole number of ticks, equal times) are decided on the
// doubles themselves, so the report is exactly that of the doubles.
std::size_t TimeContinuityCheck::CheckBlock(const std::uint8_t* block, std::size_t length,
                                            const BlockShape& shape, std::uint32_t bitRate) {
    text_.Clear();
    if (!block || bitRate == 0 || shape.headerBytes < 5) return 0;
    const std::uint64_t r = RecordBytes(shape);
    const std::size_t records = RecordsExamined(length, r, shape.subframes);
    if (records == 0) return 0;

    const double period = SubframePeriodMs(shape.words, shape.wordBytes, bitRate);
    const double twice = 2 * period;
    const std::uint32_t f = shape.tagFormat;
    std::size_t lines = 0;

    // The first record against the block before (or, after a start, against
    // its own time less one period), on the doubles.
    {
        const double now = datapath::TagDayMs(block, f);
        const double previous = first_ ? now - period : datapath::TagDayMs(prevTag_, prevFormat_);
        if (JumpByDoubles(previous, now, twice)) {
            AppendJump(first_ ? block : prevTag_, first_ ? f : prevFormat_, block, f);
            ++lines;
        }
        first_ = false;
    }

    // Tick differences at or below `quiet` are no jump, at or above `loud`
    // a jump; those between, and 0, go to the doubles. The margin of 0.01
    // tick is far above the doubles' rounding (below 1e-6 ms).
    const std::int64_t perMs = datapath::TicksPerMs(f);
    const std::int64_t day = 86400000 * perMs;
    const double twiceTicks = std::min(twice * double(perMs), 1e15);
    const std::int64_t quiet =
        std::max<std::int64_t>(0, std::int64_t(std::ceil(twiceTicks - 0.01)) - 1);
    const std::int64_t loud = std::int64_t(std::floor(twiceTicks + 0.01)) + 1;

    auto examine = [&](auto ticksOf) {
        std::int64_t previous = ticksOf(block);
        const std::uint8_t* rec = block + r;
        for (std::size_t i = 1; i < records; ++i, rec += r) {
            const std::int64_t now = ticksOf(rec);
            std::int64_t d = now - previous;
            previous = now;
            d += (d >> 63) & day;  // the day rolled over
            // One unsigned compare for 0 < d <= quiet.
            if (std::uint64_t(d - 1) < std::uint64_t(quiet)) [[likely]]
                continue;
            // Left here: a step back, one clearly beyond 2P, or one the ticks
            // cannot decide (0, or between quiet and loud).
            const bool jump =
                d < 0 || d >= loud ||
                JumpByDoubles(datapath::TagDayMs(rec - r, f), datapath::TagDayMs(rec, f), twice);
            if (!jump) continue;
            AppendJump(rec - r, f, rec, f);
            ++lines;
        }
    };
    if (f == datapath::kBcdTimeTag)
        examine(BcdTicks{});
    else
        examine([](const std::uint8_t* tag) { return datapath::TagTicks(tag, 1); });
    const std::uint8_t* last = block + (records - 1) * r;
    std::memcpy(prevTag_, last, sizeof prevTag_);
    prevFormat_ = f;
    return lines;
}

std::size_t TimeContinuityCheck::CheckBlockByDoubles(const std::uint8_t* block, std::size_t length,
                                                     const BlockShape& shape,
                                                     std::uint32_t bitRate) {
    text_.Clear();
    if (!block || bitRate == 0 || shape.headerBytes < 5) return 0;
    const std::uint64_t r = RecordBytes(shape);
    const std::size_t records = RecordsExamined(length, r, shape.subframes);
    if (records == 0) return 0;
    const double period = SubframePeriodMs(shape.words, shape.wordBytes, bitRate);
    const double twice = 2 * period;
    const std::uint32_t f = shape.tagFormat;
    double previous =
        first_ ? datapath::TagDayMs(block, f) - period : datapath::TagDayMs(prevTag_, prevFormat_);
    std::size_t lines = 0;
    const std::uint8_t* rec = block;
    for (std::size_t i = 0; i < records; ++i, rec += r) {
        const double now = datapath::TagDayMs(rec, f);
        if (JumpByDoubles(previous, now, twice)) {
            if (i == 0)
                AppendJump(first_ ? block : prevTag_, first_ ? f : prevFormat_, rec, f);
            else
                AppendJump(rec - r, f, rec, f);
            ++lines;
        }
        previous = now;
    }
    first_ = false;
    std::memcpy(prevTag_, rec - r, sizeof prevTag_);
    prevFormat_ = f;
    return lines;
}

}  // namespace stats

#include "param_model.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace prefs {
namespace {

std::int32_t ClampInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

bool IsEmpty(double v) {
    return v == kEmptyMarker;
}

std::string WithoutBlanks(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// At most `maxBytes` bytes of `text`, never ending inside a UTF-8 character.
std::size_t Utf8Prefix(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    std::size_t n = maxBytes;
    while (n > 0 && IsContinuationByte(static_cast<unsigned char>(text[n]))) --n;
    return n;
}

void CopyText(const std::string& text, char (&field)[200]) {
    std::size_t n = Utf8Prefix(text, sizeof field - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Byte positions of one parameter inside what its level reads.
void SetPositions(ParamRecord& r, Level level, std::int32_t wb, const FrameStructure& f) {
    const std::int64_t T = f.timeCodeWidth, L = f.subframeLen;
    std::int64_t c = 0;
    if (level == Level::Superframe && r.frameNumber >= 1 && r.frameNumber <= kSuperframeColumns)
        c = f.superColumns[std::size_t(r.frameNumber - 1)];
    auto first = [&](std::int64_t route) -> std::int64_t {
        switch (level) {
            case Level::Subframe:
                return wb == 1 ? route + T - 1 : T + 2 * route - 2;
            case Level::Superframe:
                return wb == 1 ? (route - 1) * (L + T) + c + T - 1
                               : (route - 1) * (T + 2 * L) + 2 * c - 2 + T;
            case Level::Special:
            default:
                return wb == 1 ? route - 1 : 2 * route - 2;
        }
    };
    if (wb == 1) {
        for (int i = 0; i < 8; ++i) r.nBytePos[i] = ClampInt32(first(r.routes[i]));
    } else if (wb == 2) {
        for (int i = 0; i < 4; ++i) {
            const std::int64_t p = first(r.routes[i]);
            r.nBytePos[2 * i] = ClampInt32(p);
            r.nBytePos[2 * i + 1] = ClampInt32(p + 1);
        }
    }
}

}  // namespace

std::string CutChars(std::string text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuationByte(static_cast<unsigned char>(text[i]))) continue;
        if (chars == maxChars) {
            text.resize(i);
            break;
        }
        ++chars;
    }
    return text;
}

std::int32_t WordBytes(std::int64_t wordBits) {
    if (wordBits < 1 || wordBits > 64) return 0;
    return static_cast<std::int32_t>((wordBits + 7) / 8);
}

void NormalizeLimits(double coef[6], double& max, double& min, double& upper, double& lower,
                     bool isSigned, std::int32_t nBytes) {
    if (IsEmpty(coef[0])) coef[0] = 0.0;
    for (int i = 1; i < 6; ++i)
        if (IsEmpty(coef[i])) coef[i] = 1.0;
    if (IsEmpty(max) || IsEmpty(min) || IsEmpty(upper) || IsEmpty(lower)) {
        // In double: an integer shift overflows from 8 bytes on.
        const int bits = std::clamp(8 * std::clamp(nBytes, 0, 125), 0, 1000);
        double fullMax, fullMin;
        if (isSigned) {
            fullMax = std::ldexp(1.0, bits - 1) - 1.0;
            fullMin = 1.0 - std::ldexp(1.0, bits - 1);
        } else {
            fullMax = std::ldexp(1.0, bits) - 1.0;
            fullMin = 0.0;
        }
        if (IsEmpty(max)) max = fullMax;
        if (IsEmpty(min)) min = fullMin;
        if (IsEmpty(upper)) upper = max;
        if (IsEmpty(lower)) lower = min;
    }
    if (upper > max) upper = max;
    if (lower < min) lower = min;
}

ParamRecord ConvertRow(const ParamRow& row, Level level, const FrameStructure& frame) {
    ParamRecord r;
    r.name = WithoutBlanks(CutChars(row.name, kMaxTextChars));
    r.meaning = WithoutBlanks(CutChars(row.meaning, kMaxTextChars));
    r.unit = WithoutBlanks(CutChars(row.unit, kMaxTextChars));
    r.bSigned = row.dataType == "有符号数" ? 1 : 0;
    r.bFormula = row.processType == "公式法" ? 1 : 0;

    const std::int32_t wb = WordBytes(frame.wordBitsDb);
    const std::int64_t words = row.wordCount.value_or(0);
    r.nBytes = ClampInt32(std::clamp<std::int64_t>(words, INT32_MIN, INT32_MAX) * wb);
    const std::int64_t bit = row.bit.value_or(0);
    r.nBit = bit >= 0 && bit < std::int64_t{r.nBytes} * 8 ? std::int32_t(bit) : 0;

    r.frameNumber = row.frameNo.value_or(0);
    if (level == Level::Special) r.nFrameNo = ClampInt32(r.frameNumber);
    for (int i = 0; i < 8; ++i) r.routes[i] = ClampInt32(row.routes[i].value_or(0));
    r.routeCount = std::int32_t(std::clamp<std::int64_t>(words, 0, 8));
    SetPositions(r, level, wb, frame);

    for (int i = 0; i < 6; ++i) r.dCoef[i] = row.coef[i].value_or(kEmptyMarker);
    r.dMax = row.max.value_or(kEmptyMarker);
    r.dMin = row.min.value_or(kEmptyMarker);
    r.dUpper = row.upper.value_or(kEmptyMarker);
    r.dLower = row.lower.value_or(kEmptyMarker);
    NormalizeLimits(r.dCoef, r.dMax, r.dMin, r.dUpper, r.dLower, r.bSigned != 0, r.nBytes);
    return r;
}

FrameLayout BuildLayout(const FrameStructure& f, const std::vector<SpecialDescription>& specials) {
    FrameLayout l;
    const std::int32_t wb = WordBytes(f.wordBitsDb);
    const bool sane = (wb == 1 || wb == 2) && f.timeCodeWidth >= 0 && f.timeCodeWidth <= 65536 &&
                      f.subframeLen >= 1 && f.subframeLen <= (1 << 20) && f.superframeLen >= 1 &&
                      f.superframeLen <= (1 << 20);
    if (sane) {
        const std::int64_t record = f.subframeLen * wb + f.timeCodeWidth;
        const std::int64_t super = record * f.superframeLen;
        if (super <= INT32_MAX) {
            l.wordBytes = wb;
            l.timeCodeWidth = std::int32_t(f.timeCodeWidth);
            l.subframeLen = std::int32_t(f.subframeLen);
            l.superframeLen = std::int32_t(f.superframeLen);
            l.subframeRecordBytes = record;
            l.superframeBytes = super;
            l.solvable = true;
        }
    }
    int id = 0;
    for (const SpecialDescription& d : specials) {
        SpecialFrameRecord s;
        s.id = ++id;
        s.orderFlag = d.orderFlag == 0 ? 0 : 1;
        bool ok = l.solvable && d.length >= 1 && d.length <= kMaxSpecialLength && d.syncLen >= 1 &&
                  d.syncLen < d.length;
        if (ok) {
            s.length = std::int32_t(d.length);
            s.syncLen = std::int32_t(d.syncLen);
            std::string digits;
            for (char c : d.syncHex)
                if (c != ' ') digits += c;
            for (std::size_t i = 0; i + 1 < digits.size() && s.sync.size() < std::size_t(s.syncLen);
                 i += 2) {
                const int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
                if (hi < 0 || lo < 0) break;
                s.sync.push_back(std::uint8_t(hi << 4 | lo));
            }
            ok = s.sync.size() == std::size_t(s.syncLen) && !d.wordPositions.empty() &&
                 d.wordPositions.size() <= 4096;
        }
        if (ok) {
            for (std::int64_t w : d.wordPositions) {
                if (w < 1 || w > l.subframeLen) {
                    ok = false;
                    break;
                }
                if (l.wordBytes == 1) {
                    s.bytePositions.push_back(std::int32_t(w + l.timeCodeWidth - 1));
                } else {
                    const std::int32_t p = std::int32_t((w - 1) * 2 + l.timeCodeWidth);
                    s.bytePositions.push_back(p);
                    s.bytePositions.push_back(p + 1);
                }
            }
        }
        if (ok) {
            s.bytesPerSubframe = std::int32_t(d.wordPositions.size()) * l.wordBytes;
            s.solvable = true;
        } else {
            s.sync.clear();
            s.bytePositions.clear();
        }
        l.specials.push_back(std::move(s));
    }
    return l;
}

void CheckPositions(std::vector<ParamRecord>& records, Level level, const FrameStructure& f,
                    const FrameLayout& layout) {
    for (ParamRecord& r : records) {
        r.solvable = false;
        if (!layout.solvable || r.nBytes < 1 || r.nBytes > 8 || r.routeCount < 1) continue;
        if (r.routeCount * layout.wordBytes < r.nBytes) continue;
        std::int64_t limit = 0;  // bytes of what the level reads
        bool ok = true;
        for (int i = 0; i < r.routeCount && ok; ++i) {
            const std::int64_t route = r.routes[i];
            switch (level) {
                case Level::Subframe:
                    ok = route >= 1 && route <= layout.subframeLen;
                    break;
                case Level::Superframe:
                    ok = route >= 1 && route <= layout.superframeLen;
                    break;
                case Level::Special:
                    ok = route >= 1;
                    break;
            }
        }
        if (!ok) continue;
        switch (level) {
            case Level::Subframe:
                limit = layout.subframeRecordBytes;
                break;
            case Level::Superframe: {
                if (r.frameNumber < 1 || r.frameNumber > kSuperframeColumns) continue;
                const std::int64_t c = f.superColumns[std::size_t(r.frameNumber - 1)];
                if (c < 1 || c > layout.subframeLen) continue;
                limit = layout.superframeBytes;
                break;
            }
            case Level::Special: {
                if (r.frameNumber < 1 || r.frameNumber > std::int64_t(layout.specials.size()))
                    continue;
                const SpecialFrameRecord& s = layout.specials[std::size_t(r.frameNumber - 1)];
                if (!s.solvable) continue;
                limit = s.length;
                break;
            }
        }
        for (int k = 0; k < r.nBytes && ok; ++k) ok = r.nBytePos[k] >= 0 && r.nBytePos[k] < limit;
        r.solvable = ok;
    }
}

std::int64_t HandOffSize(const FrameStructure& f, const FrameLayout& layout) {
    if (!layout.solvable) return kHandOffMax;
    const std::int64_t S = layout.superframeBytes;
    const std::int64_t P =
        std::int64_t{layout.superframeLen} * layout.subframeLen * layout.wordBytes;
    const std::int64_t k = std::max<std::int64_t>(1, f.bitRate / 320 / P);
    if (k > kHandOffMax / S) return kHandOffMax;
    return std::min(k * S, kHandOffMax);
}

void ToParStructEx(const ParamRecord& r, ParStructEx& out) {
    std::memset(&out, 0, sizeof out);
    CopyText(r.name, out.strName);
    CopyText(r.meaning, out.strMeaning);
    CopyText(r.unit, out.strUnit);
    out.bSigned = r.bSigned;
    out.dMax = r.dMax;
    out.dMin = r.dMin;
    out.bFormula = r.bFormula;
    out.nBit = r.nBit;
    out.dUpper = r.dUpper;
    out.dLower = r.dLower;
    std::memcpy(out.dCoef, r.dCoef, sizeof out.dCoef);
    out.nBytes = r.nBytes;
    std::memcpy(out.nBytePos, r.nBytePos, sizeof out.nBytePos);
    out.nSelected = r.nSelected;
    out.nSelStripe = r.nSelStripe;
    out.nSelCurve = r.nSelCurve;
    out.nSelTable = r.nSelTable;
    out.nSelReply = r.nSelReply;
    out.nFrameNo = r.nFrameNo;
}

}  // namespace prefs

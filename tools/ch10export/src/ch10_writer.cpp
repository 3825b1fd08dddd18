#include <ch10export/ch10_writer.h>

#include <cstdio>

namespace ch10export {

namespace {

constexpr std::uint8_t kTypeTmats = 0x01;
constexpr std::uint8_t kTypePcm = 0x09;
constexpr std::uint8_t kTypeTime = 0x11;
constexpr std::uint8_t kDataTypeVersion = 0x08;  // 106-17
constexpr std::uint32_t kTmatsVersion = 0x0C;    // 106-17 in the setup record's word
constexpr std::int64_t kSecond = 10'000'000;
constexpr std::int64_t kDay = 86400 * kSecond;
constexpr std::size_t kIntraHeaderBytes = 10;  // 8-byte time stamp + 2-byte data header

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(std::uint8_t(x));
    v.push_back(std::uint8_t(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
void Set16(std::uint8_t* p, std::uint32_t x) {
    p[0] = std::uint8_t(x);
    p[1] = std::uint8_t(x >> 8);
}
void Set32(std::uint8_t* p, std::uint32_t x) {
    Set16(p, x & 0xFFFF);
    Set16(p + 2, x >> 16);
}

const char* LineCode(std::uint32_t codeType) {
    static const char* const kCodes[] = {"NRZ-L", "NRZ-M", "NRZ-S", "BIO-L",
                                         "BIO-M", "BIO-S", "RNRZ-L"};
    return codeType < 7 ? kCodes[codeType] : "NRZ-L";
}

}  // namespace

std::uint16_t HeaderChecksum(const std::uint8_t* header) {
    std::uint32_t sum = 0;
    for (int i = 0; i < 11; ++i) sum += std::uint32_t(header[2 * i]) | header[2 * i + 1] << 8;
    return std::uint16_t(sum);
}

std::string TmatsText(const PcmDescription& d) {
    std::string sync;
    for (int b = int(d.syncBits) - 1; b >= 0; --b) sync += (d.syncCode >> b & 1) ? '1' : '0';
    std::string t;
    auto attr = [&t](const std::string& code, const std::string& value) {
        t += code + ":" + value + ";\r\n";
    };
    attr("G\\106", "17");
    attr("G\\DSI\\N", "1");
    attr("G\\DSI-1", "TALVORA");
    attr("R-1\\ID", "TALVORA");
    attr("R-1\\N", "2");
    attr("R-1\\TK1-1", std::to_string(kTimeChannel));
    attr("R-1\\DSI-1", "TIME");
    attr("R-1\\CDT-1", "TIMEIN");
    attr("R-1\\CHE-1", "T");
    attr("R-1\\TK1-2", std::to_string(kPcmChannel));
    attr("R-1\\DSI-2", "PCM1");
    attr("R-1\\CDT-2", "PCMIN");
    attr("R-1\\CHE-2", "T");
    attr("R-1\\PDTF-2", "1");
    attr("R-1\\PDP-2", "PFS");
    attr("P-1\\DLN", "PCM1");
    attr("P-1\\D1", LineCode(d.codeType));
    attr("P-1\\D2", std::to_string(d.bitRate));
    attr("P-1\\TF", "ONE");
    attr("P-1\\F1", std::to_string(d.wordBits));
    attr("P-1\\F2", "M");
    attr("P-1\\MF\\N", std::to_string(d.superframeLength));
    attr("P-1\\MF1", std::to_string(d.subframeWords));
    attr("P-1\\MF2", std::to_string(std::uint64_t{d.subframeWords} * d.wordBits));
    attr("P-1\\MF3", "FPT");
    attr("P-1\\MF4", std::to_string(d.syncBits));
    attr("P-1\\MF5", sync);
    if (d.superframeLength > 1 && d.superframeType == 2) {
        // The subframe ID counter: its word position and counting range.
        attr("P-1\\ISF\\N", "1");
        attr("P-1\\IDC1-1", std::to_string(d.idWord));
        attr("P-1\\IDC3-1", "0");
        attr("P-1\\IDC4-1", std::to_string(d.superframeLength - 1));
    }
    return t;
}

Ch10Writer::Ch10Writer(const PcmDescription& d, Sink sink) : d_(d), sink_(std::move(sink)) {
    body_.reserve(kMaxPcmData + 16 * 1024);
    packet_.reserve(kMaxPcmData + 32 * 1024);
}

void Ch10Writer::Emit(std::uint16_t channel, std::uint8_t type, std::uint64_t rtc) {
    if (failed_) return;
    const std::size_t dataLength = body_.size();
    const std::size_t packetLength = kPacketHeaderBytes + (dataLength + 3) / 4 * 4;
    packet_.assign(packetLength, 0);
    std::uint8_t* h = packet_.data();
    Set16(h, 0xEB25);
    Set16(h + 2, channel);
    Set32(h + 4, std::uint32_t(packetLength));
    Set32(h + 8, std::uint32_t(dataLength));
    h[12] = kDataTypeVersion;
    h[13] = sequence_[channel]++;
    h[14] = 0;  // no secondary header, no data checksum, time stamps in counter form
    h[15] = type;
    for (int i = 0; i < 6; ++i) h[16 + i] = std::uint8_t(rtc >> (8 * i));
    Set16(h + 22, HeaderChecksum(h));
    std::copy(body_.begin(), body_.end(), packet_.begin() + kPacketHeaderBytes);
    body_.clear();
    if (!sink_(packet_)) failed_ = true;
    ++packets_;
}

void Ch10Writer::EmitTmats() {
    const std::string text = TmatsText(d_);
    body_.clear();
    Put32(body_, kTmatsVersion);  // ASCII, setup unchanged
    body_.insert(body_.end(), text.begin(), text.end());
    Emit(0, kTypeTmats, 0);
}

void Ch10Writer::EmitTime(const TagTime& t, std::uint64_t rtc) {
    // Time from the card's time code is external IRIG-B; host tags are the
    // host's own clock.
    const std::uint32_t source = d_.tagFormat == 0 ? 1 : 0;
    const std::uint32_t format = d_.tagFormat == 0 ? 0 : 3;
    body_.clear();
    Put32(body_, source | format << 4);
    const unsigned tensMs = t.millisecond / 10;
    Put16(body_, (tensMs % 10) | (tensMs / 10) << 4 | (t.second % 10) << 8 | (t.second / 10) << 12);
    Put16(body_, (t.minute % 10) | (t.minute / 10) << 4 | (t.hour % 10) << 8 | (t.hour / 10) << 12);
    Put16(body_, (t.day % 10) | (t.day / 10 % 10) << 4 | (t.day / 100 % 10) << 8);
    Emit(kTimeChannel, kTypeTime, rtc);
}

void Ch10Writer::AppendFrameBits(const std::uint8_t* words) {
    const std::size_t start = body_.size();
    const std::size_t wordBytes = WordBytes(d_);
    if (d_.wordBits % 8 == 0) {
        body_.insert(body_.end(), words, words + wordBytes * d_.subframeWords);
    } else {
        // Words narrower than their bytes: the low bits of each, MSB first.
        std::uint32_t acc = 0;
        unsigned have = 0;
        for (std::uint32_t w = 0; w < d_.subframeWords; ++w) {
            std::uint32_t value = 0;
            for (std::size_t b = 0; b < wordBytes; ++b)
                value = value << 8 | words[w * wordBytes + b];
            for (int bit = int(d_.wordBits) - 1; bit >= 0; --bit) {
                acc = acc << 1 | (value >> bit & 1);
                if (++have == 8) {
                    body_.push_back(std::uint8_t(acc));
                    acc = 0;
                    have = 0;
                }
            }
        }
        if (have) body_.push_back(std::uint8_t(acc << (8 - have)));
    }
    if ((body_.size() - start) % 2) body_.push_back(0);
    // The stream is held in 16-bit little-endian words whose most
    // significant bit is the first bit received.
    for (std::size_t i = start; i + 1 < body_.size(); i += 2) std::swap(body_[i], body_[i + 1]);
}

void Ch10Writer::AddRecord(const std::uint8_t* record) {
    if (failed_) return;
    const TagTime t = DecodeTag(record, d_.tagFormat);
    std::int64_t ticks = t.ticks + dayOffset_;
    if (!started_) {
        started_ = true;
        // Counter 0 sits on the 10 ms step of the first tag, the resolution
        // of a time packet, so the first time packet is exact.
        base_ = ticks - ticks % (kSecond / 100);
        lastTicks_ = ticks;
        EmitTmats();
        TagTime first = DecodeTag(record, d_.tagFormat);
        EmitTime(first, 0);
        nextTimeSecond_ = (ticks / kSecond + 1) * kSecond;
    } else if (ticks + kDay / 2 < lastTicks_) {
        // A tag without a day stamp wrapped at midnight.
        dayOffset_ += kDay;
        ticks += kDay;
    }
    lastTicks_ = ticks;
    const std::uint64_t rtc = ticks > base_ ? std::uint64_t(ticks - base_) : 0;
    const std::size_t frameBytes = kIntraHeaderBytes + (RecordBytes(d_) - 8 + 1) / 2 * 2 + 2;
    if (pcmFrames_ && (ticks >= nextTimeSecond_ || ticks - pcmFirstTicks_ >= kMaxPcmSpan ||
                       body_.size() + frameBytes > kMaxPcmData))
        FlushPcm();
    if (ticks >= nextTimeSecond_) {
        const std::int64_t second = ticks / kSecond * kSecond;
        TagTime at{};
        at.ticks = second;
        at.day = unsigned(second / kDay);
        at.hour = unsigned(second % kDay / (3600 * kSecond));
        at.minute = unsigned(second % kDay / (60 * kSecond) % 60);
        at.second = unsigned(second % kDay / kSecond % 60);
        EmitTime(at, std::uint64_t(second - base_));
        nextTimeSecond_ = second + kSecond;
    }
    if (pcmFrames_ == 0) {
        body_.clear();
        Put32(body_, 0);  // channel-specific word, filled at the flush
        pcmRtc_ = rtc;
        pcmFirstTicks_ = ticks;
        pcmMajorStart_ = t.subframeIndex == 0;
    }
    for (int i = 0; i < 8; ++i) body_.push_back(i < 6 ? std::uint8_t(rtc >> (8 * i)) : 0);
    Put16(body_, 0xF000);  // minor and major frame locked
    AppendFrameBits(record + 8);
    ++pcmFrames_;
}

void Ch10Writer::FlushPcm() {
    if (pcmFrames_ == 0) return;
    // Packed mode, intra-packet headers, 16-bit alignment, locked; every
    // packet begins with a minor frame, and with a major frame when the
    // first tag's subframe index is 0.
    std::uint32_t word = 1u << 19 | 1u << 30 | 0xFu << 24 | 1u << 28;
    if (pcmMajorStart_ && d_.superframeLength > 1) word |= 1u << 29;
    Set32(body_.data(), word);
    pcmFrames_ = 0;
    Emit(kPcmChannel, kTypePcm, pcmRtc_);
}

void Ch10Writer::Finish() {
    FlushPcm();
}

}  // namespace ch10export

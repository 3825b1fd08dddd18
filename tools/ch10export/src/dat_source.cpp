#include <ch10export/dat_source.h>

namespace ch10export {

namespace {

constexpr std::size_t kHeaderBytes = 1024;

std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint64_t Get64(const std::uint8_t* p) {
    return std::uint64_t{Get32(p)} | std::uint64_t{Get32(p + 4)} << 32;
}

unsigned Bcd(unsigned byte) {
    return (byte >> 4) * 10 + (byte & 0xF);
}

}  // namespace

std::size_t WordBytes(const PcmDescription& d) {
    return (std::size_t{d.wordBits} + 7) / 8;
}

std::size_t RecordBytes(const PcmDescription& d) {
    return WordBytes(d) * d.subframeWords + 8;
}

LayoutResult ReadLayout(std::span<const std::uint8_t> head, const DescriptionOverrides& given) {
    DatLayout l;
    const bool withHeader = head.size() >= kHeaderBytes && Get32(head.data() + 336) == kHeaderBytes;
    if (withHeader) {
        const std::uint8_t* h = head.data();
        l.headerLength = kHeaderBytes;
        l.headerRecords = Get64(h + 384);
        l.pcm.syncCode = Get64(h + 704);
        l.pcm.syncBits = Get32(h + 716);
        l.pcm.bitRate = Get32(h + 724);
        l.pcm.codeType = Get32(h + 728);
        l.pcm.wordBits = Get32(h + 732);
        l.pcm.subframeWords = Get32(h + 736);
        l.pcm.superframeLength = Get32(h + 740);
        l.pcm.tagFormat = Get32(h + 764);
        // The superframe type and ID position live only in the identification block.
        l.pcm.superframeType = (h[45] + 1u) & 0xFF;
        l.pcm.idWord = std::uint32_t(h[53]) | std::uint32_t(h[54]) << 8;
    } else {
        std::string missing;
        if (!given.wordBits) missing += " --word-bits";
        if (!given.subframeWords) missing += " --subframe-words";
        if (!given.bitRate) missing += " --bit-rate";
        if (!missing.empty())
            return {std::nullopt,
                    "the file has no header; the frame description is missing:" + missing};
    }
    if (given.wordBits) l.pcm.wordBits = *given.wordBits;
    if (given.subframeWords) l.pcm.subframeWords = *given.subframeWords;
    if (given.superframeLength) l.pcm.superframeLength = *given.superframeLength;
    if (given.bitRate) l.pcm.bitRate = *given.bitRate;
    if (given.codeType) l.pcm.codeType = *given.codeType;
    if (given.syncBits) l.pcm.syncBits = *given.syncBits;
    if (given.syncCode) l.pcm.syncCode = *given.syncCode;
    if (given.idWord) l.pcm.idWord = *given.idWord;
    if (given.tagFormat) l.pcm.tagFormat = *given.tagFormat;

    const PcmDescription& p = l.pcm;
    if (p.wordBits == 0 || p.wordBits > 32)
        return {std::nullopt,
                "word length must be 1 to 32 bits, not " + std::to_string(p.wordBits)};
    if (p.subframeWords == 0 || p.subframeWords > 2048)
        return {std::nullopt,
                "subframe length must be 1 to 2048 words, not " + std::to_string(p.subframeWords)};
    if (p.superframeLength == 0 || p.superframeLength > 256)
        return {std::nullopt, "superframe length must be 1 to 256 subframes, not " +
                                  std::to_string(p.superframeLength)};
    if (p.syncBits == 0 || p.syncBits > 64 || (p.syncBits < 64 && (p.syncCode >> p.syncBits) != 0))
        return {std::nullopt, "the sync code does not fit its bit length"};
    if (p.bitRate == 0) return {std::nullopt, "the bit rate must not be 0"};
    return {l, {}};
}

TagTime DecodeTag(const std::uint8_t* tag, std::uint32_t tagFormat) {
    TagTime t;
    t.subframeIndex = tag[6];
    std::int64_t subSecond = 0;  // 100 ns units
    unsigned secondOfDay = 0;
    if (tagFormat == 0) {
        const unsigned tenthsMs = Bcd(tag[1]) * 100 + Bcd(tag[0]);
        subSecond = std::int64_t{tenthsMs} * 1000;
        const unsigned units = (tag[5] & 0x3u) << 2 | tag[4] >> 6;
        t.day = (tag[5] >> 6) * 100 + (tag[5] >> 2 & 0xF) * 10 + units;
        secondOfDay =
            ((tag[4] >> 4 & 0x3) * 10 + (tag[4] & 0xF)) * 3600 + Bcd(tag[3]) * 60 + Bcd(tag[2]);
    } else {
        std::uint64_t v = 0;
        for (int i = 5; i >= 0; --i) v = v << 8 | tag[i];
        subSecond = std::int64_t(v & 0xFFFFF) * 10;
        secondOfDay = unsigned(v >> 20 & 0x1FFFF);
        t.day = unsigned(v >> 37 & 0x1FF);
    }
    t.ticks = (std::int64_t{t.day} * 86400 + secondOfDay) * 10'000'000 + subSecond;
    // Fields of the normalised time (a BCD digit above 9 or 1,000,000 us
    // carries into the next field instead of giving an impossible digit).
    const std::int64_t inDay = t.ticks % (86400LL * 10'000'000);
    t.day = unsigned(t.ticks / (86400LL * 10'000'000));
    t.hour = unsigned(inDay / (3600LL * 10'000'000));
    t.minute = unsigned(inDay / (60LL * 10'000'000) % 60);
    t.second = unsigned(inDay / 10'000'000 % 60);
    t.millisecond = unsigned(inDay / 10'000 % 1000);
    return t;
}

}  // namespace ch10export

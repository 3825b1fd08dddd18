#include "dem_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gnss_stream.h"

namespace cardengine {
namespace {

constexpr double kMicrosPerDay = 86400000000.0;

std::uint8_t Bcd(unsigned v) {
    return std::uint8_t((v / 10 % 10) << 4 | v % 10);
}

}  // namespace

DemLayout LayoutOf(const DemParam& dem) {
    DemLayout l;
    l.wordBits = dem.字长;
    l.wordBytes = (dem.字长 + 7) / 8;
    l.words = dem.子帧长;
    l.minors = dem.副帧长;
    l.taggedMinorBytes = std::size_t{l.words} * l.wordBytes + 8;
    if (dem.码率 != 0) l.minorDurationUs = double(l.words) * l.wordBits * 1e6 / dem.码率;
    // Words up to 32 bits, frames that fit one message.
    l.valid = l.wordBits >= 1 && l.wordBits <= 32 && l.words >= 1 && l.minors >= 1 &&
              l.taggedMinorBytes <= 65536 && dem.码率 != 0;
    return l;
}

void DemFrameGenerator::Configure(const DemParam& dem, const SimParam& sim, double startUs,
                                  const DemFaults& faults) {
    dem_ = dem;
    sim_ = sim;
    faults_ = faults;
    layout_ = LayoutOf(dem);
    mask_ = layout_.wordBits >= 64 ? ~0ull : (1ull << layout_.wordBits) - 1;
    frame_ = counter_ = stair_ = 0;
    startUs_ = startUs;
    gapUs_ = 0;
    random_ = 0x9E3779B9u;
    if (layout_.valid) BuildRoles();
}

void DemFrameGenerator::BuildRoles() {
    const std::uint32_t w = layout_.words, bits = layout_.wordBits;
    roles_.assign(w, Role::Signal);
    sync_.assign(w, 0);
    auto place = [&](std::uint32_t position, Role role) {  // 1-based; sync words win
        if (position >= 1 && position <= w && roles_[position - 1] == Role::Signal)
            roles_[position - 1] = role;
    };
    // Sync pattern MSB first over as many words as it needs, from the word
    // that 帧同步码位置 names (0: the first word).
    const std::uint32_t syncBits = std::min<std::uint32_t>(dem_.帧同步码位长, 64);
    const std::uint32_t syncWords = std::min<std::uint32_t>((syncBits + bits - 1) / bits, w);
    std::uint32_t first = dem_.帧同步码位置 == 0 ? 0 : dem_.帧同步码位置 - 1;
    if (first + syncWords > w) first = w - syncWords;
    for (std::uint32_t i = 0; i < syncBits; ++i) {
        const std::uint32_t word = first + i / bits;
        if (word >= w) break;
        const std::uint64_t bit = dem_.帧同步码 >> (syncBits - 1 - i) & 1;
        sync_[word] |= bit << (bits - 1 - i % bits);
        roles_[word] = Role::Sync;
    }
    if (dem_.副帧类型 == 2) place(dem_.副帧路序, Role::SubFrame);
    if (sim_.帧计数低位使能) place(sim_.帧计数低位路序, Role::CounterLow);
    if (sim_.帧计数中位使能) place(sim_.帧计数中位路序, Role::CounterMid);
    if (sim_.帧计数高位使能) place(sim_.帧计数高位路序, Role::CounterHigh);
    if (sim_.正弦波使能) place(sim_.正弦波路序, Role::Sine);
    counterWords_.clear();
    for (std::uint32_t i = 0; i < w; ++i)
        if (roles_[i] == Role::CounterLow || roles_[i] == Role::CounterMid ||
            roles_[i] == Role::CounterHigh)
            counterWords_.emplace_back(i, roles_[i]);
}

void DemFrameGenerator::PutWord(std::uint8_t* at, std::uint64_t value) const {
    value &= mask_;
    for (std::uint32_t b = 0; b < layout_.wordBytes; ++b)
        at[b] = std::uint8_t(value >> (8 * (layout_.wordBytes - 1 - b)));  // high byte first
}

std::uint64_t DemFrameGenerator::SignalWord() {
    if (faults_.steady) return sim_.信号初值;
    std::uint64_t v;
    switch (sim_.信号类型) {
        case 1:  // random
            random_ ^= random_ << 13;
            random_ ^= random_ >> 17;
            random_ ^= random_ << 5;
            v = random_;
            break;
        case 2:  // staircase
            v = sim_.信号初值 + stair_++ * std::uint64_t{sim_.台阶码步进};
            break;
        default:
            v = sim_.信号初值;
    }
    if (sim_.数据异或使能) v ^= sim_.异或操作数;
    return v;
}

void WriteCardTag(std::uint8_t* tag, double us, std::uint32_t index) {
    const auto day = static_cast<std::uint64_t>(us / kMicrosPerDay);
    const auto inDay = static_cast<std::uint64_t>(us - double(day) * kMicrosPerDay);
    const unsigned tenths = unsigned(inDay % 1000000 / 100);  // 0.1 ms units
    const unsigned s = unsigned(inDay / 1000000);
    tag[0] = Bcd(tenths % 100);
    tag[1] = Bcd(tenths / 100);
    tag[2] = Bcd(s % 60);
    tag[3] = Bcd(s / 60 % 60);
    tag[4] = std::uint8_t(Bcd(s / 3600) & 0x3F) | std::uint8_t((day >> 8 & 3) << 6);
    tag[5] = std::uint8_t(day);
    tag[6] = std::uint8_t(index);
    tag[7] = 0;
}

void DemFrameGenerator::StampCounter(std::uint8_t* taggedMinor, std::uint64_t counter) const {
    const std::uint32_t bits = layout_.wordBits;
    for (const auto& [i, role] : counterWords_) {
        std::uint8_t* at = taggedMinor + 8 + std::size_t{i} * layout_.wordBytes;
        if (role == Role::CounterLow)
            PutWord(at, counter);
        else if (role == Role::CounterMid)
            PutWord(at, bits >= 32 ? 0 : counter >> bits);
        else
            PutWord(at, bits >= 32 ? 0 : counter >> (2 * bits));
    }
}

std::size_t DemFrameGenerator::Generate(std::uint8_t* out, std::size_t maxBytes,
                                        std::size_t maxFrames, std::size_t* bytesWritten) {
    std::size_t written = 0, frames = 0;
    if (!layout_.valid) {
        *bytesWritten = 0;
        return 0;
    }
    const std::size_t tagged = layout_.taggedMinorBytes;
    const std::uint32_t n = layout_.minors;
    const double sineStep = sim_.正弦波步进 * 2.0 * M_PI / 256.0;
    const double half = double(mask_ >> 1);
    while (frames < maxFrames && written + tagged <= maxBytes) {
        const std::uint64_t f = frame_++;
        ++frames;
        const std::uint32_t index = std::uint32_t(f % n);
        if (faults_.counterJumpEvery && (f + 1) % faults_.counterJumpEvery == 0)
            counter_ += faults_.counterJumpBy;
        if (faults_.tagGapEvery && (f + 1) % faults_.tagGapEvery == 0) gapUs_ += faults_.tagGapUs;
        const std::uint64_t counter = counter_++;
        if (faults_.dropEvery && (f + 1) % faults_.dropEvery == 0) continue;

        std::uint8_t* frame = out + written;
        const double frameUs = startUs_ + double(f) * layout_.minorDurationUs + gapUs_;
        WriteCardTag(frame, frameUs, index);
        std::uint8_t* words = frame + 8;
        for (std::uint32_t i = 0; i < layout_.words; ++i) {
            std::uint8_t* at = words + std::size_t{i} * layout_.wordBytes;
            switch (roles_[i]) {
                case Role::Sync: {
                    std::uint64_t v = sync_[i];
                    if (dem_.副帧类型 == 1 && index == 0) v = ~v;  // complement sub-frame
                    PutWord(at, v);
                    break;
                }
                case Role::SubFrame: {
                    const bool wrongId =
                        faults_.idFaultEvery && (f + 1) % faults_.idFaultEvery == 0;
                    const std::uint32_t k = wrongId ? (index + 1) % n : index;
                    PutWord(at, dem_.ID码计数方式 == 1 ? dem_.ID码初值 + (n - 1 - k)
                                                       : dem_.ID码初值 + k);
                    break;
                }
                case Role::Sine: {
                    const double phase = faults_.steady ? 0.0 : double(f) * sineStep;
                    PutWord(at, std::uint64_t(std::lround(half + half * std::sin(phase))));
                    break;
                } break;
                case Role::Signal:
                    PutWord(at, SignalWord());
                    break;
                default:
                    break;  // counters below
            }
        }
        StampCounter(frame, counter);
        // Cyclic sub-frame: the identifying word at its place in the major frame.
        if (dem_.副帧类型 == 3 && dem_.副帧路序 >= 1) {
            const std::uint64_t pos = dem_.副帧路序 - 1;
            if (pos / layout_.words == index && roles_[pos % layout_.words] != Role::Sync)
                PutWord(words + pos % layout_.words * layout_.wordBytes, dem_.副帧同步码);
        }
        if (gnss_) gnss_->Fill(words, std::size_t{layout_.words} * layout_.wordBytes, frameUs);
        if (faults_.bitErrorEvery && (f + 1) % faults_.bitErrorEvery == 0) {
            // One bit of the last signal word, so that counters and sync stay readable.
            for (std::uint32_t i = layout_.words; i-- > 0;) {
                if (roles_[i] == Role::Signal) {
                    words[std::size_t{i} * layout_.wordBytes + layout_.wordBytes - 1] ^= 0x01;
                    break;
                }
            }
        }
        written += tagged;
    }
    *bytesWritten = written;
    return frames;
}

}  // namespace cardengine

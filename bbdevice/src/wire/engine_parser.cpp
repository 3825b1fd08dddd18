#include <bbdevice/wire/engine_parser.h>

#include <cstring>

namespace bbdev::wire {
namespace {

constexpr std::uint8_t kMagicBytes[4] = {0x26, 0x5E, 0xFA, 0x57};

// Index of the first whole magic at or after `from`, or bytes.size().
std::size_t FindMagic(std::span<const std::uint8_t> bytes, std::size_t from) {
    const std::uint8_t* data = bytes.data();
    const std::size_t n = bytes.size();
    while (from + 4 <= n) {
        const void* hit = std::memchr(data + from, kMagicBytes[0], n - 3 - from);
        if (!hit) break;
        std::size_t i = static_cast<const std::uint8_t*>(hit) - data;
        if (std::memcmp(data + i, kMagicBytes, 4) == 0) return i;
        from = i + 1;
    }
    return n;
}

// Length of the longest tail of `bytes` (at most 3) that starts a magic.
std::size_t MagicPrefixTail(std::span<const std::uint8_t> bytes) {
    for (std::size_t k = bytes.size() < 3 ? bytes.size() : 3; k > 0; --k) {
        if (std::memcmp(bytes.data() + bytes.size() - k, kMagicBytes, k) == 0) return k;
    }
    return 0;
}

}  // namespace

ParseStep ParseNext(std::span<const std::uint8_t> pending, std::size_t capacity) {
    const std::size_t n = pending.size();
    std::size_t pos = 0;
    for (;;) {
        std::size_t at = FindMagic(pending, pos);
        if (at == n) {
            return {ParseStep::Kind::NeedMore, n - MagicPrefixTail(pending.subspan(pos)), 0};
        }
        pos = at;
        if (n - pos < kHeaderBytes) return {ParseStep::Kind::NeedMore, pos, 0};
        const std::size_t length =
            AnnouncedMessageBytes(LoadLe32(pending.data() + pos + kOffLengthAndSeq));
        if (length > capacity) {
            ++pos;  // not assemblable: resynchronise after this magic
            continue;
        }
        if (n - pos < length) return {ParseStep::Kind::NeedMore, pos, 0};
        return {ParseStep::Kind::Message, pos, length};
    }
}

ReceiveAssembler::ReceiveAssembler(std::size_t capacity, bool checkWords)
    : capacity_(capacity < kMinMessageBytes ? kMinMessageBytes : capacity),
      checkWords_(checkWords),
      buffer_(new (std::nothrow) std::uint8_t[capacity_]) {
    if (!buffer_) capacity_ = 0;
}

bool ReceiveAssembler::CheckWordOk(std::span<const std::uint8_t> message) const {
    const std::size_t checkAt = message.size() - kCheckBytes;
    return XorWords(message.first(checkAt)) == LoadLe32(message.data() + checkAt);
}

}  // namespace bbdev::wire

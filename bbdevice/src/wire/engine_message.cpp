#include <bbdevice/wire/engine_message.h>

namespace bbdev::wire {

MessageView ViewMessage(std::span<const std::uint8_t> bytes) {
    MessageView view;
    view.command = LoadLe32(bytes.data() + kOffCommand);
    view.lengthAndSeq = LoadLe32(bytes.data() + kOffLengthAndSeq);
    view.bytes = bytes.first(AnnouncedMessageBytes(view.lengthAndSeq));
    view.payload = bytes.subspan(kOffPayload, PayloadBytes(view.lengthAndSeq));
    return view;
}

std::uint32_t XorWords(std::span<const std::uint8_t> bytes) {
    std::uint32_t x = 0;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) x ^= LoadLe32(bytes.data() + i);
    return x;
}

std::size_t BuildMessage(std::span<std::uint8_t> out, std::uint32_t command,
                         std::span<const std::uint8_t> payload, unsigned sequence, bool withCheck) {
    if (payload.empty() || payload.size() > kMaxPayloadBytes) return 0;
    const std::size_t total = MessageBytes(payload.size());
    if (total > out.size()) return 0;
    std::uint8_t* p = out.data();
    StoreLe32(p + kOffMagic, kMagic);
    StoreLe32(p + kOffCommand, command);
    StoreLe32(p + kOffLengthAndSeq, MakeLengthAndSeq(payload.size(), sequence));
    std::memcpy(p + kOffPayload, payload.data(), payload.size());
    const std::size_t checkAt = total - kCheckBytes;
    std::memset(p + kOffPayload + payload.size(), 0, checkAt - kOffPayload - payload.size());
    StoreLe32(p + checkAt, withCheck ? XorWords({p, checkAt}) : 0u);
    return total;
}

}  // namespace bbdev::wire

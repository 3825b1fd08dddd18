// Feeds arbitrary bytes, in chunks chosen by the input, to the receive
// assembler with a small buffer and checks every message it hands out.
#include <bbdevice/wire/engine_parser.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace bbdev::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t capacity = 32 + (data[0] * 64);  // 32 .. 16,352 bytes
    const std::size_t chunk = 1 + data[1];
    ReceiveAssembler rx(capacity, (data[0] & 1) != 0);
    auto check = [&](const MessageView& m) {
        if (m.bytes.size() < kMinMessageBytes || m.bytes.size() > capacity) std::abort();
        if (LoadLe32(m.bytes.data()) != kMagic) std::abort();
        if (m.bytes.size() != AnnouncedMessageBytes(m.lengthAndSeq)) std::abort();
        if (m.payload.data() != m.bytes.data() + kOffPayload) std::abort();
        if (m.payload.size() + kHeaderBytes + kCheckBytes > m.bytes.size()) std::abort();
    };
    for (std::size_t i = 2; i < size; i += chunk) {
        const std::size_t n = size - i < chunk ? size - i : chunk;
        rx.Feed({data + i, n}, check);
        if (rx.pending() > capacity) std::abort();
    }
    return 0;
}

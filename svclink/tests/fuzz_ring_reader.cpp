// The reader over header bytes written by an untrusted peer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "svclink/service_ring.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> ring(svclink::kRingSize);
    static std::vector<std::uint8_t> out(svclink::kMaxChunk);
    alignas(8) std::uint8_t header[svclink::hdr::kUsed] = {};
    std::memcpy(header, data, size < sizeof header ? size : sizeof header);
    svclink::ReaderState state;
    // The reader's own position comes from the input too, past the header.
    if (size >= sizeof header + 12) {
        std::memcpy(&state.readTotal, data + sizeof header, 8);
        std::memcpy(&state.resetCount, data + sizeof header + 8, 4);
    }
    std::uint32_t desc[18];
    for (int i = 0; i < 4; ++i) {
        svclink::ChunkResult c =
            svclink::ReadChunk(header, ring.data(), state, out.data(), out.size(), desc);
        if (c.bytes > out.size()) __builtin_trap();
        if (!c.more) break;
    }
    std::uint8_t key[160];
    for (std::uint32_t k : {0u, 1u, 2u, 3u, 256u, 257u, 261u, 262u, 9u})
        svclink::ReadKey(header, k, key, sizeof key);
    return 0;
}

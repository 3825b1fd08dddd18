// Superframe assembly fed with arbitrary bytes: the first bytes choose the
// geometry, the rest is split into hand-offs.
#include <datapath/superframe_assembler.h>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    // A small buffer makes the capacity checks reachable.
    static std::vector<std::uint8_t> buffer(4096);
    static std::atomic<std::uint32_t> count{0};
    datapath::SuperframeAssembler assembler(buffer.data(), buffer.size(), count);
    datapath::DataGeometry g;
    g.wordBytes = data[0] % 4 + 1;
    g.subframeWords = data[1] % 64;
    g.superframeLength = data[2] % 40;
    g.subframeRecord = std::size_t{g.subframeWords} * g.wordBytes + datapath::kTimeTagBytes;
    g.superframeRecord = g.subframeRecord * g.superframeLength;
    g.superframeMode = true;
    const std::size_t chunk = std::size_t{data[3]} * 4 + 1;
    for (std::size_t at = 4; at < size; at += chunk) {
        const std::size_t n = size - at < chunk ? size - at : chunk;
        const std::size_t out = assembler.Assemble({data + at, n}, g);
        if (out > buffer.size() || out != std::size_t{count.load()} * g.superframeRecord)
            __builtin_trap();
    }
    return 0;
}

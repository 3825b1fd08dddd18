// Random geometry, word positions, bit rate and block into the three checks:
// the first 16 bytes choose the shape, the rest is the block.
#include <stats/frame_checks.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 16) return 0;
    auto u16 = [&](std::size_t at) { return std::uint32_t(data[at] | data[at + 1] << 8); };
    stats::BlockShape shape;
    shape.words = u16(0) % 2100;
    shape.subframes = data[2] % 20;
    shape.headerBytes = data[3] % 12;
    shape.wordBytes = data[4] % 5;
    shape.tagFormat = data[5] & 1;
    const std::uint32_t high = u16(6) % 2100, low = u16(8) % 2100, id = u16(10) % 2100;
    std::uint32_t rate;
    std::memcpy(&rate, data + 12, 4);
    // An exactly sized copy, so that any read past the block is caught.
    const std::vector<std::uint8_t> block(data + 16, data + size);
    static stats::FrameCountCheck frames;
    static stats::IdCountCheck ids;
    static stats::TimeContinuityCheck times;
    if (data[5] & 2) {
        frames.Start();
        ids.Start();
        times.Start();
    }
    // Two passes: the second runs with what the first left expected.
    for (int pass = 0; pass < 2; ++pass) {
        const std::size_t a = frames.CheckBlock(block.data(), block.size(), shape, high, low);
        const std::size_t b = ids.CheckBlock(block.data(), block.size(), shape, id);
        const std::size_t c = times.CheckBlock(block.data(), block.size(), shape, rate);
        if ((a == 0) != frames.Text().empty() || (b == 0) != ids.Text().empty() ||
            (c == 0) != times.Text().empty())
            __builtin_trap();
    }
    return 0;
}

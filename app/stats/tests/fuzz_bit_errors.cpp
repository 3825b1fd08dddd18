// The list parsers and the comparison with random geometry, lists and
// blocks: the first 8 bytes choose the shape, then a text, then the block.
#include <stats/bit_error_lists.h>
#include <stats/bit_error_measurement.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    const std::uint32_t words = 1 + (data[0] | data[1] << 8) % 600;
    const std::uint32_t subframes = 1 + data[2] % 16;
    const std::uint32_t wordBits = 1 + data[3] % 40;
    const std::size_t textBytes = std::size_t(data[4] | data[5] << 8) % (size - 7);
    const std::string_view text(reinterpret_cast<const char*>(data + 8),
                                std::min(textBytes, size - 8));

    const stats::ChannelGeometry cg{words, subframes, (wordBits + 7) / 8};
    stats::ListResult manual = stats::BuildManualList(text, cg);
    stats::BuildRangeList(std::int8_t(data[6]), std::int8_t(data[7]) + 300, cg);
    const stats::DeriveResult derived = stats::DeriveFullFrameText(text, cg);
    if (derived.ok()) stats::BuildManualList(derived.text, cg);

    datapath::DataGeometry g;
    g.wordBits = wordBits;
    g.wordBytes = cg.wordBytes;
    g.subframeWords = words;
    g.superframeLength = subframes;
    g.subframeRecord = std::size_t{words} * g.wordBytes + 8;
    g.superframeRecord = g.subframeRecord * subframes;
    // Exactly sized copies, so that any read past the block is caught.
    const std::vector<std::uint8_t> block(data + 8 + text.size(), data + size);
    std::vector<std::uint8_t> standard(g.superframeRecord, 0x5A);
    stats::BitErrorMeasurement m;
    m.SetExclusionList(std::move(manual.bytes));
    m.Start(g);
    m.Compare(block.data(), block.size(), standard, g.superframeRecord);
    if (m.ComparedBits() < m.ErrorBits()) __builtin_trap();
    return 0;
}

// SetHistviewData's data side with a record and data from the input: the
// record is the first 32 bytes, the data the rest (copied only when the rest
// holds the frame the record describes, as the caller guarantees).
#include <histview/hist_data.h>

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(_FRAME_STRUCT_PARAM) + 24) return 0;
    _FRAME_STRUCT_PARAM f;
    std::memcpy(&f, data, sizeof f);
    histview::HistogramSettings s;
    for (int k = 0; k < histview::kChannels; ++k) s.channel[k] = int(data[sizeof f + k]) * 61 - 200;
    const std::uint8_t* rest = data + sizeof f + 24;
    const std::size_t restBytes = size - sizeof f - 24;
    histview::HistStore store;
    const std::size_t need = histview::HistFrameBytes(f);
    if (need != 0 && need <= restBytes) store.SetData(&f, rest);
    histview::HistSnapshot snap;
    store.Read(s, snap);
    for (const auto& bar : snap.bars)
        if (bar.valid) histview::BarRatio(bar.value, f.nWordBits);
    return 0;
}

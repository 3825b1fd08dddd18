// SetRawcurveData's data side with a record and data from the input: the
// record is the first 36 bytes, the data the rest (called only when the rest
// holds what the record asks for, as the caller guarantees).
#include <rawcurve/curve_engine.h>

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(_FRAME_STRUCT_PARAM_EX) + 8) return 0;
    _FRAME_STRUCT_PARAM_EX f;
    std::memcpy(&f, data, sizeof f);
    rawcurve::CurverSettings s;
    for (int k = 0; k < rawcurve::kChannels; ++k) s.channel[k] = data[36 + k % 8] * 37 - 100;
    s.nShowWfMode = data[36] & 1;
    s.nDataBitsLimit = data[37] & 1;
    rawcurve::CurveEngine e(nullptr, s);
    const std::uint8_t* rest = data + sizeof f + 8;
    const std::size_t restBytes = size - sizeof f - 8;
    if (rawcurve::CurveHandoffBytes(f) <= restBytes) e.SetData(&f, rest);
    while (e.ProcessOne()) {
    }
    rawcurve::CurveSnapshot snap;
    e.Read(snap, 100);
    return 0;
}

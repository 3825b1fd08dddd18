#include <datapath/frame_geometry.h>

#include <cstdint>

namespace datapath {
namespace {

// The fields shared by the two records, which have the same first 28 bytes.
template <class Record>
void FillShape(Record& rec, const DemParam& dem) {
    rec.nWordsPerSubframe = static_cast<std::uint16_t>(dem.子帧长);
    rec.nSubframes = static_cast<std::uint16_t>(dem.副帧长);
    rec.nFrameWords =
        static_cast<std::int32_t>(std::uint32_t{rec.nWordsPerSubframe} * rec.nSubframes);
    rec.nWordBits = static_cast<std::uint8_t>(dem.字长 & 0xFF);
    rec.nWordBytes = static_cast<std::uint8_t>((rec.nWordBits + 7) / 8);
    rec.nTimeBytes = kTimeTagBytes;
    rec.nSyncByte = static_cast<std::uint8_t>(dem.帧同步码位长 & 0xFF);
    rec.nSyncFlag = dem.帧同步码位置2 == 0 ? 1 : 0;
    rec.nByteOrder = 0;
    rec.nBitRate = static_cast<std::int32_t>(dem.码率);
    // A record without a code rate has no period rather than an infinite one.
    rec.fFramePeriod = dem.码率 == 0 ? 0.0f
                                     : static_cast<float>(double(rec.nFrameWords) * 1000.0 *
                                                          double(dem.字长) / double(dem.码率));
}

}  // namespace

DataGeometry GeometryOf(const DemParam& dem) {
    DataGeometry g;
    g.wordBits = dem.字长;
    g.wordBytes = static_cast<std::uint32_t>((std::uint64_t{dem.字长} + 7) / 8);
    g.subframeWords = dem.子帧长;
    g.superframeLength = dem.副帧长;
    g.codeRate = dem.码率;
    g.subframeRecord = std::size_t{g.subframeWords} * g.wordBytes + kTimeTagBytes;
    // Absurd records saturate rather than wrap, so that no buffer check is fooled.
    const std::size_t n = g.superframeLength;
    g.superframeRecord =
        n != 0 && g.subframeRecord > SIZE_MAX / n ? SIZE_MAX : g.subframeRecord * n;
    g.superframeMode = dem.副帧类型 != 0;
    g.tagFormat = dem.配时精度;
    return g;
}

void FillFrameRecord(_FRAME_STRUCT_PARAM& rec, const DemParam& dem) {
    FillShape(rec, dem);
}

void FillCurveRecord(_FRAME_STRUCT_PARAM_EX& rec, const DemParam& dem, std::size_t handoffBytes) {
    FillShape(rec, dem);
    const std::size_t superframe = GeometryOf(dem).superframeRecord;
    const std::size_t frames = superframe == 0 ? 0 : handoffBytes / superframe;
    rec.nFramesPerBuffer =
        frames == 0 ? 1 : static_cast<std::int16_t>(frames > 32767 ? 32767 : frames);
}

}  // namespace datapath

// Frame geometry of the data path and the view records filled from it. Both
// come from the current demodulator record; every subframe is counted with
// its 8-byte time tag.
#pragma once

#include <bbdevice/dev_records.h>
#include <rawviews/frame_records.h>

#include <cstddef>
#include <cstdint>

namespace datapath {

inline constexpr std::size_t kTimeTagBytes = 8;
// Byte of the time tag that holds the subframe's index in its superframe.
inline constexpr std::size_t kSubframeIndexByte = 6;

struct DataGeometry {
    std::uint32_t wordBits = 0;
    std::uint32_t wordBytes = 0;  // (wordBits + 7) / 8
    std::uint32_t subframeWords = 0;
    std::uint32_t superframeLength = 0;  // subframes per superframe
    std::uint32_t codeRate = 0;          // bit/s
    std::size_t subframeRecord = 0;      // subframeWords * wordBytes + 8
    std::size_t superframeRecord = 0;    // subframeRecord * superframeLength
    bool superframeMode = false;         // the demodulator's superframe type is not 0
    std::uint32_t tagFormat = 0;         // 配时精度: 0 BCD time tags, else binary
};

DataGeometry GeometryOf(const DemParam& dem);

// The table and histogram record. nShowWholeFrame is left alone: the view
// and the menu exchange it through the record.
void FillFrameRecord(_FRAME_STRUCT_PARAM& rec, const DemParam& dem);

// The curve record for a hand-off of `handoffBytes` (0 when the window is
// created): nFramesPerBuffer whole superframe records, at least 1.
void FillCurveRecord(_FRAME_STRUCT_PARAM_EX& rec, const DemParam& dem, std::size_t handoffBytes);

}  // namespace datapath

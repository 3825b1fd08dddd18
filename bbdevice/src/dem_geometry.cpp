#include "dem_geometry.h"

#include "bbdevice/dev_records.h"

namespace bbdev {

DemFrameGeometry ComputeDemGeometry(const DemParam& p) {
    DemFrameGeometry g;
    g.bytesPerWord = static_cast<std::uint32_t>((std::uint64_t{p.字长} + 7) / 8);
    g.minorBytes = std::uint64_t{p.子帧长} * g.bytesPerWord;
    g.taggedMinorBytes = g.minorBytes + kTimeTagBytes;
    g.majorWords = std::uint64_t{p.子帧长} * p.副帧长;
    g.taggedMajorBytes = g.taggedMinorBytes * p.副帧长;
    // The engine tags every minor frame it delivers, so the ring always holds
    // tagged frames; reading in untagged units would split frames.
    g.granule = g.taggedMajorBytes;
    if (p.码率 != 0) {
        g.minorDurationMs = double(p.子帧长) * double(p.字长) * 1000.0 / double(p.码率);
    }
    g.tagStepUs = g.minorDurationMs * 1000.0;
    g.threshold = g.taggedMajorBytes;
    if (g.minorDurationMs < 1.0 && g.taggedMajorBytes > 0 && g.taggedMajorBytes < 1024) {
        g.threshold = (1024 / g.taggedMajorBytes) * g.taggedMajorBytes;
    }
    g.valid =
        p.字长 != 0 && p.子帧长 != 0 && p.副帧长 != 0 && g.taggedMajorBytes <= kDemReportDataBytes;
    return g;
}

DemChannelDescriptor MakeDemDescriptor(const DemParam& p, const DemFrameGeometry& g,
                                       std::uint32_t cardIndex, std::uint32_t channel) {
    DemChannelDescriptor d{};
    d.cardIndex = cardIndex;
    d.channel = channel;
    d.码率 = p.码率;
    d.字长 = p.字长;
    d.子帧长 = p.子帧长;
    d.副帧长 = p.副帧长;
    d.tagBytesPerMinorFrame = p.配时密度 != 0 ? kTimeTagBytes : 0;
    d.时统模式 = p.时统模式;
    d.配时精度 = p.配时精度;
    d.配时密度 = p.配时密度;
    d.bytesPerWord = g.bytesPerWord;
    d.wordsPerMajorFrame = static_cast<std::uint32_t>(g.majorWords);
    d.bytesPerMajorFrame = static_cast<std::uint32_t>(
        g.minorBytes * p.副帧长 + (p.配时密度 != 0 ? std::uint64_t{kTimeTagBytes} * p.副帧长 : 0));
    return d;
}

}  // namespace bbdev

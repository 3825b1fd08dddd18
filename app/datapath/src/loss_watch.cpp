#include <datapath/loss_watch.h>

#include <cstdio>

namespace datapath {
namespace {

std::uint64_t Frames(std::uint64_t bytes, std::size_t record) {
    return record == 0 ? 0 : (bytes + record - 1) / record;
}

}  // namespace

void LossWatch::Update(const LossCounts& now, std::size_t subframeRecord,
                       const std::function<void(const std::string&)>& note) {
    auto watch = [&](std::uint64_t lastBytes, std::uint64_t nowBytes, bool& episode,
                     std::uint64_t& frames, const char* format) {
        // A count below the last one started again (a card reopened).
        if (nowBytes < lastBytes) lastBytes = 0;
        const bool grew = nowBytes > lastBytes;
        if (grew) frames += Frames(nowBytes - lastBytes, subframeRecord);
        if (grew && !episode) {
            char text[160];
            std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(frames));
            note(text);
        }
        episode = grew;
    };
    LossCounts reading = now;
    if (!now.ringKnown) reading.ringBytes = last_.ringBytes;
    watch(last_.ringBytes, reading.ringBytes, ringEpisode_, ringFrames_,
          "数据处理跟不上，基带卡数据缓冲区溢出，已丢失%llu帧");
    watch(last_.sendBytes, reading.sendBytes, sendEpisode_, sendFrames_,
          "遥测发送跟不上，发送缓冲区已满，已丢弃%llu帧");
    last_ = reading;
}

}  // namespace datapath

// The card itself (module 1): the open sequence and the heartbeat.
#include <bbdevice/wire/engine_message.h>

#include <cstring>
#include <string_view>

#include "session.h"

namespace cardengine {
namespace {

namespace wire = bbdev::wire;

constexpr unsigned kOpFunctionInfo = 5;
constexpr unsigned kOpDescriptiveText = 6;
constexpr std::size_t kFunctionInfoBytes = 512;
constexpr std::string_view kDescriptiveText =
    "Talvora software card engine: 1 demodulator (2 data channels), signal source, "
    "time-code unit, 2 decipher units, 4 spectrum units, 2 frame-statistics units";

class CardUnit : public EngineUnit {
public:
    explicit CardUnit(const Options& options) : options_(options) {
        // 128 words; the library passes them on without reading them.
        for (unsigned i = 0; i < kFunctionInfoBytes / 4; ++i)
            wire::StoreLe32(functionInfo_ + 4 * i, 0xCE000000u | i);
    }

    void Register(HandlerTable& table) override {
        table.Add(wire::kModuleCard, kOpFunctionInfo,
                  [this](Session& s, std::span<const std::uint8_t> p) {
                      if (!options_.answerOpen || p.size() < 4 || wire::LoadLe32(p.data()) != 1)
                          return;
                      if (options_.functionInfoDelayMs == 0) {
                          s.Send(wire::kModuleCard, kOpFunctionInfo, functionInfo_);
                          return;
                      }
                      infoDue_ =
                          Clock::now() + std::chrono::milliseconds(options_.functionInfoDelayMs);
                      infoPending_ = true;
                  });
        table.Add(wire::kModuleCard, kOpDescriptiveText,
                  [](Session& s, std::span<const std::uint8_t> p) {
                      if (p.size() >= 4 && wire::LoadLe32(p.data()) == 1)
                          s.Send(wire::kModuleCard, kOpDescriptiveText,
                                 {reinterpret_cast<const std::uint8_t*>(kDescriptiveText.data()),
                                  kDescriptiveText.size()});
                  });
    }

    void OnConnect(Session&, Clock::time_point now) override {
        nextHeartbeat_ = now;
        heartbeatCount_ = 0;
        infoPending_ = false;  // a delayed answer belongs to its connection
    }

    void OnTick(Session& s, Clock::time_point now) override {
        if (infoPending_ && now >= infoDue_) {
            infoPending_ = false;
            s.Send(wire::kModuleCard, kOpFunctionInfo, functionInfo_);
        }
        if (now < nextHeartbeat_) return;
        if (options_.heartbeatStopAfter >= 0 &&
            s.SecondsSinceAccept(now) >= options_.heartbeatStopAfter)
            return;
        s.SendValue(wire::kModuleCard, wire::kOpHeartbeat, ++heartbeatCount_);
        nextHeartbeat_ = now + std::chrono::milliseconds(options_.heartbeatMs);
    }

private:
    const Options& options_;
    std::uint8_t functionInfo_[kFunctionInfoBytes];
    Clock::time_point nextHeartbeat_{};
    std::uint32_t heartbeatCount_ = 0;
    bool infoPending_ = false;
    Clock::time_point infoDue_{};
};

}  // namespace

std::unique_ptr<EngineUnit> MakeCardUnit(const Options& options) {
    return std::make_unique<CardUnit>(options);
}

}  // namespace cardengine

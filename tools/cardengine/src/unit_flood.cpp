// Data channel 0 of the demodulator (module 2, operation 4) at full speed:
// messages of a fixed payload size with a running counter, sent as fast as
// the connection takes them. Used by the throughput benchmark.
#include <bbdevice/wire/engine_message.h>

#include <vector>

#include "session.h"

namespace cardengine {
namespace {

namespace wire = bbdev::wire;

constexpr unsigned kOpDataChannel0 = 4;

class FloodUnit : public EngineUnit {
public:
    explicit FloodUnit(const Options& options) : payload_(options.floodBytes) {
        for (std::size_t i = 0; i < payload_.size(); ++i)
            payload_[i] = static_cast<std::uint8_t>(i * 7);
    }

    void Register(HandlerTable&) override {}
    bool Busy() const override { return !payload_.empty(); }

    void OnTick(Session& s, Clock::time_point) override {
        if (payload_.empty()) return;
        // A short burst per turn keeps heartbeats and commands flowing.
        for (int i = 0; i < 16 && !s.closing(); ++i) {
            if (payload_.size() >= 4) wire::StoreLe32(payload_.data(), counter_++);
            s.Send(wire::kModuleDemodulator, kOpDataChannel0, payload_);
        }
    }

private:
    std::vector<std::uint8_t> payload_;
    std::uint32_t counter_ = 0;
};

}  // namespace

std::unique_ptr<EngineUnit> MakeFloodUnit(const Options& options) {
    return std::make_unique<FloodUnit>(options);
}

}  // namespace cardengine

// A frame-statistics unit (module 14 or 15): keeps its record; operation 5
// starts counting, 6 stops it, 4 is accepted; while counting it reports its
// state (operation 7, 72 bytes) periodically.
#include <bbdevice/wire/engine_message.h>

#include <cstring>

#include "session.h"

namespace cardengine {
namespace {

namespace wire = bbdev::wire;

constexpr unsigned kOpRecord = 3, kOpPassOn = 4, kOpStart = 5, kOpStop = 6, kOpState = 7;
constexpr std::size_t kRecordBytes = 16432;

class FrameStatUnit : public EngineUnit {
public:
    FrameStatUnit(const Options& options, unsigned module) : options_(options), module_(module) {}

    void Register(HandlerTable& table) override {
        table.Add(module_, kOpRecord, [this](Session&, std::span<const std::uint8_t> p) {
            if (p.size() > kRecordBytes) return;
            std::memset(record_, 0, sizeof record_);
            std::memcpy(record_, p.data(), p.size());
        });
        table.Add(module_, kOpStart, [this](Session&, std::span<const std::uint8_t>) {
            running_ = true;
            countA_ = countB_ = 0;
        });
        table.Add(module_, kOpStop,
                  [this](Session&, std::span<const std::uint8_t>) { running_ = false; });
        table.Add(module_, kOpPassOn, [](Session&, std::span<const std::uint8_t>) {});
    }

    void OnConnect(Session&, Clock::time_point now) override { next_ = now; }

    void OnTick(Session& s, Clock::time_point now) override {
        if (!running_ || now < next_) return;
        next_ = now + std::chrono::milliseconds(options_.statusMs);
        countA_ += 1000;
        countB_ += 3;
        std::uint8_t state[72] = {};
        wire::StoreLeF64(state, 0.0);  // the library computes the ratio itself
        wire::StoreLe64(state + 8, countA_);
        wire::StoreLe64(state + 16, countB_);
        wire::StoreLe32(state + 32, static_cast<std::uint32_t>(countA_ / 1000));  // word 8
        wire::StoreLe32(state + 36, module_);                                     // word 9
        s.Send(module_, kOpState, state);
    }

private:
    const Options& options_;
    const unsigned module_;
    std::uint8_t record_[kRecordBytes] = {};
    bool running_ = false;
    std::uint64_t countA_ = 0, countB_ = 0;
    Clock::time_point next_{};
};

}  // namespace

std::unique_ptr<EngineUnit> MakeFrameStatUnit(const Options& options, unsigned module) {
    return std::make_unique<FrameStatUnit>(options, module);
}

}  // namespace cardengine

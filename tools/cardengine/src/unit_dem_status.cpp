// Demodulator status (module 2, operation 8): two halves of 34 words sent
// periodically. The lock words are set once a demodulator record has come
// on the connection, that is while frames are generated from it, as far as
// --dem-lock allows and outside the --dem-lock-loss window.
#include <bbdevice/wire/engine_message.h>

#include <cstring>

#include "session.h"

namespace cardengine {
namespace {

namespace wire = bbdev::wire;

constexpr unsigned kOpSetRecord = 3;
constexpr unsigned kOpStatus = 8;
constexpr std::size_t kHalfWords = 34;
constexpr std::size_t kInputFrequencyOffset = 0;

class DemStatusUnit : public EngineUnit {
public:
    explicit DemStatusUnit(const Options& options) : options_(options) {}

    void Register(HandlerTable& table) override {
        table.Add(wire::kModuleDemodulator, kOpSetRecord,
                  [this](Session&, std::span<const std::uint8_t> p) {
                      if (p.size() != 768) return;
                      inputFrequencyHz_ = wire::LoadLeF64(p.data() + kInputFrequencyOffset);
                      generating_ = true;
                      recordAt_ = Clock::now();
                  });
    }

    void OnConnect(Session&, Clock::time_point now) override {
        generating_ = false;
        next_ = now;
    }

    void OnTick(Session& s, Clock::time_point now) override {
        if (now < next_) return;
        next_ = now + std::chrono::milliseconds(options_.statusMs);
        ++reports_;
        std::uint8_t payload[2 * kHalfWords * 4] = {};
        for (unsigned half = 0; half < 2; ++half) {
            std::uint8_t* h = payload + half * kHalfWords * 4;
            wire::StoreLe32(h + 2 * 4, reports_);  // report counter
            wire::StoreLe32(h + 3 * 4, half);
            wire::StoreLeF64(h + 6 * 4, generating_ ? 18.5 - half : -1.0);  // signal-to-noise, dB
            wire::StoreLeF64(h + 8 * 4, 70.0);  // intermediate frequency, MHz
            wire::StoreLe32(h + 10 * 4,
                            static_cast<std::uint32_t>(inputFrequencyHz_ / 1000.0));  // kHz
            const bool locked = generating_ && !InLockLoss(now);
            const unsigned words[] = {12u, 14u, 15u, 16u};
            for (unsigned bit = 0; bit < 4; ++bit) {
                const bool set = locked && (options_.demLockMask >> bit & 1u) != 0;
                wire::StoreLe32(h + words[bit] * 4, set ? 1u : 0u);
            }
        }
        s.Send(wire::kModuleDemodulator, kOpStatus, payload);
    }

private:
    bool InLockLoss(Clock::time_point now) const {
        if (options_.demLockLossAt < 0) return false;
        const double since = std::chrono::duration<double>(now - recordAt_).count();
        return since >= options_.demLockLossAt &&
               since < options_.demLockLossAt + options_.demLockLossFor;
    }

    const Options& options_;
    bool generating_ = false;
    Clock::time_point recordAt_{};
    double inputFrequencyHz_ = 0;
    std::uint32_t reports_ = 0;
    Clock::time_point next_{};
};

}  // namespace

std::unique_ptr<EngineUnit> MakeDemStatusUnit(const Options& options) {
    return std::make_unique<DemStatusUnit>(options);
}

}  // namespace cardengine

// Spectrum modules 8 to 11: every --spectrum-ms an I/Q sample block and the
// averaged spectrum of the simulated signal, and on module 10 a vector block
// of symbol points. Modules 8 to 10 follow the demodulator record, 11 the
// signal-source record.
#include <bbdevice/card_plot_words.h>
#include <bbdevice/wire/engine_message.h>

#include <array>
#include <memory>

#include "iq_signal.h"
#include "session.h"

namespace cardengine {
namespace {

namespace wire = bbdev::wire;
namespace plot = bbdev::plot;

constexpr unsigned kOpSetRecord = 3;
constexpr unsigned kModuleSignalSource = 4;
constexpr unsigned kModules[4] = {8, 9, 10, 11};
constexpr std::size_t kDemRecordBytes = 768, kSimRecordBytes = 776;
constexpr std::size_t kDemRateOffset = 28, kDemModeOffset = 112;
constexpr std::size_t kSimRateOffset = 36, kSimModeOffset = 144;
constexpr unsigned kMaxCatchUp = 50;  // periods sent in one turn before the schedule resets

SignalRecord ReadRecord(std::span<const std::uint8_t> p, std::size_t rateAt, std::size_t modeAt) {
    SignalRecord r;
    r.present = true;
    r.frequencyHz = wire::LoadLeF64(p.data());
    r.bitRate = wire::LoadLe32(p.data() + rateAt);
    r.mode = wire::LoadLe32(p.data() + modeAt) & 0xFFFF;
    return r;
}

void StoreWords(std::uint8_t* out, const std::uint32_t* words, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) wire::StoreLe32(out + 4 * i, words[i]);
}

class SpectrumUnit : public EngineUnit {
public:
    explicit SpectrumUnit(const Options& options)
        : periodMs_(options.spectrumMs),
          words_(new std::uint32_t[plot::kVectorWords]),
          bytes_(new std::uint8_t[plot::kVectorBytes]) {
        for (unsigned m = 0; m < 4; ++m)
            signal_[m] = std::make_unique<SpectrumSignal>(options.snrDb, 0x5EED0000u + m);
    }

    void Register(HandlerTable& table) override {
        table.Add(wire::kModuleDemodulator, kOpSetRecord,
                  [this](Session&, std::span<const std::uint8_t> p) {
                      if (p.size() != kDemRecordBytes) return;
                      const SignalRecord r = ReadRecord(p, kDemRateOffset, kDemModeOffset);
                      for (unsigned m = 0; m < 3; ++m) signal_[m]->SetRecord(r);
                  });
        table.Add(kModuleSignalSource, kOpSetRecord,
                  [this](Session&, std::span<const std::uint8_t> p) {
                      if (p.size() != kSimRecordBytes) return;
                      signal_[3]->SetRecord(ReadRecord(p, kSimRateOffset, kSimModeOffset));
                  });
    }

    // A new connection starts from noise until the library sends its records.
    void OnConnect(Session&, Clock::time_point now) override {
        for (auto& s : signal_) s->SetRecord({});
        next_ = now + std::chrono::milliseconds(periodMs_);
    }

    void OnTick(Session& s, Clock::time_point now) override {
        if (periodMs_ == 0) return;
        const auto period = std::chrono::milliseconds(periodMs_);
        unsigned sent = 0;
        while (now >= next_ && sent < kMaxCatchUp) {
            if (!SendPeriod(s)) return;
            next_ += period;
            ++sent;
        }
        if (now >= next_) next_ = now + period;
    }

private:
    bool SendPeriod(Session& s) {
        for (unsigned m = 0; m < 4; ++m) {
            SpectrumSignal& sig = *signal_[m];
            // Modules 10 and 11 send Q negated; the library turns it back.
            sig.FillSamples(words_.get(), kModules[m] >= 10);
            StoreWords(bytes_.get(), words_.get(), plot::kIqBlockWords);
            if (!s.Send(kModules[m], plot::kOpIqSamples, {bytes_.get(), plot::kIqBlockBytes}))
                return false;
            sig.FillSpectrum(words_.get(), kModules[m]);
            StoreWords(bytes_.get(), words_.get(), plot::kSpectrumBlockWords);
            if (!s.Send(kModules[m], plot::kOpSpectrum, {bytes_.get(), plot::kSpectrumBlockBytes}))
                return false;
            if (kModules[m] == 10) {
                sig.FillVector(words_.get());
                StoreWords(bytes_.get(), words_.get(), plot::kVectorWords);
                if (!s.Send(kModules[m], plot::kOpVector, {bytes_.get(), plot::kVectorBytes}))
                    return false;
            }
        }
        return true;
    }

    const unsigned periodMs_;
    std::array<std::unique_ptr<SpectrumSignal>, 4> signal_;  // modules 8, 9, 10, 11
    std::unique_ptr<std::uint32_t[]> words_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    Clock::time_point next_{};
};

}  // namespace

std::unique_ptr<EngineUnit> MakeSpectrumUnit(const Options& options) {
    return std::make_unique<SpectrumUnit>(options);
}

}  // namespace cardengine

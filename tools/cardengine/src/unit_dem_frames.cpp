// The demodulator's frame output (module 2, operation 4): minor frames built
// from the last demodulator and signal-source records, paced at the bit rate
// or, for benchmarks, pre-generated and sent as fast as the link takes them.
#include <bbdevice/wire/engine_message.h>
#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "dem_frames.h"
#include "gnss_stream.h"
#include "replay_hold.h"
#include "session.h"

namespace cardengine {
namespace {

namespace wire = bbdev::wire;

constexpr unsigned kModuleSignalSource = 4;
constexpr unsigned kOpSetRecord = 3;
constexpr unsigned kOpData0 = 4;
constexpr unsigned kOpFlush0 = 5;
constexpr unsigned kOpData1 = 6;
constexpr unsigned kModuleDecipher1 = 6;
constexpr std::size_t kCipherSwitchOffset = 131344;  // 加解密开关 of the decipher record
constexpr std::size_t kPacedMessageMax = 65536;
constexpr std::size_t kFastMessageDefault = 262144;
constexpr std::size_t kPoolBytes = 8u << 20;
constexpr std::size_t kPacedBurstBytes = 1u << 20;  // catch-up per loop turn

// Local time of day on the card clock, with the day of the year.
double CardClockNowUs() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    localtime_r(&tv.tv_sec, &tm);
    const double seconds =
        ((tm.tm_yday + 1) * 24.0 + tm.tm_hour) * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec;
    return seconds * 1e6 + tv.tv_usec;
}

class DemFrameUnit : public EngineUnit {
public:
    explicit DemFrameUnit(const Options& options) : o_(options.dem) {
        FillDefault(sim_);
        FillDefault(dem_);
    }

    void Register(HandlerTable& table) override {
        table.Add(wire::kModuleDemodulator, kOpSetRecord,
                  [this](Session&, std::span<const std::uint8_t> p) {
                      if (p.size() != sizeof(DemParam)) return;
                      std::memcpy(&dem_, p.data(), sizeof dem_);
                      haveDem_ = true;
                      ScheduleStart();
                  });
        table.Add(kModuleSignalSource, kOpSetRecord,
                  [this](Session&, std::span<const std::uint8_t> p) {
                      if (p.size() != sizeof(SimParam)) return;
                      std::memcpy(&sim_, p.data(), sizeof sim_);
                      if (haveDem_) ScheduleStart();
                  });
        // With decipher unit 1 switched on, the frames also leave on channel 1
        // (after decryption; this engine holds no keys, so they are the same).
        table.Add(kModuleDecipher1, kOpSetRecord,
                  [this](Session&, std::span<const std::uint8_t> p) {
                      if (p.size() != sizeof(DecipherParam)) return;
                      decipherOn_ = wire::LoadLe32(p.data() + kCipherSwitchOffset) != 0;
                  });
    }

    // A new connection waits for the records that the library sends again.
    void OnConnect(Session&, Clock::time_point) override { streaming_ = startPending_ = false; }

    bool Busy() const override {
        return streaming_ && o_.fullSpeed && !ahead_ && !ReplayHoldsDemodulator();
    }

    void OnTick(Session& s, Clock::time_point now) override {
        // A file replay has the demodulator's output; live frames start
        // afresh once it lets go.
        if (ReplayHoldsDemodulator()) {
            heldByReplay_ = true;
            return;
        }
        if (heldByReplay_) {
            heldByReplay_ = false;
            if (haveDem_) ScheduleStart();
        }
        if (startPending_ && now >= startAt_) Start(now);
        if (!streaming_) return;
        if (o_.fullSpeed)
            SendFast(s, now);
        else
            SendPaced(s, now);
        if (o_.frames && sent_ >= o_.frames) {
            s.SendValue(wire::kModuleDemodulator, kOpFlush0, 0);
            if (decipherOn_) s.SendValue(wire::kModuleDemodulator, kOpFlush0 + 2, 0);
            streaming_ = false;
        }
    }

private:
    void ScheduleStart() {
        streaming_ = false;
        startPending_ = true;
        startAt_ = Clock::now() + std::chrono::milliseconds(o_.settleMs);
    }

    void Start(Clock::time_point now) {
        startPending_ = false;
        DemFaults faults = o_.fullSpeed ? DemFaults{} : o_.faults;
        faults.steady = o_.faults.steady;
        gen_.Configure(dem_, sim_, CardClockNowUs(), faults);
        gnss_.Configure(o_.gnss);
        gen_.SetGnss(gnss_.On() ? &gnss_ : nullptr);
        const DemLayout& l = gen_.Layout();
        if (!l.valid) return;
        const std::size_t tagged = l.taggedMinorBytes;
        std::size_t perMessage;
        if (o_.messageBytes)
            perMessage = std::max<std::size_t>(1, o_.messageBytes / tagged);
        else if (o_.fullSpeed)
            perMessage = kFastMessageDefault / tagged;
        else
            perMessage = std::clamp<std::size_t>(std::size_t(1000.0 / l.minorDurationUs), 1,
                                                 kPacedMessageMax / tagged);
        framesPerMessage_ =
            std::max<std::size_t>(1, std::min(perMessage, wire::kMaxPayloadBytes / tagged));
        buffer_.resize(framesPerMessage_ * tagged);
        if (o_.fullSpeed) BuildPool();
        started_ = now;
        sent_ = 0;
        streaming_ = true;
    }

    // Whole major frames, at least one message, generated once.
    void BuildPool() {
        const DemLayout& l = gen_.Layout();
        std::size_t frames = std::max(kPoolBytes / l.taggedMinorBytes, framesPerMessage_);
        frames = (frames + l.minors - 1) / l.minors * l.minors;
        pool_.resize(frames * l.taggedMinorBytes);
        std::size_t bytes = 0;
        gen_.Generate(pool_.data(), pool_.size(), frames, &bytes);
        poolFrames_ = frames;
        poolAt_ = 0;
    }

    std::uint64_t Remaining() const {
        return o_.frames ? o_.frames - std::min(sent_, o_.frames) : ~0ull;
    }

    void SendPaced(Session& s, Clock::time_point now) {
        const DemLayout& l = gen_.Layout();
        const double elapsedUs = std::chrono::duration<double, std::micro>(now - started_).count();
        std::uint64_t due = std::uint64_t(elapsedUs / l.minorDurationUs);
        due = std::min(due - std::min(due, sent_), Remaining());
        std::size_t burst = 0;
        while (due > 0 && burst < kPacedBurstBytes && !s.closing()) {
            std::size_t bytes = 0;
            const std::size_t frames =
                gen_.Generate(buffer_.data(), buffer_.size(),
                              std::min<std::uint64_t>(due, framesPerMessage_), &bytes);
            if (frames == 0) break;
            if (bytes) {
                s.Send(wire::kModuleDemodulator, kOpData0, {buffer_.data(), bytes});
                if (decipherOn_)
                    s.Send(wire::kModuleDemodulator, kOpData1, {buffer_.data(), bytes});
            }
            sent_ += frames;
            due -= frames;
            burst += bytes;
        }
    }

    void SendFast(Session& s, Clock::time_point now) {
        const std::size_t tagged = gen_.Layout().taggedMinorBytes;
        std::uint64_t allowedFrames = ~0ull;
        if (o_.fullSpeedMbps > 0) {
            const double elapsed = std::chrono::duration<double>(now - started_).count();
            allowedFrames = std::uint64_t(elapsed * o_.fullSpeedMbps * 1e6 / 8 / tagged);
        }
        ahead_ = sent_ >= allowedFrames;
        for (int i = 0; i < 16 && !s.closing() && Remaining() > 0 && sent_ < allowedFrames; ++i) {
            const std::size_t n = std::min<std::uint64_t>(
                {framesPerMessage_, poolFrames_ - poolAt_, Remaining(), allowedFrames - sent_});
            std::uint8_t* first = pool_.data() + poolAt_ * tagged;
            for (std::size_t f = 0; f < n; ++f) gen_.StampCounter(first + f * tagged, sent_ + f);
            if (!s.Send(wire::kModuleDemodulator, kOpData0, {first, n * tagged})) return;
            sent_ += n;
            poolAt_ = (poolAt_ + n) % poolFrames_;
        }
    }

    const DemFrameOptions o_;
    DemParam dem_{};
    SimParam sim_{};
    bool haveDem_ = false;
    bool decipherOn_ = false;
    bool startPending_ = false;
    bool streaming_ = false;
    bool ahead_ = false;  // the rate cap holds the full-speed stream back
    bool heldByReplay_ = false;
    Clock::time_point startAt_{}, started_{};
    DemFrameGenerator gen_;
    GnssStream gnss_;  // written into the frames by gen_
    std::size_t framesPerMessage_ = 1;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> pool_;
    std::size_t poolFrames_ = 0, poolAt_ = 0;
    std::uint64_t sent_ = 0;  // minor frames generated (dropped ones included)
};

}  // namespace

std::unique_ptr<EngineUnit> MakeDemFrameUnit(const Options& options) {
    return std::make_unique<DemFrameUnit>(options);
}

}  // namespace cardengine

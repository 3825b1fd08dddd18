// File replay (module 4, operations 5 to 8): the library streams the frame
// bytes of a recording; they are played back through the demodulator path at
// the bit rate as minor frames with fresh card time tags (module 2,
// operation 4, with a flush, operation 5, at the end), and progress goes
// back as module 4, operation 6:
//   word 0 words played, 1 words received, 2 state (1 playing, 2 ended),
//   3 words played (taken out of the buffer), 4 words waiting in the buffer.
#include <bbdevice/dev_records.h>
#include <bbdevice/wire/engine_message.h>
#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include "dem_frames.h"
#include "engine_unit.h"
#include "replay_hold.h"
#include "session.h"

namespace cardengine {
namespace {

namespace wire = bbdev::wire;

bool g_replayHold = false;  // the engine runs on one thread

constexpr unsigned kModuleReplay = 4;
constexpr unsigned kOpBegin = 5;
constexpr unsigned kOpData = 6;
constexpr unsigned kOpEndOfFill = 7;
constexpr unsigned kOpStop = 8;
constexpr unsigned kOpSetRecord = 3;
constexpr unsigned kOpFrames = 4;
constexpr unsigned kOpFlush0 = 5;
constexpr std::uint32_t kStatePlaying = 1, kStateEnded = 2;
// The library keeps at most 2 MB in flight; room for more than that.
constexpr std::size_t kBufferBytes = (4u << 20) + 65536;
constexpr std::size_t kMessageMax = 65536;
constexpr std::size_t kTagBytes = 8;
constexpr auto kProgressPeriod = std::chrono::milliseconds(10);

double CardClockNowUs() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    localtime_r(&tv.tv_sec, &tm);
    const double seconds =
        ((tm.tm_yday + 1) * 24.0 + tm.tm_hour) * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec;
    return seconds * 1e6 + tv.tv_usec;
}

class ReplayUnit : public EngineUnit {
public:
    ReplayUnit() : buffer_(kBufferBytes), message_(kMessageMax + kTagBytes + kMessageMax) {
        FillDefault(dem_);
    }

    void Register(HandlerTable& table) override {
        table.Add(wire::kModuleDemodulator, kOpSetRecord,
                  [this](Session&, std::span<const std::uint8_t> p) {
                      if (p.size() == sizeof(DemParam)) std::memcpy(&dem_, p.data(), sizeof dem_);
                  });
        table.Add(kModuleReplay, kOpBegin,
                  [this](Session&, std::span<const std::uint8_t>) { Begin(); });
        table.Add(kModuleReplay, kOpData,
                  [this](Session&, std::span<const std::uint8_t> p) { Append(p); });
        table.Add(kModuleReplay, kOpEndOfFill, [this](Session& s, std::span<const std::uint8_t> p) {
            if (p.size() < 8) return;
            EndOfFill(s, wire::LoadLe32(p.data()), wire::LoadLe32(p.data() + 4));
        });
        table.Add(kModuleReplay, kOpStop, [this](Session&, std::span<const std::uint8_t>) {
            Reset();
            g_replayHold = false;
        });
    }

    void OnConnect(Session&, Clock::time_point) override {
        Reset();
        g_replayHold = false;
    }

    bool Busy() const override { return false; }

    void OnTick(Session& s, Clock::time_point now) override {
        if (!playing_) return;
        Play(s, now);
        if (playing_ && now >= nextProgress_) SendProgress(s, now);
    }

private:
    void Reset() {
        playing_ = false;
        state_ = 0;
        head_ = tail_ = 0;
        received_ = played_ = frames_ = 0;
        frameBytes_ = 0;
        totalWords_ = 0;
    }

    void Begin() {
        Reset();
        g_replayHold = true;
        state_ = kStatePlaying;
    }

    std::size_t Buffered() const { return tail_ - head_; }

    void Append(std::span<const std::uint8_t> p) {
        if (!g_replayHold || p.empty()) return;
        if (tail_ + p.size() > buffer_.size()) {
            std::memmove(buffer_.data(), buffer_.data() + head_, Buffered());
            tail_ -= head_;
            head_ = 0;
        }
        // More than the library may have in flight: the excess is lost, as
        // on a card whose buffer overflows.
        const std::size_t n = std::min(p.size(), buffer_.size() - tail_);
        std::memcpy(buffer_.data() + tail_, p.data(), n);
        tail_ += n;
        received_ += p.size();
    }

    void EndOfFill(Session& s, std::uint32_t frameBytes, std::uint32_t totalWordsLess1) {
        if (!g_replayHold || frameBytes == 0 || frameBytes > kMessageMax) return;
        frameBytes_ = frameBytes;
        totalWords_ = std::uint64_t{totalWordsLess1} + 1;
        const std::uint32_t bytesPerWord = (dem_.字长 + 7) / 8;
        const double bits = bytesPerWord * dem_.子帧长 == frameBytes
                                ? double(dem_.字长) * dem_.子帧长
                                : double(frameBytes) * 8;
        minorUs_ = bits * 1e6 / (dem_.码率 != 0 ? dem_.码率 : 4000000);
        const std::size_t most = std::max<std::size_t>(1, kMessageMax / (frameBytes + kTagBytes));
        framesPerMessage_ = std::clamp<std::size_t>(std::size_t(1000.0 / minorUs_), 1, most);
        minors_ = dem_.副帧长 != 0 ? dem_.副帧长 : 1;
        clockUs_ = CardClockNowUs();
        started_ = Clock::now();
        playing_ = true;
        SendProgress(s, started_);
    }

    void Play(Session& s, Clock::time_point now) {
        const double elapsedUs = std::chrono::duration<double, std::micro>(now - started_).count();
        std::uint64_t due = std::uint64_t(elapsedUs / minorUs_);
        due -= std::min(due, frames_);
        const std::size_t tagged = frameBytes_ + kTagBytes;
        while (due > 0 && Buffered() >= frameBytes_ && !s.closing()) {
            std::size_t n = 0;
            while (n < framesPerMessage_ && n < due && Buffered() >= frameBytes_) {
                std::uint8_t* out = message_.data() + n * tagged;
                WriteCardTag(out, clockUs_ + double(frames_ + n) * minorUs_,
                             std::uint32_t((frames_ + n) % minors_));
                std::memcpy(out + kTagBytes, buffer_.data() + head_, frameBytes_);
                head_ += frameBytes_;
                ++n;
            }
            s.Send(wire::kModuleDemodulator, kOpFrames, {message_.data(), n * tagged});
            frames_ += n;
            played_ += n * frameBytes_;
            due -= n;
        }
        // Starved by the library: the clock waits instead of bursting later.
        if (due > 0 && Buffered() < frameBytes_) {
            started_ = now - std::chrono::microseconds(std::int64_t(double(frames_) * minorUs_));
        }
        const bool allReceived = received_ / 4 >= totalWords_;
        if (allReceived && Buffered() < frameBytes_) {
            // As after a live stream: the library delivers what waits below
            // its report threshold, then learns that the replay ended.
            s.SendValue(wire::kModuleDemodulator, kOpFlush0, 0);
            state_ = kStateEnded;
            playing_ = false;
            SendProgress(s, now);
        }
    }

    void SendProgress(Session& s, Clock::time_point now) {
        std::uint8_t p[20];
        wire::StoreLe32(p, std::uint32_t(played_ / 4));
        wire::StoreLe32(p + 4, std::uint32_t(received_ / 4));
        wire::StoreLe32(p + 8, state_);
        wire::StoreLe32(p + 12, std::uint32_t(played_ / 4));
        wire::StoreLe32(p + 16, std::uint32_t(Buffered() / 4));
        s.Send(kModuleReplay, kOpData, p);
        nextProgress_ = now + kProgressPeriod;
    }

    DemParam dem_{};
    std::vector<std::uint8_t> buffer_;   // frame bytes received and not yet played
    std::vector<std::uint8_t> message_;  // tagged minor frames of one data message
    std::size_t head_ = 0, tail_ = 0;
    std::uint64_t received_ = 0, played_ = 0, frames_ = 0, totalWords_ = 0;
    std::uint32_t frameBytes_ = 0, minors_ = 1, state_ = 0;
    std::size_t framesPerMessage_ = 1;
    double minorUs_ = 1, clockUs_ = 0;
    bool playing_ = false;
    Clock::time_point started_{}, nextProgress_{};
};

}  // namespace

bool ReplayHoldsDemodulator() {
    return g_replayHold;
}

std::unique_ptr<EngineUnit> MakeReplayUnit(const Options&) {
    return std::make_unique<ReplayUnit>();
}

}  // namespace cardengine

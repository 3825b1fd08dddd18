// Alarm tones through the sound device (ALSA): every requested tone is
// played as a sine of its pitch and length, one after the other as the bell
// calls of the original did, on a thread of its own so that the caller (a
// window's timer) never waits for the device. Where no sound device opens,
// the fallback sounds instead (the GUI gives the system bell).
#pragma once

#include <platform/beep.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace plat {

inline constexpr unsigned kToneRate = 48000;  // samples per second, mono
inline constexpr unsigned kLongestToneMs = 5000;
inline constexpr std::size_t kMostPendingTones = 64;

// `count` samples of a sine of `frequencyHz` at `rate` samples per second,
// ramped in and out over about 1 ms so that a short tone does not click.
void SynthesizeTone(unsigned frequencyHz, unsigned rate, std::int16_t* out, std::size_t count);

// The sound device the program plays its tones on: the environment
// variable TALVORA_SOUND_DEVICE (an ALSA device name), else "default".
std::string AlarmSoundDevice();

class ToneBeepSink : public BeepSink {
public:
    using Fallback = std::function<void(const BeepRequest&)>;
    ToneBeepSink(std::string device, Fallback fallback);
    ~ToneBeepSink() override;  // ends the tone under way, drops the rest, closes the device
    ToneBeepSink(const ToneBeepSink&) = delete;
    ToneBeepSink& operator=(const ToneBeepSink&) = delete;

    // Queues the tone; never blocks. Beyond kMostPendingTones waiting tones
    // new ones are dropped: an alarm that repeats every tick loses nothing.
    void Beep(const BeepRequest& request) override;

    // True once every queued tone is played (or fell back), within `limit`.
    bool WaitIdle(std::chrono::milliseconds limit);
    std::uint64_t Played() const;    // tones that reached the device
    std::uint64_t FellBack() const;  // tones given to the fallback
    std::uint64_t Dropped() const;   // tones refused with a full queue

private:
    void Run();

    const std::string device_;
    const Fallback fallback_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<BeepRequest> queue_;  // guarded by mutex_
    bool busy_ = false;              // guarded by mutex_: a tone is being played
    bool stop_ = false;              // guarded by mutex_
    std::uint64_t played_ = 0, fellBack_ = 0, dropped_ = 0;  // guarded by mutex_
    std::thread worker_;                                     // last: starts once the rest exists
};

}  // namespace plat

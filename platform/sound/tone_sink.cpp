#include "platform/tone_sink.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

namespace plat {
namespace {

// The device stays open between the tones of an alarm and is given back
// after this long without one.
constexpr auto kIdleClose = std::chrono::seconds(2);
// A device that would not open is tried again after this long; the tones in
// between go to the fallback at once.
constexpr auto kRetryOpen = std::chrono::seconds(10);
constexpr unsigned kLatencyUs = 50000;

// ALSA keeps one parsed configuration per process; it is freed once no
// device of any sink is open, so that nothing of it outlives the last tone.
std::mutex g_alsaMutex;
int g_openDevices = 0;  // guarded by g_alsaMutex

// ALSA reports a missing card on stderr at every try; the fallback says enough.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

snd_pcm_t* OpenDevice(const std::string& name) {
    std::lock_guard lock(g_alsaMutex);
    static const bool quiet = [] {
        snd_lib_error_set_handler(QuietAlsaErrors);
        return true;
    }();
    (void)quiet;
    snd_pcm_t* pcm = nullptr;
    // Opened without waiting: a device held by another program fails at
    // once instead of stalling the alarms.
    if (snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        if (g_openDevices == 0) snd_config_update_free_global();
        return nullptr;
    }
    if (snd_pcm_nonblock(pcm, 0) < 0 ||
        snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kToneRate, 1,
                           kLatencyUs) < 0) {
        snd_pcm_close(pcm);
        if (g_openDevices == 0) snd_config_update_free_global();
        return nullptr;
    }
    ++g_openDevices;
    return pcm;
}

void CloseDevice(snd_pcm_t*& pcm) {
    if (!pcm) return;
    std::lock_guard lock(g_alsaMutex);
    snd_pcm_close(pcm);
    pcm = nullptr;
    if (--g_openDevices == 0) snd_config_update_free_global();
}

// Writes every sample and waits until the device has played them.
bool PlaySamples(snd_pcm_t* pcm, const std::int16_t* samples, std::size_t count) {
    if (snd_pcm_prepare(pcm) < 0) return false;
    while (count > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples, count);
        if (n < 0) n = snd_pcm_recover(pcm, int(n), 1);
        if (n < 0) return false;
        samples += n;
        count -= std::size_t(n);
    }
    return snd_pcm_drain(pcm) >= 0;
}

}  // namespace

void SynthesizeTone(unsigned frequencyHz, unsigned rate, std::int16_t* out, std::size_t count) {
    if (!out || rate == 0) return;
    const double f = std::min<double>(frequencyHz, rate / 2.0);
    const double step = 2.0 * std::numbers::pi * f / rate;
    const std::size_t ramp = std::min<std::size_t>(rate / 1000 + 1, count / 2);
    constexpr double kAmplitude = 0.5 * 32767;
    for (std::size_t i = 0; i < count; ++i) {
        double gain = 1.0;
        if (ramp > 0) {
            const std::size_t edge = std::min(i, count - 1 - i);
            if (edge < ramp) gain = double(edge) / double(ramp);
        }
        out[i] = static_cast<std::int16_t>(std::lround(kAmplitude * gain * std::sin(step * i)));
    }
}

std::string AlarmSoundDevice() {
    const char* v = std::getenv("TALVORA_SOUND_DEVICE");
    return v && *v ? v : "default";
}

ToneBeepSink::ToneBeepSink(std::string device, Fallback fallback)
    : device_(std::move(device)), fallback_(std::move(fallback)), worker_([this] { Run(); }) {}

ToneBeepSink::~ToneBeepSink() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queue_.clear();  // the exit does not wait for an alarm's tones
    }
    wake_.notify_all();
    worker_.join();
}

void ToneBeepSink::Beep(const BeepRequest& request) {
    {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        if (queue_.size() >= kMostPendingTones) {
            ++dropped_;
            return;
        }
        queue_.push_back(request);
    }
    wake_.notify_one();
}

bool ToneBeepSink::WaitIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, limit, [this] { return queue_.empty() && !busy_; });
}

std::uint64_t ToneBeepSink::Played() const {
    std::lock_guard lock(mutex_);
    return played_;
}

std::uint64_t ToneBeepSink::FellBack() const {
    std::lock_guard lock(mutex_);
    return fellBack_;
}

std::uint64_t ToneBeepSink::Dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void ToneBeepSink::Run() {
    snd_pcm_t* pcm = nullptr;
    std::chrono::steady_clock::time_point retryAt{};
    std::vector<std::int16_t> samples;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (queue_.empty()) {
            busy_ = false;
            idle_.notify_all();
            if (stop_) break;
            const bool woken =
                wake_.wait_for(lock, kIdleClose, [this] { return stop_ || !queue_.empty(); });
            if (!woken && pcm) {
                lock.unlock();
                CloseDevice(pcm);
                lock.lock();
            }
            continue;
        }
        const BeepRequest tone = queue_.front();
        queue_.pop_front();
        busy_ = true;
        lock.unlock();

        const unsigned ms = std::min(tone.durationMs, kLongestToneMs);
        samples.resize(std::size_t(kToneRate) * ms / 1000);
        SynthesizeTone(tone.frequencyHz, kToneRate, samples.data(), samples.size());
        const auto now = std::chrono::steady_clock::now();
        if (!pcm && now >= retryAt) {
            pcm = OpenDevice(device_);
            if (!pcm) retryAt = now + kRetryOpen;
        }
        bool played = pcm != nullptr;
        if (pcm && !PlaySamples(pcm, samples.data(), samples.size())) {
            // A device that failed is opened anew for the next tone.
            CloseDevice(pcm);
            played = false;
        }
        if (!played && fallback_) fallback_(tone);

        lock.lock();
        ++(played ? played_ : fellBack_);
    }
    lock.unlock();
    CloseDevice(pcm);
}

}  // namespace plat

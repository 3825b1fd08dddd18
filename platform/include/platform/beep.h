// Short tones through a replaceable sink: the GUI installs one that sounds
// the system bell, the default does nothing, tests record the calls.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

namespace plat {

struct BeepRequest {
    unsigned frequencyHz;
    unsigned durationMs;
};

class BeepSink {
public:
    virtual ~BeepSink();
    virtual void Beep(const BeepRequest& request) = 0;
};

// Sounds a tone through the installed sink (none: silent).
void Beep(unsigned frequencyHz, unsigned durationMs);

// Installs a sink; null restores the silent default.
void SetBeepSink(std::shared_ptr<BeepSink> sink);

// Records every tone. Thread-safe.
class RecordingBeepSink : public BeepSink {
public:
    void Beep(const BeepRequest& request) override;
    std::vector<BeepRequest> Heard() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<BeepRequest> heard_;  // guarded by mutex_
};

}  // namespace plat

// The data side of one curve window: the hand-off queue, the worker thread
// that turns queued frames into curve points and the frame-code text, and the
// prepared points the window draws. No Qt.
//
// Threads: SetData runs on the program's data thread and only queues; the
// worker takes one item out of the queue under its lock and prepares it
// outside; the GUI thread reads the prepared points under the points lock.
#pragma once

#include <rawcurve/curve_queue.h>
#include <rawcurve/curve_settings.h>
#include <rawviews/caption_text.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rawcurve {

// Caps of the preparation: longer subframes, wider words and more bits are
// read only up to these.
inline constexpr int kMaxSubframeWords = 2048;
inline constexpr int kMaxWordBytes = 4;
inline constexpr int kMaxWordBits = 32;
// Points kept per channel (the newest ones).
inline constexpr std::size_t kRingPoints = 16384;

// What the window draws, copied out under the points lock.
struct CurveSnapshot {
    bool hasShape = false;
    _FRAME_STRUCT_PARAM_EX shape{};
    int wordBits = 0;  // for scaling: capped bits of the words shown
    std::string frameCode;
    struct Channel {
        int position = 0;
        bool valid = false;                 // the position lies in the frame
        std::vector<std::uint32_t> values;  // oldest first
    } channel[kChannels];
    std::uint64_t version = 0;  // changes with every prepared item
};

class CurveEngine {
public:
    // `initial` may be null; `settings` are the window's stored ones.
    CurveEngine(const _FRAME_STRUCT_PARAM_EX* initial, const CurverSettings& settings);
    ~CurveEngine();  // stops and joins the worker
    CurveEngine(const CurveEngine&) = delete;
    CurveEngine& operator=(const CurveEngine&) = delete;

    // Starts the worker (it sleeps 10 ms whenever the queue is empty).
    void Start();
    // Clears the running flag and joins the worker; safe to call twice.
    void Stop();
    bool Running() const { return running_; }

    // Data thread: queues a copy of the record's nFramesPerBuffer frames and
    // exchanges nShowWholeFrame with the caller's record. 1 when queued; 0
    // for a null argument, a record with zero sizes, a negative frame count
    // or a hand-off beyond 64 MiB (nothing copied).
    int SetData(_FRAME_STRUCT_PARAM_EX* frame, const std::uint8_t* data);

    // GUI thread: new settings; the points start again when channels or mode
    // change. A changed whole-frame mode reaches the caller at its next call.
    void SetSettings(const CurverSettings& s);
    CurverSettings Settings() const;
    // GUI thread: true (once) when the caller switched the whole-frame mode;
    // `mode` is the mode now in force.
    bool TakeCallerWholeFrame(int& mode);

    // One worker step, also for tests: prepares the oldest queued item;
    // false when there was none.
    bool ProcessOne();

    // GUI thread: the newest `maxPoints` points of every channel.
    void Read(CurveSnapshot& out, std::size_t maxPoints) const;
    std::uint64_t Version() const;

    std::size_t Queued() const { return queue_.Size(); }
    std::uint64_t Dropped() const { return queue_.Dropped(); }

private:
    void Run();
    void Prepare(const CurveItem& item);

    CurveQueue queue_;
    CurveItem work_;  // worker only

    // Whole-frame exchange with the caller; lastCaller_ is the data thread's.
    std::atomic<int> wholeFrame_{0};
    std::atomic<bool> ownChanged_{false};
    std::atomic<bool> callerChanged_{false};
    int lastCaller_ = 0;

    mutable std::mutex pointsMutex_;
    // Guarded by pointsMutex_.
    CurverSettings settings_;
    int preparedMode_ = -1;  // mode the rings were filled in
    bool hasShape_ = false;
    _FRAME_STRUCT_PARAM_EX shape_{};
    int wordBits_ = 0;
    char frameCode_[rawviews::kCaptionTextMax] = {};
    struct Ring {
        std::unique_ptr<std::uint32_t[]> values;
        std::uint64_t written = 0;
        bool valid = false;
    } rings_[kChannels];
    std::uint64_t version_ = 0;

    std::atomic<bool> running_{false};
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::thread worker_;
};

}  // namespace rawcurve

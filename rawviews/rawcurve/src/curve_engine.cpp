#include <rawcurve/curve_engine.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace rawcurve {

namespace {

std::uint32_t ReadWord(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

bool SameChannels(const CurverSettings& a, const CurverSettings& b) {
    return std::equal(std::begin(a.channel), std::end(a.channel), std::begin(b.channel));
}

}  // namespace

CurveEngine::CurveEngine(const _FRAME_STRUCT_PARAM_EX* initial, const CurverSettings& settings)
    : settings_(settings) {
    work_.data.reset(new std::uint8_t[CurveQueue::kInitialSlotBytes]);
    work_.capacity = CurveQueue::kInitialSlotBytes;
    for (Ring& r : rings_) r.values.reset(new std::uint32_t[kRingPoints]);
    wholeFrame_ = settings.nShowWfMode != 0;
    if (initial) {
        lastCaller_ = initial->nShowWholeFrame;
        shape_ = *initial;
    }
    ownChanged_ = wholeFrame_.load() != (lastCaller_ != 0);
}

CurveEngine::~CurveEngine() {
    Stop();
}

void CurveEngine::Start() {
    if (worker_.joinable()) return;
    running_ = true;
    worker_ = std::thread([this] { Run(); });
}

void CurveEngine::Stop() {
    {
        std::lock_guard lock(wakeMutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void CurveEngine::Run() {
    while (running_) {
        if (ProcessOne()) continue;
        std::unique_lock lock(wakeMutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return !running_; });
    }
}

int CurveEngine::SetData(_FRAME_STRUCT_PARAM_EX* frame, const std::uint8_t* data) {
    if (!frame || !data) return 0;
    const _FRAME_STRUCT_PARAM_EX in = *frame;
    const std::size_t bytes = CurveHandoffBytes(in);
    if (bytes == 0) return 0;

    if (ownChanged_.exchange(false)) {
        frame->nShowWholeFrame = wholeFrame_;
        lastCaller_ = frame->nShowWholeFrame;
    } else if (in.nShowWholeFrame != lastCaller_) {
        lastCaller_ = in.nShowWholeFrame;
        const int wanted = in.nShowWholeFrame != 0;
        if (wholeFrame_.exchange(wanted) != wanted) callerChanged_ = true;
    }
    return queue_.Push(in, data, bytes) ? 1 : 0;
}

void CurveEngine::SetSettings(const CurverSettings& s) {
    std::lock_guard lock(pointsMutex_);
    const bool channels = !SameChannels(s, settings_);
    const int mode = s.nShowWfMode != 0;
    if (mode != wholeFrame_.exchange(mode)) ownChanged_ = true;
    settings_ = s;
    settings_.nShowWfMode = mode;
    if (channels) preparedMode_ = -1;  // restart the rings at the next item
}

CurverSettings CurveEngine::Settings() const {
    std::lock_guard lock(pointsMutex_);
    CurverSettings s = settings_;
    s.nShowWfMode = wholeFrame_;
    return s;
}

bool CurveEngine::TakeCallerWholeFrame(int& mode) {
    if (!callerChanged_.exchange(false)) return false;
    mode = wholeFrame_;
    std::lock_guard lock(pointsMutex_);
    settings_.nShowWfMode = mode;
    return true;
}

bool CurveEngine::ProcessOne() {
    if (!queue_.Pop(work_)) return false;
    Prepare(work_);
    return true;
}

void CurveEngine::Prepare(const CurveItem& item) {
    const _FRAME_STRUCT_PARAM_EX& f = item.shape;
    const std::size_t frameBytes = CurveFrameBytes(f);
    if (frameBytes == 0 || item.bytes < frameBytes) return;
    const std::size_t frames = item.bytes / frameBytes;
    const int wordsPerSubframe = f.nWordsPerSubframe;
    const int readable = std::min(wordsPerSubframe, kMaxSubframeWords);
    const int wordBytes = f.nWordBytes;
    const int readBytes = std::min(wordBytes, kMaxWordBytes);
    const int bits = std::min(int(f.nWordBits), kMaxWordBits);
    const std::size_t record = std::size_t(wordsPerSubframe) * wordBytes + f.nTimeBytes;
    const int mode = wholeFrame_;

    std::lock_guard lock(pointsMutex_);
    const bool masked = settings_.nDataBitsLimit != 0 && bits > 0 && bits < 32;
    const std::uint32_t mask = masked ? (std::uint32_t{1} << bits) - 1 : ~std::uint32_t{0};
    const bool reshaped = !hasShape_ || f.nWordsPerSubframe != shape_.nWordsPerSubframe ||
                          f.nSubframes != shape_.nSubframes || f.nWordBytes != shape_.nWordBytes ||
                          f.nTimeBytes != shape_.nTimeBytes;
    if (reshaped || mode != preparedMode_) {
        for (Ring& r : rings_) r.written = 0;
        preparedMode_ = mode;
    }
    for (int k = 0; k < kChannels; ++k) {
        Ring& ring = rings_[k];
        const long long p = settings_.channel[k] - 1LL;  // 0-based position
        long long row = 0, word = p;
        if (mode) {
            row = p / wordsPerSubframe;
            word = p % wordsPerSubframe;
        }
        // A position outside the frame (or beyond the words read) draws nothing.
        ring.valid = p >= 0 && word < readable && row < f.nSubframes;
        if (!ring.valid) {
            ring.written = 0;
            continue;
        }
        const std::size_t at =
            std::size_t(row) * record + f.nTimeBytes + std::size_t(word) * wordBytes;
        const int rowsPerFrame = mode ? 1 : f.nSubframes;
        for (std::size_t fr = 0; fr < frames; ++fr) {
            const std::uint8_t* base = item.data.get() + fr * frameBytes + at;
            for (int r = 0; r < rowsPerFrame; ++r) {
                ring.values[ring.written % kRingPoints] =
                    ReadWord(base + std::size_t(r) * record, readBytes) & mask;
                ++ring.written;
            }
        }
    }
    const std::uint8_t* newest = item.data.get() + (frames - 1) * frameBytes;
    rawviews::FormatFrameCode(frameCode_, sizeof frameCode_, newest, frameBytes, f.nTimeBytes,
                              readBytes, bits, masked);
    shape_ = f;
    hasShape_ = true;
    wordBits_ = bits > 0 ? bits : 8 * readBytes;
    ++version_;
}

void CurveEngine::Read(CurveSnapshot& out, std::size_t maxPoints) const {
    std::lock_guard lock(pointsMutex_);
    out.hasShape = hasShape_;
    out.shape = shape_;
    out.wordBits = wordBits_;
    out.frameCode.assign(frameCode_);
    out.version = version_;
    maxPoints = std::min(maxPoints, kRingPoints);
    for (int k = 0; k < kChannels; ++k) {
        const Ring& ring = rings_[k];
        CurveSnapshot::Channel& c = out.channel[k];
        c.position = settings_.channel[k];
        c.valid = ring.valid;
        const std::size_t n = std::size_t(std::min<std::uint64_t>(ring.written, maxPoints));
        c.values.resize(n);
        const std::uint64_t first = ring.written - n;
        for (std::size_t i = 0; i < n; ++i) c.values[i] = ring.values[(first + i) % kRingPoints];
    }
}

std::uint64_t CurveEngine::Version() const {
    std::lock_guard lock(pointsMutex_);
    return version_;
}

}  // namespace rawcurve

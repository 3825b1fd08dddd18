// A spectrum unit (modules 8, 9, 11, 10 = public units 0, 1, 2, 3): the
// card's attribute-and-spectrum block, the vector block (unit 3), the I/Q
// sample blocks and their FFT worker, which keeps the accumulated spectrum
// and the signal-to-noise estimate that units 0 and 1 write into the
// demodulator status.
#pragma once

#include <bbdevice/card_plot_words.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "engine_unit.h"
#include "fft_estimate.h"

namespace bbdev {

class CSpectrumUnit : public CEngineUnit {
public:
    static constexpr std::size_t kInnateWords = 12;

    // type 0..3 as the public unit number.
    CSpectrumUnit(CCardDevice& card, unsigned module, unsigned type);
    ~CSpectrumUnit() override;

    unsigned type() const { return type_; }
    // Carrier of the last demodulator (units 0, 1, 3) or signal-source (2) record.
    void SetCarrier(double frequencyHz, std::uint16_t mode);
    void Carrier(double* frequencyHz, std::uint16_t* mode) const;
    // The band the estimate measures, in hertz of the 0 .. 40 MHz bin scale.
    void SetSignalBand(double centreHz, double bandHz);

    void OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) override;

    // The last attribute-and-spectrum block as received (336 words).
    void CopySpectrumBlock(std::uint32_t* out) const;
    void CopyInnateAttributes(std::uint32_t* out) const;
    // False for units other than type 3.
    bool CopyVectorBlock(std::uint32_t* out) const;
    void ResetAccumulation();

    // Counters for tests and benchmarks.
    std::uint64_t badMessages() const { return badMessages_.load(); }
    std::uint64_t sampleBlocks() const { return sampleBlocks_.load(); }
    std::uint64_t transforms() const { return transforms_.load(); }
    // Blocks overwritten before the worker took them.
    std::uint64_t overrun() const { return overrun_.load(); }
    std::uint64_t accumulated() const;
    // The accumulated magnitudes (1024 each, any may be null); their count.
    std::uint64_t CopyAccumulation(double* sum, double* max, double* min) const;
    // The latest estimate (false before the first); dB.
    bool LatestDb(double* instantDb, double* averagedDb) const;

private:
    void OnSamples(std::span<const std::uint8_t> payload);
    void WriteStatus();
    void Work();
    void Transform();

    const unsigned type_;

    mutable std::mutex carrierLock_;
    double frequencyHz_ = 0;  // guarded by carrierLock_
    std::uint16_t mode_ = 0;  // guarded by carrierLock_
    double signalCentreHz_;   // guarded by carrierLock_
    double signalBandHz_;     // guarded by carrierLock_

    mutable std::mutex spectrumLock_;
    std::uint32_t spectrumBlock_[plot::kSpectrumBlockWords] = {};  // guarded by spectrumLock_

    mutable std::mutex vectorLock_;
    std::unique_ptr<std::uint32_t[]> vectorBlock_;  // type 3 only; guarded by vectorLock_

    // Blocks waiting for the worker: the link hands over several at once
    // when it drains a burst, and each is transformed. When the worker falls
    // behind by more than the queue the oldest are overwritten, so the poll
    // worker never waits for it.
    static constexpr std::size_t kQueuedBlocks = 16;
    struct SampleBlock {
        double i[spectrum::kBlockSamples];
        double q[spectrum::kBlockSamples];
    };
    std::mutex sampleLock_;
    std::unique_ptr<SampleBlock[]> queued_;             // guarded by sampleLock_
    std::uint64_t queuedWritten_ = 0, queuedRead_ = 0;  // guarded by sampleLock_
    // The last block's words as received; guarded by sampleLock_.
    std::uint32_t sampleWords_[spectrum::kBlockSamples] = {};
    bool stop_ = false;  // guarded by sampleLock_
    std::condition_variable wakeCv_;

    // Owned by the worker thread.
    spectrum::FftTable fft_{spectrum::kBlockSamples};
    double re_[spectrum::kBlockSamples] = {};
    double im_[spectrum::kBlockSamples] = {};
    double mag_[spectrum::kBlockSamples] = {};
    spectrum::SnrHistory history_;

    // The unit's lock: accumulation and the latest estimate.
    mutable std::mutex unitLock_;
    double amassSum_[spectrum::kBlockSamples] = {};  // guarded by unitLock_
    double amassMax_[spectrum::kBlockSamples];       // guarded by unitLock_
    double amassMin_[spectrum::kBlockSamples];       // guarded by unitLock_
    std::uint64_t amassCount_ = 0;                   // guarded by unitLock_
    bool latestValid_ = false;                       // guarded by unitLock_
    double latestInstantDb_ = 0;                     // guarded by unitLock_
    double latestAveragedDb_ = 0;                    // guarded by unitLock_

    std::atomic<std::uint64_t> badMessages_{0};
    std::atomic<std::uint64_t> sampleBlocks_{0};
    std::atomic<std::uint64_t> transforms_{0};
    std::atomic<std::uint64_t> overrun_{0};

    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace bbdev

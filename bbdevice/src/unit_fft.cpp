#include "unit_fft.h"

#include <bbdevice/wire/engine_message.h>

#include <cstring>
#include <limits>

#include "card_device.h"
#include "unit_demodulator.h"

namespace bbdev {
namespace {

constexpr double kSpan = spectrum::kSampleRateHz;  // what the bins cover
constexpr double kSignalCentre = 20e6;
constexpr double kSignalBandWide = 160e6;   // types 0..2
constexpr double kSignalBandNarrow = 40e6;  // type 3
constexpr double kInnateResolution = 500000.0;

void StoreF64Words(std::uint32_t* words, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    words[0] = static_cast<std::uint32_t>(bits);
    words[1] = static_cast<std::uint32_t>(bits >> 32);
}

}  // namespace

CSpectrumUnit::CSpectrumUnit(CCardDevice& card, unsigned module, unsigned type)
    : CEngineUnit(card, module),
      type_(type & 3),
      signalCentreHz_(kSignalCentre),
      signalBandHz_(type_ == 3 ? kSignalBandNarrow : kSignalBandWide) {
    queued_ = std::make_unique<SampleBlock[]>(kQueuedBlocks);
    if (type_ == 3) vectorBlock_ = std::make_unique<std::uint32_t[]>(plot::kVectorWords);
    for (std::size_t i = 0; i < spectrum::kBlockSamples; ++i) {
        amassMax_[i] = std::numeric_limits<double>::lowest();
        amassMin_[i] = std::numeric_limits<double>::max();
    }
    worker_ = std::thread([this] { Work(); });
}

CSpectrumUnit::~CSpectrumUnit() {
    {
        std::lock_guard lock(sampleLock_);
        stop_ = true;
    }
    wakeCv_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void CSpectrumUnit::SetCarrier(double frequencyHz, std::uint16_t mode) {
    std::lock_guard lock(carrierLock_);
    frequencyHz_ = frequencyHz;
    mode_ = mode;
}

void CSpectrumUnit::Carrier(double* frequencyHz, std::uint16_t* mode) const {
    std::lock_guard lock(carrierLock_);
    if (frequencyHz) *frequencyHz = frequencyHz_;
    if (mode) *mode = mode_;
}

void CSpectrumUnit::SetSignalBand(double centreHz, double bandHz) {
    std::lock_guard lock(carrierLock_);
    signalCentreHz_ = centreHz;
    signalBandHz_ = bandHz;
}

void CSpectrumUnit::OnEngineMessage(unsigned operation, std::span<const std::uint8_t> payload) {
    switch (operation) {
        case plot::kOpIqSamples:
            OnSamples(payload);
            return;
        case plot::kOpSpectrum: {
            if (payload.size() != plot::kSpectrumBlockBytes) break;
            std::lock_guard lock(spectrumLock_);
            for (std::size_t w = 0; w < plot::kSpectrumBlockWords; ++w)
                spectrumBlock_[w] = wire::LoadLe32(payload.data() + 4 * w);
            return;
        }
        case plot::kOpVector: {
            if (type_ != 3 || payload.size() != plot::kVectorBytes) break;
            std::lock_guard lock(vectorLock_);
            for (std::size_t w = 0; w < plot::kVectorWords; ++w)
                vectorBlock_[w] = wire::LoadLe32(payload.data() + 4 * w);
            return;
        }
        default:
            return;  // acknowledgements and operations this unit does not use
    }
    badMessages_.fetch_add(1);
}

void CSpectrumUnit::OnSamples(std::span<const std::uint8_t> payload) {
    // A short block would leave stale samples in the transform.
    if (payload.size() < plot::kIqBlockBytes) {
        badMessages_.fetch_add(1);
        return;
    }
    // The values of the blocks before this one: the worker may finish this
    // block before the handler returns.
    if (type_ <= 1) WriteStatus();
    const bool negateQ = type_ >= 2;
    {
        std::lock_guard lock(sampleLock_);
        SampleBlock& block = queued_[queuedWritten_ % kQueuedBlocks];
        for (std::size_t k = 0; k < spectrum::kBlockSamples; ++k) {
            const std::uint32_t word = wire::LoadLe32(payload.data() + 4 * k);
            sampleWords_[k] = word;
            spectrum::SplitSample(word, negateQ, &block.i[k], &block.q[k]);
        }
        ++queuedWritten_;
        if (queuedWritten_ - queuedRead_ > kQueuedBlocks) {
            queuedRead_ = queuedWritten_ - kQueuedBlocks;
            overrun_.fetch_add(1);
        }
    }
    wakeCv_.notify_one();
    sampleBlocks_.fetch_add(1);
}

void CSpectrumUnit::WriteStatus() {
    double instant, averaged;
    {
        std::lock_guard lock(unitLock_);
        // Without an estimate from the last block the card's own value stays.
        if (!latestValid_) return;
        instant = latestInstantDb_;
        averaged = latestAveragedDb_;
    }
    std::uint32_t words[4];
    StoreF64Words(words, instant);
    StoreF64Words(words + 2, averaged);
    card_.demodulator().WriteStatusWords(type_, 4, words, 4);
}

void CSpectrumUnit::Work() {
    for (;;) {
        {
            std::unique_lock lock(sampleLock_);
            wakeCv_.wait(lock, [&] { return queuedRead_ < queuedWritten_ || stop_; });
            if (stop_) return;
            const SampleBlock& block = queued_[queuedRead_++ % kQueuedBlocks];
            std::memcpy(re_, block.i, sizeof re_);
            std::memcpy(im_, block.q, sizeof im_);
        }
        Transform();
    }
}

void CSpectrumUnit::Transform() {
    fft_.Forward(re_, im_);
    spectrum::CentredMagnitudes(re_, im_, spectrum::kBlockSamples, mag_);
    double centre, band;
    {
        std::lock_guard lock(carrierLock_);
        centre = signalCentreHz_;
        band = signalBandHz_;
    }
    const spectrum::SnrEstimate e =
        spectrum::EstimateSnr(mag_, spectrum::kBlockSamples, centre, band);
    if (e.valid) history_.Add(e.signal, e.noise);
    {
        std::lock_guard lock(unitLock_);
        for (std::size_t i = 0; i < spectrum::kBlockSamples; ++i) {
            amassSum_[i] += mag_[i];
            if (mag_[i] > amassMax_[i]) amassMax_[i] = mag_[i];
            if (mag_[i] < amassMin_[i]) amassMin_[i] = mag_[i];
        }
        ++amassCount_;
        latestValid_ = e.valid;
        if (e.valid) {
            latestInstantDb_ = spectrum::RatioDb(e.ratio);
            latestAveragedDb_ = spectrum::RatioDb(history_.Averaged(spectrum::kBlockSamples));
        }
    }
    transforms_.fetch_add(1);
}

void CSpectrumUnit::CopySpectrumBlock(std::uint32_t* out) const {
    std::lock_guard lock(spectrumLock_);
    std::memcpy(out, spectrumBlock_, sizeof spectrumBlock_);
}

void CSpectrumUnit::CopyInnateAttributes(std::uint32_t* out) const {
    std::uint32_t words[kInnateWords] = {};
    double centre;
    {
        std::lock_guard lock(carrierLock_);
        centre = frequencyHz_;
    }
    StoreF64Words(words + 0, centre - kSpan / 2);
    StoreF64Words(words + 2, centre + kSpan / 2);
    words[4] = static_cast<std::uint32_t>(spectrum::kBlockSamples);
    words[5] = type_;
    StoreF64Words(words + 6, kInnateResolution);
    StoreF64Words(words + 8, 0.0);
    std::lock_guard lock(unitLock_);
    std::memcpy(out, words, sizeof words);
}

bool CSpectrumUnit::CopyVectorBlock(std::uint32_t* out) const {
    if (type_ != 3) return false;
    std::lock_guard lock(vectorLock_);
    std::memcpy(out, vectorBlock_.get(), plot::kVectorBytes);
    return true;
}

void CSpectrumUnit::ResetAccumulation() {
    std::lock_guard lock(unitLock_);
    for (std::size_t i = 0; i < spectrum::kBlockSamples; ++i) {
        amassSum_[i] = 0;
        amassMax_[i] = std::numeric_limits<double>::lowest();
        amassMin_[i] = std::numeric_limits<double>::max();
    }
    amassCount_ = 0;
}

std::uint64_t CSpectrumUnit::accumulated() const {
    std::lock_guard lock(unitLock_);
    return amassCount_;
}

std::uint64_t CSpectrumUnit::CopyAccumulation(double* sum, double* max, double* min) const {
    std::lock_guard lock(unitLock_);
    if (sum) std::memcpy(sum, amassSum_, sizeof amassSum_);
    if (max) std::memcpy(max, amassMax_, sizeof amassMax_);
    if (min) std::memcpy(min, amassMin_, sizeof amassMin_);
    return amassCount_;
}

bool CSpectrumUnit::LatestDb(double* instantDb, double* averagedDb) const {
    std::lock_guard lock(unitLock_);
    if (!latestValid_) return false;
    if (instantDb) *instantDb = latestInstantDb_;
    if (averagedDb) *averagedDb = latestAveragedDb_;
    return true;
}

}  // namespace bbdev

// The simulated signal of one spectrum module: a carrier at the centre of a
// 40 MHz complex-rate band, modulated after the last record's mode at its
// bit rate, with white noise at the set signal-to-noise ratio; before a
// record, noise only. Blocks are drawn from a pool built when the record
// changes, so filling one costs no transform and no allocation.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cardengine {

struct SignalRecord {
    bool present = false;
    double frequencyHz = 0;
    unsigned mode = 0;  // 0, 1 FM; 2, 4 BPSK; 3, 5, 6 QPSK
    double bitRate = 0;
};

class SpectrumSignal {
public:
    static constexpr std::size_t kSamples = 1024;
    static constexpr std::size_t kPoolBlocks = 8;
    static constexpr std::size_t kSpectrumBins = 256;  // of the 264 words

    SpectrumSignal(double snrDb, std::uint32_t seed);
    void SetRecord(const SignalRecord& record);

    // 1024 sample words, I high 16 bits, Q low 16 bits (Q negated if asked).
    void FillSamples(std::uint32_t* words, bool negateQ);
    // The 336-word attribute-and-spectrum block: the averaged spectrum.
    void FillSpectrum(std::uint32_t* words, unsigned module);
    // The 8202-word vector block: 8192 symbol points.
    void FillVector(std::uint32_t* words);

private:
    std::uint32_t Next();
    void BuildPool();

    double signalShare_;  // of the total power
    double noiseShare_;
    std::uint32_t random_;
    SignalRecord record_;
    std::vector<std::complex<double>> pool_;  // kPoolBlocks blocks, mean power 1
    std::vector<std::complex<float>> noise_;  // unit mean power
    std::vector<std::uint32_t> levels_;       // averaged spectrum words
    std::uint32_t blocks_ = 0, spectra_ = 0, vectors_ = 0;
};

// In-place forward DFT of a power-of-two length (inverse: conjugate around it).
void ForwardFft(std::complex<double>* x, std::size_t n);

}  // namespace cardengine

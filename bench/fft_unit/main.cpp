// bench_spectrum [seconds]: cardengine --spectrum-ms 1 on a loopback port
// for the given time (default 5): FFT results per I/Q block received on
// every spectrum unit, and the demodulator data rate beside it against a run
// with the spectrum stream off. Then the FFT and estimate of one block, median
// and p99, against a direct DFT of the same blocks.
#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "card_device.h"
#include "device_table.h"
#include "fft_estimate.h"
#include "unit_fft.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace bbdev;

std::atomic<std::uint64_t> g_dataBytes{0};

int CountData(DemReportBlock* block) {
    g_dataBytes.fetch_add(block->byteCount);
    return 0;
}

struct StreamResult {
    bool ok = false;
    std::uint64_t blocks[4] = {}, transforms[4] = {}, overrun[4] = {};
    double dataMBps = 0;
};

StreamResult RunStream(const std::string& spectrumMs, double seconds) {
    StreamResult r;
    cardengine::testkit::EngineProcess engine({"--spectrum-ms", spectrumMs});
    if (!engine.started()) return r;
    ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);
    CardFunctionInfo info{};
    if (!BB_OpenDevice(0, CountData, 0, &info)) return r;
    DemParam dem;
    FillDefault(dem);
    SimParam sim;
    FillDefault(sim);
    if (!BB_SetDemParam(0, &dem) || !BB_SetSimParam(0, &sim) || !BB_ReportDemDataEnable(0, 0, 1)) {
        BB_CloseDevice(0);
        return r;
    }
    cardengine::testkit::SleepMs(500);  // past the record's settle time
    auto card = FindOpenCard(0);
    std::uint64_t b0[4], t0[4], o0[4];
    for (unsigned u = 0; u < 4; ++u) {
        b0[u] = card->spectrum(u).sampleBlocks();
        t0[u] = card->spectrum(u).transforms();
        o0[u] = card->spectrum(u).overrun();
    }
    const std::uint64_t d0 = g_dataBytes.load();
    const auto start = Clock::now();
    cardengine::testkit::SleepMs(static_cast<unsigned>(seconds * 1000));
    const std::uint64_t d1 = g_dataBytes.load();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    for (unsigned u = 0; u < 4; ++u) {
        r.blocks[u] = card->spectrum(u).sampleBlocks() - b0[u];
        r.transforms[u] = card->spectrum(u).transforms() - t0[u];
        r.overrun[u] = card->spectrum(u).overrun() - o0[u];
    }
    r.dataMBps = static_cast<double>(d1 - d0) / elapsed / 1e6;
    card.reset();
    BB_CloseDevice(0);
    r.ok = true;
    return r;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// A 4 Mbit/s BPSK-like block in noise, as 16-bit sample values.
void EngineLikeBlock(std::mt19937& gen, double* re, double* im) {
    std::normal_distribution<double> noise(0.0, 600.0);
    double symbol = 1;
    for (std::size_t n = 0; n < spectrum::kBlockSamples; ++n) {
        if (n % 10 == 0) symbol = (gen() & 1) ? 6000.0 : -6000.0;
        re[n] = std::round(symbol + noise(gen));
        im[n] = std::round(noise(gen));
    }
}

void TimeTransforms(unsigned fftBlocks, unsigned dftBlocks) {
    constexpr std::size_t N = spectrum::kBlockSamples;
    spectrum::FftTable fft(N);
    std::vector<double> re(N), im(N), mag(N), sre(N), sim(N);
    std::vector<std::complex<double>> twiddle(N), out(N);
    for (std::size_t k = 0; k < N; ++k)
        twiddle[k] = std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(k) / N);
    std::mt19937 gen(3);
    std::vector<double> fftUs, dftUs;
    double sink = 0;
    for (unsigned b = 0; b < fftBlocks; ++b) {
        EngineLikeBlock(gen, sre.data(), sim.data());
        re = sre;
        im = sim;
        const auto t0 = Clock::now();
        fft.Forward(re.data(), im.data());
        spectrum::CentredMagnitudes(re.data(), im.data(), N, mag.data());
        const auto e = spectrum::EstimateSnr(mag.data(), N, 20e6, 12e6);
        const auto t1 = Clock::now();
        sink += e.ratio;
        fftUs.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        if (b < dftBlocks) {
            const auto d0 = Clock::now();
            for (std::size_t k = 0; k < N; ++k) {
                std::complex<double> sum = 0;
                for (std::size_t n = 0; n < N; ++n)
                    sum += std::complex<double>(sre[n], sim[n]) * twiddle[(k * n) % N];
                out[k] = sum;
            }
            for (std::size_t i = 0; i < N; ++i) mag[i] = std::abs(out[(i + N / 2) % N]);
            const auto e2 = spectrum::EstimateSnr(mag.data(), N, 20e6, 12e6);
            const auto d1 = Clock::now();
            sink += e2.ratio;
            dftUs.push_back(std::chrono::duration<double, std::micro>(d1 - d0).count());
        }
    }
    std::printf("FFT + estimate per block: median %.1f us, p99 %.1f us (%u blocks)\n",
                Percentile(fftUs, 0.5), Percentile(fftUs, 0.99), fftBlocks);
    std::printf("direct DFT + estimate per block: median %.1f us, p99 %.1f us (%u blocks)\n",
                Percentile(dftUs, 0.5), Percentile(dftUs, 0.99), dftBlocks);
    if (sink == 12345.678) std::puts("");
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const StreamResult on = RunStream("1", seconds);
    const StreamResult off = RunStream("0", seconds);
    if (!on.ok || !off.ok) {
        std::fprintf(stderr, "bench_spectrum: cardengine run failed\n");
        return 1;
    }
    std::printf("cardengine --spectrum-ms 1, %.1f s:\n", seconds);
    static const char* kModule[4] = {"8", "9", "11", "10"};
    for (unsigned u = 0; u < 4; ++u)
        std::printf(
            "  unit %u (module %s): %llu I/Q blocks (%.0f/s), %llu FFT results, ratio %.4f, "
            "%llu overwritten\n",
            u, kModule[u], static_cast<unsigned long long>(on.blocks[u]),
            static_cast<double>(on.blocks[u]) / seconds,
            static_cast<unsigned long long>(on.transforms[u]),
            on.blocks[u] ? static_cast<double>(on.transforms[u]) / on.blocks[u] : 0.0,
            static_cast<unsigned long long>(on.overrun[u]));
    std::printf("  demodulator data: %.3f MB/s (spectrum off: %.3f MB/s)\n", on.dataMBps,
                off.dataMBps);
    TimeTransforms(5000, 200);
    return 0;
}

// The spectrum exports against cardengine's simulated signal: blocks of every
// unit, the status word in word 64, the card's signal-to-noise value, the
// estimate on engine blocks and closing the card during a fast stream.
#include <bbdevice/card_plot_words.h>

#include <cmath>
#include <cstring>

#include "card_device.h"
#include "device_fixture.h"
#include "device_table.h"
#include "unit_fft.h"

namespace {

using namespace bbdev;
using namespace bbdev::enginetest;
using cardengine::testkit::EngineProcess;

double F64At(const std::uint32_t* words) {
    const std::uint64_t bits = std::uint64_t{words[0]} | (std::uint64_t{words[1]} << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

CSpectrumUnit& Unit(unsigned u) {
    return FindOpenCard(0)->spectrum(u);
}

bool TransformsReach(unsigned u, std::uint64_t count) {
    return WaitUntil([&] { return Unit(u).transforms() >= count; }, 20000);
}

std::uint32_t Counter(unsigned u) {
    std::uint32_t block[BB_SPECTRUM_PLOT_WORDS] = {};
    if (!BB_GetSpectrumPlotData(0, u, block)) return 0;
    return block[plot::kAttrBlockCounter];
}

class SpectrumEngine : public DeviceTest {
protected:
    void Open(EngineProcess& engine) {
        ASSERT_TRUE(engine.started());
        PointAt(engine.port());
        CardFunctionInfo info{};
        ASSERT_TRUE(BB_OpenDevice(0, NoData, 0, &info));
        DemParam dem;
        FillDefault(dem);
        ASSERT_TRUE(BB_SetDemParam(0, &dem));
        SimParam sim;
        FillDefault(sim);
        sim.Sim调制模式 = 3;
        ASSERT_TRUE(BB_SetSimParam(0, &sim));
    }
};

TEST_F(SpectrumEngine, EveryUnitsBlocksArriveAndWord64CarriesTheStatusFrequency) {
    EngineProcess engine({"--spectrum-ms", "5"});
    Open(engine);
    for (unsigned u = 0; u < 4; ++u) {
        ASSERT_TRUE(WaitUntil([&] { return Counter(u) > 0; })) << "unit " << u;
        const std::uint32_t first = Counter(u);
        ASSERT_TRUE(WaitUntil([&] { return Counter(u) > first; })) << "unit " << u;
        ASSERT_TRUE(TransformsReach(u, 2)) << "unit " << u;
    }
    // cardengine reports the input frequency in kHz as status word 10 of
    // both halves and puts its module code in attribute word 64.
    std::uint32_t block[BB_SPECTRUM_PLOT_WORDS] = {};
    for (unsigned u : {0u, 1u, 3u}) {
        ASSERT_TRUE(WaitUntil([&] {
            return BB_GetSpectrumPlotData(0, u, block) && block[64] == 2300500u;
        })) << "unit "
            << u;
    }
    // The signal source's unit sends noise until the engine has its record:
    // wait for a block made with the record's mode.
    ASSERT_TRUE(WaitUntil([&] {
        return BB_GetSpectrumPlotData(0, 2, block) && block[plot::kAttrMode] == 3u;
    })) << "the signal-source record's mode on unit 2";
    EXPECT_EQ(block[64], 11u);
    EXPECT_EQ(block[plot::kAttrBinCount], 256u);
    EXPECT_LT(plot::LevelDbm(block[72]), plot::LevelDbm(block[72 + 128]));  // carrier in the middle

    std::vector<std::uint32_t> vector(BB_VECTOR_PLOT_WORDS, 0);
    ASSERT_TRUE(WaitUntil([&] {
        return BB_GetVectorPlotData(0, 0, vector.data()) && vector[plot::kVecPointCount] == 8192u;
    }));
    EXPECT_EQ(vector[plot::kVecMode], 0u);

    // Out-of-range units and missing buffers: false, nothing written.
    std::uint32_t untouched[BB_SPECTRUM_PLOT_WORDS];
    std::memset(untouched, 0x5A, sizeof untouched);
    EXPECT_FALSE(BB_GetSpectrumPlotData(0, 4, untouched));
    EXPECT_FALSE(BB_GetSpectrumInnateAttrib(0, 4, untouched));
    EXPECT_EQ(untouched[0], 0x5A5A5A5Au);
    EXPECT_EQ(untouched[64], 0x5A5A5A5Au);
    EXPECT_FALSE(BB_GetSpectrumPlotData(0, 0, nullptr));
    EXPECT_FALSE(BB_GetVectorPlotData(0, 3, nullptr));
    EXPECT_FALSE(BB_ResetAmassResult(0, 4));
    for (unsigned u = 0; u < 4; ++u) {
        EXPECT_TRUE(BB_ResetAmassResult(0, u));
        EXPECT_EQ(BB_SetReadSignalElapse(0, u), 0);
    }
    EXPECT_EQ(BB_StartupRadioSpan(0, 1), 0);
    EXPECT_EQ(BB_GetRadioPlotData(0, 1), 0);
    EXPECT_EQ(BB_StopRadioSpan(0, 1, 1), 0);
}

TEST_F(SpectrumEngine, InnateAttributesSpanTheCarrierAndTheCardsValueStays) {
    EngineProcess engine({"--spectrum-ms", "5"});
    Open(engine);
    std::uint32_t attrib[BB_SPECTRUM_INNATE_WORDS];
    ASSERT_TRUE(BB_GetSpectrumInnateAttrib(0, 0, attrib));
    EXPECT_EQ(F64At(attrib + 0), 2280500000.0);
    EXPECT_EQ(F64At(attrib + 2), 2320500000.0);
    EXPECT_EQ(attrib[4], 1024u);
    EXPECT_EQ(attrib[5], 0u);
    EXPECT_EQ(F64At(attrib + 6), 500000.0);
    EXPECT_EQ(F64At(attrib + 8), 0.0);
    EXPECT_EQ(attrib[10], 0u);
    EXPECT_EQ(attrib[11], 0u);
    ASSERT_TRUE(BB_GetSpectrumInnateAttrib(0, 3, attrib));
    EXPECT_EQ(attrib[5], 3u);

    // With the units' own band settings no block gives an estimate, so the
    // card's 18.5 dB is what the status shows, while blocks keep coming.
    const std::uint64_t start = Unit(0).transforms();
    ASSERT_TRUE(TransformsReach(0, start + 40));
    DemStatus s{};
    ASSERT_TRUE(WaitUntil([&] { return BB_GetDemStatus(0, 0, &s) && s.信噪比 > 0; }));
    for (int k = 0; k < 20; ++k) {
        ASSERT_TRUE(TransformsReach(0, start + 40 + k));
        ASSERT_TRUE(BB_GetDemStatus(0, 0, &s));
        EXPECT_EQ(s.信噪比, 18.5);
    }
}

// The averaged estimate of unit 0 over engine blocks, with a band that fits
// the simulated signal (4 Mbit/s: within +-4 MHz of the centre).
double MeasuredDb(const char* snrDb) {
    EngineProcess engine({"--spectrum-ms", "2", "--snr-db", snrDb});
    if (!engine.started()) return NAN;
    PointAt(engine.port());
    CardFunctionInfo info{};
    if (!BB_OpenDevice(0, NoData, 0, &info)) return NAN;
    Unit(0).SetSignalBand(20e6, 12e6);
    DemParam dem;
    FillDefault(dem);
    dem.解调模式 = 2;
    BB_SetDemParam(0, &dem);
    // Skip the blocks still on their way from before the record, and fill
    // the history of eight.
    std::uint64_t at = Unit(0).transforms() + 100;
    double sum = 0;
    int n = 0;
    for (int k = 0; k < 10; ++k, at += 8) {
        if (!TransformsReach(0, at)) break;
        double averaged = 0;
        if (Unit(0).LatestDb(nullptr, &averaged)) sum += averaged, ++n;
    }
    BB_CloseDevice(0);
    return n > 0 ? sum / n : NAN;
}

TEST_F(SpectrumEngine, TheEstimateRisesTenDecibelsWithTheEnginesRatio) {
    const double at20 = MeasuredDb("20");
    const double at30 = MeasuredDb("30");
    ASSERT_FALSE(std::isnan(at20));
    ASSERT_FALSE(std::isnan(at30));
    EXPECT_NEAR(at30 - at20, 10.0, 1.0) << at20 << " dB, " << at30 << " dB";
}

TEST_F(SpectrumEngine, ClosingDuringAFastStreamStopsCleanly) {
    EngineProcess engine({"--spectrum-ms", "1"});
    for (int round = 0; round < 2; ++round) {
        Open(engine);
        for (unsigned u = 0; u < 4; ++u)
            ASSERT_TRUE(TransformsReach(u, Unit(u).transforms() + 20)) << "unit " << u;
        Unit(0).SetSignalBand(20e6, 12e6);
        ASSERT_TRUE(BB_CloseDevice(0));
        std::uint32_t block[BB_SPECTRUM_PLOT_WORDS];
        EXPECT_FALSE(BB_GetSpectrumPlotData(0, 0, block));
    }
}

}  // namespace

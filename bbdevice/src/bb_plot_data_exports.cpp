// Exports of the spectrum units: plot data, innate attributes, the
// accumulation reset, the vector block and the operations without effect.
#include <bbdevice/bbdevice.h>
#include <bbdevice/card_plot_words.h>

#include "card_device.h"
#include "export_guard.h"
#include "unit_demodulator.h"
#include "unit_fft.h"

using namespace bbdev;

namespace {

static_assert(BB_SPECTRUM_PLOT_WORDS == plot::kSpectrumBlockWords);
static_assert(BB_VECTOR_PLOT_WORDS == plot::kVectorWords);
static_assert(BB_SPECTRUM_INNATE_WORDS == CSpectrumUnit::kInnateWords);

constexpr std::uint32_t kUnits = 4;
constexpr unsigned kStatusFrequencyWord = 10;

// CCardDevice::spectrum() masks the unit number: the range is checked first.
template <class F>
std::int32_t WithEnabledUnit(std::uint32_t card, std::uint32_t unit, F&& f) {
    if (unit >= kUnits) return 0;
    return WithOpenCard(card, [&](CCardDevice& d) {
        CSpectrumUnit& s = d.spectrum(unit);
        return s.enabled() && f(d, s);
    });
}

}  // namespace

extern "C" {

std::int32_t BB_GetSpectrumPlotData(std::uint32_t card, std::uint32_t unit,
                                    std::uint32_t data[BB_SPECTRUM_PLOT_WORDS]) {
    if (!data) return 0;
    return WithEnabledUnit(card, unit, [&](CCardDevice& d, CSpectrumUnit& s) {
        s.CopySpectrumBlock(data);
        // Unit 2 (the signal source) has no demodulator status of its own.
        if (unit != 2)
            data[plot::kAttrStatusSlot] =
                d.demodulator().StatusWord(unit == 1 ? 1 : 0, kStatusFrequencyWord);
        return true;
    });
}

std::int32_t BB_GetSpectrumInnateAttrib(std::uint32_t card, std::uint32_t unit,
                                        std::uint32_t attrib[BB_SPECTRUM_INNATE_WORDS]) {
    if (!attrib) return 0;
    return WithEnabledUnit(card, unit, [&](CCardDevice&, CSpectrumUnit& s) {
        s.CopyInnateAttributes(attrib);
        return true;
    });
}

std::int32_t BB_ResetAmassResult(std::uint32_t card, std::uint32_t unit) {
    return WithEnabledUnit(card, unit, [&](CCardDevice&, CSpectrumUnit& s) {
        s.ResetAccumulation();
        return true;
    });
}

std::int32_t BB_GetVectorPlotData(std::uint32_t card, std::uint32_t,
                                  std::uint32_t data[BB_VECTOR_PLOT_WORDS]) {
    if (!data) return 0;
    return WithEnabledUnit(card, 3,
                           [&](CCardDevice&, CSpectrumUnit& s) { return s.CopyVectorBlock(data); });
}

std::int32_t BB_SetReadSignalElapse(std::uint32_t, std::uint32_t) {
    return 0;
}

std::int32_t BB_StartupRadioSpan(std::uint32_t, std::uint32_t) {
    return 0;
}

std::int32_t BB_GetRadioPlotData(std::uint32_t, std::uint32_t) {
    return 0;
}

std::int32_t BB_StopRadioSpan(std::uint32_t, std::uint32_t, std::uint32_t) {
    return 0;
}

}  // extern "C"

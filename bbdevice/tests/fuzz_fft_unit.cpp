// Feeds a spectrum unit's message handler with a module, an operation and a
// payload chosen by the input; the blocks it keeps must stay readable and
// the status values it writes finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "card_device.h"
#include "unit_demodulator.h"
#include "unit_fft.h"

using namespace bbdev;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CCardDevice* card = [] {
        auto* c = new CCardDevice(0);
        c->demodulator().SetEnabled(true);
        c->spectrum(0).SetSignalBand(20e6, 4e6);
        c->spectrum(1).SetSignalBand(20e6, 4e6);
        return c;
    }();
    static std::vector<std::uint32_t> out(8202);
    if (size < 2) return 0;
    CSpectrumUnit& unit = card->spectrum(data[0] & 3);
    const unsigned operation = data[1] % 8;
    unit.OnEngineMessage(operation, {data + 2, size - 2});
    // Payloads shorter than a block are repeated up to one, so that sample
    // blocks reach the worker.
    if (operation == 3 && size > 2 && size - 2 < 4096) {
        std::vector<std::uint8_t> block(4096);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = data[2 + i % (size - 2)];
        unit.OnEngineMessage(3, {block.data(), block.size()});
    }
    unit.CopySpectrumBlock(out.data());
    unit.CopyVectorBlock(out.data());
    for (unsigned half = 0; half < 2; ++half) {
        DemStatus s{};
        card->demodulator().GetDemStatus(half, &s);
        if (std::isnan(s.信噪比) || std::isinf(s.信噪比)) std::abort();
    }
    return 0;
}

#include "engine_unit.h"

namespace cardengine {

// Every unit of the software card; add new units here.
std::vector<std::unique_ptr<EngineUnit>> MakeUnits(const Options& options) {
    std::vector<std::unique_ptr<EngineUnit>> units;
    units.push_back(MakeCardUnit(options));
    units.push_back(MakeDemFrameUnit(options));
    units.push_back(MakeReplayUnit(options));
    units.push_back(MakeDemStatusUnit(options));
    units.push_back(MakeTimeCodeUnit(options));
    units.push_back(MakeFrameStatUnit(options, 14));
    units.push_back(MakeFrameStatUnit(options, 15));
    units.push_back(MakeSpectrumUnit(options));
    if (options.floodBytes > 0) units.push_back(MakeFloodUnit(options));
    return units;
}

}  // namespace cardengine

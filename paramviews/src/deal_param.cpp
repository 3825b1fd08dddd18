// The exported library-level calls; nothing thrown leaves them.
#include "paramviews/deal_param.h"

#include <paramviews/param_groups.h>
#include <preferences/preferences.h>

#include <cstdint>

using paramviews::ParamGroups;

void InitialDealParam(int& nSubframe, int& nSuperframe, int& nSpecial) {
    try {
        ParamGroups::Instance().Initialize(nSubframe, nSuperframe, nSpecial);
    } catch (...) {
    }
}

void SetDealDSDemData(void* data, unsigned length) {
    try {
        // Without groups no window could ever show what is solved.
        ParamGroups::Instance().EnsureInitializedFromAnyThread();
        if (length > unsigned(INT32_MAX)) return;
        StoreDealParameterData(static_cast<char*>(data), int(length));
    } catch (...) {
    }
}

void GetDealResultData(DealResult* subframe, DealResult* superframe, DealResult* special) {
    try {
        DealResult* out[3] = {subframe, superframe, special};
        auto& groups = ParamGroups::Instance();
        for (int l = 0; l < paramviews::kLevels; ++l) {
            const auto& g = groups.Group(l);
            if (!out[l] || !g.results) continue;
            for (int i = 0; i < g.count; ++i)
                out[l][i].dValue[kResultHistory - 1] = g.results[i].dValue[kResultHistory - 1];
        }
    } catch (...) {
    }
}

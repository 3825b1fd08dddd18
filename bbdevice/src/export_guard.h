// The one way the BB_ exports run their work: no exception leaves the
// library, a throw reads as failure (0).
#pragma once

#include <cstdint>
#include <utility>

#include "device_table.h"

namespace bbdev {

template <class F>
std::int32_t Guarded(F&& f) noexcept {
    try {
        return std::forward<F>(f)() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

// Runs f on the open card; false without one.
template <class F>
std::int32_t WithOpenCard(std::uint32_t card, F&& f) noexcept {
    return Guarded([&] {
        auto device = FindOpenCard(card);
        return device && f(*device);
    });
}

}  // namespace bbdev

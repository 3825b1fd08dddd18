// The exported calls: each takes the library's lock and never lets an
// exception out.
#include <gnsspick/gnsspick.h>

#include <memory>

#include "library_state.h"

namespace gnsspick {

std::mutex& LibraryLock() {
    static std::mutex m;
    return m;
}

GnssSearch& LibraryState() {
    static const std::unique_ptr<GnssSearch> s = std::make_unique<GnssSearch>();
    return *s;
}

namespace {

template <class F>
auto Locked(F&& f) noexcept {
    try {
        std::lock_guard<std::mutex> lock(LibraryLock());
        return f(LibraryState());
    } catch (...) {
        return decltype(f(LibraryState()))();
    }
}

}  // namespace
}  // namespace gnsspick

using gnsspick::GnssSearch;
using gnsspick::Locked;
using gnsspick::Protocol;

extern "C" {

void SetTelemetryPar(uint16_t headerBytes, uint16_t dataBytes, uint16_t records) {
    Locked([&](GnssSearch& s) { s.SetTelemetryPar(headerBytes, dataBytes, records); });
}

void SetSelectRoads(const uint16_t* positions) {
    if (!positions) return;
    Locked([&](GnssSearch& s) { s.SetSelectRoads(positions); });
}

void SearchMeasureData(const uint8_t* block, uint32_t length) {
    if (!block) return;
    Locked([&](GnssSearch& s) { s.Search(Protocol::WithoutReceiverId, block, length); });
}

void SearchMeasureData0(const uint8_t* block, uint32_t length) {
    if (!block) return;
    Locked([&](GnssSearch& s) { s.Search(Protocol::WithReceiverId, block, length); });
}

void SearchLX4_12GPSFram(const uint8_t* block, uint32_t length) {
    if (!block) return;
    Locked([&](GnssSearch& s) { s.Search(Protocol::Old, block, length); });
}

int32_t GetMeasureData(uint8_t* tables, uint8_t* solution, uint8_t* navigation) {
    return Locked([&](GnssSearch& s) { return s.GetMeasureData(tables, solution, navigation); });
}

int32_t GetTargetPositionData(double* position) {
    return Locked([&](GnssSearch& s) { return s.GetTargetPosition(position) ? 1 : 0; });
}

void ShowMeasureData(int32_t command, const char* title, void* parent) {
    try {
        if (command == 5)
            gnsspick::ShowSearchWindow(title ? title : "", parent);
        else if (command == 0)
            gnsspick::HideSearchWindow();
    } catch (...) {
    }
}

}  // extern "C"

// The exports as the program calls them, through the shared library.
#include <gnsspick/gnsspick.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "test_helpers.h"

using namespace gnsstest;

namespace {

// An old-protocol navigation message at positions 1-4 of 8 + 4 byte records,
// followed by one idle record.
Bytes OldNavigationBlock(float x, float y, float z) {
    Bytes stream = DleMessage(0xD7, Body(NavigationStored(x, y, z, 0, 2)));
    while (stream.size() % 4) stream.insert(stream.begin(), 0x00);
    stream.insert(stream.end(), 4, 0x00);
    return Records(stream, 8, 4, {1, 2, 3, 4});
}

void StartUp() {
    SetTelemetryPar(8, 4, 32);
    const uint16_t p[4] = {1, 2, 3, 4};
    SetSelectRoads(p);
}

}  // namespace

TEST(Exports, NullPointersAndAnEmptyLayoutDoNothing) {
    StartUp();
    SetSelectRoads(nullptr);
    SearchMeasureData(nullptr, 100);
    SearchMeasureData0(nullptr, 100);
    SearchLX4_12GPSFram(nullptr, 100);
    EXPECT_EQ(GetTargetPositionData(nullptr), 0);
    EXPECT_EQ(GetMeasureData(nullptr, nullptr, nullptr), 0);
    ShowMeasureData(5, nullptr, nullptr);  // no application: nothing to show on
    ShowMeasureData(0, nullptr, nullptr);

    const Bytes block = OldNavigationBlock(-2175000.f, 4388000.f, 4078000.f);
    SetTelemetryPar(0, 0, 0);
    SearchLX4_12GPSFram(block.data(), uint32_t(block.size()));
    double pos[3] = {7, 7, 7};
    EXPECT_EQ(GetTargetPositionData(pos), 0);
    EXPECT_EQ(pos[0], 7);

    StartUp();
    SearchLX4_12GPSFram(block.data(), uint32_t(block.size()));
    EXPECT_NE(GetTargetPositionData(pos), 0);
    EXPECT_GT(pos[0], 116.0);
    EXPECT_LT(pos[0], 117.0);
}

TEST(Exports, SearchAndFetchFromTwoThreadsSeeWholePositions) {
    StartUp();
    const Bytes east = OldNavigationBlock(-2175000.f, 4388000.f, 4078000.f);
    const Bytes west = OldNavigationBlock(2175000.f, -4388000.f, 4078000.f);
    std::atomic<bool> done{false};
    std::thread searcher([&] {
        for (int i = 0; i < 2000; ++i) {
            const Bytes& b = i % 2 ? west : east;
            SearchLX4_12GPSFram(b.data(), uint32_t(b.size()));
        }
        done = true;
    });
    int fetched = 0;
    while (!done || fetched == 0) {
        double pos[3];
        if (GetTargetPositionData(pos)) {
            ++fetched;
            // Longitude and latitude always come from the same solution.
            EXPECT_TRUE((pos[0] > 116 && pos[0] < 117) || (pos[0] < -63 && pos[0] > -64)) << pos[0];
            EXPECT_NEAR(pos[1], 40.0, 0.1);
        }
    }
    searcher.join();
    EXPECT_GT(fetched, 0);
}

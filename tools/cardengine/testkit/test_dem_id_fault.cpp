// The wrong-ID fault of the frame generator: the ID word of every Kth minor
// frame is the next frame's, its tag index stays its own.
#include <gtest/gtest.h>

#include <vector>

#include "dem_frame_options.h"
#include "dem_frames.h"

namespace {

constexpr std::uint32_t kWords = 6, kMinors = 4, kIdPos = 3;
constexpr std::size_t kRecord = 8 + kWords;

// IDs (byte kIdPos of each minor frame) and tag indexes of `frames` frames.
void Generate(const cardengine::DemFaults& faults, std::uint32_t countDown,
              std::vector<unsigned>& ids, std::vector<unsigned>& indexes) {
    DemParam dem{};
    dem.字长 = 8;
    dem.子帧长 = kWords;
    dem.副帧长 = kMinors;
    dem.码率 = 1000000;
    dem.副帧类型 = 2;
    dem.副帧路序 = kIdPos;
    dem.ID码计数方式 = countDown;
    dem.ID码初值 = 0x10;
    SimParam sim{};
    cardengine::DemFrameGenerator gen;
    gen.Configure(dem, sim, 0, faults);
    std::vector<std::uint8_t> out(12 * kRecord);
    std::size_t written = 0;
    ASSERT_EQ(gen.Generate(out.data(), out.size(), 12, &written), 12u);
    ASSERT_EQ(written, out.size());
    for (std::size_t i = 0; i < 12; ++i) {
        ids.push_back(out[i * kRecord + 8 + kIdPos - 1]);
        indexes.push_back(out[i * kRecord + 6]);
    }
}

TEST(DemIdFaultTest, EveryKthFrameCarriesTheNextIdAndKeepsItsIndex) {
    cardengine::DemFrameOptions o;
    bool ok = false;
    ASSERT_TRUE(cardengine::ParseDemFrameOption("--dem-id-fault", "3", o, ok));
    ASSERT_TRUE(ok);
    std::vector<unsigned> ids, indexes;
    Generate(o.faults, 0, ids, indexes);
    // Frames 3, 6, 9, 12 (1-based) are wrong; the one at index 3 wraps to 0.
    EXPECT_EQ(ids, (std::vector<unsigned>{0x10, 0x11, 0x13, 0x13, 0x10, 0x12, 0x12, 0x13, 0x11,
                                          0x11, 0x12, 0x10}));
    EXPECT_EQ(indexes, (std::vector<unsigned>{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}));
}

TEST(DemIdFaultTest, CountingDownTheNextIdIsOneLess) {
    cardengine::DemFaults f;
    f.idFaultEvery = 4;
    std::vector<unsigned> ids, indexes;
    Generate(f, 1, ids, indexes);
    EXPECT_EQ(ids, (std::vector<unsigned>{0x13, 0x12, 0x11, 0x13, 0x13, 0x12, 0x11, 0x13, 0x13,
                                          0x12, 0x11, 0x13}));
    // Off: every frame its own ID.
    ids.clear();
    indexes.clear();
    Generate({}, 0, ids, indexes);
    EXPECT_EQ(ids[2], 0x12u);
    EXPECT_EQ(ids[3], 0x13u);
}

}  // namespace

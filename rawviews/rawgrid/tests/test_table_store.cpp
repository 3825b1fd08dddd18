#include <gtest/gtest.h>
#include <rawgrid/table_store.h>

#include <atomic>
#include <thread>
#include <vector>

#include "testsupport/wait.h"

namespace rawgrid {
namespace {

_FRAME_STRUCT_PARAM Shape(int words, int subframes, int wordBits, int timeBytes = 8) {
    _FRAME_STRUCT_PARAM f{};
    f.nWordsPerSubframe = static_cast<std::uint16_t>(words);
    f.nSubframes = static_cast<std::uint16_t>(subframes);
    f.nFrameWords = static_cast<std::int32_t>(std::int64_t{words} * subframes);
    f.nWordBits = static_cast<std::uint8_t>(wordBits);
    f.nWordBytes = static_cast<std::uint8_t>((wordBits + 7) / 8);
    f.nTimeBytes = static_cast<std::uint8_t>(timeBytes);
    f.nBitRate = 1000000;
    f.fFramePeriod = float(f.nFrameWords) * 1000.0f * float(wordBits) / float(f.nBitRate);
    return f;
}

// Word w of row r is (r << 8 | w) written high byte first; the tag is r repeated.
std::vector<std::uint8_t> Frame(const _FRAME_STRUCT_PARAM& f) {
    std::vector<std::uint8_t> out;
    for (int r = 0; r < f.nSubframes; ++r) {
        for (int i = 0; i < f.nTimeBytes; ++i) out.push_back(static_cast<std::uint8_t>(r));
        for (int w = 0; w < f.nWordsPerSubframe; ++w) {
            const std::uint32_t v = std::uint32_t(r) << 8 | std::uint32_t(w & 0xFF);
            for (int b = f.nWordBytes - 1; b >= 0; --b) out.push_back(std::uint8_t(v >> (8 * b)));
        }
    }
    return out;
}

TEST(TableStore, FrameBytesOfTheByteWordExample) {
    const _FRAME_STRUCT_PARAM f = Shape(128, 32, 8);
    EXPECT_EQ(f.nFrameWords, 4096);
    EXPECT_FLOAT_EQ(f.fFramePeriod, 32.768f);
    EXPECT_EQ(TableStore::FrameBytes(f), 32u * 136u);
}

TEST(TableStore, CopiesTheFrameAndReadsBackAnyWindow) {
    TableStore store(0, nullptr, 0);
    _FRAME_STRUCT_PARAM f = Shape(10, 4, 16);
    std::vector<std::uint8_t> data = Frame(f);
    ASSERT_EQ(store.SetData(&f, data.data()), 1);

    PageCopy page;
    store.ReadPage(1, 2, 3, 4, page);
    ASSERT_TRUE(page.hasData);
    ASSERT_TRUE(page.hasTime);
    ASSERT_EQ(page.rows, 2);
    ASSERT_EQ(page.words, 4);
    EXPECT_EQ(page.values[0], 0x0103u);
    EXPECT_EQ(page.values[7], 0x0206u);
    EXPECT_EQ(page.tags[0], 1);
    EXPECT_EQ(page.tags[8], 2);

    // Clipped to the frame.
    store.ReadPage(3, 10, 8, 10, page);
    EXPECT_EQ(page.rows, 1);
    EXPECT_EQ(page.words, 2);
    EXPECT_EQ(page.values[1], 0x0309u);
    store.ReadPage(40, 1, 0, 1, page);
    EXPECT_EQ(page.rows, 0);
}

TEST(TableStore, TimeTagsOnlyWhenEightBytes) {
    TableStore store(0, nullptr, 0);
    _FRAME_STRUCT_PARAM f = Shape(3, 2, 24, 4);
    std::vector<std::uint8_t> data = Frame(f);
    ASSERT_EQ(store.SetData(&f, data.data()), 1);
    PageCopy page;
    store.ReadPage(1, 1, 0, 3, page);
    EXPECT_FALSE(page.hasTime);
    EXPECT_EQ(page.values[2], 0x000102u);  // after the 4 tag bytes
}

TEST(TableStore, RefusesUnusableInput) {
    TableStore store(0, nullptr, 0);
    _FRAME_STRUCT_PARAM f = Shape(4, 2, 8);
    std::vector<std::uint8_t> data = Frame(f);
    EXPECT_EQ(store.SetData(nullptr, data.data()), 0);
    EXPECT_EQ(store.SetData(&f, nullptr), 0);
    for (int bytes : {0, 5, 255}) {
        _FRAME_STRUCT_PARAM bad = f;
        bad.nWordBytes = static_cast<std::uint8_t>(bytes);
        EXPECT_EQ(store.SetData(&bad, data.data()), 0) << bytes;
    }
    _FRAME_STRUCT_PARAM empty = f;
    empty.nWordsPerSubframe = 0;
    EXPECT_EQ(store.SetData(&empty, data.data()), 0);
    empty = f;
    empty.nSubframes = 0;
    EXPECT_EQ(store.SetData(&empty, data.data()), 0);
    // 65535 x (65535 x 4 + 255) bytes is refused before anything is allocated.
    _FRAME_STRUCT_PARAM huge = Shape(65535, 65535, 32, 255);
    EXPECT_EQ(TableStore::FrameBytes(huge), 0u);
    EXPECT_EQ(store.SetData(&huge, data.data()), 0);
    EXPECT_EQ(store.Capacity(), TableStore::kInitialBytes);
    // Nothing was taken.
    PageCopy page;
    store.ReadPage(0, 1, 0, 1, page);
    EXPECT_FALSE(page.hasData);
}

TEST(TableStore, GrowsToTheExactFrameSizeAndNeverShrinks) {
    TableStore store(0, nullptr, 0);
    EXPECT_EQ(store.Capacity(), 26'419'200u);
    _FRAME_STRUCT_PARAM big = Shape(4096, 4000, 16);  // 4000 x 8200 bytes
    std::vector<std::uint8_t> data = Frame(big);
    ASSERT_EQ(data.size(), 32'800'000u);
    ASSERT_EQ(store.SetData(&big, data.data()), 1);
    EXPECT_EQ(store.Capacity(), 32'800'000u);
    PageCopy page;
    store.ReadPage(3999, 1, 4095, 1, page);
    ASSERT_EQ(page.rows, 1);
    EXPECT_EQ(page.values[0], (3999u << 8 | 0xFFu) & 0xFFFFu);

    _FRAME_STRUCT_PARAM small = Shape(16, 4, 8);
    std::vector<std::uint8_t> smallData = Frame(small);
    ASSERT_EQ(store.SetData(&small, smallData.data()), 1);
    EXPECT_EQ(store.Capacity(), 32'800'000u);
}

TEST(TableStore, ReportsWhatChanged) {
    TableStore store(0, nullptr, 0);
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 8);
    std::vector<std::uint8_t> data = Frame(f);
    store.Take();

    ASSERT_EQ(store.SetData(&f, data.data()), 1);
    StoreUpdate u = store.Take();
    EXPECT_TRUE(u.data);
    EXPECT_TRUE(u.layout);
    EXPECT_TRUE(u.title);

    // The same frame again: nothing to repaint, though it is accepted.
    ASSERT_EQ(store.SetData(&f, data.data()), 1);
    u = store.Take();
    EXPECT_FALSE(u.data || u.layout || u.title);

    // One byte differs.
    data[20] ^= 0x01;
    ASSERT_EQ(store.SetData(&f, data.data()), 1);
    u = store.Take();
    EXPECT_TRUE(u.data);
    EXPECT_FALSE(u.layout || u.title);

    // A new bit rate changes only the title.
    f.nBitRate = 2000000;
    ASSERT_EQ(store.SetData(&f, data.data()), 1);
    u = store.Take();
    EXPECT_TRUE(u.title);
    EXPECT_FALSE(u.layout || u.data);
    EXPECT_EQ(u.shape.nBitRate, 2000000);

    // Each layout field forces a full redraw.
    auto changed = [&](auto edit) {
        _FRAME_STRUCT_PARAM g = f;
        edit(g);
        std::vector<std::uint8_t> d = Frame(g);
        store.SetData(&g, d.data());
        const bool layout = store.Take().layout;
        store.SetData(&f, data.data());
        store.Take();
        return layout;
    };
    EXPECT_TRUE(changed([](auto& g) { g.nWordsPerSubframe = 9; }));
    EXPECT_TRUE(changed([](auto& g) { g.nSubframes = 5; }));
    EXPECT_TRUE(changed([](auto& g) { g.nWordBytes = 2; }));
    EXPECT_TRUE(changed([](auto& g) { g.nTimeBytes = 4; }));
    EXPECT_TRUE(changed([](auto& g) { g.nWordBits = 7; }));
    EXPECT_TRUE(changed([](auto& g) { g.nFrameWords = 1; }));
    EXPECT_FALSE(changed([](auto& g) { g.nSyncFlag = 1; }));
}

TEST(TableStore, WholeFrameSettingTravelsBothWays) {
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 8);
    std::vector<std::uint8_t> data = Frame(f);
    TableStore store(0, &f, 0);
    store.Take();

    // The window's menu switched it on: the caller's record learns it next call.
    store.SetOwnWholeFrame(1);
    EXPECT_TRUE(store.Take().layout);
    EXPECT_EQ(f.nShowWholeFrame, 0);
    store.SetData(&f, data.data());
    EXPECT_EQ(f.nShowWholeFrame, 1);
    EXPECT_FALSE(store.Take().wholeFrameFromCaller);

    // The caller switched it off: the window follows and redraws.
    f.nShowWholeFrame = 0;
    store.SetData(&f, data.data());
    StoreUpdate u = store.Take();
    EXPECT_TRUE(u.wholeFrameFromCaller);
    EXPECT_TRUE(u.layout);
    EXPECT_EQ(u.wholeFrame, 0);
    EXPECT_EQ(f.nShowWholeFrame, 0);

    // Unchanged on both sides: nothing is exchanged.
    store.SetData(&f, data.data());
    u = store.Take();
    EXPECT_FALSE(u.wholeFrameFromCaller || u.layout);

    // Both changed since the last call: the window's choice wins.
    store.SetOwnWholeFrame(1);
    f.nShowWholeFrame = 0;
    store.SetData(&f, data.data());
    EXPECT_EQ(f.nShowWholeFrame, 1);
}

TEST(TableStore, StoredWholeFrameSettingReachesTheCallerFirst) {
    _FRAME_STRUCT_PARAM f = Shape(8, 4, 8);
    std::vector<std::uint8_t> data = Frame(f);
    TableStore store(0, &f, 1);
    store.SetData(&f, data.data());
    EXPECT_EQ(f.nShowWholeFrame, 1);
    EXPECT_EQ(store.Take().wholeFrame, 1);
}

// Every frame handed in has all its words equal to a counter; a page copied
// while frames keep arriving must never mix two frames.
TEST(TableStore, PagesAreNeverTornByConcurrentData) {
    TableStore store(2, nullptr, 0);
    const _FRAME_STRUCT_PARAM shape = Shape(256, 64, 16);
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        std::vector<std::uint8_t> data(TableStore::FrameBytes(shape));
        _FRAME_STRUCT_PARAM f = shape;
        for (std::uint8_t n = 1; !stop; ++n) {
            std::fill(data.begin(), data.end(), n);
            store.SetData(&f, data.data());
        }
    });
    struct Joiner {
        std::atomic<bool>& stop;
        std::thread& t;
        ~Joiner() {
            stop = true;
            t.join();
        }
    } joiner{stop, producer};
    PageCopy page;
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] {
            store.ReadPage(0, 64, 0, 256, page);
            return page.hasData;
        },
        std::chrono::seconds(30), "the first frame"));
    for (int checked = 0; checked < 2000; ++checked) {
        store.ReadPage(0, 64, 0, 256, page);
        ASSERT_TRUE(page.hasData);
        const std::uint32_t first = page.values.front();
        for (std::uint32_t v : page.values) ASSERT_EQ(v, first);
        for (std::uint8_t t : page.tags) ASSERT_EQ(t, first & 0xFF);
    }
}

}  // namespace
}  // namespace rawgrid

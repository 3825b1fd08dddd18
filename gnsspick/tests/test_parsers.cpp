// The message framings alone: stuffing, ending, resynchronisation, caps.
#include <gtest/gtest.h>

#include "parsers.h"
#include "test_helpers.h"

using namespace gnsspick;
using namespace gnsstest;

namespace {

int FeedAll(DleMessageParser& p, const Bytes& s) {
    int ends = 0;
    for (std::uint8_t b : s) ends += p.Feed(b);
    return ends;
}

int FeedAll(SyncFrameParser& p, const Bytes& s) {
    int frames = 0;
    for (std::uint8_t b : s) frames += p.Feed(b);
    return frames;
}

}  // namespace

TEST(DleMessageParser, DoubledDleIsStoredOnceAndTheEndIsNotStored) {
    DleMessageParser p(0xD7, kOldNavigationMax);
    ASSERT_EQ(FeedAll(p, {0x00, 0x10, 0xD7, 0x01, 0x10, 0x10, 0x02, 0x10, 0x03}), 1);
    EXPECT_EQ(Bytes(p.Data(), p.Data() + p.Length()), (Bytes{0x10, 0xD7, 0x01, 0x10, 0x02}));
}

TEST(DleMessageParser, OtherIdentifiersAndStrayBytesAfterDleReturnToIdle) {
    DleMessageParser p(0xE0, kOldMeasureMax);
    // 0x10 0xD7 is not this parser's message; 0x10 0x55 inside a message
    // drops it; the next good message is found.
    const Bytes s = Concat({{0x10, 0xD7, 0x01, 0x10, 0x03},
                            {0x10, 0xE0, 0x01, 0x10, 0x55, 0x02, 0x10, 0x03},
                            {0x10, 0xE0, 0x07, 0x10, 0x03}});
    ASSERT_EQ(FeedAll(p, s), 1);
    EXPECT_EQ(Bytes(p.Data(), p.Data() + p.Length()), (Bytes{0x10, 0xE0, 0x07}));
}

TEST(DleMessageParser, MoreThanTheStoredMaximumIsDropped) {
    DleMessageParser p(0xD7, kOldNavigationMax);
    const Bytes fits(kOldNavigationMax - 2, 0x22), tooLong(kOldNavigationMax - 1, 0x22);
    EXPECT_EQ(FeedAll(p, DleMessage(0xD7, tooLong)), 0);
    EXPECT_EQ(FeedAll(p, DleMessage(0xD7, fits)), 1);
    EXPECT_EQ(p.Length(), kOldNavigationMax);
}

TEST(SyncFrameParser, BothHeadLayoutsCompleteAfterTheTail) {
    const Bytes payload{1, 2, 3, 0xAA, 0x55, 0x11, 0xBB};  // a sync inside a payload is data
    for (bool withId : {true, false}) {
        SyncFrameParser p;
        p.SetFormat(withId ? SyncFrameParser::kWithReceiverId
                           : SyncFrameParser::kWithoutReceiverId);
        const Bytes f = SyncFrame(withId, 4, payload);
        Bytes s = Concat({{0x00, 0xAA, 0x55}, f});
        int frames = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            frames += p.Feed(s[i]);
            if (i + 1 < s.size()) {
                EXPECT_EQ(frames, 0) << "complete before its last byte";
            }
        }
        ASSERT_EQ(frames, 1);
        EXPECT_EQ(p.Type(), 4);
        EXPECT_EQ(Bytes(p.Payload(), p.Payload() + p.PayloadLength()), payload);
    }
}

TEST(SyncFrameParser, AnOverlongLengthReturnsToIdleAndTheNextSyncIsFound) {
    SyncFrameParser p;
    p.SetFormat(SyncFrameParser::kWithReceiverId);
    Bytes bad = SyncFrame(true, 4, {1, 2});
    bad[5] = 0xF3;  // 8179 = 0x1FF3
    bad[6] = 0x1F;
    EXPECT_EQ(FeedAll(p, Concat({bad, SyncFrame(true, 6, {9})})), 1);
    EXPECT_EQ(p.Type(), 6);
    // The largest length still fits the frame buffer.
    SyncFrameParser q;
    q.SetFormat(SyncFrameParser::kWithoutReceiverId);
    EXPECT_EQ(FeedAll(q, SyncFrame(false, 1, Bytes(8176, 0x33))), 1);
    EXPECT_EQ(q.PayloadLength(), 8176u);
}

// Copy-data frame heads: a good head beside its one-field-corrupted copies.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "copy_frame.h"

namespace {

using namespace svclink;

std::vector<std::uint8_t> Head(std::uint32_t service, std::uint32_t role, std::uint32_t msg,
                               std::uint32_t length) {
    std::vector<std::uint8_t> b;
    for (std::uint32_t v : {service, role, msg, length})
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return b;
}

TEST(CopyFrame, GoodHeadsAndTheirCorruptedCopies) {
    FrameHead h;
    ASSERT_EQ(ParseFrameHead(Head(3, 1, 0x4A, 72 + 10), &h), FrameStatus::Ok);
    EXPECT_EQ(h.service, 3u);
    EXPECT_EQ(h.role, 1u);
    EXPECT_EQ(h.message, 0x4Au);
    EXPECT_EQ(h.length, 82u);
    EXPECT_EQ(ParseFrameHead(Head(0, 0, 0x10, 0), &h), FrameStatus::Ok);
    EXPECT_EQ(ParseFrameHead(Head(7, 0, 0x4A, 72 + 6291456), &h), FrameStatus::Ok);

    EXPECT_EQ(ParseFrameHead(Head(3, 1, 0x4A, 71), &h), FrameStatus::Malformed);
    EXPECT_EQ(ParseFrameHead(Head(3, 1, 0x4A, 72 + 6291457), &h), FrameStatus::Malformed);
    EXPECT_EQ(ParseFrameHead(Head(8, 1, 0x4A, 82), &h), FrameStatus::Malformed);
    EXPECT_EQ(ParseFrameHead(Head(3, 2, 0x4A, 82), &h), FrameStatus::Malformed);
    EXPECT_EQ(ParseFrameHead(Head(3, 1, 0x4B, 82), &h), FrameStatus::Malformed);
    EXPECT_EQ(ParseFrameHead(Head(3, 1, 0x10, 4), &h), FrameStatus::Malformed);

    auto shortHead = Head(3, 1, 0x4A, 82);
    shortHead.pop_back();
    EXPECT_EQ(ParseFrameHead(shortHead, &h), FrameStatus::NeedMore);
}

TEST(CopyFrame, WrittenHeadParsesBack) {
    std::array<std::uint8_t, 16> b{};
    WriteFrameHead(FrameHead{5, 0, 0x4A, 1000}, b.data());
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.end()), Head(5, 0, 0x4A, 1000));
}

}  // namespace

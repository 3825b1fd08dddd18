// The .dat layout from headers written byte by byte here, and the tag
// times in both tag forms.
#include <ch10export/dat_source.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace ch10export;

namespace {

void Put32(std::vector<std::uint8_t>& h, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + i] = std::uint8_t(v >> (8 * i));
}

std::vector<std::uint8_t> Header() {
    std::vector<std::uint8_t> h(1024, 0);
    Put32(h, 336, 1024);
    Put32(h, 384, 77);
    Put32(h, 704, 0xFE6B2840);
    Put32(h, 716, 32);
    Put32(h, 724, 2'000'000);
    Put32(h, 728, 3);
    Put32(h, 732, 12);
    Put32(h, 736, 64);
    Put32(h, 740, 8);
    Put32(h, 764, 1);
    h[45] = 1;  // superframe type 2 (ID) - 1
    h[53] = 0x05;
    h[54] = 0x01;
    return h;
}

}  // namespace

TEST(DatLayout, HeaderFieldsAndItsOneByteCorruptedCopy) {
    std::vector<std::uint8_t> h = Header();
    const LayoutResult good = ReadLayout(h, {});
    ASSERT_TRUE(good.layout) << good.error;
    const PcmDescription& p = good.layout->pcm;
    EXPECT_EQ(good.layout->headerLength, 1024u);
    EXPECT_EQ(good.layout->headerRecords, 77u);
    EXPECT_EQ(p.syncCode, 0xFE6B2840u);
    EXPECT_EQ(p.syncBits, 32u);
    EXPECT_EQ(p.bitRate, 2'000'000u);
    EXPECT_EQ(p.codeType, 3u);
    EXPECT_EQ(p.wordBits, 12u);
    EXPECT_EQ(p.subframeWords, 64u);
    EXPECT_EQ(p.superframeLength, 8u);
    EXPECT_EQ(p.superframeType, 2u);
    EXPECT_EQ(p.idWord, 0x105u);
    EXPECT_EQ(p.tagFormat, 1u);
    EXPECT_EQ(RecordBytes(p), 64u * 2 + 8);

    // A header length other than 1024 makes it a file without header,
    // which needs the description from the user.
    h[337] ^= 0x01;
    const LayoutResult bad = ReadLayout(h, {});
    EXPECT_FALSE(bad.layout);
    EXPECT_NE(bad.error.find("--word-bits --subframe-words --bit-rate"), std::string::npos);
    // Fewer than 1024 bytes is a file without header too.
    const std::vector<std::uint8_t> whole = Header();
    EXPECT_FALSE(ReadLayout(std::span(whole).first(1000), {}).layout);
}

TEST(DatLayout, WithoutHeaderTheGivenDescriptionIsUsedAndChecked) {
    const std::vector<std::uint8_t> records(300, 0);
    DescriptionOverrides g;
    g.wordBits = 8;
    g.bitRate = 1'000'000;
    LayoutResult r = ReadLayout(records, g);
    ASSERT_FALSE(r.layout);
    EXPECT_NE(r.error.find("--subframe-words"), std::string::npos);
    EXPECT_EQ(r.error.find("--word-bits"), std::string::npos);

    g.subframeWords = 32;
    r = ReadLayout(records, g);
    ASSERT_TRUE(r.layout) << r.error;
    EXPECT_EQ(r.layout->headerLength, 0u);
    EXPECT_EQ(r.layout->pcm.syncCode, 0xEB90u);
    EXPECT_EQ(r.layout->pcm.syncBits, 16u);
    EXPECT_EQ(r.layout->pcm.superframeLength, 1u);

    // Values out of range are refused rather than exported into a bad file.
    for (auto change : {+[](DescriptionOverrides& o) { o.wordBits = 33; },
                        +[](DescriptionOverrides& o) { o.subframeWords = 0; },
                        +[](DescriptionOverrides& o) { o.subframeWords = 2049; },
                        +[](DescriptionOverrides& o) { o.superframeLength = 257; },
                        +[](DescriptionOverrides& o) { o.syncBits = 8; },  // EB90 is 16 bits
                        +[](DescriptionOverrides& o) { o.bitRate = 0; }}) {
        DescriptionOverrides o = g;
        change(o);
        EXPECT_FALSE(ReadLayout(records, o).layout);
    }
    // A header with garbage frame fields is refused as well.
    std::vector<std::uint8_t> h = Header();
    Put32(h, 736, 0);
    EXPECT_FALSE(ReadLayout(h, {}).layout);
}

TEST(TagTime, BcdTagWithStampedDay) {
    // 13:47:59.1234 on day 287: day digits 7, 8, 2 across bytes 4 and 5.
    const std::uint8_t tag[8] = {0x34, 0x12, 0x59, 0x47, 0x13 | 0xC0, 0x01 | 8 << 2 | 2 << 6, 5, 0};
    const TagTime t = DecodeTag(tag, 0);
    EXPECT_EQ(t.day, 287u);
    EXPECT_EQ(t.hour, 13u);
    EXPECT_EQ(t.minute, 47u);
    EXPECT_EQ(t.second, 59u);
    EXPECT_EQ(t.millisecond, 123u);
    EXPECT_EQ(t.subframeIndex, 5);
    EXPECT_EQ(t.ticks, ((287LL * 86400 + 13 * 3600 + 47 * 60 + 59) * 10000 + 1234) * 1000);
}

TEST(TagTime, HostTag) {
    const std::uint64_t v = 654321ull | 50000ull << 20 | 100ull << 37 | 3ull << 48;
    std::uint8_t tag[8];
    for (int i = 0; i < 8; ++i) tag[i] = std::uint8_t(v >> (8 * i));
    const TagTime t = DecodeTag(tag, 1);
    EXPECT_EQ(t.day, 100u);
    EXPECT_EQ(t.hour, 13u);  // second 50000 = 13:53:20
    EXPECT_EQ(t.minute, 53u);
    EXPECT_EQ(t.second, 20u);
    EXPECT_EQ(t.millisecond, 654u);
    EXPECT_EQ(t.subframeIndex, 3);
    EXPECT_EQ(t.ticks, (100LL * 86400 + 50000) * 10'000'000 + 6'543'210);
}

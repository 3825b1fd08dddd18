// The recording header against an image written out byte by byte from the
// header table, and the parser the replay dialog uses.
#include <gtest/gtest.h>
#include <recording/dat_header.h>

#include <array>
#include <cstring>
#include <vector>

using namespace recording;

namespace {

DemParam SampleDem() {
    DemParam d{};
    d.帧同步码 = 0x1122334455667788ull;
    d.帧同步码位长 = 0x20;
    d.副帧同步码 = 0xA1B2C3D4;
    d.码率 = 0x000F4240;  // 1,000,000
    d.码型 = 3;
    d.字长 = 8;
    d.子帧长 = 0x0118;  // 280
    d.副帧长 = 4;
    d.副帧类型 = 2;
    d.副帧路序 = 0x0102;
    d.配时精度 = 1;
    d.配时密度 = 5;
    return d;
}

// Little-endian u32 into a plain byte array, as the table reads.
void Le32(std::array<std::uint8_t, 1024>& a, std::size_t at, std::uint32_t v) {
    a[at] = v & 0xFF;
    a[at + 1] = v >> 8 & 0xFF;
    a[at + 2] = v >> 16 & 0xFF;
    a[at + 3] = v >> 24 & 0xFF;
}

}  // namespace

TEST(DatHeader, MatchesTheTableByteForByte) {
    const DemParam dem = SampleDem();
    const HeaderTime when{2026, 12, 9, 7, 5, 3};
    // 280 words of 1 byte + 8 = 288 bytes per record; 10 records and a half.
    std::array<std::uint8_t, 1024> out{};
    BuildHeader(dem, when, 288 * 10 + 144, 367, out);

    std::array<std::uint8_t, 1024> g{};
    const std::uint8_t magic[] = {'Y', 'C', 0, 4, 2, 'Y', 'C', 'Y', 'S'};
    std::memcpy(g.data(), magic, 9);
    const char* date =
        "6202"
        "21"
        "90"
        "70"
        "50"
        "30";  // units first
    std::memcpy(g.data() + 17, date, 14);
    g[31] = 0x18, g[32] = 0x01;  // subframe length
    g[33] = 4;
    g[34] = 0x40, g[35] = 0x42, g[36] = 0x0F, g[37] = 0x00;
    g[38] = 8;
    g[39] = 0x20;
    g[40] = 0x88, g[41] = 0x77, g[42] = 0x66, g[43] = 0x55;
    g[45] = 1;  // superframe type - 1
    g[46] = 0x20;
    g[47] = 0xD4, g[48] = 0xC3, g[49] = 0xB2, g[50] = 0xA1;
    g[52] = 3;
    g[53] = 0x02, g[54] = 0x01;
    for (int i = 55; i <= 118; ++i) g[i] = 0xF0;
    g[120] = 10;
    g[337] = 0x04;                 // 1024
    g[368] = 0x6F, g[369] = 0x01;  // 367
    g[384] = 10;
    Le32(g, 704, 0x55667788);
    Le32(g, 708, 0x11223344);
    Le32(g, 712, 0xA1B2C3D4);
    Le32(g, 716, 0x20);
    Le32(g, 724, 1000000);
    Le32(g, 728, 3);
    Le32(g, 732, 8);
    Le32(g, 736, 280);
    Le32(g, 740, 4);
    Le32(g, 756, 8);
    Le32(g, 760, 5);
    Le32(g, 764, 1);
    for (std::size_t i = 0; i < g.size(); ++i) ASSERT_EQ(out[i], g[i]) << "byte " << i;
}

TEST(DatHeader, RecordCountIsSixtyFourBitAtOffset384) {
    DemParam dem = SampleDem();
    dem.子帧长 = 2048;
    dem.字长 = 32;  // 8200-byte records
    std::array<std::uint8_t, 1024> out{};
    const std::uint64_t records = 0x1'0000'0003ull;
    BuildHeader(dem, {}, records * 8200, 0, out);
    std::uint64_t at384 = 0;
    for (int i = 7; i >= 0; --i) at384 = at384 << 8 | out[384 + i];
    EXPECT_EQ(at384, records);
    EXPECT_EQ(out[120], 3);  // the u32 copy keeps the low word
}

TEST(DatHeaderParse, HeaderFileGivesItsDescription) {
    std::array<std::uint8_t, 1024> h{};
    BuildHeader(SampleDem(), {}, 0, 0, h);
    DemParam other{};
    const FileDescription d = ParseHeader(h, other);
    EXPECT_EQ(d.headerLength, 1024u);
    EXPECT_EQ(d.info.帧同步码Low, 0x55667788u);
    EXPECT_EQ(d.info.帧同步码High, 0x11223344u);
    EXPECT_EQ(d.info.子帧长, 280u);
    EXPECT_EQ(d.info.副帧长, 4u);
    EXPECT_EQ(d.info.tagBytesPerRecord, 8u);
    EXPECT_EQ(d.info.配时精度, 1u);

    // One byte of the header length changed: a file without header.
    h[336] ^= 1;
    const FileDescription none = ParseHeader(h, SampleDem());
    EXPECT_EQ(none.headerLength, 0u);
    EXPECT_EQ(none.info.帧同步码Low, 0xEB90u);
    EXPECT_EQ(none.info.帧同步码High, 0u);
    EXPECT_EQ(none.info.子帧长, 280u);  // from the demodulator record
}

TEST(DatHeaderParse, ShortFileIsAFileWithoutHeader) {
    std::array<std::uint8_t, 1024> h{};
    BuildHeader(SampleDem(), {}, 0, 0, h);
    const std::vector<std::uint8_t> shortFile(h.begin(), h.begin() + 1023);
    DemParam dem = SampleDem();
    dem.字长 = 16;
    const FileDescription d = ParseHeader(shortFile, dem);
    EXPECT_EQ(d.headerLength, 0u);
    EXPECT_EQ(d.info.字长, 16u);
    EXPECT_EQ(d.info.帧同步码Low, 0xEB90u);
}

TEST(DatHeaderParse, DescriptionLimits) {
    ReplayInfo ok = DescriptionFromDem(SampleDem());
    ok.帧同步码位长 = 16;
    EXPECT_TRUE(DescriptionValid(ok));
    auto with = [&](auto change) {
        ReplayInfo i = ok;
        change(i);
        return DescriptionValid(i);
    };
    EXPECT_FALSE(with([](ReplayInfo& i) { i.子帧长 = 0; }));
    EXPECT_FALSE(with([](ReplayInfo& i) { i.子帧长 = 2049; }));
    EXPECT_TRUE(with([](ReplayInfo& i) { i.子帧长 = 2048; }));
    EXPECT_FALSE(with([](ReplayInfo& i) { i.字长 = 0; }));
    EXPECT_FALSE(with([](ReplayInfo& i) { i.字长 = 33; }));
    EXPECT_TRUE(with([](ReplayInfo& i) { i.字长 = 32; }));
    EXPECT_FALSE(with([](ReplayInfo& i) { i.副帧长 = 0; }));
    EXPECT_FALSE(with([](ReplayInfo& i) { i.副帧长 = 257; }));
    EXPECT_TRUE(with([](ReplayInfo& i) { i.副帧长 = 256; }));
    // 0xEB90 needs 16 bits.
    EXPECT_FALSE(with([](ReplayInfo& i) { i.帧同步码位长 = 15; }));
    EXPECT_FALSE(with([](ReplayInfo& i) { i.帧同步码High = 1; }));
    EXPECT_TRUE(with([](ReplayInfo& i) { i.帧同步码位长 = 33, i.帧同步码High = 1; }));
    EXPECT_FALSE(with([](ReplayInfo& i) { i.帧同步码位长 = 65; }));
}

TEST(DatHeaderParse, RecordCountOverTheHeaderLength) {
    ReplayInfo i{};
    i.字长 = 10;  // two bytes per word
    i.子帧长 = 12;
    EXPECT_EQ(RecordBytes(i), 32u);
    EXPECT_EQ(RecordCount(1024 + 32 * 5 + 31, 1024, i), 5u);
    EXPECT_EQ(RecordCount(1000, 1024, i), 0u);
    EXPECT_EQ(RecordCount(32 * 3, 0, i), 3u);
    EXPECT_EQ(RecordCount(std::uint64_t{1} << 40, 0, i), (std::uint64_t{1} << 40) / 32);
}

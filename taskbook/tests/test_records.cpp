// Device records: defaults checked byte by byte at the card's offsets, read
// from the raw bytes rather than through the struct fields.
#include <bbdevice/dev_records.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

template <class T>
std::vector<std::uint8_t> Bytes(const T& rec) {
    std::vector<std::uint8_t> b(sizeof rec);
    std::memcpy(b.data(), &rec, sizeof rec);
    return b;
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t off) {
    return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | std::uint32_t(b[off + 3]) << 24;
}

std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t off) {
    return std::uint16_t(b[off] | b[off + 1] << 8);
}

double F64(const std::vector<std::uint8_t>& b, std::size_t off) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b[off + i];
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

// Every u32 word of `b` is zero except those listed.
void ExpectWords(const std::vector<std::uint8_t>& b, std::size_t from,
                 const std::vector<std::pair<std::size_t, std::uint32_t>>& expected) {
    for (std::size_t off = from; off < b.size(); off += 4) {
        std::uint32_t want = 0;
        for (auto& [o, v] : expected)
            if (o == off) want = v;
        EXPECT_EQ(U32(b, off), want) << "offset " << off;
    }
}

TEST(DeviceRecords, DemParamDefaultsAtCardOffsets) {
    DemParam p;
    std::memset(&p, 0xA5, sizeof p);
    FillDefault(p);
    auto b = Bytes(p);
    EXPECT_EQ(F64(b, 0), 2300500000.0);
    ExpectWords(
        b, 8, {{8, 0xEB90}, {16, 2},           {20, 16}, {24, 188}, {28, 4000000},     {36, 8},
               {40, 24},    {44, 4},           {48, 2},  {52, 7},   {56, 1},           {64, 1},
               {84, 1},     {88, 1},           {92, 1},  {108, 3},  {128, 0x1ACFFC1D}, {132, 65535},
               {136, 1},    {140, 0x1FAC2840}, {144, 4}, {160, 5},  {684, 50000},      {708, 3},
               {712, 4},    {724, 3},          {728, 4}, {736, 9},  {740, 250}});
}

TEST(DeviceRecords, SimParamDefaultsAtCardOffsets) {
    SimParam p;
    std::memset(&p, 0xA5, sizeof p);
    FillDefault(p);
    auto b = Bytes(p);
    EXPECT_EQ(F64(b, 0), 2300500000.0);
    EXPECT_EQ(F64(b, 8), 100.0);
    ExpectWords(
        b, 16,
        {{16, 0xEB90}, {24, 16},    {32, 188},         {36, 4000000}, {44, 8},  {48, 24},
         {52, 4},      {56, 1},     {60, 7},           {64, 1},       {68, 2},  {72, 85},
         {76, 3},      {80, 3},     {84, 4},           {88, 5},       {92, 1},  {96, 1},
         {100, 1},     {104, 1},    {108, 6},          {112, 4},      {120, 1}, {124, 0xFFFFFFFF},
         {136, 21},    {140, 1},    {160, 0x1ACFFC1D}, {164, 65535},  {168, 1}, {172, 0x1FAC2840},
         {176, 4},     {716, 50000}});
}

TEST(DeviceRecords, DecipherDefaultsAndNoBuiltInKey) {
    auto* p = new DecipherParam;
    std::memset(p, 0xA5, sizeof *p);
    FillDefault(*p);
    auto b = Bytes(*p);
    delete p;
    ExpectWords(b, 0, {{131332, 4}, {131336, 1}, {131340, 5}});
}

TEST(DeviceRecords, TimeRecordsDefaults) {
    TimeSystemParam p;
    std::memset(&p, 0xA5, sizeof p);
    FillDefault(p);
    ExpectWords(Bytes(p), 0, {{16, 24}, {20, 65535}});

    TimeSystemBasicParam basic{};
    basic.内时统校准时间 = {300, 13, 14, 15, 999};
    basic.时统模式 = 2;
    auto b = Bytes(basic);
    EXPECT_EQ(U32(b, 0), 300u);
    EXPECT_EQ(U16(b, 4), 13);
    EXPECT_EQ(U16(b, 6), 14);
    EXPECT_EQ(U16(b, 8), 15);
    EXPECT_EQ(U16(b, 10), 999);
    EXPECT_EQ(U32(b, 28), 2u);
}

TEST(DeviceRecords, FrameStatPayloadCoversOnlyTheCountedEntries) {
    auto* p = new FrameStatParam;
    FillDefault(*p);
    EXPECT_EQ(FrameStatPayloadBytes(*p), 48u);
    p->entryCount = 3;
    EXPECT_EQ(FrameStatPayloadBytes(*p), 54u);
    p->entryCount = 8192;
    EXPECT_EQ(FrameStatPayloadBytes(*p), 16432u);
    p->entryCount = 8193;  // from a caller: never read past the record
    EXPECT_EQ(FrameStatPayloadBytes(*p), 0u);
    delete p;
}

}  // namespace

// The record and header offsets, seen through a plain byte view.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "svclink/service_layout.h"
#include "svclink/service_ring.h"

namespace {

using namespace svclink;

std::uint64_t Le64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void DataCb(std::uint32_t, ServiceRecord*) {}
void ParamCb(std::uint32_t, ServiceRecord*) {}

TEST(ServiceLayout, RecordFieldsSitAtTheirBytes) {
    ServiceRecord r{};
    for (int i = 0; i < 18; ++i) r.description[i] = 0x01010101u * static_cast<unsigned>(i + 1);
    const std::uint8_t block[4] = {};
    r.data = block;
    r.length = 0x11223344;
    r.copyDataMode = 1;
    r.dataCallback = DataCb;
    r.paramCallback = ParamCb;
    std::uint8_t bytes[128];
    std::memcpy(bytes, &r, sizeof bytes);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[71], 18);
    EXPECT_EQ(Le64(bytes + 72), reinterpret_cast<std::uintptr_t>(block));
    EXPECT_EQ(Le32(bytes + 80), 0x11223344u);
    EXPECT_EQ(Le32(bytes + 84), 1u);
    EXPECT_EQ(Le64(bytes + 112), reinterpret_cast<std::uintptr_t>(&DataCb));
    EXPECT_EQ(Le64(bytes + 120), reinterpret_cast<std::uintptr_t>(&ParamCb));
}

TEST(ServiceLayout, WritesLandAtTheHeaderOffsets) {
    std::vector<std::uint8_t> header(hdr::kUsed + 64, 0), ring(kRingSize);
    WriterState w;
    std::uint32_t desc[18];
    for (int i = 0; i < 18; ++i) desc[i] = 0xD0000000u + static_cast<unsigned>(i);
    const std::vector<std::uint8_t> data(100, 0x5A);
    ASSERT_TRUE(WriteBlock(header.data(), ring.data(), w, data.data(), data.size(), desc));
    EXPECT_EQ(Le32(&header[160]), 0xD0000000u);
    EXPECT_EQ(Le32(&header[160 + 68]), 0xD0000011u);
    EXPECT_EQ(Le64(&header[248]), 100u);
    EXPECT_EQ(Le64(&header[256]), 100u);
    EXPECT_EQ(Le32(&header[264]), 1u);
    EXPECT_EQ(ring[0], 0x5A);
    EXPECT_EQ(ring[99], 0x5A);
    EXPECT_EQ(ring[100], 0);

    const std::uint32_t pid = 4242, command = 7, k256 = 8, k257 = 9, k261 = 10;
    EXPECT_EQ(WriteKey(header.data(), w, kKeyWindow, &pid, 4), 4u);
    EXPECT_EQ(WriteKey(header.data(), w, kKeyCommand, &command, 4), 4u);
    EXPECT_EQ(WriteKey(header.data(), w, kKey256, &k256, 4), 4u);
    EXPECT_EQ(WriteKey(header.data(), w, kKey257, &k257, 4), 4u);
    EXPECT_EQ(WriteKey(header.data(), w, kKey261, &k261, 4), 4u);
    EXPECT_EQ(Le32(&header[272]), 4242u);
    EXPECT_EQ(Le32(&header[236]), 7u);
    EXPECT_EQ(Le32(&header[240]), 8u);
    EXPECT_EQ(Le32(&header[244]), 9u);
    EXPECT_EQ(Le32(&header[268]), 10u);
}

TEST(ServiceLayout, ParameterWritesAreBoundedByTheirField) {
    std::vector<std::uint8_t> header(hdr::kUsed + 64, 0);
    WriterState w;
    const std::vector<std::uint8_t> big(400, 0xEE);
    EXPECT_EQ(WriteKey(header.data(), w, kKeyServiceParam, big.data(), big.size()), 160u);
    EXPECT_EQ(header[159], 0xEE);
    EXPECT_EQ(header[160], 0);
    EXPECT_EQ(WriteKey(header.data(), w, kKeyDescription, big.data(), big.size()), 72u);
    EXPECT_EQ(header[231], 0xEE);
    EXPECT_EQ(header[232], 0);
    EXPECT_EQ(WriteKey(header.data(), w, kKeyCommand, big.data(), big.size()), 4u);
    EXPECT_EQ(header[240], 0);
    EXPECT_EQ(WriteKey(header.data(), w, 4, big.data(), big.size()), 0u);
    EXPECT_EQ(WriteKey(header.data(), w, 263, big.data(), big.size()), 0u);
    EXPECT_EQ(header[276], 0);
}

}  // namespace

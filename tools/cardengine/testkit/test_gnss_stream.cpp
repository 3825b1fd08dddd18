// Frames generated with a satellite-navigation stream, read back with the
// search library: each protocol gives the set position once a second.
#include <bbdevice/dev_records.h>
#include <gtest/gtest.h>

#include <vector>

#include "dem_frame_options.h"
#include "dem_frames.h"
#include "gnss_search.h"
#include "gnss_stream.h"

using namespace cardengine;

namespace {

struct Fix {
    double lon, lat, h;
};

// Generates `seconds` of frames at a slow rate and searches them.
std::vector<Fix> Search(const GnssStreamOptions& o, gnsspick::Protocol p, double seconds,
                        gnsspick::GnssSearch& search) {
    DemParam dem;
    FillDefault(dem);
    dem.码率 = 96000;  // 500 minor frames of 24 bytes a second
    SimParam sim;
    FillDefault(sim);
    DemFrameGenerator gen;
    GnssStream stream;
    stream.Configure(o);
    gen.Configure(dem, sim, 0.5e6);
    gen.SetGnss(&stream);
    const DemLayout& l = gen.Layout();
    search.SetTelemetryPar(8, std::uint16_t(l.words * l.wordBytes), std::uint16_t(l.minors));
    search.SetSelectRoads(o.positions.data());
    std::vector<std::uint8_t> block(50 * l.taggedMinorBytes);
    std::vector<Fix> fixes;
    for (std::size_t done = 0; done < std::size_t(seconds * 500); done += 50) {
        std::size_t bytes = 0;
        gen.Generate(block.data(), block.size(), 50, &bytes);
        search.Search(p, block.data(), bytes);
        double pos[3];
        if (search.GetTargetPosition(pos)) fixes.push_back({pos[0], pos[1], pos[2]});
    }
    return fixes;
}

}  // namespace

TEST(GnssStream, EachProtocolCarriesThePositionOnceASecond) {
    for (auto [protocol, entry] :
         {std::pair{GnssProtocol::Old, gnsspick::Protocol::Old},
          std::pair{GnssProtocol::WithReceiverId, gnsspick::Protocol::WithReceiverId},
          std::pair{GnssProtocol::WithoutReceiverId, gnsspick::Protocol::WithoutReceiverId}}) {
        GnssStreamOptions o;
        o.protocol = protocol;
        o.positions = {3, 0, 20, 21};
        o.latitude = -33.5;
        o.longitude = -70.25;
        o.height = 812.0;
        auto search = std::make_unique<gnsspick::GnssSearch>();
        const std::vector<Fix> fixes = Search(o, entry, 3.2, *search);
        // Seconds 0 (from 0.5 s), 1, 2 and 3; type 0 adds one per second.
        const std::size_t perSecond = protocol == GnssProtocol::WithReceiverId ? 2 : 1;
        EXPECT_GE(fixes.size(), 3 * perSecond) << int(protocol);
        EXPECT_LE(fixes.size(), 4 * perSecond) << int(protocol);
        for (const Fix& f : fixes) {
            EXPECT_NEAR(f.lon, -70.25, 3e-6);
            EXPECT_NEAR(f.lat, -33.5, 3e-6);
            EXPECT_NEAR(f.h, 812.0, 0.5);
        }
        const gnsspick::DisplayState& d = search->Display();
        EXPECT_EQ(d.satelliteCount, protocol == GnssProtocol::WithoutReceiverId ? 0u : 6u);
        if (protocol == GnssProtocol::Old)
            EXPECT_EQ(d.oldChannelCount, 6u);
        else
            EXPECT_GT(d.recordBytes[0], 0u);
    }
}

TEST(GnssStream, OptionsAreCheckedAndIdleBytesAreZero) {
    DemFrameOptions o;
    bool ok = false;
    EXPECT_TRUE(ParseDemFrameOption("--gnss", "new2", o, ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(o.gnss.protocol, GnssProtocol::WithoutReceiverId);
    EXPECT_TRUE(ParseDemFrameOption("--gnss-bytes", "1,0,3,65535", o, ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(o.gnss.positions, (std::array<std::uint16_t, 4>{1, 0, 3, 65535}));
    for (const char* bad : {"1,2,3", "1,2,3,4,5", "1,2,3,65536", "1,2,x,4", "1,2,3,-1"}) {
        EXPECT_TRUE(ParseDemFrameOption("--gnss-bytes", bad, o, ok));
        EXPECT_FALSE(ok) << bad;
    }
    EXPECT_TRUE(ParseDemFrameOption("--gnss-position", "40.0,116.4,50.0", o, ok));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(ParseDemFrameOption("--gnss-position", "91,0,0", o, ok));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(ParseDemFrameOption("--gnss", "new3", o, ok));
    EXPECT_FALSE(ok);

    GnssStreamOptions g;
    g.protocol = GnssProtocol::Old;
    g.positions = {1, 2, 0, 0};
    GnssStream s;
    s.Configure(g);
    std::uint8_t words[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    s.Fill(words, 4, 0.0);
    EXPECT_EQ(words[0], 0x10);
    EXPECT_EQ(words[1], 0xD7);
    EXPECT_EQ(words[2], 0xFF);
    for (int i = 0; i < 200; ++i) s.Fill(words, 4, 1000.0 * i);
    EXPECT_EQ(words[0], 0x00);
    EXPECT_EQ(words[1], 0x00);
}

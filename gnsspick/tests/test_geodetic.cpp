// The position conversion against an independent iterative inverse on an
// exact forward conversion.
#include <gtest/gtest.h>

#include <cmath>

#include "geodetic.h"

using gnsspick::ConvertPosition;
using gnsspick::GeoPosition;

namespace {

constexpr double kA = 6378137.0, kE2 = 0.00669437999013;
constexpr double kDeg = M_PI / 180.0;

void Forward(double latDeg, double lonDeg, double h, double& x, double& y, double& z) {
    const double lat = latDeg * kDeg, lon = lonDeg * kDeg;
    const double n = kA / std::sqrt(1 - kE2 * std::sin(lat) * std::sin(lat));
    x = (n + h) * std::cos(lat) * std::cos(lon);
    y = (n + h) * std::cos(lat) * std::sin(lon);
    z = (n * (1 - kE2) + h) * std::sin(lat);
}

// Fixed-point iteration on the latitude, to convergence.
GeoPosition Iterative(double x, double y, double z) {
    const double p = std::hypot(x, y);
    double lat = std::atan2(z, p * (1 - kE2)), h = 0;
    for (int i = 0; i < 100; ++i) {
        const double n = kA / std::sqrt(1 - kE2 * std::sin(lat) * std::sin(lat));
        h = p / std::cos(lat) - n;
        lat = std::atan2(z, p * (1 - kE2 * n / (n + h)));
    }
    return {std::atan2(y, x) / kDeg, lat / kDeg, h};
}

}  // namespace

TEST(ConvertPosition, MatchesTheIterativeInverseOverAGrid) {
    int points = 0;
    for (double lat = -60; lat <= 60; lat += 7.5) {
        for (double lon = -179; lon <= 180; lon += 17.9) {
            for (double h : {-100.0, 0.0, 50.0, 10000.0, 500000.0}) {
                double x, y, z;
                Forward(lat, lon, h, x, y, z);
                GeoPosition got;
                ASSERT_TRUE(ConvertPosition(x, y, z, got));
                const GeoPosition want = Iterative(x, y, z);
                EXPECT_NEAR(got.latitude, want.latitude, 1e-6) << lat << " " << lon << " " << h;
                EXPECT_NEAR(got.longitude, want.longitude, 1e-6) << lat << " " << lon;
                EXPECT_NEAR(got.longitude, lon, 1e-9);
                EXPECT_NEAR(got.height, want.height, 0.05) << lat << " " << lon << " " << h;
                ++points;
            }
        }
    }
    EXPECT_GT(points, 1000);
}

TEST(ConvertPosition, WesternSouthernAndBelowTheEllipsoidKeepTheirSigns) {
    double x, y, z;
    Forward(-33.9, -60.0, -10.0, x, y, z);
    GeoPosition g;
    ASSERT_TRUE(ConvertPosition(x, y, z, g));
    EXPECT_NEAR(g.longitude, -60.0, 1e-9);
    EXPECT_NEAR(g.latitude, -33.9, 1e-6);
    EXPECT_NEAR(g.height, -10.0, 0.05);
    // The station's own place, where the degree factor shows most.
    Forward(40.0, 116.4, 50.0, x, y, z);
    ASSERT_TRUE(ConvertPosition(x, y, z, g));
    EXPECT_NEAR(g.longitude, 116.4, 1e-9);
    EXPECT_NEAR(g.latitude, 40.0, 1e-6);
    EXPECT_NEAR(g.height, 50.0, 0.05);
}

TEST(ConvertPosition, AxesAndBadCoordinates) {
    GeoPosition g;
    ASSERT_TRUE(ConvertPosition(6378137.0, 0, 0, g));
    EXPECT_EQ(g.longitude, 0.0);
    EXPECT_NEAR(g.latitude, 0.0, 1e-12);
    EXPECT_NEAR(g.height, 0.0, 1e-6);
    ASSERT_TRUE(ConvertPosition(-6378137.0, 0, 0, g));
    EXPECT_EQ(g.longitude, 180.0);
    ASSERT_TRUE(ConvertPosition(0, -6378137.0, 0, g));
    EXPECT_NEAR(g.longitude, -90.0, 1e-12);
    ASSERT_TRUE(ConvertPosition(0, 0, 6356852.3142, g));  // the pole, 100 m up
    EXPECT_EQ(g.latitude, 90.0);
    EXPECT_NEAR(g.height, 100.0, 0.01);

    GeoPosition untouched{1, 2, 3};
    for (auto [x, y, z] :
         {std::tuple{0.0, 0.0, 0.0}, std::tuple{double(NAN), 1.0, 1.0},
          std::tuple{1.0, double(INFINITY), 1.0}, std::tuple{1.0, 1.0, -double(INFINITY)}}) {
        EXPECT_FALSE(ConvertPosition(x, y, z, untouched));
        EXPECT_EQ(untouched.longitude, 1);
        EXPECT_EQ(untouched.height, 3);
    }
}

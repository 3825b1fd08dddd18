#include "geodetic.h"

#include <cmath>
#include <numbers>

namespace gnsspick {
namespace {

constexpr double kA = 6378137.0;
constexpr double kE2 = 0.00669437999013;
constexpr double kK = 0.003347189995065;
constexpr double kH = 0.0016735949975325;
constexpr double kDegrees = 180.0 / std::numbers::pi;

}  // namespace

bool ConvertPosition(double x, double y, double z, GeoPosition& out) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return false;
    if (x == 0 && y == 0 && z == 0) return false;
    const double p = std::sqrt(x * x + y * y);
    GeoPosition g;
    g.longitude = std::atan2(y, x) * kDegrees;
    if (g.longitude == -180.0) g.longitude = 180.0;
    // On the axis the series divides by zero; the pole is exact there.
    if (p < 1e-6) {
        g.latitude = z >= 0 ? 90.0 : -90.0;
        g.height = std::fabs(z) - kA * std::sqrt(1 - kE2);
        out = g;
        return true;
    }
    const double phi0 = std::atan(z / p);
    const double s = std::sin(phi0), c = std::cos(phi0), t = std::tan(phi0);
    const double f = kA / std::sqrt(x * x + y * y + z * z);
    const double s2 = s * s, s4 = s2 * s2, c2 = c * c;
    const double w = 5 * s + c2 * (8 * s4 + f * (48 * s4 + 20 * f * s2 * (4 - 7 * s2))) +
                     16 * f * f * f * (1 - 7 * s2);
    const double v = 3 * s4 + f * c2 * (16 * s2 + 4 * f * (2 - 5 * s2)) + kK * w;
    const double u = 2 * f * c2 + s2 + kH * v;
    const double phi = std::atan(t + kE2 * f * t * (1 + kK * u));
    const double sp = std::sin(phi);
    g.latitude = phi * kDegrees;
    g.height = p / std::cos(phi) - kA / std::sqrt(1 - kE2 * sp * sp);
    out = g;
    return true;
}

}  // namespace gnsspick

// Earth-centred earth-fixed X, Y, Z (WGS-84) to longitude, latitude and
// height by a closed-form series for the latitude.
#pragma once

namespace gnsspick {

struct GeoPosition {
    double longitude = 0;  // degrees, (-180, 180], east positive
    double latitude = 0;   // degrees, north positive
    double height = 0;     // metres above the ellipsoid, negative below
};

// False (out untouched) when a coordinate is not finite or all three are 0:
// such bytes carry no position.
bool ConvertPosition(double x, double y, double z, GeoPosition& out);

}  // namespace gnsspick

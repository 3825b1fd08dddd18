// The checker takes any datagram on either socket without reading past it.
#include <stationrx/checker.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static stationrx::StationChecker checker([] {
        stationrx::CheckerOptions o;
        o.recordBytes = 32;
        o.subframes = 4;
        o.counterPos = 3;
        o.counterBytes = 2;
        return o;
    }());
    checker.CheckStation({data, size}, {8000, 1000});
    checker.CheckGnss({data, size});
    return 0;
}

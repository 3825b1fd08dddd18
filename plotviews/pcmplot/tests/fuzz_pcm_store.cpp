// A descriptor and frame bytes from the input through the frame store and
// the tag and code texts: the first 72 bytes are the descriptor, the next
// two pick the sizes of the calls the rest is cut into.
#include <pcmplot/pcm_format.h>
#include <pcmplot/pcm_store.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace pcmplot;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(DemChannelDescriptor) + 2) return 0;
    DemChannelDescriptor d;
    std::memcpy(&d, data, sizeof d);
    const std::size_t stepA = std::size_t{data[sizeof d]} * 17 + 1;
    const std::size_t stepB = std::size_t{data[sizeof d + 1]} + 1;
    const std::uint8_t* rest = data + sizeof d + 2;
    const std::size_t restBytes = size - sizeof d - 2;

    // One store for all runs (it is large); a layout of its own empties it.
    static PcmFrameStore store;
    static PcmSnapshot snap;
    DemChannelDescriptor reset{};
    reset.字长 = 32;
    reset.子帧长 = 1;
    reset.副帧长 = 1;
    store.SetGeometry(reset);
    snap.version = 0;
    store.SetGeometry(d);

    std::size_t at = 0;
    for (bool a = true; at < restBytes; a = !a) {
        const std::size_t n = std::min(a ? stepA : stepB, restBytes - at);
        store.Append(rest + at, n);
        at += n;
    }
    if (store.Pending() >= std::max<std::size_t>(store.Geometry().majorBytes, 1)) std::abort();

    char tag[kTagTextBytes];
    char code[16];
    if (restBytes >= 8) {
        FormatHostTag(rest, tag);
        FormatCardTag(rest, tag);
    }
    if (!store.Snapshot(snap)) return 0;
    const PcmGeometry& g = snap.geometry;
    if (std::size_t{snap.frames} * g.majorBytes > kStoreBytes) std::abort();
    const std::uint32_t minors = std::min<std::uint32_t>(snap.Minors(), 512);
    for (std::uint32_t i = 0; i < minors; ++i) {
        const std::uint8_t* m = snap.Minor(snap.Minors() - 1 - i);
        if (g.tagBytes) {
            FormatHostTag(m, tag);
            if (std::strlen(tag) >= sizeof tag) std::abort();
            FormatCardTag(m, tag);
            if (std::strlen(tag) >= sizeof tag) std::abort();
        }
        const std::uint32_t words = std::min<std::uint32_t>(g.wordsPerMinor, 64);
        for (std::uint32_t w = 0; w < words; ++w) {
            FormatCode(ReadWord(m + g.tagBytes + std::size_t{w} * g.bytesPerWord, g.bytesPerWord,
                                g.wordBits),
                       g.wordBits, code);
            if (std::strlen(code) != static_cast<std::size_t>(CodeDigits(g.wordBits))) std::abort();
        }
    }
    return 0;
}

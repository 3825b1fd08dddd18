// talvora-export --ch10 IN.dat [OUT.ch10] [frame description for a file
// without header]
#include <ch10export/ch10_writer.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

namespace {

void Usage() {
    std::fputs(
        "usage: talvora-export --ch10 IN.dat [OUT.ch10] [options]\n"
        "Without OUT the file goes beside the recording: IN with the extension .ch10.\n"
        "The path written is printed on standard output.\n"
        "A file without header needs --word-bits, --subframe-words and --bit-rate;\n"
        "these and the other options also replace the header's values:\n"
        "  --word-bits N        word length, bits\n"
        "  --subframe-words N   words per subframe\n"
        "  --superframe N       subframes per superframe (1)\n"
        "  --bit-rate N         bit/s\n"
        "  --code-type N        0 NRZ-L .. 6 RNRZ-L (0)\n"
        "  --sync HEX           frame sync code (EB90)\n"
        "  --sync-bits N        sync code length, bits (16)\n"
        "  --id-word N          word position of the ID counter\n"
        "  --host-tags          time tags are the host form, not BCD\n",
        stderr);
}

bool Number(const char* text, std::uint64_t max, int base, std::uint64_t& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, base);
    if (errno || *end || text[0] == '-' || v > max) return false;
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ch10export::DescriptionOverrides given;
    std::string in, out;
    bool ch10 = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        std::uint64_t v = 0;
        auto u32 = [&](std::optional<std::uint32_t>& field) {
            if (!Number(value, 0xFFFFFFFFu, 10, v)) {
                std::fprintf(stderr, "talvora-export: %s needs a number\n", a.c_str());
                std::exit(2);
            }
            field = std::uint32_t(v);
            ++i;
        };
        if (a == "--ch10") {
            ch10 = true;
        } else if (a == "--word-bits") {
            u32(given.wordBits);
        } else if (a == "--subframe-words") {
            u32(given.subframeWords);
        } else if (a == "--superframe") {
            u32(given.superframeLength);
        } else if (a == "--bit-rate") {
            u32(given.bitRate);
        } else if (a == "--code-type") {
            u32(given.codeType);
        } else if (a == "--sync-bits") {
            u32(given.syncBits);
        } else if (a == "--id-word") {
            u32(given.idWord);
        } else if (a == "--sync") {
            if (!Number(value, ~0ull, 16, v)) {
                std::fputs("talvora-export: --sync needs a hexadecimal code\n", stderr);
                return 2;
            }
            given.syncCode = v;
            ++i;
        } else if (a == "--host-tags") {
            given.tagFormat = 1;
        } else if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "talvora-export: unknown option %s\n", a.c_str());
            Usage();
            return 2;
        } else if (in.empty()) {
            in = a;
        } else if (out.empty()) {
            out = a;
        } else {
            Usage();
            return 2;
        }
    }
    if (!ch10 || in.empty()) {
        Usage();
        return 2;
    }
    if (out.empty()) out = ch10export::SuggestedCh10Path(in);
    std::error_code ec;
    if (const std::filesystem::path whole = std::filesystem::absolute(out, ec); !ec)
        out = whole.string();
    ch10export::ExportResult r;
    try {
        r = ch10export::ExportFile(in, out, given);
    } catch (const std::exception& e) {
        r.message = e.what();
    }
    if (r.ok)
        std::printf("talvora-export: wrote %s: %s\n", out.c_str(), r.message.c_str());
    else
        std::fprintf(stderr, "talvora-export: %s\n", r.message.c_str());
    return r.ok ? 0 : 1;
}

#include "engine_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace cardengine {
namespace {

const char kUsage[] =
    "usage: cardengine [options]\n"
    "  --listen HOST:PORT          address to listen on (default 127.0.0.1:10001)\n"
    "  --log FILE                  record every received message, one line each\n"
    "  --heartbeat-ms N            heartbeat period (default 200)\n"
    "  --heartbeat-stop-after SEC  stop heartbeats SEC seconds after each connect\n"
    "  --close-after-sec SEC       close each connection after SEC seconds\n"
    "  --close-after-bytes N       close each connection after sending N bytes\n"
    "  --garbage N                 write N garbage bytes before every message\n"
    "  --split N                   write messages in pieces of at most N bytes\n"
    "  --split-pause-us N          pause between pieces (default 200)\n"
    "  --no-ack                    do not acknowledge commands\n"
    "  --no-function-info          never answer the request for the card function information\n"
    "  --function-info-delay-ms N  answer that request only after N ms (default 0)\n"
    "  --status-ms N               period of status, time and statistics reports (default 100)\n"
    "  --dem-lock MASK             lock words reported: bit 0 carrier, 1 bit sync, 2 sub-frame\n"
    "                              sync, 3 superframe sync (default 15)\n"
    "  --dem-lock-loss AT:FOR      report no lock from AT to AT+FOR seconds after each\n"
    "                              demodulator record\n"
    "  --flood BYTES               send data messages of BYTES payload at full speed\n"
    "  --quit-after SEC            exit after SEC seconds\n"
    "  --spectrum-ms N             period of the spectrum, I/Q and vector blocks (default 100,\n"
    "                              0 off)\n"
    "  --snr-db X                  signal-to-noise ratio of the simulated signal (default 20)\n";

bool ParseNumber(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0';
}

bool ParseCount(const char* text, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && out >= 0;
}

// "AT:FOR" in seconds, both not negative.
bool ParseLockLoss(const char* text, double& at, double& span) {
    const std::string_view v = text;
    const auto colon = v.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string first(v.substr(0, colon)), second(v.substr(colon + 1));
    double a = 0, f = 0;
    if (!ParseNumber(first.c_str(), a) || !ParseNumber(second.c_str(), f)) return false;
    if (!(a >= 0) || !(f >= 0)) return false;
    at = a;
    span = f;
    return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& o, int& exitCode) {
    exitCode = 2;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kDemFrameUsage, stdout);
            std::fputs(kGnssUsage, stdout);
            exitCode = 0;
            return false;
        }
        if (ParseDemFrameFlag(arg, o.dem)) continue;
        if (arg == "--no-ack") {
            o.acknowledge = false;
            continue;
        }
        if (arg == "--no-function-info") {
            o.answerOpen = false;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "cardengine: %s needs a value\n%s", argv[i], kUsage);
            return false;
        }
        const char* value = argv[++i];
        double number = 0;
        long long count = 0;
        bool ok = true;
        if (arg == "--listen") {
            std::string_view v = value;
            auto colon = v.rfind(':');
            ok = colon != std::string_view::npos && colon > 0 &&
                 ParseCount(std::string(v.substr(colon + 1)).c_str(), count) && count <= 65535;
            if (ok) {
                o.host = std::string(v.substr(0, colon));
                o.port = static_cast<std::uint16_t>(count);
            }
        } else if (arg == "--log") {
            o.logPath = value;
        } else if (arg == "--heartbeat-ms") {
            ok = ParseCount(value, count) && count > 0;
            o.heartbeatMs = static_cast<unsigned>(count);
        } else if (arg == "--function-info-delay-ms") {
            ok = ParseCount(value, count) && count <= 3600000;
            o.functionInfoDelayMs = static_cast<unsigned>(count);
        } else if (arg == "--status-ms") {
            ok = ParseCount(value, count) && count > 0;
            o.statusMs = static_cast<unsigned>(count);
        } else if (arg == "--dem-lock") {
            char* end = nullptr;
            const unsigned long mask = std::strtoul(value, &end, 0);
            ok = end != value && *end == '\0' && mask <= 15;
            o.demLockMask = static_cast<unsigned>(mask);
        } else if (arg == "--dem-lock-loss") {
            ok = ParseLockLoss(value, o.demLockLossAt, o.demLockLossFor);
        } else if (arg == "--heartbeat-stop-after") {
            ok = ParseNumber(value, o.heartbeatStopAfter);
        } else if (arg == "--close-after-sec") {
            ok = ParseNumber(value, o.closeAfterSeconds);
        } else if (arg == "--close-after-bytes") {
            ok = ParseCount(value, o.closeAfterBytes);
        } else if (arg == "--garbage") {
            ok = ParseCount(value, count);
            o.garbageBytes = static_cast<std::size_t>(count);
        } else if (arg == "--split") {
            ok = ParseCount(value, count);
            o.splitBytes = static_cast<std::size_t>(count);
        } else if (arg == "--split-pause-us") {
            ok = ParseCount(value, count);
            o.splitPauseUs = static_cast<unsigned>(count);
        } else if (arg == "--flood") {
            ok = ParseCount(value, count) && count > 0 && count <= (1 << 20);
            o.floodBytes = static_cast<std::size_t>(count);
        } else if (arg == "--quit-after") {
            ok = ParseNumber(value, number);
            o.quitAfter = number;
        } else if (arg == "--spectrum-ms") {
            ok = ParseCount(value, count) && count <= 60000;
            o.spectrumMs = static_cast<unsigned>(count);
        } else if (arg == "--snr-db") {
            ok = ParseNumber(value, o.snrDb) && o.snrDb >= -60 && o.snrDb <= 90;
        } else if (ParseDemFrameOption(arg, value, o.dem, ok)) {
        } else {
            std::fprintf(stderr, "cardengine: unknown option %s\n%s", argv[i - 1], kUsage);
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "cardengine: bad value for %s: %s\n", argv[i - 1], value);
            return false;
        }
    }
    return true;
}

}  // namespace cardengine

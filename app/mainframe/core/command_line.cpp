#include "command_line.h"

#include <charconv>

namespace mainframe {
namespace {

bool ParseBoundedInt(const std::string& text, int lo, int hi, int* out) {
    if (text.empty() || text.size() > 10) return false;
    int v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

}  // namespace

bool IsValidEngineAddress(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon > 253) return false;
    for (char c : text.substr(0, colon))
        if (c <= ' ' || c == 0x7f) return false;
    int port = 0;
    return ParseBoundedInt(text.substr(colon + 1), 1, 65535, &port);
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            line.help = true;
            continue;
        }
        if (a == "--version") {
            line.version = true;
            continue;
        }
        const bool takesValue = a == "--engine" || a == "--home" || a == "--snapshot" ||
                                a == "--quit-after" || a == "--command";
        if (!takesValue) return {std::nullopt, "unknown argument: " + a};
        if (i + 1 >= args.size()) return {std::nullopt, a + " needs a value"};
        const std::string& v = args[++i];
        if (a == "--engine") {
            if (!IsValidEngineAddress(v))
                return {std::nullopt, "--engine expects host:port with port 1..65535: " + v};
            line.engine = v;
        } else if (a == "--home") {
            if (v.empty() || v.size() > 4000) return {std::nullopt, "--home expects a directory"};
            line.home = v;
        } else if (a == "--command") {
            int id = 0;
            if (!ParseBoundedInt(v, 1, 65535, &id))
                return {std::nullopt, "--command expects a command number, 1..65535: " + v};
            if (line.commands.size() >= kMaxStartCommands)
                return {std::nullopt, "--command given more than " +
                                          std::to_string(kMaxStartCommands) + " times"};
            line.commands.push_back(unsigned(id));
        } else if (a == "--snapshot") {
            if (v.empty() || v.size() > 4000)
                return {std::nullopt, "--snapshot expects a file name"};
            line.snapshot = v;
        } else {
            if (!ParseBoundedInt(v, 1, kMaxQuitAfterSeconds, &line.quitAfterSeconds))
                return {std::nullopt, "--quit-after expects whole seconds, 1.." +
                                          std::to_string(kMaxQuitAfterSeconds)};
        }
    }
    if (!line.snapshot.empty() && line.quitAfterSeconds == 0)
        return {std::nullopt, "--snapshot needs --quit-after"};
    return {line, {}};
}

std::string CommandLineUsage() {
    return "usage: Talvora [--engine HOST:PORT] [--home DIR] "
           "[--snapshot FILE.png --quit-after SECONDS] [--quit-after SECONDS] [--command ID]...\n"
           "       Talvora --headless [--engine HOST:PORT] [--home DIR] [--task NAME] "
           "[--quit-after SECONDS]\n"
           "       Talvora --help | --version\n"
           "  --engine      address of the card engine (default 192.168.1.100:10001)\n"
           "  --home        directory of the configuration files and Log/\n"
           "  --snapshot    save a picture of the main window before leaving, and of\n"
           "                each other open window as FILE-window-1.png, -2, ...\n"
           "  --quit-after  leave through the normal exit sequence after SECONDS,\n"
           "                without asking; message boxes still open then take their\n"
           "                default answer\n"
           "  --command     run the menu command ID 4 s after start (repeatable)\n"
           "  --headless    run without windows and without a display (also\n"
           "                TALVORA_HEADLESS=1)\n"
           "  --task        headless only: run this task of the store\n"
           "  --help        print this text and exit\n"
           "  --version     print the version and exit\n";
}

std::string VersionText() {
    return "Talvora " TALVORA_VERSION_TEXT "\n";
}

}  // namespace mainframe

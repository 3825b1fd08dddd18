#include "headless/headless_options.h"

#include <command_line.h>

#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace headless {

bool HeadlessRequested(const std::vector<std::string>& args, const char* envValue) {
    if (envValue && std::strcmp(envValue, "1") == 0) return true;
    for (const std::string& a : args)
        if (a == "--headless") return true;
    return false;
}

OptionsResult ParseHeadlessOptions(const std::vector<std::string>& args) {
    HeadlessOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--headless") continue;
        if (a == "--help" || a == "-h") {
            o.help = true;
            continue;
        }
        const bool takesValue =
            a == "--engine" || a == "--home" || a == "--task" || a == "--quit-after";
        if (!takesValue) return {std::nullopt, "unknown argument: " + a};
        if (i + 1 >= args.size()) return {std::nullopt, a + " needs a value"};
        const std::string& v = args[++i];
        if (a == "--engine") {
            if (!mainframe::IsValidEngineAddress(v))
                return {std::nullopt, "--engine expects host:port with port 1..65535: " + v};
            o.engine = v;
        } else if (a == "--home") {
            if (v.empty() || v.size() > 4000) return {std::nullopt, "--home expects a directory"};
            o.home = v;
        } else if (a == "--task") {
            // A task name is one text field of the task-information record.
            if (v.empty() || v.size() > 255) return {std::nullopt, "--task expects a task name"};
            o.task = v;
        } else {
            int s = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), s);
            if (ec != std::errc() || end != v.data() + v.size() || s < 1 ||
                s > mainframe::kMaxQuitAfterSeconds)
                return {std::nullopt, "--quit-after expects whole seconds, 1.." +
                                          std::to_string(mainframe::kMaxQuitAfterSeconds)};
            o.quitAfterSeconds = s;
        }
    }
    return {o, {}};
}

bool ConfigFileReadable(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    char c;
    return in.is_open() && (in.read(&c, 1) || in.eof());
}

std::string HeadlessUsage() {
    return "Usage: Talvora --headless [--engine host:port] [--home DIR] [--task NAME]\n"
           "                          [--quit-after SECONDS]\n"
           "Runs the card session, data path, statistics, network output and recording\n"
           "as configured in Para.ini without any window, printing a status line each\n"
           "second. SIGINT or SIGTERM end the run. TALVORA_HEADLESS=1 has the same effect\n"
           "as --headless.\n";
}

}  // namespace headless

// A process's CPU per thread from /proc/<pid>/task/*/stat, as a share of one
// core over a measured interval. Shared by the CPU benchmarks.
#pragma once

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace benchcpu {

struct ThreadTicks {
    std::string name;
    unsigned long long ticks = 0;  // user + system
};

// tid -> name and CPU ticks of every thread of pid.
inline std::map<int, ThreadTicks> ReadThreads(pid_t pid) {
    std::map<int, ThreadTicks> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = ::opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream in(dir + "/" + e->d_name + "/stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        const auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        // Fields after the name: state is field 3, utime 14, stime 15.
        for (int k = 3; k <= 15 && rest >> field; ++k) {
            if (k == 14) utime = std::stoull(field);
            if (k == 15) stime = std::stoull(field);
        }
        out[std::atoi(e->d_name)] = {line.substr(open + 1, close - open - 1), utime + stime};
    }
    ::closedir(d);
    return out;
}

struct Usage {
    std::vector<std::pair<std::string, double>> threads;  // name, share of one core
    double total = 0;
};

// Sleeps `seconds` and returns what pid's threads used meanwhile, busiest
// first; the main thread is named "main (<its name>)".
inline Usage Measure(pid_t pid, double seconds) {
    using Clock = std::chrono::steady_clock;
    const auto before = ReadThreads(pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const auto after = ReadThreads(pid);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double hz = static_cast<double>(::sysconf(_SC_CLK_TCK));
    Usage u;
    for (const auto& [tid, t] : after) {
        const auto b = before.find(tid);
        const unsigned long long was = b == before.end() ? 0 : b->second.ticks;
        const double share = static_cast<double>(t.ticks - std::min(was, t.ticks)) / hz / elapsed;
        u.threads.emplace_back(tid == pid ? "main (" + t.name + ")" : t.name, share);
        u.total += share;
    }
    std::stable_sort(u.threads.begin(), u.threads.end(),
                     [](const auto& x, const auto& y) { return x.second > y.second; });
    return u;
}

}  // namespace benchcpu

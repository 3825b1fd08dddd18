// SolveBlock on blocks of 60 superframes (8-bit words, 256 words per
// subframe, 32 subframes, 8-byte tags; 1000 selected subframe parameters of
// 1 and 2 bytes, formula and bit, signed and unsigned, plus 50 superframe
// parameters; random data) against a plain loop that assembles the same
// bytes and sums them. Then the whole path through the library: stores at
// 20 Mbit/s, the solving thread, a fetch every 100 ms; counts "Del" records.
#include <platform/datasource.h>
#include <platform/paths.h>
#include <platform/profile.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "library.h"
#include "param_model.h"
#include "preferences/preferences.h"
#include "sample_db.h"
#include "selection_file.h"
#include "solver.h"

using namespace prefs;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWords = 256, kSubframes = 32, kTag = 8, kSuperframesPerBlock = 60;
constexpr int kSubParams = 1000, kSuperParams = 50;

FrameStructure Frame() {
    FrameStructure f;
    f.wordBitsDb = 8;
    f.timeCodeWidth = kTag;
    f.subframeLen = kWords;
    f.superframeLen = kSubframes;
    f.bitRate = 20000000;
    f.superColumns[0] = 250;
    return f;
}

ParamRow RowFor(int i, bool super) {
    ParamRow r;
    r.name = (super ? "S" : "P") + std::to_string(i);
    const int words = 1 + i % 2;
    r.wordCount = words;
    r.dataType = i % 3 == 0 ? "有符号数" : "";
    r.processType = i % 5 == 4 ? "开关量" : "公式法";
    r.bit = i % 8;
    r.coef[0] = 0.5;
    r.coef[1] = 0.25;
    if (super) {
        r.frameNo = 1;
        r.routes[0] = 1 + i % kSubframes;
        r.routes[1] = 1 + (i + 1) % kSubframes;
    } else {
        r.routes[0] = 1 + (i * 7) % (kWords - 1);
        r.routes[1] = 2 + (i * 7) % (kWords - 1);
    }
    return r;
}

void PinToOneCore() {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

void SolveBenchmark(int rounds) {
    const FrameStructure f = Frame();
    const FrameLayout layout = BuildLayout(f, {});
    std::vector<ParamRecord> params[3];
    std::vector<int> maps[3];
    bool any[3] = {true, true, false};
    for (int i = 0; i < kSubParams; ++i)
        params[0].push_back(ConvertRow(RowFor(i, false), Level::Subframe, f));
    for (int i = 0; i < kSuperParams; ++i)
        params[1].push_back(ConvertRow(RowFor(i, true), Level::Superframe, f));
    for (int l = 0; l < 2; ++l) {
        CheckPositions(params[l], Level(l), f, layout);
        for (std::size_t i = 0; i < params[l].size(); ++i) {
            params[l][i].nSelected = 1;
            maps[l].push_back(int(i));
        }
    }
    const SolvePlan plan = BuildSolvePlan(params, maps, any, layout);
    if (plan.level[0].size() != kSubParams || plan.level[1].size() != kSuperParams) {
        std::fprintf(stderr, "plan incomplete\n");
        std::exit(1);
    }
    auto* rings0 = static_cast<ResultRing*>(std::calloc(kSubParams, sizeof(ResultRing)));
    auto* rings1 = static_cast<ResultRing*>(std::calloc(kSuperParams, sizeof(ResultRing)));
    ResultArrays arrays;
    arrays.level[0] = rings0;
    arrays.count[0] = kSubParams;
    arrays.level[1] = rings1;
    arrays.count[1] = kSuperParams;
    std::vector<SpecialState> states;
    const std::size_t blockBytes = std::size_t(layout.superframeBytes) * kSuperframesPerBlock;
    std::vector<std::uint8_t> blocks[4];
    std::mt19937 rng(1);
    for (auto& b : blocks) {
        b.resize(blockBytes);
        for (auto& x : b) x = std::uint8_t(rng());
    }
    std::atomic<bool> running{true};
    DecimationState state{.d = 0, .f = 5, .b = 1, .c = 0};
    const double samplesPerBlock = double(kSubParams) * kSubframes * kSuperframesPerBlock +
                                   double(kSuperParams) * kSuperframesPerBlock;

    double solveBest = 1e30, plainBest = 1e30;
    std::uint64_t sink = 0;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        for (auto& b : blocks)
            SolveBlock(plan, layout, arrays, states, b.data(), b.size(), state, running);
        auto t1 = Clock::now();
        // The plain loop: the same bytes at the same positions, summed.
        for (auto& b : blocks) {
            for (int i = 0; i < kSuperframesPerBlock; ++i) {
                const std::uint8_t* base =
                    b.data() + std::size_t(i) * std::size_t(layout.superframeBytes);
                for (int j = 0; j < kSubframes; ++j) {
                    const std::uint8_t* sub =
                        base + std::size_t(j) * std::size_t(layout.subframeRecordBytes);
                    for (const PlanEntry& e : plan.level[0]) {
                        std::uint64_t v = 0;
                        for (int k = 0; k < e.nBytes; ++k) v = v << 8 | sub[e.pos[k]];
                        sink += v;
                    }
                }
                for (const PlanEntry& e : plan.level[1]) {
                    std::uint64_t v = 0;
                    for (int k = 0; k < e.nBytes; ++k) v = v << 8 | base[e.pos[k]];
                    sink += v;
                }
            }
        }
        auto t2 = Clock::now();
        solveBest = std::min(solveBest, std::chrono::duration<double>(t1 - t0).count());
        plainBest = std::min(plainBest, std::chrono::duration<double>(t2 - t1).count());
    }
    const double samples = samplesPerBlock * 4;
    std::printf(
        "SolveBlock: %.2f M samples/s; plain assemble-and-sum: %.2f M words/s; ratio %.2f "
        "(best of %d rounds of 4 blocks, sum %llu)\n",
        samples / solveBest / 1e6, samples / plainBest / 1e6, plainBest / solveBest, rounds,
        static_cast<unsigned long long>(sink & 0xFF));
    std::free(rings0);
    std::free(rings1);
}

// The whole path through the library at 20 Mbit/s for `seconds`.
void PathBenchmark(int seconds) {
    char dirTemplate[] = "/tmp/param_solve.XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) return;
    setenv("XDG_CONFIG_HOME", dir, 1);
    plat::SetModuleDirectory(dir);
    plat::WritePrivateProfileString("调试信息输出", "数据链表", "1",
                                    std::string(dir) + "/TelemetrySystem.ini");
    const std::string path = std::string(dir) + "/bench.mdb";
    {
        std::string error;
        auto db = plat::Database::OpenFile(path, plat::Database::OpenMode::ReadWriteCreate, &error);
        db->Execute("BEGIN");
        db->Execute(ParameterDatabaseSchema());
        db->Execute(
            "INSERT INTO 子帧结构 (编码位数, 时码宽度, 子帧长, 码速率) VALUES (8, 8, 256, "
            "20000000)");
        db->Execute("INSERT INTO 副帧结构 (副帧长, 副帧1子帧路号) VALUES (32, 250)");
        auto ins = db->Prepare(
            "INSERT INTO 参数属性 (参数名称, 参数类型, 副帧号, 路号总数, 数据类型, 处理类型, "
            "参数所在比特, "
            "路号1, 路号2, A0, A1) VALUES (?1, ?2, 1, ?3, ?4, ?5, ?6, ?7, ?8, 0.5, 0.25)");
        std::vector<ParamRecord> sel[2];
        for (int level = 0; level < 2; ++level)
            for (int i = 0; i < (level ? kSuperParams : kSubParams); ++i) {
                ParamRow r = RowFor(i, level == 1);
                ins->Reset();
                ins->BindText(1, r.name);
                ins->BindText(2, level ? "副帧" : "子帧");
                ins->Bind(3, *r.wordCount);
                ins->BindText(4, r.dataType);
                ins->BindText(5, r.processType);
                ins->Bind(6, *r.bit);
                ins->Bind(7, *r.routes[0]);
                ins->Bind(8, *r.routes[1]);
                ins->Step();
                ParamRecord p;
                p.name = r.name;
                p.nSelected = p.nSelTable = 1;
                sel[level].push_back(p);
            }
        db->Execute("COMMIT");
        const char* files[] = {"/子帧.sel", "/副帧.sel"};
        for (int level = 0; level < 2; ++level) {
            auto bytes = FormatSelectionFile(sel[level]);
            std::ofstream(std::string(dir) + files[level], std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
    }
    if (!ConfigODBCDataSource(path.c_str())) {
        std::fprintf(stderr, "cannot set up the database\n");
        return;
    }
    const std::size_t superBytes = std::size_t(kSubframes) * (kTag + kWords);
    std::vector<char> data(superBytes * 64);
    std::mt19937 rng(2);
    for (auto& c : data) c = char(rng());
    std::vector<DealResult> sub(kSubParams), super(kSuperParams);
    std::atomic<bool> feeding{true};
    std::uint64_t fetched = 0;
    std::thread fetcher([&] {
        while (feeding) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            GetDealParameterResult(sub.data(), super.data(), nullptr);
            for (auto& r : sub) fetched += std::uint64_t(r.nNew), r.nNew = 0;
        }
    });
    // One superframe every 8448 * 8 / 20e6 s = 3.38 ms.
    const auto period = std::chrono::nanoseconds(std::int64_t(superBytes * 8 * 1e9 / 20e6));
    const auto start = Clock::now();
    auto next = start;
    std::size_t stored = 0, at = 0;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        StoreDealParameterData(data.data() + at, int(superBytes));
        at = (at + superBytes) % data.size();
        stored += superBytes;
        next += period;
        std::this_thread::sleep_until(next);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    feeding = false;
    fetcher.join();
    std::ifstream in(std::string(dir) + "/数据链表调试信息输出.bin", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string trace = s.str();
    int writes = 0, reads = 0, dels = 0;
    for (std::size_t i = 0; i + 16 <= trace.size(); i += 16) {
        writes += trace.compare(i, 6, "Write:") == 0;
        reads += trace.compare(i, 5, "Read:") == 0;
        dels += trace.compare(i, 4, "Del:") == 0;
    }
    const double fed = double(stored) / double(kTag + kWords) * kSubParams;
    std::printf(
        "whole path at 20 Mbit/s: %.1f MB stored in %d s (%.2f M subframe samples/s fed), "
        "%d blocks queued, %d taken, %d dropped (Del); %.0f of %.0f subframe samples "
        "fetched (the rest waits in the accumulation for a whole hand-off)\n",
        double(stored) / 1e6, seconds, fed / seconds / 1e6, writes, reads, dels, double(fetched),
        fed);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    {
        std::thread one([&] {
            PinToOneCore();
            SolveBenchmark(rounds);
        });
        one.join();
    }
    PathBenchmark(seconds);
    return 0;
}

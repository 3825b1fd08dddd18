// The three parameter groups behind the windows: per level the parameter
// records, their result histories with the local time each sample arrived,
// and the index lists of the four display kinds. GUI thread only.
#pragma once

#include <preferences/par_records.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace paramviews {

inline constexpr int kLevels = 3;
inline constexpr int kKindStripe = 1, kKindCurve = 2, kKindTable = 3, kKindUpload = 4;

struct ParamGroup {
    std::string name;  // "子帧", "副帧", "特殊副帧"
    int count = 0;
    std::vector<ParStructEx> params;
    std::unique_ptr<DealResult[]> results;  // count entries, zeroed when made
    // Seconds since the epoch (local clock) of the fetch that brought each
    // sample, aligned with the result history.
    std::unique_ptr<std::array<double, kResultHistory>[]> times;
    std::vector<int> index[4];  // kinds 1..4: parameter indices in vector order

    const std::vector<int>& Selected(int kind) const { return index[kind - 1]; }
};

class ParamGroups {
public:
    static ParamGroups& Instance();

    bool Exist() const { return exist_; }
    // Any thread: builds the groups when none exist; off the GUI thread it
    // asks the GUI thread to (through the installed poster).
    void EnsureInitializedFromAnyThread();
    // Runs a job on the GUI thread; installed by the window part.
    void SetGuiPoster(std::function<void(std::function<void()>)> poster);
    // Called on the GUI thread each time the groups have been built.
    void SetOnCreated(std::function<void()> hook);
    // Rebuilds every group from the parameter library; counts returned.
    void Initialize(int& nSub, int& nSuper, int& nSpecial);
    void EnsureInitialized();
    // Fetches new samples into the result histories (the 100 ms tick).
    void Fetch();
    // Fetch step with a given clock reading, for tests.
    void FetchAt(double now);
    // Builds the index list of `kind` in every group (1..4).
    void BuildIndex(int kind);
    // Re-reads the parameter lists after a selection change and rebuilds
    // the index lists of `kind`.
    void ReloadSelection(int kind);

    ParamGroup& Group(int level) { return groups_[level]; }
    const ParamGroup& Group(int level) const { return groups_[level]; }
    // Tests: install groups by hand (results zeroed).
    void SetForTest(const std::vector<ParStructEx> (&lists)[kLevels]);
    void Clear();

private:
    bool Allocate(ParamGroup& g, int count);
    void BuildIndex(ParamGroup& g, int kind);

    ParamGroup groups_[kLevels];
    std::atomic<bool> exist_{false};
    std::atomic<bool> initPosted_{false};
    std::function<void(std::function<void()>)> poster_;  // set once at start
    std::function<void()> onCreated_;                    // set once at start
};

// The group names in level order.
const char* GroupName(int level);

}  // namespace paramviews

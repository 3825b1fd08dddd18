#include <paramviews/param_groups.h>
#include <platform/notify.h>
#include <preferences/preferences.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

namespace paramviews {
namespace {

const char* const kGroupNames[kLevels] = {"子帧", "副帧", "特殊副帧"};
constexpr const char* kCaption = "参数显示";

void Show(const std::string& text) {
    plat::MessageBox(text, kCaption, plat::MB_OK | plat::MB_ICONERROR);
}

const std::int32_t& FlagOf(const ParStructEx& p, int kind) {
    switch (kind) {
        case kKindStripe:
            return p.nSelStripe;
        case kKindCurve:
            return p.nSelCurve;
        case kKindTable:
            return p.nSelTable;
        default:
            return p.nSelReply;
    }
}

const char* ListFailedText(int kind) {
    switch (kind) {
        case kKindStripe:
            return "柱状图被选处理参数索引缓冲区动态分配失败！";
        case kKindCurve:
            return "曲线被选处理参数索引缓冲区动态分配失败！";
        case kKindTable:
            return "表格被选处理参数索引缓冲区动态分配失败！";
        default:
            return "上传被选处理参数索引缓冲区动态分配失败！";
    }
}

}  // namespace

const char* GroupName(int level) {
    return level >= 0 && level < kLevels ? kGroupNames[level] : "";
}

ParamGroups& ParamGroups::Instance() {
    static ParamGroups groups;
    return groups;
}

void ParamGroups::Clear() {
    for (int l = 0; l < kLevels; ++l) {
        groups_[l] = ParamGroup{};
        groups_[l].name = kGroupNames[l];
    }
    exist_ = false;
}

bool ParamGroups::Allocate(ParamGroup& g, int count) {
    g.count = std::max(count, 0);
    g.results.reset(new (std::nothrow) DealResult[std::size_t(g.count)]());
    g.times.reset(new (std::nothrow) std::array<double, kResultHistory>[std::size_t(g.count)]());
    if (g.count > 0 && (!g.results || !g.times)) {
        Show(g.name + "参数处理结果缓冲区动态分配失败！");
        g.results.reset();
        g.times.reset();
        g.count = 0;
        g.params.clear();
        return false;
    }
    return true;
}

void ParamGroups::BuildIndex(ParamGroup& g, int kind) {
    if (kind < kKindStripe || kind > kKindUpload) {
        Show("GetDealParamInfo()中输入的处理参数的显示类型溢出！");
        return;
    }
    std::vector<int>& list = g.index[kind - 1];
    list.clear();
    try {
        const int n = std::min<int>(g.count, int(g.params.size()));
        for (int i = 0; i < n; ++i)
            if (FlagOf(g.params[i], kind)) list.push_back(i);
    } catch (const std::bad_alloc&) {
        list.clear();
        Show(ListFailedText(kind));
    }
}

void ParamGroups::BuildIndex(int kind) {
    for (ParamGroup& g : groups_) BuildIndex(g, kind);
}

void ParamGroups::Initialize(int& nSub, int& nSuper, int& nSpecial) {
    // The parameter library loads its database on first use.
    if (GetParametersTotalNumber(nSub, nSuper, nSpecial) == 0) return;
    Clear();
    std::vector<ParStructEx> lists[kLevels];
    GetParametersInfo(lists[0], lists[1], lists[2]);
    const int counts[kLevels] = {nSub, nSuper, nSpecial};
    for (int l = 0; l < kLevels; ++l) {
        ParamGroup& g = groups_[l];
        g.params = std::move(lists[l]);
        if (!Allocate(g, counts[l])) continue;
        // The results are sized by the count: a shorter list is padded.
        if (int(g.params.size()) < g.count) g.params.resize(std::size_t(g.count), ParStructEx{});
        for (int kind = kKindStripe; kind <= kKindUpload; ++kind) BuildIndex(g, kind);
    }
    exist_ = true;
    if (onCreated_) onCreated_();
}

void ParamGroups::EnsureInitialized() {
    if (exist_) return;
    int n[3] = {};
    Initialize(n[0], n[1], n[2]);
}

void ParamGroups::SetGuiPoster(std::function<void(std::function<void()>)> poster) {
    poster_ = std::move(poster);
}

void ParamGroups::SetOnCreated(std::function<void()> hook) {
    onCreated_ = std::move(hook);
}

void ParamGroups::EnsureInitializedFromAnyThread() {
    if (exist_) return;
    if (!poster_) return EnsureInitialized();
    if (initPosted_.exchange(true)) return;
    poster_([this] {
        EnsureInitialized();
        initPosted_ = false;
    });
}

void ParamGroups::SetForTest(const std::vector<ParStructEx> (&lists)[kLevels]) {
    Clear();
    for (int l = 0; l < kLevels; ++l) {
        groups_[l].params = lists[l];
        Allocate(groups_[l], int(lists[l].size()));
        for (int kind = kKindStripe; kind <= kKindUpload; ++kind) BuildIndex(groups_[l], kind);
    }
    exist_ = true;
}

void ParamGroups::ReloadSelection(int kind) {
    if (!exist_) return EnsureInitialized();
    std::vector<ParStructEx> lists[kLevels];
    GetParametersInfo(lists[0], lists[1], lists[2]);
    for (int l = 0; l < kLevels; ++l) {
        ParamGroup& g = groups_[l];
        const std::size_t n = std::min(g.params.size(), lists[l].size());
        for (std::size_t i = 0; i < n; ++i) {
            ParStructEx& p = g.params[i];
            const ParStructEx& q = lists[l][i];
            p.nSelected = q.nSelected;
            p.nSelStripe = q.nSelStripe;
            p.nSelCurve = q.nSelCurve;
            p.nSelTable = q.nSelTable;
            p.nSelReply = q.nSelReply;
        }
    }
    BuildIndex(kind);
}

void ParamGroups::Fetch() {
    using namespace std::chrono;
    FetchAt(duration<double>(system_clock::now().time_since_epoch()).count());
}

void ParamGroups::FetchAt(double now) {
    if (!exist_) return;
    // The library leaves an entry untouched when nothing new came, nNew
    // included: cleared here, it is the count this fetch delivered.
    for (ParamGroup& g : groups_)
        if (g.results)
            for (int i = 0; i < g.count; ++i) g.results[i].nNew = 0;
    if (GetDealParameterResult(groups_[0].results.get(), groups_[1].results.get(),
                               groups_[2].results.get()) == 0)
        return;
    for (ParamGroup& g : groups_) {
        if (!g.results || !g.times) continue;
        for (int i = 0; i < g.count; ++i) {
            const int fresh = std::clamp(g.results[i].nNew, 0, kResultHistory);
            if (fresh == 0) continue;
            auto& t = g.times[i];
            std::memmove(t.data(), t.data() + fresh, sizeof(double) * (kResultHistory - fresh));
            std::fill(t.end() - fresh, t.end(), now);
        }
    }
}

}  // namespace paramviews

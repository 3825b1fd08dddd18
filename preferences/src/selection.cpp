// The selection calls: flags edited in the shadow lists, saved to the
// selection files by a worker, copied back into the working lists.
#include <array>
#include <cstdio>
#include <memory>

#include "library.h"
#include "selection_dialog.h"
#include "selection_file.h"

namespace prefs {
namespace {

const char* const kSelectionFileNames[3] = {"子帧.sel", "副帧.sel", "特殊副帧.sel"};

std::atomic<SelectionDialogRunner> dialogRunner{nullptr};

// Writes the whole image beside the target and renames it over the target,
// so a reader never sees half a file. A file that cannot be made is skipped.
void WriteWhole(const std::string& path, const std::vector<std::uint8_t>& image) {
    const std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return;
    const bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (std::fclose(f) != 0 || !ok || std::rename(temp.c_str(), path.c_str()) != 0)
        std::remove(temp.c_str());
}

void SetKind(ParamRecord& r, int kind, std::int32_t value) {
    if (kind == kKindAll) {
        r.nSelStripe = r.nSelCurve = r.nSelTable = r.nSelReply = value;
    } else if (auto* flag = KindFlag(r, kind)) {
        *flag = value;
    }
    RecomputeSelected(r);
}

}  // namespace

void SetSelectionDialogRunner(SelectionDialogRunner runner) {
    dialogRunner = runner;
}

SelectionDialogRunner CurrentSelectionDialogRunner() {
    return dialogRunner.load();
}

void ParameterLibrary::WaitSelectionSaved() {
    std::lock_guard g(saverMutex_);
    if (saver_.joinable()) saver_.join();
}

void ParameterLibrary::SaveSelectionFiles() {
    if (!running_) return;
    // The worker writes what the shadows hold now, not what they hold later.
    auto snapshot = std::make_shared<std::array<std::vector<ParamRecord>, 3>>();
    {
        MutexHold p(par_.get());
        for (int level = 0; level < 3; ++level) (*snapshot)[level] = db_.shadows[level];
    }
    const std::string dir = DataDirectory();
    std::lock_guard g(saverMutex_);
    if (saver_.joinable()) saver_.join();
    saver_ = std::thread([this, snapshot, dir] {
        MutexHold s(saveIni_.get());
        for (int level = 0; level < 3; ++level)
            WriteWhole(dir + "/" + kSelectionFileNames[level],
                       FormatSelectionFile((*snapshot)[level]));
    });
}

void ParameterLibrary::RebuildWorkingState() {
    LoadedDatabase fresh;
    {
        MutexHold p(par_.get());
        fresh.layout = db_.layout;
        for (int level = 0; level < 3; ++level) fresh.params[level] = db_.shadows[level];
    }
    for (int level = 0; level < 3; ++level) {
        const auto& list = fresh.params[level];
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].nSelected != 1) continue;
            fresh.anySelected[level] = true;
            fresh.selectionMap[level].push_back(int(i));
        }
    }
    SolvePlan plan =
        BuildSolvePlan(fresh.params, fresh.selectionMap, fresh.anySelected, fresh.layout);
    RingArray rings[3];
    for (int level = 0; level < 3; ++level) rings[level] = RingArray(fresh.params[level].size());
    MutexHold p(par_.get()), c(calc_.get());
    for (int level = 0; level < 3; ++level) {
        db_.params[level] = std::move(fresh.params[level]);
        db_.selectionMap[level] = std::move(fresh.selectionMap[level]);
        db_.anySelected[level] = fresh.anySelected[level];
        results_[level] = std::move(rings[level]);
    }
    db_.plan = std::move(plan);
}

void ParameterLibrary::CommitShadows(std::vector<ParStructEx>* lists[3], int* counts[3]) {
    SaveSelectionFiles();
    {
        MutexHold p(par_.get());
        for (int level = 0; level < 3; ++level) {
            const auto& shadow = db_.shadows[level];
            if (lists[level]) {
                lists[level]->resize(shadow.size());
                for (std::size_t i = 0; i < shadow.size(); ++i)
                    ToParStructEx(shadow[i], (*lists[level])[i]);
            }
            if (counts[level]) *counts[level] = int(shadow.size());
        }
    }
    RebuildWorkingState();
}

void ParameterLibrary::SetSelectionFlags(std::vector<ParStructEx>* lists[3], int* counts[3],
                                         int kind) {
    if (kind < kKindAll || kind > kKindReply) return;
    std::lock_guard g(loadMutex_);
    EnsureLoaded();
    {
        MutexHold p(par_.get());
        for (int level = 0; level < 3; ++level) {
            if (!lists[level]) continue;
            auto& shadow = db_.shadows[level];
            // Only the indices both lists have: a shorter caller list leaves the rest.
            const std::size_t n = std::min(shadow.size(), lists[level]->size());
            for (std::size_t i = 0; i < n; ++i) {
                ParStructEx& in = (*lists[level])[i];
                ParamRecord& r = shadow[i];
                for (int k = kKindStripe; k <= kKindReply; ++k)
                    if (kind == kKindAll || kind == k) *KindFlag(r, k) = *KindFlag(in, k) ? 1 : 0;
                RecomputeSelected(r);
            }
        }
    }
    CommitShadows(lists, counts);
}

void ParameterLibrary::CleanSelectionFlags(std::vector<ParStructEx>* lists[3], int* counts[3],
                                           int kind) {
    if (kind < kKindAll || kind > kKindReply) return;
    std::lock_guard g(loadMutex_);
    EnsureLoaded();
    {
        MutexHold p(par_.get());
        for (auto& shadow : db_.shadows)
            for (ParamRecord& r : shadow) SetKind(r, kind, 0);
    }
    CommitShadows(lists, counts);
}

int ParameterLibrary::OpenSelectionDialog(std::vector<ParStructEx>* lists[3], int* counts[3],
                                          int kind, int level) {
    if (kind < kKindAll || kind > kKindReply || level < 0 || level > 2) return 0;
    const SelectionDialogRunner runner = CurrentSelectionDialogRunner();
    if (!runner) return 0;
    EnsureLoaded();
    SelectionDialogRequest request;
    request.kind = kind;
    request.level = level;
    const unsigned generation = loadGeneration_.load();
    {
        MutexHold p(par_.get());
        for (int l = 0; l < 3; ++l) request.lists[l] = db_.shadows[l];
    }
    // The dialog edits its own copies: a cancelled dialog leaves everything.
    // The load lock is not held while it is open.
    if (!runner(request)) return 0;
    std::lock_guard g(loadMutex_);
    // A database loaded meanwhile: the edit belongs to the one before.
    if (loadGeneration_.load() != generation) return 0;
    {
        MutexHold p(par_.get());
        for (int l = 0; l < 3; ++l) {
            // A reload meanwhile changed the lists: the edit no longer fits them.
            if (request.lists[l].size() != db_.shadows[l].size()) return 0;
            for (ParamRecord& r : request.lists[l]) RecomputeSelected(r);
            db_.shadows[l] = std::move(request.lists[l]);
        }
    }
    CommitShadows(lists, counts);
    return 1;
}

}  // namespace prefs

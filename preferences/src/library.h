// The library's one instance: the named mutexes, the buffers, the loaded
// parameter lists with their layout, and the load sequence.
#pragma once

#include <platform/kernel_objects.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "param_model.h"
#include "solver.h"

namespace prefs {

inline constexpr const char* kStdataMutex = "STDATA_MEMORY_HAS_ONE_ACCESS";
inline constexpr const char* kParMutex = "TELEMETRY_PAR_HAS_ONE_ACCESS";
inline constexpr const char* kCalcMutex = "PARAMETER_CALC_HAS_ONE_ACCESS";
inline constexpr const char* kSaveIniMutex = "SAVE_INI_HAS_ONE_ACCESS";
inline constexpr std::size_t kBufferBytes = 2048000;
inline constexpr const char* kConfigFailedText = "配置任务宏管理数据源失败！";

// Holds a named mutex for a scope (an abandoned mutex is owned as well).
class MutexHold {
public:
    explicit MutexHold(plat::NamedMutex* m) : m_(m) {
        if (m_ && m_->Lock() == plat::WaitResult::Failed) m_ = nullptr;
    }
    ~MutexHold() {
        if (m_) m_->Unlock();
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

private:
    plat::NamedMutex* m_;
};

// Everything one load produces, swapped in whole.
struct LoadedDatabase {
    std::vector<ParamRecord> params[3];   // working lists, guarded by the parameter mutex
    std::vector<ParamRecord> shadows[3];  // what the selection calls edit
    std::vector<int> selectionMap[3];     // ordinal -> parameter index, selected only
    bool anySelected[3] = {};
    FrameStructure frame;
    FrameLayout layout;
    std::int64_t handOffSize = kHandOffMax;
    SolvePlan plan;
};

// Result rings of one level, zero pages until a parameter is first solved.
struct RingArray {
    ResultRing* rings = nullptr;
    std::size_t count = 0;
    RingArray() = default;
    explicit RingArray(std::size_t n);
    ~RingArray();
    RingArray(RingArray&& o) noexcept : rings(o.rings), count(o.count) {
        o.rings = nullptr, o.count = 0;
    }
    RingArray& operator=(RingArray&& o) noexcept;
};

// A queued block; recycled through the free list.
struct PendingBlock {
    std::uint8_t* data = nullptr;
    std::size_t capacity = 0, length = 0;
    PendingBlock* next = nullptr;
};

class ParameterLibrary {
public:
    ParameterLibrary();
    ~ParameterLibrary();
    ParameterLibrary(const ParameterLibrary&) = delete;
    ParameterLibrary& operator=(const ParameterLibrary&) = delete;

    int ConfigDataSource(const char* path);
    int Load();
    // Loads when nothing is loaded yet; for the calls of the GUI side. The
    // data calls never load: they leave that to the solving thread.
    bool EnsureLoaded();
    void CopyParameters(std::vector<ParStructEx>* out[3]);
    int TotalNumber(int& sub, int& super, int& special);
    TelemetyFrameStruct FrameStruct();

    // The frame the caller's data have (see SetDealDataFrameStruct); its
    // result: 1 agree, 0 differ, -1 newly differ, 2 agree again.
    int SetDeliveredFrame(int wordBits, int subframeWords, int superframeLength, int timeCodeWidth);
    // The difference as a text into `text`; its length, 0 when they agree.
    int FrameMismatchText(char* text, int size);

    int Store(const char* data, int length);
    int FetchResults(DealResult* out[3]);
    int Begin(DealResult* out[3], const char* data, int length);

    bool Loaded() const { return state_.load() == kLoaded; }
    bool Running() const { return running_.load(); }
    int PendingCount();
    // The thread that ran the last load, for tests.
    std::thread::id LoadThreadForTest() const { return loadThread_.load(); }
    // Stops and joins the solving thread (also done at destruction).
    void Shutdown();
    std::int64_t HandOffSize();
    std::string DataDirectory();

    // Selection: `lists`/`counts` entries may be null (that level is not
    // copied out). Each call saves the files and rebuilds the working state.
    void SetSelectionFlags(std::vector<ParStructEx>* lists[3], int* counts[3], int kind);
    void CleanSelectionFlags(std::vector<ParStructEx>* lists[3], int* counts[3], int kind);
    int OpenSelectionDialog(std::vector<ParStructEx>* lists[3], int* counts[3], int kind,
                            int level);
    // Starts the file writer on a snapshot of the shadow lists.
    void SaveSelectionFiles();
    // Waits for the file writer started last.
    void WaitSelectionSaved();

private:
    // Starts the solving thread once a database is loaded.
    void StartSolving();
    void SolvingThread();
    void Trace(const char* fmt, unsigned a, unsigned b);
    void Install(LoadedDatabase&& fresh);
    PendingBlock* NewBlock(std::size_t bytes);
    void Recycle(PendingBlock* b);
    // Texts for the operator are collected into `notes` and shown once the
    // load lock is released, so that no box is waited for under it.
    void ReadDatabase(LoadedDatabase& out, const std::string& dir, std::vector<std::string>& notes);
    bool EnsureSampleRegistered(std::vector<std::string>& notes);
    // Load with the load lock held; `notes` as for ReadDatabase.
    int LoadLocked(std::vector<std::string>& notes);
    // A data call found nothing loaded: the solving thread loads.
    void RequestLoad();
    void CommitShadows(std::vector<ParStructEx>* lists[3], int* counts[3]);
    void RebuildWorkingState();

    std::unique_ptr<plat::NamedMutex> stdata_, par_, calc_, saveIni_;
    std::unique_ptr<std::uint8_t, void (*)(void*)> accumulation_, work_;
    std::FILE* trace_ = nullptr;

    // Held by every load and by every selection call from start to end, so
    // that a load never lands between a selection edit and its rebuild.
    // Recursive: a selection call loads first when nothing is loaded.
    std::recursive_mutex loadMutex_;
    std::string dataDir_;  // guarded by loadMutex_
    enum LoadState { kUnloaded, kLoading, kLoaded };
    std::atomic<int> state_{kUnloaded};  // written under loadMutex_
    std::atomic<bool> loadRequested_{false};
    std::atomic<std::thread::id> loadThread_{};
    // Counts installed loads; a dialog edit made before a load is dropped.
    std::atomic<unsigned> loadGeneration_{0};
    std::atomic<bool> running_{true};
    LoadedDatabase db_;  // guarded by the parameter (lists) and calculation (results) mutexes
    int lastTotals_[3] = {-1, -1, -1};  // guarded by the parameter mutex

    // Results and special-superframe state, guarded by the calculation mutex.
    RingArray results_[3];
    std::vector<SpecialState> specials_;
    DecimationState decimation_;  // solving thread only

    std::mutex storeMutex_;  // accumulation within this process
    std::size_t fill_ = 0;   // guarded by storeMutex_
    std::atomic<std::int64_t> handOff_{kHandOffMax};
    // Pending list and free list, guarded by the STDATA mutex.
    PendingBlock* head_ = nullptr;
    PendingBlock* tail_ = nullptr;
    int pending_ = 0;
    PendingBlock* free_ = nullptr;

    // Frame shapes packed by PackFrameShape: what the caller delivers (0
    // until told) and what the installed database describes.
    std::atomic<std::uint64_t> delivered_{0};
    std::atomic<std::uint64_t> dbShape_{0};
    std::mutex frameMutex_;
    bool mismatchReported_ = false;                         // guarded by frameMutex_
    std::uint64_t reportedDelivered_ = 0, reportedDb_ = 0;  // guarded by frameMutex_

    std::mutex traceMutex_;
    std::mutex threadMutex_;
    std::thread solver_;  // guarded by threadMutex_
    std::mutex saverMutex_;
    std::thread saver_;  // guarded by saverMutex_
};

ParameterLibrary& Library();

}  // namespace prefs

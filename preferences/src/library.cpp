#include "library.h"

#include <platform/datasource.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <platform/profile.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "access_import.h"
#include "db_reader.h"
#include "sample_db.h"
#include "selection_file.h"
#include "stream_file.h"

namespace prefs {
namespace {

constexpr const char* kCaption = "参数数据库";
constexpr std::size_t kStreamFileLimit = 16 << 20;
const char* const kSelectionFiles[3] = {"子帧.sel", "副帧.sel", "特殊副帧.sel"};

void Show(const std::string& text) {
    plat::MessageBox(text, kCaption, plat::MB_OK | plat::MB_ICONERROR);
}

std::string DirOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// At most `limit` bytes of a file; nothing when it cannot be opened.
std::optional<std::string> ReadFile(const std::string& path, std::size_t limit) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::string out;
    char buf[65536];
    while (out.size() < limit) {
        const std::size_t want = std::min(sizeof buf, limit - out.size());
        const std::size_t n = std::fread(buf, 1, want, f);
        out.append(buf, n);
        if (n < want) break;
    }
    std::fclose(f);
    return out;
}

// Registers `path` as "ParTB"; the look-up catches a '?' in the path that
// cut it yet left a well-formed attribute list.
bool Register(const std::string& path) {
    char attributes[plat::kAttributeBufferSize];
    return plat::FormatAttributeList(attributes,
                                     "DSN=%s? DESCRIPTION=参数数据库? DBQ=%s? "
                                     "FIL=MicrosoftAccess? DEFAULTDIR=%s?? ",
                                     kDataSourceName, path.c_str(), path.c_str()) &&
           plat::ConfigDataSource(kDriverName, attributes) &&
           plat::LookupDataSource(kDataSourceName).value_or(plat::DataSourceInfo{}).database ==
               path;
}

void FillFromStream(FrameStructure& frame, const StreamDescription& d) {
    frame.timeCodeWidth = d.timeCodeWidth;
    frame.subframeLen = d.subframeLen;
    frame.bitRate = d.bitRate;
    frame.syncBits = d.syncBytes * 8;
    frame.superframeLen = d.superframeLen;
    frame.superColumns = d.superColumns;
    frame.fromStreamFile = true;
}

// The registered database; an Access file through its SQLite copy.
std::unique_ptr<plat::Database> OpenParameterDatabase(bool* accessFailed) {
    auto info = plat::LookupDataSource(kDataSourceName);
    if (!info) return nullptr;
    std::string error;
    if (IsAccessFile(info->database)) {
        auto copy = AccessCopy(info->database);
        if (!copy) {
            if (accessFailed) *accessFailed = true;
            return nullptr;
        }
        return plat::Database::OpenFile(*copy, plat::Database::OpenMode::ReadOnly, &error);
    }
    return plat::Database::OpenDataSource(std::string("ODBC;DSN=") + kDataSourceName,
                                          plat::Database::OpenMode::ReadOnly, &error);
}

// Word bits, subframe words, superframe length and time-code bytes, 16
// bits each (larger values saturate).
std::uint64_t PackFrameShape(std::int64_t bits, std::int64_t words, std::int64_t super,
                             std::int64_t tag) {
    auto f = [](std::int64_t v) { return std::uint64_t(std::clamp<std::int64_t>(v, 0, 0xFFFF)); };
    return f(bits) << 48 | f(words) << 32 | f(super) << 16 | f(tag);
}

struct FrameShape {
    unsigned bits, words, super, tag;
};

FrameShape Unpack(std::uint64_t v) {
    return {unsigned(v >> 48), unsigned(v >> 32 & 0xFFFF), unsigned(v >> 16 & 0xFFFF),
            unsigned(v & 0xFFFF)};
}

bool FramesDiffer(std::uint64_t delivered, std::uint64_t db) {
    return delivered != 0 && delivered != db;
}

}  // namespace

ParameterLibrary& Library() {
    static ParameterLibrary library;
    return library;
}

ParameterLibrary::ParameterLibrary()
    : stdata_(plat::NamedMutex::Create(kStdataMutex)),
      par_(plat::NamedMutex::Create(kParMutex)),
      calc_(plat::NamedMutex::Create(kCalcMutex)),
      saveIni_(plat::NamedMutex::Create(kSaveIniMutex)),
      accumulation_(static_cast<std::uint8_t*>(std::malloc(kBufferBytes)), std::free),
      work_(static_cast<std::uint8_t*>(std::malloc(kBufferBytes)), std::free) {
    if (!accumulation_) Show("NO 1");
    if (!work_) Show("NO 2");
    const std::string home = plat::ModuleDirectory();
    if (plat::GetPrivateProfileInt("调试信息输出", "数据链表", 0, home + "/TelemetrySystem.ini") !=
        0)
        trace_ = std::fopen((home + "/数据链表调试信息输出.bin").c_str(), "wb");
}

RingArray::RingArray(std::size_t n)
    : rings(n ? static_cast<ResultRing*>(std::calloc(n, sizeof(ResultRing))) : nullptr),
      count(rings ? n : 0) {}

RingArray::~RingArray() {
    std::free(rings);
}

RingArray& RingArray::operator=(RingArray&& o) noexcept {
    if (this != &o) {
        std::free(rings);
        rings = o.rings;
        count = o.count;
        o.rings = nullptr;
        o.count = 0;
    }
    return *this;
}

ParameterLibrary::~ParameterLibrary() {
    Shutdown();
    // The thread has ended: nothing uses the lists and buffers any more.
    for (PendingBlock* list : {head_, free_}) {
        while (list) {
            PendingBlock* next = list->next;
            std::free(list->data);
            delete list;
            list = next;
        }
    }
    if (trace_) std::fclose(trace_);
}

void ParameterLibrary::Shutdown() {
    running_ = false;
    WaitSelectionSaved();
    // Joined without the lock: a load on the solving thread starts solving.
    std::thread solver;
    {
        std::lock_guard g(threadMutex_);
        solver = std::move(solver_);
    }
    if (solver.joinable()) solver.join();
}

void ParameterLibrary::StartSolving() {
    std::lock_guard g(threadMutex_);
    if (solver_.joinable() || !running_) return;
    solver_ = std::thread([this] { SolvingThread(); });
}

void ParameterLibrary::Trace(const char* fmt, unsigned a, unsigned b) {
    if (!trace_) return;
    char record[16];
    FormatTraceRecord(record, fmt, a, b);
    std::lock_guard g(traceMutex_);
    std::fwrite(record, 1, sizeof record, trace_);
    std::fflush(trace_);
}

void ParameterLibrary::Install(LoadedDatabase&& fresh) {
    ++loadGeneration_;
    fresh.plan = BuildSolvePlan(fresh.params, fresh.selectionMap, fresh.anySelected, fresh.layout);
    RingArray rings[3];
    for (int level = 0; level < 3; ++level) rings[level] = RingArray(fresh.params[level].size());
    auto specials = MakeSpecialStates(fresh.layout);
    handOff_ = fresh.handOffSize;
    dbShape_ = PackFrameShape(fresh.frame.wordBitsDb, fresh.layout.subframeLen,
                              fresh.layout.superframeLen, fresh.layout.timeCodeWidth);
    MutexHold p(par_.get()), c(calc_.get());
    db_ = std::move(fresh);
    for (int level = 0; level < 3; ++level) results_[level] = std::move(rings[level]);
    specials_ = std::move(specials);
}

PendingBlock* ParameterLibrary::NewBlock(std::size_t bytes) {
    PendingBlock* b = nullptr;
    {
        MutexHold s(stdata_.get());
        if (free_) {
            b = free_;
            free_ = b->next;
        }
    }
    if (!b) b = new (std::nothrow) PendingBlock;
    if (!b) return nullptr;
    if (b->capacity < bytes) {
        std::free(b->data);
        b->data = static_cast<std::uint8_t*>(std::malloc(bytes));
        b->capacity = b->data ? bytes : 0;
    }
    if (!b->data) {
        delete b;
        return nullptr;
    }
    b->next = nullptr;
    return b;
}

// Caller holds the STDATA mutex.
void ParameterLibrary::Recycle(PendingBlock* b) {
    b->next = free_;
    free_ = b;
}

int ParameterLibrary::PendingCount() {
    MutexHold s(stdata_.get());
    return pending_;
}

int ParameterLibrary::Store(const char* data, int length) {
    if (!running_) return 0;
    if (!data || length < 0) return 0;
    // Never loads here: the feeding thread must not wait for a database,
    // and a load of its own could undo a newer choice. Data arriving
    // before or during a load is dropped.
    if (state_.load() != kLoaded) {
        RequestLoad();
        return 0;
    }
    // Words of another frame would be solved into noise.
    if (FramesDiffer(delivered_.load(), dbShape_.load())) return 0;
    std::lock_guard g(storeMutex_);
    if (!accumulation_) return 0;
    const std::size_t n = std::min<std::size_t>(std::size_t(length), kBufferBytes - fill_);
    std::memcpy(accumulation_.get() + fill_, data, n);
    fill_ += n;
    if (std::int64_t(fill_) < handOff_.load()) return 0;
    PendingBlock* b = NewBlock(fill_);
    if (b) {
        std::memcpy(b->data, accumulation_.get(), fill_);
        b->length = fill_;
        MutexHold s(stdata_.get());
        if (tail_)
            tail_->next = b;
        else
            head_ = b;
        tail_ = b;
        ++pending_;
        Trace("Write:%u,%u", unsigned(pending_), unsigned(fill_));
    }
    fill_ = 0;
    return 1;
}

int ParameterLibrary::SetDeliveredFrame(int wordBits, int subframeWords, int superframeLength,
                                        int timeCodeWidth) {
    const std::uint64_t d =
        PackFrameShape(wordBits, subframeWords, superframeLength, timeCodeWidth);
    std::lock_guard g(frameMutex_);
    delivered_ = d;
    const std::uint64_t db = dbShape_.load();
    if (!FramesDiffer(d, db)) {
        const bool wasReported = mismatchReported_;
        mismatchReported_ = false;
        return wasReported ? 2 : 1;
    }
    if (mismatchReported_ && reportedDelivered_ == d && reportedDb_ == db) return 0;
    mismatchReported_ = true;
    reportedDelivered_ = d;
    reportedDb_ = db;
    return -1;
}

int ParameterLibrary::FrameMismatchText(char* text, int size) {
    if (!text || size <= 0) return 0;
    text[0] = '\0';
    const std::uint64_t d = delivered_.load(), db = dbShape_.load();
    if (!FramesDiffer(d, db)) return 0;
    const FrameShape a = Unpack(d), b = Unpack(db);
    char tag[64] = "";
    if (a.tag != b.tag) std::snprintf(tag, sizeof tag, "，时码%u/%u字节", a.tag, b.tag);
    const int n = std::snprintf(
        text, std::size_t(size),
        "数据帧与参数数据库的帧结构不符（字长%u/%u位，子帧长%u/%u，副帧长%u/%u%s），参数未解算",
        a.bits, b.bits, a.words, b.words, a.super, b.super, tag);
    if (n < 0) {
        text[0] = '\0';
        return 0;
    }
    // A cut text ends before a split character.
    int length = std::min(n, size - 1);
    if (n > length) {
        int lead = length;
        while (lead > 0 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) --lead;
        if (lead > 0) {
            const unsigned char c = static_cast<unsigned char>(text[lead - 1]);
            const int need = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            if (lead - 1 + need > length) length = lead - 1;
        }
    }
    text[length] = '\0';
    return length;
}

int ParameterLibrary::FetchResults(DealResult* out[3]) {
    if (!running_ || !Loaded()) return 0;
    MutexHold p(par_.get()), c(calc_.get());
    unsigned copied = 0;
    for (int level = 0; level < 3; ++level) {
        if (!out[level]) continue;
        // Never past the caller's array: it was sized from the last count.
        const std::size_t limit =
            lastTotals_[level] >= 0 ? std::size_t(lastTotals_[level]) : db_.params[level].size();
        for (int i : db_.selectionMap[level]) {
            if (std::size_t(i) >= limit || std::size_t(i) >= results_[level].count) continue;
            copied += unsigned(CopyOut(results_[level].rings[i], out[level][i]));
        }
    }
    Trace("Z.iCntNew=%u", copied, 0);
    return 1;
}

int ParameterLibrary::Begin(DealResult* out[3], const char* data, int length) {
    if (!running_) return 0;
    // Blocks go to the solving thread like any other; the call then copies out.
    if (Store(data, length) != 1) return 0;
    return FetchResults(out);
}

void ParameterLibrary::SolvingThread() {
    while (running_) {
        if (state_.load() != kLoaded) {
            if (loadRequested_.exchange(false)) EnsureLoaded();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        std::size_t work = 0;
        {
            MutexHold s(stdata_.get());
            const std::int64_t headBytes = head_ ? std::int64_t(head_->length) : 0;
            const int n = pending_;
            std::int64_t nextBytes = headBytes;
            if (n > kMaxPending && head_ && head_->next)
                nextBytes = std::int64_t(head_->next->length);
            const CycleDecision cd = DecideCycle(n, nextBytes, decimation_);
            if (cd.drop && head_) {
                PendingBlock* old = head_;
                head_ = old->next;
                if (!head_) tail_ = nullptr;
                --pending_;
                Trace("Del:%u,%u", unsigned(pending_), unsigned(old->length));
                Recycle(old);
            }
            if (cd.take && head_ && work_) {
                PendingBlock* b = head_;
                head_ = b->next;
                if (!head_) tail_ = nullptr;
                --pending_;
                std::memcpy(work_.get(), b->data, b->length);
                work = b->length;
                Trace("Read:%u,%u", unsigned(pending_), unsigned(work));
                Recycle(b);
            }
        }
        if (work == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        MutexHold p(par_.get()), c(calc_.get());
        ResultArrays arrays;
        for (int level = 0; level < 3; ++level) {
            arrays.level[level] = results_[level].rings;
            arrays.count[level] = results_[level].count;
        }
        SolveBlock(db_.plan, db_.layout, arrays, specials_, work_.get(), work, decimation_,
                   running_);
    }
}

std::string ParameterLibrary::DataDirectory() {
    std::lock_guard g(loadMutex_);
    return dataDir_;
}

void ParameterLibrary::RequestLoad() {
    if (state_.load() != kUnloaded || loadRequested_.exchange(true)) return;
    StartSolving();
}

bool ParameterLibrary::EnsureSampleRegistered(std::vector<std::string>& notes) {
    if (plat::LookupDataSource(kDataSourceName)) return true;
    const std::string home = plat::ModuleDirectory();
    const std::string path = home + "/" + kSampleFileName;
    if (!Exists(path)) {
        std::string error;
        if (!CreateSampleDatabase(path, &error)) {
            notes.push_back("示例参数库创建失败！" + error);
            return false;
        }
    }
    WriteSampleSelections(home);
    if (!Register(path)) {
        notes.push_back(kConfigFailedText);
        return false;
    }
    return true;
}

int ParameterLibrary::ConfigDataSource(const char* path) {
    // Refused before registering, so the previous database stays in use.
    auto readable = [](const std::string& file) {
        if (!IsAccessFile(file)) return IsParameterDatabase(file);
        auto copy = AccessCopy(file);
        return copy && IsParameterDatabase(*copy);
    };
    if (!path || !*path || !readable(path) || !Register(path)) {
        Show(kConfigFailedText);
        return 0;
    }
    std::vector<std::string> notes;
    {
        std::lock_guard g(loadMutex_);
        state_ = kLoading;
        // A selection still being written belongs to the database before.
        WaitSelectionSaved();
        dataDir_ = DirOf(path);
        LoadedDatabase fresh;
        ReadDatabase(fresh, dataDir_, notes);
        Install(std::move(fresh));
        state_ = kLoaded;
        StartSolving();
    }
    for (const std::string& n : notes) Show(n);
    return 1;
}

int ParameterLibrary::Load() {
    std::vector<std::string> notes;
    int read;
    {
        std::lock_guard g(loadMutex_);
        read = LoadLocked(notes);
    }
    for (const std::string& n : notes) Show(n);
    return read;
}

int ParameterLibrary::LoadLocked(std::vector<std::string>& notes) {
    state_ = kLoading;
    loadThread_ = std::this_thread::get_id();
    WaitSelectionSaved();
    if (dataDir_.empty()) {
        // The selection files lie beside the registered database.
        EnsureSampleRegistered(notes);
        auto info = plat::LookupDataSource(kDataSourceName);
        dataDir_ = info ? DirOf(info->database) : plat::ModuleDirectory();
    }
    LoadedDatabase fresh;
    ReadDatabase(fresh, dataDir_, notes);
    const bool read = !fresh.params[0].empty() || !fresh.params[1].empty() ||
                      !fresh.params[2].empty() || fresh.layout.solvable;
    Install(std::move(fresh));
    state_ = kLoaded;
    StartSolving();
    return read ? 1 : 0;
}

bool ParameterLibrary::EnsureLoaded() {
    if (state_.load() == kLoaded) return true;
    std::vector<std::string> notes;
    {
        std::lock_guard g(loadMutex_);
        // Another thread may have loaded while this one waited.
        if (state_.load() != kLoaded) LoadLocked(notes);
    }
    for (const std::string& n : notes) Show(n);
    return Loaded();
}

void ParameterLibrary::ReadDatabase(LoadedDatabase& out, const std::string& dir,
                                    std::vector<std::string>& notes) {
    std::optional<StreamDescription> stream;
    if (auto text = ReadFile(dir + "/ycstream.txt", kStreamFileLimit)) {
        auto parsed = ParseStreamDescription(*text);
        if (auto* d = std::get_if<StreamDescription>(&parsed)) {
            stream = std::move(*d);
        } else {
            char msg[160];
            std::snprintf(msg, sizeof msg, "流描述文件ycstream.txt第%d行有误，已改用参数数据库！",
                          std::get<StreamMalformed>(parsed).line);
            notes.push_back(msg);
        }
    }
    bool accessFailed = false;
    auto db = OpenParameterDatabase(&accessFailed);
    if (accessFailed) notes.push_back("参数数据库文件无法读取！");
    std::vector<SpecialDescription> specials;
    if (db) ReadFrameTables(*db, out.frame);
    if (stream) {
        FillFromStream(out.frame, *stream);
        specials = stream->specials;
    } else if (db) {
        ReadSpecialTable(*db, specials);
    }
    out.layout = BuildLayout(out.frame, specials);
    for (int level = 0; level < 3; ++level) {
        std::vector<ParamRow> rows;
        if (db && !ReadParamRows(*db, Level(level), rows)) rows.clear();
        auto& list = out.params[level];
        list.reserve(rows.size());
        for (const ParamRow& row : rows) list.push_back(ConvertRow(row, Level(level), out.frame));
        CheckPositions(list, Level(level), out.frame, out.layout);
        if (auto bytes = ReadFile(dir + "/" + kSelectionFiles[level], kSelectionReadLimit)) {
            auto selection = ParseSelectionFile(
                std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
            ApplySelection(selection, list);
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].nSelected != 1) continue;
            out.anySelected[level] = true;
            out.selectionMap[level].push_back(int(i));
        }
        out.shadows[level] = list;
    }
    out.handOffSize = prefs::HandOffSize(out.frame, out.layout);
}

void ParameterLibrary::CopyParameters(std::vector<ParStructEx>* out[3]) {
    MutexHold p(par_.get());
    for (int level = 0; level < 3; ++level) {
        if (!out[level]) continue;
        const auto& list = db_.params[level];
        out[level]->resize(list.size());
        for (std::size_t i = 0; i < list.size(); ++i) ToParStructEx(list[i], (*out[level])[i]);
    }
}

int ParameterLibrary::TotalNumber(int& sub, int& super, int& special) {
    int* counts[3] = {&sub, &super, &special};
    for (int* c : counts) *c = 0;
    // The counts size the caller's result arrays: they must match the lists.
    EnsureLoaded();
    auto db = OpenParameterDatabase(nullptr);
    if (!db) return 0;
    for (int level = 0; level < 3; ++level) {
        auto st = db->Prepare("SELECT count(*) FROM (" + LevelQuery(Level(level)) + ")");
        if (!st || st->Step() != plat::Statement::StepResult::Row) return 0;
        *counts[level] = int(IntegerValue(st->Column(0)).value_or(0));
        MutexHold p(par_.get());
        lastTotals_[level] = *counts[level];
    }
    return 1;
}

TelemetyFrameStruct ParameterLibrary::FrameStruct() {
    MutexHold p(par_.get());
    const FrameStructure& f = db_.frame;
    auto i32 = [](std::int64_t v) {
        return std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
    };
    TelemetyFrameStruct s{};
    s.nTimeCodeWidth = i32(f.timeCodeWidth);
    s.nSubframeLen = i32(f.subframeLen);
    s.nSuperframeLen = i32(f.superframeLen);
    s.nSuperframeWords = i32(f.superframeLen * f.subframeLen);
    s.nWordBits = f.fromStreamFile ? 8 : i32(f.wordBitsDb);
    s.nBitRate = i32(f.bitRate);
    s.nSyncBits = i32(f.syncBits);
    return s;
}

std::int64_t ParameterLibrary::HandOffSize() {
    MutexHold p(par_.get());
    return db_.handOffSize;
}

}  // namespace prefs

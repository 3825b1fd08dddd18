#include "library.h"

#include <platform/datasource.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <platform/profile.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

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

bool IsAccessFile(const std::string& path) {
    auto head = ReadFile(path, 20);
    if (!head || head->size() < 19) return false;
    const std::string_view id(head->data() + 4, 15);
    return id == "Standard Jet DB" || id == "Standard ACE DB";
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

ParameterLibrary::~ParameterLibrary() {
    running_ = false;
    if (trace_) std::fclose(trace_);
}

void ParameterLibrary::StartSolving() {
    // The solving thread joins here once solving exists; loading alone needs none.
}

std::string ParameterLibrary::DataDirectory() {
    std::lock_guard g(loadMutex_);
    return dataDir_;
}

bool ParameterLibrary::EnsureSampleRegistered() {
    if (plat::LookupDataSource(kDataSourceName)) return true;
    const std::string home = plat::ModuleDirectory();
    const std::string path = home + "/" + kSampleFileName;
    if (!Exists(path)) {
        std::string error;
        if (!CreateSampleDatabase(path, &error)) {
            Show("示例参数库创建失败！" + error);
            return false;
        }
    }
    WriteSampleSelections(home);
    if (!Register(path)) {
        Show(kConfigFailedText);
        return false;
    }
    return true;
}

int ParameterLibrary::ConfigDataSource(const char* path) {
    // Refused before registering, so the previous database stays in use.
    if (!path || !*path || IsAccessFile(path) || !IsParameterDatabase(path) || !Register(path)) {
        Show(kConfigFailedText);
        return 0;
    }
    std::lock_guard g(loadMutex_);
    dataDir_ = DirOf(path);
    loaded_ = false;
    LoadedDatabase fresh;
    ReadDatabase(fresh, dataDir_);
    {
        MutexHold p(par_.get()), c(calc_.get());
        db_ = std::move(fresh);
    }
    loaded_ = true;
    StartSolving();
    return 1;
}

int ParameterLibrary::Load() {
    std::lock_guard g(loadMutex_);
    if (dataDir_.empty()) {
        // The selection files lie beside the registered database.
        EnsureSampleRegistered();
        auto info = plat::LookupDataSource(kDataSourceName);
        dataDir_ = info ? DirOf(info->database) : plat::ModuleDirectory();
    }
    loaded_ = false;
    LoadedDatabase fresh;
    const bool read = [&] {
        ReadDatabase(fresh, dataDir_);
        return !fresh.params[0].empty() || !fresh.params[1].empty() || !fresh.params[2].empty() ||
               fresh.layout.solvable;
    }();
    {
        MutexHold p(par_.get()), c(calc_.get());
        db_ = std::move(fresh);
    }
    loaded_ = true;
    StartSolving();
    return read ? 1 : 0;
}

bool ParameterLibrary::EnsureLoaded() {
    if (!loaded_) Load();
    return loaded_;
}

void ParameterLibrary::ReadDatabase(LoadedDatabase& out, const std::string& dir) {
    std::optional<StreamDescription> stream;
    if (auto text = ReadFile(dir + "/ycstream.txt", kStreamFileLimit)) {
        auto parsed = ParseStreamDescription(*text);
        if (auto* d = std::get_if<StreamDescription>(&parsed)) {
            stream = std::move(*d);
        } else {
            char msg[160];
            std::snprintf(msg, sizeof msg, "流描述文件ycstream.txt第%d行有误，已改用参数数据库！",
                          std::get<StreamMalformed>(parsed).line);
            Show(msg);
        }
    }
    std::string error;
    auto db = plat::Database::OpenDataSource(std::string("ODBC;DSN=") + kDataSourceName,
                                             plat::Database::OpenMode::ReadOnly, &error);
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
    std::string error;
    auto db = plat::Database::OpenDataSource(std::string("ODBC;DSN=") + kDataSourceName,
                                             plat::Database::OpenMode::ReadOnly, &error);
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

// The exported calls: each catches whatever the library might throw.
#include "library.h"
#include "preferences/preferences.h"

using prefs::Library;

namespace {

template <class F>
auto Guarded(F body, decltype(body()) failure) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

}  // namespace

int ConfigODBCDataSource(const char* path) {
    return Guarded([&] { return Library().ConfigDataSource(path); }, 0);
}

int LoadParameterDatabase() {
    return Guarded([&] { return Library().Load(); }, 0);
}

void GetParametersInfo(std::vector<ParStructEx>& subframe, std::vector<ParStructEx>& superframe,
                       std::vector<ParStructEx>& special) {
    Guarded(
        [&] {
            std::vector<ParStructEx>* out[3] = {&subframe, &superframe, &special};
            Library().CopyParameters(out);
            return 0;
        },
        0);
}

int GetParametersTotalNumber(int& nSubframe, int& nSuperframe, int& nSpecial) {
    return Guarded([&] { return Library().TotalNumber(nSubframe, nSuperframe, nSpecial); }, 0);
}

void GetFrameStructInfo(TelemetyFrameStruct& frame) {
    Guarded(
        [&] {
            frame = Library().FrameStruct();
            return 0;
        },
        0);
}

int SetDealDataFrameStruct(int wordBits, int subframeWords, int superframeLength,
                           int timeCodeWidth) {
    return Guarded(
        [&] {
            return Library().SetDeliveredFrame(wordBits, subframeWords, superframeLength,
                                               timeCodeWidth);
        },
        1);
}

int GetDealFrameMismatch(char* text, int size) {
    return Guarded([&] { return Library().FrameMismatchText(text, size); }, 0);
}

int StoreDealParameterData(char* data, int length) {
    return Guarded([&] { return Library().Store(data, length); }, 0);
}

int GetDealParameterResult(DealResult* subframe, DealResult* superframe, DealResult* special) {
    return Guarded(
        [&] {
            DealResult* out[3] = {subframe, superframe, special};
            return Library().FetchResults(out);
        },
        0);
}

int BeginDealParameter(DealResult* subframe, DealResult* superframe, DealResult* special,
                       char* data, int length) {
    return Guarded(
        [&] {
            DealResult* out[3] = {subframe, superframe, special};
            return Library().Begin(out, data, length);
        },
        0);
}

int OpenParameterDlg(std::vector<ParStructEx>& subframe, std::vector<ParStructEx>& superframe,
                     std::vector<ParStructEx>& special, int& nSubframe, int& nSuperframe,
                     int& nSpecial, int kind, int level) {
    return Guarded(
        [&] {
            std::vector<ParStructEx>* lists[3] = {&subframe, &superframe, &special};
            int* counts[3] = {&nSubframe, &nSuperframe, &nSpecial};
            return Library().OpenSelectionDialog(lists, counts, kind, level);
        },
        0);
}

void SetParaSelFlg(std::vector<ParStructEx>& subframe, std::vector<ParStructEx>& superframe,
                   std::vector<ParStructEx>& special, int& nSubframe, int& nSuperframe,
                   int& nSpecial, int kind) {
    Guarded(
        [&] {
            std::vector<ParStructEx>* lists[3] = {&subframe, &superframe, &special};
            int* counts[3] = {&nSubframe, &nSuperframe, &nSpecial};
            Library().SetSelectionFlags(lists, counts, kind);
            return 0;
        },
        0);
}

void CleanAllParaSelFlg(std::vector<ParStructEx>* subframe, std::vector<ParStructEx>* superframe,
                        std::vector<ParStructEx>* special, int* nSubframe, int* nSuperframe,
                        int* nSpecial, int kind) {
    Guarded(
        [&] {
            std::vector<ParStructEx>* lists[3] = {subframe, superframe, special};
            int* counts[3] = {nSubframe, nSuperframe, nSpecial};
            Library().CleanSelectionFlags(lists, counts, kind);
            return 0;
        },
        0);
}

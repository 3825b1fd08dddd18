// Selection files of any bytes applied to a small list; what is written
// from the result reads back onto the same flags.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "selection_file.h"

using namespace prefs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto records = ParseSelectionFile(std::span(data, size));
    if (records.size() > kSelectionMaxRecords) std::abort();
    std::vector<ParamRecord> list;
    for (std::size_t i = 0; i < records.size() && i < 64; ++i) {
        ParamRecord r;
        r.name = i % 3 ? records[i].name : records[i].name + "tail";
        list.push_back(r);
    }
    ApplySelection(records, list);
    auto again = list;
    for (auto& r : again) r.nSelected = r.nSelStripe = r.nSelCurve = r.nSelTable = r.nSelReply = 0;
    ApplySelection(ParseSelectionFile(FormatSelectionFile(list)), again);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].nSelected !=
            (list[i].nSelStripe | list[i].nSelCurve | list[i].nSelTable | list[i].nSelReply))
            std::abort();
        if (again[i].nSelected != list[i].nSelected || again[i].nSelTable != list[i].nSelTable)
            std::abort();
    }
    return 0;
}

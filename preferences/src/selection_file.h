// Selection files ("子帧.sel", "副帧.sel", "特殊副帧.sel"): per parameter its
// name cut to 15 GBK bytes and the display flags, in list order.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "param_model.h"

namespace prefs {

inline constexpr std::size_t kSelectionReadLimit = 65536;
inline constexpr std::uint32_t kSelectionMaxRecords = 4095;
inline constexpr std::size_t kSelectionNameBytes = 15;

inline constexpr std::uint8_t kFlagAny = 0x80, kFlagStripe = 0x04, kFlagCurve = 0x01,
                              kFlagTable = 0x02, kFlagReply = 0x08;

struct SelectionRecord {
    std::string name;  // GBK bytes up to the first NUL, at most 15
    std::uint8_t flags = 0;
};

// The records of a file (at most 65,536 bytes are looked at); a file shorter
// than its count gives the records present.
std::vector<SelectionRecord> ParseSelectionFile(std::span<const std::uint8_t> bytes);

// The file image of a level's list (at most 4095 records).
std::vector<std::uint8_t> FormatSelectionFile(const std::vector<ParamRecord>& records);

// Applies the records to the list: a record matches a parameter whose name
// starts with the record's 15-byte field; among parameters sharing those
// bytes, the k-th record goes to the k-th parameter. Records without 0x80
// set nothing.
void ApplySelection(const std::vector<SelectionRecord>& selection,
                    std::vector<ParamRecord>& records);

// Display kinds: 1 stripe, 2 curve, 3 table, 4 command reply; 0 means all four.
inline constexpr int kKindAll = 0, kKindStripe = 1, kKindCurve = 2, kKindTable = 3, kKindReply = 4;

// The flag of one kind (1..4); null for any other kind.
template <class Record>
auto* KindFlag(Record& r, int kind) {
    decltype(&r.nSelStripe) flags[4] = {&r.nSelStripe, &r.nSelCurve, &r.nSelTable, &r.nSelReply};
    return kind >= 1 && kind <= 4 ? flags[kind - 1] : nullptr;
}

// nSelected is 1 exactly when one of the four kind flags is set.
inline void RecomputeSelected(ParamRecord& r) {
    r.nSelected = (r.nSelStripe || r.nSelCurve || r.nSelTable || r.nSelReply) ? 1 : 0;
}

}  // namespace prefs

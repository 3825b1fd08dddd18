// A task's rows read and written by table and column name, the page values
// the checks take, and the checks of one table on a task's rows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "schema.h"
#include "task_checks.h"
#include "taskbook/task_store.h"

namespace taskbook {

// The receiver record keeps its frequencies in Hz; its page shows MHz.
inline constexpr double kHzPerMHz = 1e6;
inline constexpr const char* kReceiverFrequencies[] = {"输入频率", "Sim输出频率"};
// 伪码来源 "临时加载": the code comes from a file.
inline constexpr std::uint32_t kPnLoaded = 2;

// Index of a store table by name (Tables().size() when unknown), of a column
// in it (its column count when unknown).
std::size_t TableIndex(std::string_view name);
std::size_t ColumnOf(std::size_t table, std::string_view column);

// A column's value; null when the table or column is unknown.
const plat::DbValue* RowValue(const TaskRows& rows, std::size_t table, std::string_view column);
std::string RowText(const TaskRows& rows, std::size_t table, std::string_view column);
// A whole number, a real, a yes/no or a label's code; a text that is not one
// gives nothing (or false, or the label list's fallback).
Number RowNumber(const TaskRows& rows, std::size_t table, std::string_view column);
Real RowReal(const TaskRows& rows, std::size_t table, std::string_view column);
bool RowYes(const TaskRows& rows, std::size_t table, std::string_view column);
std::uint32_t RowLabel(const TaskRows& rows, std::size_t table, std::string_view column);
void SetRowValue(TaskRows& rows, std::size_t table, std::string_view column, plat::DbValue v);

bool StartsWith(std::string_view s, std::string_view prefix);

// Page values of a demodulator (sim false) or simulator table, of an
// emulator channel table.
FrameValues FrameFromRows(const TaskRows& rows, std::size_t table, bool sim);
EmulatorValues EmulatorFromRows(const TaskRows& rows, std::size_t table);

// The checks of one device table, then that every number field holds a
// number; nothing when the table may be saved.
Refusal CheckTable(const TaskRows& rows, std::size_t table);

}  // namespace taskbook

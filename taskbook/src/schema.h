// The 22 tables of the task store, their columns, how each column is encoded
// and which record field it fills, and the conversion between a task's rows
// and its records.
#pragma once

#include <platform/datasource.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "columns.h"
#include "taskbook/task_records.h"
#include "taskbook/task_store.h"

namespace taskbook {

inline constexpr const char* kTaskNameColumn = "任务名";
inline constexpr const char* kTaskInfoTable = "任务信息表";
inline constexpr const char* kDefaultTaskColumn = "默认任务";

enum class Codec { Text, YesNo, Label, Int, Real, Hex32, Hex64, DateTime, Channels };

// The record a column fills. RecvDem and RecvSim fill the receiver record's
// half and the same field of the stream's demodulator or simulator record;
// Dem and Sim fields of the device record head also fill the receiver's half,
// so that either record re-frames the card the same way. Writes take every
// field from the demodulator and simulator records.
enum class Target { None, Info, Dem, Sim, Time, RecvDem, RecvSim };

struct Column {
    std::string name;
    Codec codec;
    const LabelList* labels = nullptr;
    Target target = Target::None;
    std::uint32_t offset = 0;  // in the target record (in DemParam/SimParam for RecvDem/RecvSim)
    std::uint32_t width = 0;   // bytes of a text or channel-list array
    const char* defaultText = nullptr;  // stored for a new task when the column has no field
};

struct Table {
    std::string name;
    int stream;                   // 1..3, 0 for the station's devices and the task information
    std::vector<Column> columns;  // without the key column 任务名
};

// SQL type of a column's storage.
const char* SqlType(Codec codec);

// All 22 tables in reading order, the task information first.
const std::vector<Table>& Tables();

// Rows of a new task named `name`: the device defaults and the defaults of
// the other columns; `stamp` is the creation time written to date columns.
TaskRows DefaultRows(const std::string& name, const DateTime& stamp);

// Decodes rows into records; every field without a column keeps its default.
void DecodeRows(const TaskRows& rows, TaskRecords& out);

// Rows holding `records` for the task information and the streams whose bit
// is set in `streamMask` (bit 0 = stream 1); every other table keeps `base`.
// A column whose record field decodes the same from `base` keeps the stored
// value untouched, so texts cut to fit a record, list spellings and the year
// of a date survive a write of unchanged fields.
TaskRows EncodeRows(const TaskRecords& records, const TaskRows& base, unsigned streamMask);

}  // namespace taskbook

// Reading the four tables of a parameter database into the library's model.
#pragma once

#include <platform/datasource.h>

#include <vector>

#include "param_model.h"

namespace prefs {

inline constexpr const char* kDataSourceName = "ParTB";
inline constexpr const char* kDriverName = "Microsoft Access Driver (*.mdb)";
inline constexpr const char* kParamTable = "参数属性";
inline constexpr const char* kSubframeTable = "子帧结构";
inline constexpr const char* kSuperframeTable = "副帧结构";
inline constexpr const char* kSpecialTable = "特殊副帧结构";

// The query of one level's parameters, in stored order.
std::string LevelQuery(Level level);

// Column values as loading reads them: NULL, text and non-finite numbers are
// empty; integers beyond int are empty.
std::optional<std::int64_t> IntegerValue(const plat::DbValue& v);
std::optional<double> RealValue(const plat::DbValue& v);
std::string TextValue(const plat::DbValue& v);

// The rows of one level; false when the query cannot be run.
bool ReadParamRows(plat::Database& db, Level level, std::vector<ParamRow>& rows);

// First rows of "子帧结构" and "副帧结构" (missing tables leave zeros).
void ReadFrameTables(plat::Database& db, FrameStructure& frame);

// Every row of "特殊副帧结构".
void ReadSpecialTable(plat::Database& db, std::vector<SpecialDescription>& specials);

// True when the file opens as a database holding "参数属性" and "子帧结构".
bool IsParameterDatabase(const std::string& path);

}  // namespace prefs

// Parameter library: the parameter database of one telemetry stream (frame
// structure and parameters, data source "ParTB"), the selection kept beside
// it, and the solving of frame data into engineering values.
//
// Functions returning int give nonzero on success; failures are shown in a
// message box. Nothing is thrown out of the library.
#pragma once

#include <vector>

#include "preferences/par_records.h"

#define PREFERENCES_API __attribute__((visibility("default")))

// Registers `path` as the parameter database "ParTB" and loads it. A file
// that is not a parameter database is refused: 0, the message, and the
// previous database stays in use.
PREFERENCES_API int ConfigODBCDataSource(const char* path);

// Loads the registered parameter database (creating and registering the
// sample database on a home that has none). 1 when a database was read.
PREFERENCES_API int LoadParameterDatabase();

// Copies the three parameter lists (subframe, superframe, special).
PREFERENCES_API void GetParametersInfo(std::vector<ParStructEx>& subframe,
                                       std::vector<ParStructEx>& superframe,
                                       std::vector<ParStructEx>& special);

// Counts the parameters of each level in the database; 0 when a query cannot
// be opened (the counts reached so far stay).
PREFERENCES_API int GetParametersTotalNumber(int& nSubframe, int& nSuperframe, int& nSpecial);

PREFERENCES_API void GetFrameStructInfo(TelemetyFrameStruct& frame);

// Appends frame data (whole superframes from a superframe boundary) for
// solving; 1 when a block was handed to the solving thread, 0 otherwise
// (also for null data or a negative length, which append nothing).
PREFERENCES_API int StoreDealParameterData(char* data, int length);

// Copies the new samples of every selected parameter into the caller's
// arrays (one entry per parameter of the level, as GetParametersTotalNumber
// counted them; a null array skips its level). 0 before a database is loaded.
PREFERENCES_API int GetDealParameterResult(DealResult* subframe, DealResult* superframe,
                                           DealResult* special);

// StoreDealParameterData followed, when a block was handed over, by
// GetDealParameterResult.
PREFERENCES_API int BeginDealParameter(DealResult* subframe, DealResult* superframe,
                                       DealResult* special, char* data, int length);

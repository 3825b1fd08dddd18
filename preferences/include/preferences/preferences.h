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

// Tells the solver the frame structure of the data the caller hands over:
// bits per word, words per subframe, subframes per superframe and bytes of
// time code before each subframe. While it differs from the parameter
// database's, the data are not solved (a caller that never tells is not
// checked). Result: 1 they agree, 0 they differ, -1 they differ and this is
// the first call to find it (the caller reports it once), 2 they agree
// again after a difference.
PREFERENCES_API int SetDealDataFrameStruct(int wordBits, int subframeWords, int superframeLength,
                                           int timeCodeWidth);

// The difference as a text for the operator (UTF-8, cut to `size`); its
// length, 0 with an empty text when the frames agree.
PREFERENCES_API int GetDealFrameMismatch(char* text, int size);

// Appends frame data (whole superframes from a superframe boundary) for
// solving; 1 when a block was handed to the solving thread, 0 otherwise
// (also for null data or a negative length, which append nothing). Data
// arriving before a database is loaded or while one loads are dropped; such
// a call never loads itself (the first one has the solving thread load).
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

// Shows the selection dialog for display `kind` (0 all, 1 stripe, 2 curve,
// 3 table, 4 command reply) opened at `level` (0..2). On accept saves the
// selection, copies the three lists and their sizes to the caller, rebuilds
// the solving state and returns 1; cancel (or a kind or level out of range)
// returns 0 and changes nothing.
PREFERENCES_API int OpenParameterDlg(std::vector<ParStructEx>& subframe,
                                     std::vector<ParStructEx>& superframe,
                                     std::vector<ParStructEx>& special, int& nSubframe,
                                     int& nSuperframe, int& nSpecial, int kind, int level);

// Takes the caller's flags of `kind` (all four for 0) for every index the
// caller's list and the library's list both have, saves the selection and
// copies the lists and sizes back.
PREFERENCES_API void SetParaSelFlg(std::vector<ParStructEx>& subframe,
                                   std::vector<ParStructEx>& superframe,
                                   std::vector<ParStructEx>& special, int& nSubframe,
                                   int& nSuperframe, int& nSpecial, int kind);

// Clears the flag of `kind` (all four for 0) of every parameter, saves the
// selection and copies lists and sizes to the non-null arguments.
PREFERENCES_API void CleanAllParaSelFlg(std::vector<ParStructEx>* subframe,
                                        std::vector<ParStructEx>* superframe,
                                        std::vector<ParStructEx>* special, int* nSubframe,
                                        int* nSuperframe, int* nSpecial, int kind);

// Solved-parameter display library: the library-level calls that keep the
// three parameter groups (subframe, superframe, special superframe) with
// their result histories, and hand frame data to the solver.
#pragma once

#include <preferences/par_records.h>

#define PARAMVIEWS_API __attribute__((visibility("default")))

// Re-reads the parameter counts and lists and rebuilds the three groups with
// zeroed results and their stripe, curve, table and upload index lists.
// The counts of the three levels are returned.
PARAMVIEWS_API void InitialDealParam(int& nSubframe, int& nSuperframe, int& nSpecial);

// Hands frame data (whole superframes) to the solver. Builds the groups
// first when none exist.
PARAMVIEWS_API void SetDealDSDemData(void* data, unsigned length);

// Copies the newest value of every parameter of each group into the caller's
// entry at the same index (dValue[1999] only; a null array skips its group).
PARAMVIEWS_API void GetDealResultData(DealResult* subframe, DealResult* superframe,
                                      DealResult* special);

// Number scanners of the drawing helpers: read the next run of decimal digits
// of a NUL-terminated text from a position and move the position on. Plain C,
// no Qt, safe on any input: they never read past the terminating NUL.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Skips non-digits from *position, reads the digits as an unsigned decimal
// number (saturating at 2,147,483,647) and leaves *position one past the
// character that ended the number, or on the NUL when the text ended there.
// 0 when `text` or `position` is null or *position is negative.
int StrToInt(const char* text, int* position);

// As StrToInt, then, when a '.' follows the digits, the fraction digits; the
// value saturates at FLT_MAX. The position ends as StrToInt leaves it after
// the last character read.
float StrToFloat(const char* text, int* position);

#ifdef __cplusplus
}
#endif

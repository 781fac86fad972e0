// runtime_numbers.h: the C runtime's text-to-number conversions (atoi, _atoi64, atof),
// without the undefined behaviour of out-of-range values.
#pragma once

#include <stdint.h>

// Skips leading white space (space, TAB, LF, VT, FF, CR), takes an optional sign and the
// decimal digits that follow; stops at the first other byte. No digits give 0; a value out of
// range saturates at the type's limits, as the Windows runtime does. Null reads as 0.
int32_t KvxAtoi32(const char* text);
int64_t KvxAtoi64(const char* text);

// strtod of the text (white space skipped; 0.0 when no number starts it). Null reads as 0.0.
double KvxAtof(const char* text);

// foundation.h: kvx's shared foundations: the result code, the trailing-space trim, and
// (as they land) the system-error text, the date-time value, the text buffers and the
// small-block allocator.
#pragma once

#include "kvx/export.h"
#include "kvx/win32_types.h"

#include <stddef.h>
#include <stdint.h>

// The library-wide result code. Only two values are ever produced.
enum kvx_error : int32_t {
    kvx_error_none = 0,        // success
    kvx_error_file_open = 32,  // a file could not be opened or created, or no name was given
};

// Removes, in place, every trailing TAB, LF, CR and space, one at a time from the end, until
// the last character is another one or the text is empty. No other character counts as white
// space. A null pointer is left alone. Returns its argument.
KVX_API char* TrimTrailingSpace(char* text);
KVX_API wchar_t* TrimTrailingSpace(wchar_t* text);

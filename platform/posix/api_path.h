// api_path.h: the POSIX layer's _wsplitpath_s and _wmakepath_s, with the C runtime's rules.
#pragma once

#include <stddef.h>

typedef int errno_t;

// Splits a path into drive ("C:" when the second character is ':'), directory (up to and
// including the last '\' or '/'), file name and extension (from the last '.' of the part after
// the directory). A null output with size 0 skips that part. Returns 0; EINVAL (22) for a null
// path, a null output with a non-zero size or a non-null output with size 0; ERANGE (34) when a
// part does not fit its buffer, and then every output is made empty. Nothing is written past a
// buffer; the Windows runtime additionally calls its invalid-parameter handler in these cases,
// so portable callers never let them happen.
errno_t _wsplitpath_s(const wchar_t* path, wchar_t* drive, size_t driveSize, wchar_t* dir,
                      size_t dirSize, wchar_t* fname, size_t fnameSize, wchar_t* ext,
                      size_t extSize);

// Joins the parts: the drive's first character and ':', the directory with a '\' added unless
// it ends in '\' or '/', the file name, and the extension with a '.' added unless it starts with
// one; null or empty parts are skipped. Returns 0; EINVAL for a null path or size 0; ERANGE
// when the result does not fit, leaving the path empty.
errno_t _wmakepath_s(wchar_t* path, size_t size, const wchar_t* drive, const wchar_t* dir,
                     const wchar_t* fname, const wchar_t* ext);

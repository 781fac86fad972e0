// log_stamp.h: the narrow date and time texts that begin console and traffic lines.
#pragma once

#include "kvx/foundation.h"

#include <stddef.h>

// The texts of one time stamp, each at most 31 bytes and terminated.
struct KvxLogStamp {
    char date[32];  // the user's short date ("" when not asked for or for the empty value)
    char time[32];  // the user's time format, with ".mmm" when asked for
};

// Fills the asked-for texts of `time` (the others are left empty). The date is GetDateText(0),
// the time GetTimeText(withMilliseconds), converted to the ANSI code page and cut to 31 bytes.
// The texts of one second are made once per thread and reused, as formatting them through the
// locale costs more than writing a line; a change of the user's formats shows from the next
// second on. Thread-safe.
void KvxMakeLogStamp(const kvx_datetime& time, bool withDate, bool withTime, bool withMilliseconds,
                     KvxLogStamp& stamp);

// Converts wide text to the ANSI code page into `out` (room for `size` bytes, terminator
// included), cut to fit; returns the length written.
size_t KvxNarrowText(const wchar_t* text, char* out, size_t size);

// The severity log's date and time pieces of one line, in the ANSI code page.
struct KvxPictureStamp {
    char date[128];  // FormatDate(datePicture)
    char time[128];  // FormatTime(timePicture, fractionFormat)
};

// Fills the asked-for pieces of `time` as kvx_datetime::FormatDate and FormatTime would make
// them, cut to 127 bytes. As with KvxMakeLogStamp the texts of one second are made once per
// thread (for the same pictures) and only the fraction is formatted per call.
void KvxMakePictureStamp(const kvx_datetime& time, const wchar_t* datePicture,
                         const wchar_t* timePicture, const wchar_t* fractionFormat, bool withDate,
                         bool withTime, KvxPictureStamp& stamp);

// foundation_example.cpp: the guide's foundation examples: time stamps, text buffers and
// system error texts.
#include "kvx/foundation.h"
#include "kvx/xml.h"

#include <cstdio>
#include <cwchar>

int main() {
    // A point in time is a count of 100-ns ticks; texts are made on demand.
    kvx_datetime now(kvx_dt_utc_now);
    CWideString day = now.FormatDate(L"yyyy-MM-dd");
    CWideString time = now.FormatTime(L"HH:mm:ss", L".%03d");
    std::printf("%ls %ls UTC\n", day.GetText(), time.GetText());

    // Two values lie on the same day exactly when their day starts are equal.
    kvx_datetime local(kvx_dt_local_now);
    const bool sameDay = local.GetDayStart() == now.GetDayStart();
    std::printf("local and UTC on the same day: %s\n", sameDay ? "yes" : "no");

    // A growable narrow buffer with printf-style appending (%S takes wide text).
    CFormatBuffer line;
    line.AppendFormat("%s=%d", "sensors", 8);
    line.AppendFormat(", stamp=%S", time.GetText());
    std::printf("%s (%llu bytes)\n", line.GetText(),
                static_cast<unsigned long long>(line.GetLength()));

    // Wide text in the Windows runtime's conventions: %s wide, %S narrow.
    CWideString message;
    message.Format(L"%s reads %S", L"T-101", "22.5 degC");
    std::printf("%ls\n", message.GetText());

    // The system's text for the last error, with a context of the caller's: build it on the
    // failing thread, before any other call into the system.
    CQVXmlFormat settings;
    if (settings.LoadFile(L"no-such-folder/settings.xml") != nullptr) {
        return 1;
    }
    CQVLastError error(L"loading settings.xml");
    std::printf("error %u: %s\n", error.GetErrorCode(), error.GetNarrowText());
    return error.GetErrorCode() != 0 && line.GetLength() > 0 ? 0 : 1;
}

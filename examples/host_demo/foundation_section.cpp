// foundation_section.cpp: the sample host's tour of the foundations: result codes, the trim,
// date and time texts, the two formatted text buffers and the system-error text.
#include "demo_section.h"

#include "kvx/foundation.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace {

// The demo prints ASCII only, so a plain narrowing is enough here.
std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) {
        out.push_back(*text < 128 ? static_cast<char>(*text) : '?');
    }
    return out;
}

int DemoFoundation(DemoContext&) {
    char text[] = "result line with trailing blanks \t\r\n";
    std::printf("   TrimTrailingSpace: \"%s\"\n", TrimTrailingSpace(text));
    std::printf("   kvx_error_none = %d, kvx_error_file_open = %d\n",
                static_cast<int>(kvx_error_none), static_cast<int>(kvx_error_file_open));

    // Date and time texts, as the logging classes stamp their lines and name their files.
    const kvx_datetime utc(kvx_dt_utc_now);
    const kvx_datetime local(kvx_dt_local_now);
    std::printf("   UTC now:    %s %s  (file-name date %s)\n",
                Narrow(utc.FormatDate(L"yyyy.MM.dd").GetText()).c_str(),
                Narrow(utc.FormatTime(L"HH:mm:ss", L".%03d").GetText()).c_str(),
                Narrow(utc.FormatDate(L"yyyyMMdd").GetText()).c_str());
    std::printf("   local now:  %s %s  (user formats: %s / %s / %s)\n",
                Narrow(local.FormatDate(L"yyyy.MM.dd").GetText()).c_str(),
                Narrow(local.FormatTime(L"HH:mm:ss", L".%03d").GetText()).c_str(),
                Narrow(local.GetDateText(0).GetText()).c_str(),
                Narrow(local.GetDateText(1).GetText()).c_str(),
                Narrow(local.GetTimeText(1).GetText()).c_str());
    const long long shiftMinutes =
        (static_cast<long long>(local.ticks) - static_cast<long long>(utc.ticks)) / 600000000LL;
    std::printf("   local - UTC: %lld min; same day: %s\n", shiftMinutes,
                local.GetDayStart() == utc.GetDayStart() ? "yes" : "no");
    const kvx_datetime empty;
    std::printf("   empty value: date \"%s\", time \"%s\"\n",
                Narrow(empty.FormatDate(L"yyyyMMdd").GetText()).c_str(),
                Narrow(empty.GetTimeText(1).GetText()).c_str());

    // Formatted buffers: 8-bit lines grow in 256-byte steps, wide text in 64-character steps.
    CFormatBuffer line(0);
    line.AppendFormat("%s %s ", "[info]", "sensor");
    line.AppendFormat("%S=%d", L"level", 42);
    std::printf("   CFormatBuffer: \"%s\" (length %llu, capacity %llu)\n", line.GetText(),
                static_cast<unsigned long long>(line.GetLength()),
                static_cast<unsigned long long>(line.GetCapacity()));
    CWideString message;
    message.Format(L"%s #%u from %S", L"message", 7u, "host");
    const unsigned long long before = message.GetCapacity();
    message.AppendFormat(L" %s", std::wstring(60, L'.').c_str());
    std::printf("   CWideString: \"%.24s...\" (length %llu, capacity %llu -> %llu)\n",
                Narrow(message.GetText()).c_str(),
                static_cast<unsigned long long>(message.GetLength()), before,
                static_cast<unsigned long long>(message.GetCapacity()));

    // The system-error text with a context, as the severity log reports a log file that it
    // cannot create; here for whatever the thread's last error is now.
    CQVLastError lastError(L"demo context");
    std::printf("   CQVLastError: code %u, \"%s\"\n", lastError.GetErrorCode(),
                lastError.GetNarrowText());
    return 0;
}

}  // namespace

KVX_DEMO_SECTION(10, "Foundations", DemoFoundation);

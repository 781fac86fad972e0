// logging_example.cpp: the guide's logging examples: the console printer with its file
// channel, the traffic log and the daily severity log with a subscribed window.
#include "example_support.h"

#include "kvx/logging.h"

#include <cstdio>
#include <exception>

namespace {
int g_historyMessages = 0;

LRESULT OnMessage(HWND, UINT message, WPARAM, LPARAM) {
    if (message == CQVLogSystem::kHistoryMessage) {
        ++g_historyMessages;  // wParam: the history container, lParam: its entry count
    }
    return 0;
}
}  // namespace

int main() {
    const auto folder = ExampleFolder("logging");

    // Console lines at or below the output level, in colour on a terminal, also in a file.
    ILogInterface console;
    console.SetOutputLevel(LOG_LEVEL_INFO);
    console.EnableDateTime(LOG_CHANNEL_CONSOLE, 0, 1);  // time only on the console
    console.SetLogfile((folder / "console.log").string().c_str(), 0);
    console.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_WARNING, LOG_ATTRIBUT_BRIGHT_YELLOW,
                   "disk %s is %d%% full", "D:", 91);
    console.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_DEBUG, LOG_ATTRIBUT_NONE, "not shown");

    // Traffic: one marked line per message, one file per UTC day ("traffic-yyyyMMdd.log").
    ILogFileInterface traffic;
    if (traffic.SetLogfile((folder / "traffic").string().c_str(), 1) != kvx_error_none) {
        return 1;  // another writer holds the file, or the folder is missing
    }
    kvx_datetime now(kvx_dt_utc_now);
    const char request[] = "GET /status";
    traffic.LogMessage(0, LOG_DIRECTION_OUT, request, sizeof request - 1, now, 0);
    traffic.LogMessage(0, LOG_DIRECTION_IN, "200 OK", 6, now, 0);

    // Severity log: a header opens every new file; CreateLogSystem throws when it can't open.
    CQVLogSystem log;
    log.NewFileEachDay();
    log.ShowDate(1);
    log.ShowTime(1);
    log.SetNewFileHeader(L"sample host - application log");
    try {
        log.CreateLogSystem((folder / "app").wstring().c_str(), 0);
    } catch (const std::exception& error) {
        std::printf("%s\n", error.what());
        return 1;
    }
    log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"%d of %d sensors answered", 7, 8);

    // A window subscribes and hears about the history (message 1030).
    HWND window = KvxCreateMessageWindow(OnMessage);
    log.SubscribeNotification(window);
    KvxPumpMessages(1000);
    log.UnsubscribeNotification(window);
    KvxDestroyMessageWindow(window);
    std::printf("history messages received: %d\n", g_historyMessages);
    return g_historyMessages == 1 ? 0 : 1;
}

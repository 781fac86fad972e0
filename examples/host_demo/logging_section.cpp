// logging_section.cpp: the sample host's tour of logging: coloured console lines with a file
// channel, a daily traffic log, a daily severity log with a header, and a window that hears
// about the log's history through message 1030.
#include "demo_section.h"

#include "kvx/logging.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

int g_historyMessages = 0;
int64_t g_historySize = -1;

LRESULT OnWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CQVLogSystem::kHistoryMessage) {
        const auto* history = reinterpret_cast<const std::deque<LOG_ENTRY*>*>(wParam);
        ++g_historyMessages;
        g_historySize = static_cast<int64_t>(history->size());
        std::printf("   window: message %u, history at %p with %lld entries\n", message,
                    static_cast<const void*>(history), static_cast<long long>(lParam));
    }
    return 0;
}

// The newest file in `folder` whose name starts with `prefix`, and its text.
std::string ShowFile(const fs::path& folder, const std::string& prefix) {
    fs::path found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && (found.empty() || name > found.filename().string())) {
            found = entry.path();
        }
    }
    std::ifstream in(found, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::printf("   %s:\n", found.filename().string().c_str());
    std::istringstream lines(text.str());
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::printf("     | %s\n", line.c_str());
    }
    return text.str();
}

int DemoLogging(DemoContext& context) {
    const fs::path folder = fs::path(context.outputDir) / "logging";
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);

    // Console printer: coloured lines on a terminal, the same lines in its file channel.
    ILogInterface console;
    console.EnableDateTime(LOG_CHANNEL_CONSOLE, 0, 1);
    if (console.SetLogfile((folder / "console.log").string().c_str(), 0) != kvx_error_none) {
        return 1;
    }
    console.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_INFO, LOG_ATTRIBUT_BRIGHT_GREEN,
                   "   console: host started, %d subsystems", 5);
    console.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_WARNING, LOG_ATTRIBUT_BRIGHT_YELLOW,
                   "   console: disk %s is %d%% full", "D:", 91);
    console.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_ERROR, LOG_ATTRIBUT_BRIGHT_RED,
                   "   console: link to %s lost", "plc-7");
    console.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_TRACE, LOG_ATTRIBUT_NONE, "   filtered out");
    console.CloseLogFile();
    ShowFile(folder, "console.log");

    // Traffic log: one file per UTC day, a marked line per message.
    ILogFileInterface traffic;
    if (traffic.SetLogfile((folder / "traffic").string().c_str(), 1) != kvx_error_none) {
        return 1;
    }
    const char request[] = "GET /status\r\n";
    const char reply[] = "200 OK state=running";
    kvx_datetime now(kvx_dt_utc_now);
    traffic.LogMessage(1, LOG_DIRECTION_OUT, request, sizeof request - 1, now, 0);
    traffic.LogMessage(1, LOG_DIRECTION_IN, reply, sizeof reply - 1, now, 0);
    traffic.CloseLogFile();
    ShowFile(folder, "traffic-");

    // Severity log: daily file with a header line, UTC stamps.
    CQVLogSystem app;
    app.NewFileEachDay();
    app.ShowDate(1);
    app.ShowTime(1);
    app.SetNewFileHeader(L"kvx sample host - application log");
    try {
        app.CreateLogSystem((folder / "app").wstring().c_str(), 0);
    } catch (const std::exception& error) {
        std::printf("   %s\n", error.what());
        return 1;
    }
    app.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"host started as %s", L"demo");
    app.LogFormat(LOG_SEVERITY_LEVEL_WARNING, L"%d of %d sensors answered", 7, 8);

    // A window subscribes and receives 1030 with the history.
    HWND window = KvxCreateMessageWindow(OnWindowMessage);
    if (window == nullptr) {
        return 1;
    }
    app.SubscribeNotification(window);
    KvxPumpMessages(1000);
    app.UnsubscribeNotification(window);
    KvxDestroyMessageWindow(window);
    const std::string text = ShowFile(folder, "app-");
    return g_historyMessages == 1 && g_historySize == 0 && text.rfind("kvx sample host", 0) == 0
               ? 0
               : 1;
}

}  // namespace

KVX_DEMO_SECTION(30, "Logging", DemoLogging);

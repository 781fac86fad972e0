// desktop_section.cpp: the sample host run the way a desktop application runs kvx. An event
// system carries two handlers with message maps: an import job that a timer drives through the
// bundled CSV file a batch of records at a time, turning them into an XML document that it saves,
// loads back and checks; and a monitor that hears about each batch. Traffic lines go both ways,
// a daily severity log with a header tells a subscribed window about its history, the console
// shows coloured lines above a threshold, and the host's batch notes are small blocks from the
// allocator. Then everything shuts down cleanly and the section prints a summary.
#include "demo_section.h"

#include "kvx/csv.h"
#include "kvx/events.h"
#include "kvx/foundation.h"
#include "kvx/logging.h"
#include "kvx/xml.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t EV_BATCH = 0x1001;        // param1: a batch note (an _st_malloc block)
constexpr uint32_t EV_IMPORT_DONE = 0x1002;  // param1: 1 when the file read back the same
constexpr uint32_t kTimerPeriodMs = 5;
constexpr int kRecordsPerBatch = 40;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// What the host shares between its handlers; only the dispatcher thread touches it while the
// event system runs.
struct Desktop {
    fs::path folder;
    fs::path csvPath;
    ILogInterface console;
    ILogFileInterface traffic;
    CQVLogSystem log;
    std::atomic<bool> done{false};
    bool sameTree = false;
    int ticks = 0;
    int batches = 0;
    int batchesHandled = 0;
    int records = 0;
    int blocksTaken = 0;
    int blocksGivenBack = 0;
    int consoleCalls = 0;
    double importMs = 0, saveMs = 0, loadMs = 0;
};

class Monitor : public CEventHandler {
public:
    explicit Monitor(Desktop& desktop) : _desktop(desktop) {}
    KVX_DECLARE_EVENT_MAP();

    void OnBatch(uint64_t note, uint64_t records) {
        auto* text = reinterpret_cast<char*>(note);
        kvx_datetime now(kvx_dt_utc_now);
        _desktop.traffic.LogMessage(0, LOG_DIRECTION_IN, text, std::strlen(text), now, 0);
        ++_desktop.consoleCalls;
        _desktop.console.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_DEBUG, LOG_ATTRIBUT_NONE,
                                "   monitor: %s (%llu records)", text,
                                static_cast<unsigned long long>(records));
        _st_free(text);
        ++_desktop.blocksGivenBack;
        ++_desktop.batchesHandled;
    }
    void OnImportDone(uint64_t sameTree, uint64_t records) {
        _desktop.sameTree = sameTree != 0;
        _desktop.log.LogFormat(sameTree ? LOG_SEVERITY_LEVEL_INFO : LOG_SEVERITY_LEVEL_ERROR,
                               L"import of %llu records %s",
                               static_cast<unsigned long long>(records),
                               sameTree ? L"checked" : L"FAILED its check");
        ++_desktop.consoleCalls;
        _desktop.console.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_INFO,
                                sameTree ? LOG_ATTRIBUT_BRIGHT_GREEN : LOG_ATTRIBUT_BRIGHT_RED,
                                "   monitor: import of %llu records %s",
                                static_cast<unsigned long long>(records),
                                sameTree ? "saved, loaded back and checked" : "failed its check");
        _desktop.done = true;
    }

private:
    Desktop& _desktop;
};

KVX_BEGIN_EVENT_MAP(Monitor)
KVX_ON_EVENT(EV_BATCH, OnBatch)
KVX_ON_EVENT(EV_IMPORT_DONE, OnImportDone)
KVX_END_EVENT_MAP()

class ImportJob : public CEventHandler {
public:
    ImportJob(Desktop& desktop, void* monitor) : _desktop(desktop), _monitor(monitor) {}
    KVX_DECLARE_EVENT_MAP();

    // Registered: open the file and start the timer that drives the import.
    void OnCreate(uint64_t, uint64_t) {
        _start = Clock::now();
        if (_reader.Open(_desktop.csvPath.wstring().c_str()) != KVX_CSV_S_OK) {
            _desktop.log.LogFormat(LOG_SEVERITY_LEVEL_ERROR, L"cannot read %s",
                                   _desktop.csvPath.wstring().c_str());
            ::PostEvent(_monitor, EV_IMPORT_DONE, 0, 0);
            return;
        }
        _root = _document.AddRootNode("readings source=\"sensors.csv\"");
        _desktop.log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"import of sensors.csv started");
        _timer = SetTimer(kTimerPeriodMs);
    }

    // One batch per tick; the last one saves the document, loads it back and checks it.
    void OnTimer(uint64_t timer, uint64_t) {
        if (timer != _timer || _finished) {
            return;  // a tick queued before KillTimer
        }
        ++_desktop.ticks;
        int read = 0;
        while (read < kRecordsPerBatch && _reader.ReadNextRecord() == KVX_CSV_S_OK) {
            XML_NODE& node = _root->children.emplace_back(1, "reading");
            for (uint64_t i = 0; i < _reader.GetFieldCount(); ++i) {
                node.values.push_back({_reader.GetHeaderText(i), _reader.GetRecordDataAsString(i)});
            }
            ++read;
        }
        if (read > 0) {
            SendBatchNote(read);
        }
        if (read < kRecordsPerBatch) {
            Finish();
        }
    }

    void OnDestroy(uint64_t, uint64_t) { _reader.Close(); }

private:
    void SendBatchNote(int read) {
        const int first = _desktop.records + 1;
        _desktop.records += read;
        ++_desktop.batches;
        char* note = static_cast<char*>(_st_malloc(64));
        if (note == nullptr) {
            return;
        }
        ++_desktop.blocksTaken;
        std::snprintf(note, 64, "batch %d: records %d..%d", _desktop.batches, first,
                      _desktop.records);
        kvx_datetime now(kvx_dt_utc_now);
        _desktop.traffic.LogMessage(0, LOG_DIRECTION_OUT, note, std::strlen(note), now, 0);
        ::PostEvent(_monitor, EV_BATCH, reinterpret_cast<uint64_t>(note),
                    static_cast<uint64_t>(read));
    }

    void Finish() {
        _finished = true;
        KillTimer(_timer);
        _desktop.importMs = MsSince(_start);
        const std::wstring path = (_desktop.folder / "readings.xml").wstring();
        auto start = Clock::now();
        const LONG saved = _document.SaveFile(path.c_str());
        _desktop.saveMs = MsSince(start);
        start = Clock::now();
        CQVXmlFormat loaded;
        const XML_NODE* root = saved == 0 ? loaded.LoadFile(path.c_str()) : nullptr;
        _desktop.loadMs = MsSince(start);
        const bool same = root != nullptr && *root == *_root;
        ::PostEvent(_monitor, EV_IMPORT_DONE, same ? 1 : 0,
                    static_cast<uint64_t>(_desktop.records));
    }

    Desktop& _desktop;
    void* _monitor;
    CQVCsvFormatReader _reader;
    CQVXmlFormat _document;
    XML_NODE* _root = nullptr;
    uint64_t _timer = 0;
    bool _finished = false;
    Clock::time_point _start;
};

KVX_BEGIN_EVENT_MAP(ImportJob)
KVX_ON_EVENT(EV_CREATE, OnCreate)
KVX_ON_EVENT(EV_TIMER, OnTimer)
KVX_ON_EVENT(EV_DESTROY, OnDestroy)
KVX_END_EVENT_MAP()

int g_historyMessages = 0;

LRESULT OnWindowMessage(HWND, UINT message, WPARAM, LPARAM) {
    g_historyMessages += message == CQVLogSystem::kHistoryMessage;
    return 0;
}

// Lines in the newest file of `folder` whose name starts with `prefix`, and its name.
int CountLines(const fs::path& folder, const std::string& prefix, std::string& name) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(prefix, 0) == 0 && file > name) {
            name = file;
        }
    }
    std::ifstream in(folder / name, std::ios::binary);
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    return lines;
}

int DemoDesktop(DemoContext& context) {
    Desktop desktop;
    desktop.folder = fs::path(context.outputDir) / "desktop";
    desktop.csvPath = fs::path(context.dataDir) / "sensors.csv";
    std::error_code ec;
    fs::remove_all(desktop.folder, ec);
    fs::create_directories(desktop.folder);

    // Logging first: console lines from INFO up in colour, also in console.log; traffic and
    // severity logs one file per day.
    desktop.console.SetOutputLevel(LOG_LEVEL_INFO);
    desktop.console.EnableColorOutput(1);
    if (desktop.console.SetLogfile((desktop.folder / "console.log").string().c_str(), 0) != 0 ||
        desktop.traffic.SetLogfile((desktop.folder / "traffic").string().c_str(), 1) != 0) {
        return 1;
    }
    desktop.log.NewFileEachDay();
    desktop.log.ShowDate(1);
    desktop.log.ShowTime(1);
    desktop.log.SetNewFileHeader(L"kvx sample host - desktop run");
    try {
        desktop.log.CreateLogSystem((desktop.folder / "app").wstring().c_str(), 1);
    } catch (const std::exception& error) {
        std::printf("   %s\n", error.what());
        return 1;
    }
    HWND window = KvxCreateMessageWindow(OnWindowMessage);
    desktop.log.SubscribeNotification(window);

    // The event system and its two handlers; the job starts on EV_CREATE.
    const auto start = Clock::now();
    CreateEventSystem();
    Monitor monitor(desktop);
    void* monitorHandle = CreateEventHandler(&monitor);
    ImportJob job(desktop, monitorHandle);
    CreateEventHandler(&job);
    while (!desktop.done && MsSince(start) < 20000) {
        KvxPumpMessages(5);  // the window's messages, while the dispatcher works
    }

    const auto stop = Clock::now();
    job.DestroyEventHandler();
    monitor.DestroyEventHandler();
    DestroyEventSystem();
    const double shutdownMs = MsSince(stop);
    KvxPumpMessages(0);
    desktop.log.UnsubscribeNotification(window);
    KvxDestroyMessageWindow(window);
    desktop.console.CloseLogFile();
    desktop.traffic.CloseLogFile();

    std::string consoleName, trafficName, appName;
    const int consoleLines = CountLines(desktop.folder, "console.log", consoleName);
    const int trafficLines = CountLines(desktop.folder, "traffic-", trafficName);
    const int appLines = CountLines(desktop.folder, "app-", appName);
    std::printf("   events: 2 handlers, %d timer ticks, %d batches posted, %d handled\n",
                desktop.ticks, desktop.batches, desktop.batchesHandled);
    std::printf(
        "   import: %d records of sensors.csv -> readings.xml (%llu bytes), loaded back %s\n",
        desktop.records,
        static_cast<unsigned long long>(fs::file_size(desktop.folder / "readings.xml", ec)),
        desktop.sameTree ? "as the same tree" : "DIFFERENT");
    std::printf("   console: %d of %d lines at or above INFO shown, the rest held back\n",
                consoleLines, desktop.consoleCalls);
    std::printf(
        "   files in %s (lines):\n     %s (%d), %s (%d, both ways), %s (%d, header first)\n",
        desktop.folder.string().c_str(), consoleName.c_str(), consoleLines, trafficName.c_str(),
        trafficLines, appName.c_str(), appLines);
    std::printf("   allocator: %d batch notes taken, %d given back; window: %d history message\n",
                desktop.blocksTaken, desktop.blocksGivenBack, g_historyMessages);
    std::printf("   timings: import %.1f ms (timer every %u ms), save %.1f ms, load %.1f ms, "
                "shutdown %.1f ms\n",
                desktop.importMs, kTimerPeriodMs, desktop.saveMs, desktop.loadMs, shutdownMs);
    const bool ok = desktop.done && desktop.sameTree && desktop.records > 0 &&
                    desktop.batchesHandled == desktop.batches &&
                    desktop.blocksGivenBack == desktop.blocksTaken &&
                    trafficLines == 2 * desktop.batches && g_historyMessages == 1;
    return ok ? 0 : 1;
}

}  // namespace

KVX_DEMO_SECTION(90, "A desktop host: every service together", DemoDesktop);

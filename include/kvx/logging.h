// logging.h: kvx's logging family: the window notifier CQVNotifier, the message traffic log
// file ILogFileInterface, the console printer ILogInterface and the severity log CQVLogSystem.
#pragma once

#include "kvx/export.h"
#include "kvx/foundation.h"
#include "kvx/message_window.h"
#include "kvx/win32_types.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <mutex>

// An ordered list of window handles that all receive one message, queued or sent.
//
// The same handle may be in the list several times and gets the message as often; handles are
// not checked, and a handle that names no window (any more) is skipped by the platform with no
// effect on the others. The notifier owns its list, never the windows. A null handle is kept
// like any other: posting to it queues a thread message for the calling thread, sending to it
// does nothing. Not thread-safe: the owner serialises all calls on one notifier. Copies are
// independent lists. Running out of memory throws std::bad_alloc and leaves the list as it was.
class KVX_API CQVNotifier {
public:
    CQVNotifier();
    CQVNotifier(const CQVNotifier& other);
    CQVNotifier& operator=(const CQVNotifier& other);
    ~CQVNotifier();

    // Appends the handle at the end, also when it is already in the list.
    void AddNotification(HWND window);
    // Removes the first occurrence of the handle; those behind it keep their order. A handle
    // that is not in the list changes nothing.
    void RemoveNotification(HWND window);

    // PostMessageW(window, message, wParam, lParam) for every handle from first to last;
    // returns at once. What the parameters point to must outlive every receiver's handling.
    void PostNotification(unsigned int message, uint64_t wParam, int64_t lParam) const;
    // SendMessageW with the same arguments for every handle from first to last; returns when
    // every window procedure has returned, so a window whose thread does not pump holds the
    // caller up. Results are ignored.
    void SendNotification(unsigned int message, uint64_t wParam, int64_t lParam) const;

private:
    HWND* _windows;
    size_t _count;
    size_t _capacity;
};

// ---------------------------------------------------------------------------------------------
// Enumerations shared by the loggers.

// Which channels ILogInterface::Output writes to; the argument is a mask of these bits.
enum ENUM_LOG_INTERFACE_OUTPUT_CHANNEL : int32_t {
    LOG_CHANNEL_FILE = 1,     // the inherited ILogFileInterface file
    LOG_CHANNEL_CONSOLE = 2,  // standard output
    LOG_CHANNEL_BOTH = 3,
};

// Message levels of ILogInterface. A message is output when its level is less than or equal to
// the object's output level (default LOG_LEVEL_DEBUG, 4), compared as signed numbers; any
// other int32_t value may be used as a level too.
enum ENUM_LOG_INTERFACE_OUTPUT_LEVEL : int32_t {
    LOG_LEVEL_ALWAYS = 0,
    LOG_LEVEL_ERROR = 1,
    LOG_LEVEL_WARNING = 2,
    LOG_LEVEL_INFO = 3,
    LOG_LEVEL_DEBUG = 4,
    LOG_LEVEL_TRACE = 5,
};

// A console character-attribute word (only the low 16 bits count): foreground 0x1 blue,
// 0x2 green, 0x4 red, 0x8 intensity; background 0x10 blue, 0x20 green, 0x40 red, 0x80
// intensity. Combine the named colours with LOG_ATTRIBUT_INTENSITY and the background bits
// freely (cast the sum). 0 leaves the colours as they are.
enum ENUM_LOG_INTERFACE_OUTPUT_ATTRIBUT : int32_t {
    LOG_ATTRIBUT_NONE = 0x00,
    LOG_ATTRIBUT_BLUE = 0x01,
    LOG_ATTRIBUT_GREEN = 0x02,
    LOG_ATTRIBUT_CYAN = 0x03,
    LOG_ATTRIBUT_RED = 0x04,
    LOG_ATTRIBUT_MAGENTA = 0x05,
    LOG_ATTRIBUT_YELLOW = 0x06,
    LOG_ATTRIBUT_WHITE = 0x07,
    LOG_ATTRIBUT_INTENSITY = 0x08,
    LOG_ATTRIBUT_BRIGHT_RED = 0x0C,
    LOG_ATTRIBUT_BRIGHT_GREEN = 0x0A,
    LOG_ATTRIBUT_BRIGHT_YELLOW = 0x0E,
    LOG_ATTRIBUT_BRIGHT_WHITE = 0x0F,
    LOG_ATTRIBUT_BACKGROUND_BLUE = 0x10,
    LOG_ATTRIBUT_BACKGROUND_GREEN = 0x20,
    LOG_ATTRIBUT_BACKGROUND_RED = 0x40,
    LOG_ATTRIBUT_BACKGROUND_INTENSITY = 0x80,
};

// The direction of a traffic line: LOG_DIRECTION_IN (0) is marked "<- ", every other value
// "-> ".
enum ENUM_LOG_INTERFACE_DIRECTION : int32_t {
    LOG_DIRECTION_IN = 0,
    LOG_DIRECTION_OUT = 1,
};

// The level argument of CQVLogSystem::LogFormat. It does not change what is written.
enum ENUM_LOG_SEVERITY_LEVEL : int32_t {
    LOG_SEVERITY_LEVEL_DEBUG = 0,
    LOG_SEVERITY_LEVEL_INFO = 1,
    LOG_SEVERITY_LEVEL_WARNING = 2,
    LOG_SEVERITY_LEVEL_ERROR = 3,
    LOG_SEVERITY_LEVEL_FATAL = 4,
};

// ---------------------------------------------------------------------------------------------
// ILogFileInterface: the message traffic log file.
//
// One line per LogMessage call, narrow bytes, LF line ends, no header:
//   [date]["-"][time ".mmm" " "] marker message "\n"
// with the date in the user's short date format and the time in the user's time format plus
// milliseconds, both taken from the caller's kvx_datetime (as it stands: a UTC value prints
// UTC, a local one local time), and the marker "<- " for direction 0, "-> " otherwise. With the
// defaults (date and time on) on Linux: "12/06/2026-13:45:07.123 -> message\n". The message is
// the data up to `length` bytes or its first NUL, with trailing TAB, LF, CR and blanks removed.
// Every piece is its own WriteFile call, unbuffered, so a line is on disk when the call returns.
//
// Files: SetLogfile(name, 0) appends to the file `name` as given (no extension added);
// SetLogfile(name, 1) appends to name + "-" + the current UTC date as yyyyMMdd + ".log" and
// starts the next day's file when a line's own time lies on a later day than the open file's.
// The file is held with read sharing only: a second writer is refused (on Windows in any
// process, on Linux within this process), and SetLogfile then returns kvx_error_file_open.
//
// Choices where the behaviour is otherwise open:
// - A name longer than kMaxLogNameBytes (259) bytes is cut to 259 bytes. A dated name keeps
//   its "-yyyyMMdd.log" ending whole: the base part is shortened to make room for it, so days
//   never share a file.
// - A date or time text longer than 31 bytes is cut to 31 bytes; nothing is written past a
//   buffer.
// - LogMessage with a null data pointer writes the line with an empty message (date, time,
//   marker), as for a zero length. The first and last arguments of LogMessage (a tag and a
//   flag of the caller's) are not used.
// - A roll-over whose new name equals the open file's (the line's day is ahead of the current
//   UTC day, as with local times east of UTC) keeps the open file instead of reopening it.
// - When a roll-over cannot open the new file, the object is closed and the line is dropped.
// - Running out of memory throws std::bad_alloc before anything of the line is written and
//   with the file lock free; a roll-over that runs out of memory for the new file's name keeps
//   the open file, and the next line tries again.
// - Write errors (a full disk) lose the line, or the part of it that did not fit, quietly;
//   what was written before stays. Off Windows another program may remove the open file:
//   later lines go to the removed file until SetLogfile (or the next day's file) opens a new
//   one. Windows refuses to remove it.
//
// Thread safety: LogMessage and _Write2File may run on any number of threads at once; each
// holds the file lock from the roll-over test to the line end, so lines never interleave. A
// roll-over puts the new day's file in place of the old one without a moment in between, so
// lines written meanwhile on other threads are not dropped as if no file were open.
// SetLogfile, CloseLogFile and the date/time setters must not run concurrently with writes.
// Not copyable.
class KVX_API ILogFileInterface {
public:
    static constexpr size_t kMaxLogNameBytes = 259;
    static constexpr size_t kMaxStampBytes = 31;

    ILogFileInterface();
    ~ILogFileInterface();
    ILogFileInterface(const ILogFileInterface&) = delete;
    ILogFileInterface& operator=(const ILogFileInterface&) = delete;

    // Closes an open file, then opens `name` (daily: the dated name) for appending. Returns
    // kvx_error_none, or kvx_error_file_open when `name` is null (the stored name and daily
    // flag are kept) or the file cannot be opened or created (missing folder, a folder of that
    // name, another writer holding it, no rights, no memory for the open); the object is then
    // closed. std::bad_alloc (no memory for the dated name) also leaves it closed.
    kvx_error SetLogfile(const char* name, int daily);
    // Closes the open file; does nothing when none is open.
    void CloseLogFile();
    // Writes one traffic line stamped with `time`; nothing when no file is open. Write errors
    // are ignored.
    void LogMessage(uint32_t tag, ENUM_LOG_INTERFACE_DIRECTION direction, const char* data,
                    uint64_t length, kvx_datetime& time, int flags);

protected:
    // Stores the date and time flags of the file lines.
    void _EnableDateTime(int date, int time);
    // Writes one line without a direction marker: date and time parts, the text unchanged up
    // to its NUL, the line end. Nothing when no file is open or `text` is null.
    void _Write2File(kvx_datetime& time, const char* text);

private:
    kvx_error _CreateLogfile();
    void _WriteLine(kvx_datetime& time, const char* marker, const char* text, size_t length);

    HANDLE _file;
    int _daily;
    char _baseName[kMaxLogNameBytes + 1];
    uint64_t _fileDay;
    int _showTime;
    int _showDate;
    const char* _lineEnd;
    const char* _marker0;
    const char* _marker1;
    std::mutex _fileLock;
};

// ---------------------------------------------------------------------------------------------
// ILogInterface: the console printer with the traffic log file as its file channel.
//
// Output(channels, level, attribute, format, ...) formats a printf message (narrow text; %S
// takes wide text) and, when `level` <= the output level, prints it to standard output
// (channel bit 2) and/or writes it to the inherited log file (channel bit 1) as a line without
// direction marker. Both channels get the same instant, the local time of the call. Console
// lines end in "\n" only:
//   date flag 0, time flag 0:  message
//   date flag 1, time flag 0:  <short date>message            (no separator)
//   date flag 0, time flag 1:  <time> message
//   date flag 1, time flag 1:  <short date> - <time> message
// Running out of memory throws std::bad_alloc, never with half a line on either channel and
// always with both locks free; the console line may then be printed without its file line.
// When colours are on and the attribute is not 0 the console line is printed in that colour;
// after every console line the attributes found at construction are restored and standard
// output is flushed. On Linux colours are ANSI sequences when standard output is a terminal and
// nothing otherwise; on Windows the console's own attributes. The console date and time flags
// start off, the file's on (ILogFileInterface).
//
// Thread safety: Output may run on any number of threads: the console part holds this object's
// console lock (GetGlobalLock) from the colour change to the flush, then the file part holds
// the file lock, so neither channel interleaves lines. OutputNoLock is for a caller that holds
// GetGlobalLock() itself, to keep several lines together. Lock order: console, then file. The
// setters are plain stores without a lock; call them before sharing the object. Not copyable.
class KVX_API ILogInterface : public ILogFileInterface {
public:
    ILogInterface();
    ~ILogInterface();
    ILogInterface(const ILogInterface&) = delete;
    ILogInterface& operator=(const ILogInterface&) = delete;

    void Output(unsigned int channels, ENUM_LOG_INTERFACE_OUTPUT_LEVEL level,
                ENUM_LOG_INTERFACE_OUTPUT_ATTRIBUT attribute, const char* format, ...);
    void OutputNoLock(unsigned int channels, ENUM_LOG_INTERFACE_OUTPUT_LEVEL level,
                      ENUM_LOG_INTERFACE_OUTPUT_ATTRIBUT attribute, const char* format, ...);

    void EnableColorOutput(int enable);
    // Channel 1: the file lines' date and time flags; channel 2: the console's; any other
    // value changes nothing.
    void EnableDateTime(ENUM_LOG_INTERFACE_OUTPUT_CHANNEL channel, int date, int time);
    void SetOutputLevel(ENUM_LOG_INTERFACE_OUTPUT_LEVEL level);
    // The console lock of this object (one per object, not per process).
    std::mutex& GetGlobalLock();

private:
    // Prints an already formatted message on the channels of the mask.
    void _Emit(bool lock, unsigned int channels, ENUM_LOG_INTERFACE_OUTPUT_ATTRIBUT attribute,
               const char* message);

    int _consoleTime;
    int _consoleDate;
    int _color;
    int32_t _outputLevel;
    HANDLE _console;
    WORD _defaultAttributes;
    std::mutex _consoleLock;
};

// ---------------------------------------------------------------------------------------------
// CQVLogSystem: the application's severity log.
//
// LogFormat(level, format, ...) formats a wide printf message (%s wide, %S narrow) and appends
// one line, converted to the ANSI code page (UTF-8 on Linux), to <path>.log or, after
// NewFileEachDay, <path>-yyyyMMdd.log with the current UTC date, renewed when a line's day is
// later than the open file's. A line is
//   [date yyyy.MM.dd][" - " if both][time HH:mm:ss.mmm][": " message if not empty] CR LF
// so with the defaults (date and time off) ": message\r\n". Stamps are UTC for the first form
// and the given time for the second. A header set with SetNewFileHeader opens every file that
// did not exist before. Each piece is its own WriteFile call, unbuffered.
//
// CreateLogSystem(path, createNew) replaces the characters < > : " / \ | ? * in the file-name
// part of the path by '#' (drive and folders stay) and opens the file: createNew 0 appends,
// non-zero empties an existing file. When the file cannot be opened it throws
// std::runtime_error whose message is the system's error text, " (", the file name and ")";
// the object is then closed and drops lines until a later open succeeds.
//
// SubscribeNotification(window) adds the window and posts message 1030 (WM_USER + 6) with
// wParam = the address of the history container (GetHistory) and lParam = its entry count to
// every subscribed window, the new one and all earlier ones, in order.
//
// Choices where the behaviour is otherwise open:
// - A path of more than kMaxLogPathChars (259) characters is cut to 259 before it is split;
//   a composed file name that would pass 259 characters keeps its ".log" or "-yyyyMMdd.log"
//   ending whole and shortens the path part before it, so nothing is written past a buffer
//   and days never share a file.
// - A renewal whose file would have the name of the open file (a line whose own time lies on a
//   later day than the current UTC date) keeps the open file: what was written is never
//   emptied by it.
// - AddSevertity stores its arguments: the record's level is the given level and its name a
//   copy of the given name (null for a null name), owned and released with the record; the
//   other fields keep their fixed values (enabled 1, mask all bits, name). _FindSevertity
//   therefore finds a record by the level it was added with.
// - LOG_ENTRY: a time stamp, a level and the text of one line, in one heap block owned by the
//   history. The library itself adds no entries (the history stays empty unless the host
//   fills it; there is no exported way to).
// - Copying is refused: a log system owns its file handle, header and records alone.
// - Running out of memory throws std::bad_alloc: from the constructor; from CreateLogSystem and
//   a renewal, also when the system reports it for the open (the object is then closed and no
//   header is written twice); from LogFormat before anything of the line is written; from
//   SetNewFileHeader, keeping the old header.
// - Write errors (a full disk) lose the line, or the part that did not fit, quietly; what was
//   written before stays. Off Windows another program may remove the open file: later lines go
//   to the removed file until CreateLogSystem or the next day's file opens a new one. Windows
//   refuses to remove it.
//
// Thread safety: none; the caller serialises all use of one object.

// One record of the history.
struct LOG_ENTRY {
    kvx_datetime time;
    ENUM_LOG_SEVERITY_LEVEL level;
    const wchar_t* text;  // in the same block as the record
};

// One record of the severity table.
struct LOG_SEVERITY_INFO {
    uint32_t level;       // the level given to AddSevertity; what _FindSevertity compares
    int32_t enabled;      // 1
    int64_t mask;         // -1 (all bits)
    const wchar_t* name;  // owned copy of the name given to AddSevertity, or null
};

class KVX_API CQVLogSystem {
public:
    static constexpr size_t kMaxLogPathChars = 259;
    static constexpr UINT kHistoryMessage = WM_USER + 6;  // 1030

    CQVLogSystem();
    virtual ~CQVLogSystem();
    CQVLogSystem(const CQVLogSystem&) = delete;
    CQVLogSystem& operator=(const CQVLogSystem&) = delete;

    // A null or empty path does nothing. May throw std::runtime_error (see above).
    void CreateLogSystem(const wchar_t* path, int createNew);
    void NewFileEachDay();
    // Replaces the header; null or empty clears it. Written at the start of each new file.
    void SetNewFileHeader(const wchar_t* header);
    void Enable(int enable);
    int IsEnabled() const;
    void ShowDate(int show);
    void ShowTime(int show);
    // Writes one line stamped with the current UTC time; may throw at a renewal.
    void LogFormat(ENUM_LOG_SEVERITY_LEVEL level, const wchar_t* format, ...);
    // Writes one line stamped with `time` (an empty value gives empty date and time texts and
    // no renewal); may throw at a renewal.
    void LogFormat(ENUM_LOG_SEVERITY_LEVEL level, kvx_datetime time, const wchar_t* format, ...);
    void SetMaxEntries(uint64_t maxEntries);
    // The history itself; lives as long as the log system.
    const std::deque<LOG_ENTRY*>& GetHistory() const;
    // The entry at `index` (0 is the front); null when index >= GetLogSize().
    const LOG_ENTRY* GetLogEntry(uint64_t index) const;
    uint64_t GetLogSize() const;
    void ClearHistory();
    // Appends a record (see above); null when memory runs out.
    LOG_SEVERITY_INFO* AddSevertity(unsigned int level, const wchar_t* name);
    void SubscribeNotification(HWND window);
    void UnsubscribeNotification(HWND window);

private:
    void _CreateLogFile(int createNew);
    void _CheckNewLogFile(kvx_datetime time);
    void _Write2File(const wchar_t* text) const;
    void _Write2File(const char* text) const;
    uint64_t _CalcLogStringLength(const wchar_t* message) const;
    void _CreateLogString(wchar_t* destination, uint64_t size, const wchar_t* message,
                          kvx_datetime time) const;
    LOG_SEVERITY_INFO* _FindSevertity(int level) const;
    void _LogLine(kvx_datetime time, const CWideString& message);
    void _WriteBytes(const char* bytes, size_t length) const;

    HANDLE _file;
    int _enabled;
    int _daily;
    int _showTime;
    int _showDate;
    uint64_t _maxEntries;
    std::deque<LOG_ENTRY*> _history;
    LOG_SEVERITY_INFO** _severities;
    size_t _severityCount;
    size_t _severityCapacity;
    uint64_t _fileDay;
    wchar_t _basePath[kMaxLogPathChars + 1];
    char* _header;
    CQVNotifier _windows;
    const wchar_t* _datePicture;
    const wchar_t* _timePicture;
    const wchar_t* _millisecondFormat;
    uint64_t _dateLength;
    uint64_t _timeLength;
};

// traffic_log.cpp: ILogFileInterface, the log file of incoming and outgoing messages.
#include "kvx/logging.h"

#include "logging/log_stamp.h"
#include "platform/win32.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

// The open/closed test of a write is made before the file lock is taken, while a roll-over on
// another writer may replace the handle under that lock: the handle is read and written
// atomically.
HANDLE LoadHandle(HANDLE& slot) {
    return std::atomic_ref<HANDLE>(slot).load(std::memory_order_acquire);
}

void StoreHandle(HANDLE& slot, HANDLE value) {
    std::atomic_ref<HANDLE>(slot).store(value, std::memory_order_release);
}

// One WriteFile call for the piece (more only for pieces above 1 GiB); errors are ignored.
void WritePiece(HANDLE file, const char* bytes, size_t length) {
    constexpr size_t kChunk = size_t{1} << 30;
    do {
        const size_t part = std::min(length, kChunk);
        DWORD written = 0;
        WriteFile(file, bytes, static_cast<DWORD>(part), &written, nullptr);
        bytes += part;
        length -= part;
    } while (length != 0);
}

bool IsTrailingSpace(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

}  // namespace

ILogFileInterface::ILogFileInterface()
    : _file(INVALID_HANDLE_VALUE), _daily(0), _baseName{}, _fileDay(0), _showTime(1), _showDate(1),
      _lineEnd("\n"), _marker0("<- "), _marker1("-> ") {}

ILogFileInterface::~ILogFileInterface() {
    CloseLogFile();
}

kvx_error ILogFileInterface::SetLogfile(const char* name, int daily) {
    CloseLogFile();
    if (name == nullptr) {
        return kvx_error_file_open;
    }
    _daily = daily;
    const size_t length = strnlen(name, kMaxLogNameBytes);
    std::memcpy(_baseName, name, length);
    _baseName[length] = '\0';
    return _CreateLogfile();
}

void ILogFileInterface::CloseLogFile() {
    const HANDLE file = LoadHandle(_file);
    if (file != INVALID_HANDLE_VALUE) {
        StoreHandle(_file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
}

void ILogFileInterface::LogMessage(uint32_t, ENUM_LOG_INTERFACE_DIRECTION direction,
                                   const char* data, uint64_t length, kvx_datetime& time, int) {
    if (LoadHandle(_file) == INVALID_HANDLE_VALUE) {
        return;
    }
    // The message is written from the caller's bytes: up to `length` or the first NUL, less
    // the trailing white space. No copy is needed, as the bytes are only read.
    size_t size = 0;
    if (data != nullptr && length != 0) {
        const size_t limit = static_cast<size_t>(std::min<uint64_t>(length, SIZE_MAX));
        const void* nul = std::memchr(data, '\0', limit);
        size = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - data) : limit;
        while (size != 0 && IsTrailingSpace(data[size - 1])) {
            --size;
        }
    }
    _WriteLine(time, direction == 0 ? _marker0 : _marker1, data != nullptr ? data : "", size);
}

void ILogFileInterface::_EnableDateTime(int date, int time) {
    _showDate = date;
    _showTime = time;
}

void ILogFileInterface::_Write2File(kvx_datetime& time, const char* text) {
    if (text == nullptr || LoadHandle(_file) == INVALID_HANDLE_VALUE) {
        return;
    }
    _WriteLine(time, nullptr, text, std::strlen(text));
}

void ILogFileInterface::_WriteLine(kvx_datetime& time, const char* marker, const char* text,
                                   size_t length) {
    const bool showDate = _showDate != 0;
    const bool showTime = _showTime != 0;
    // The stamp texts need no shared state: make them before taking the lock.
    KvxLogStamp stamp;
    KvxMakeLogStamp(time, showDate, showTime, true, stamp);

    std::lock_guard<std::mutex> guard(_fileLock);
    if (_daily != 0 && time.GetDayStart() > _fileDay) {
        // A line ahead of the current UTC day (local time east of UTC) would reopen the very
        // file that is open; keep it instead.
        const bool sameFile = LoadHandle(_file) != INVALID_HANDLE_VALUE &&
                              kvx_datetime(kvx_dt_utc_now).GetDayStart() == _fileDay;
        if (!sameFile) {
            _CreateLogfile();
        }
    }
    const HANDLE file = LoadHandle(_file);
    if (file == INVALID_HANDLE_VALUE) {
        return;  // closed meanwhile, or the roll-over could not open the new file
    }
    if (showDate) {
        WritePiece(file, stamp.date, std::strlen(stamp.date));
    }
    if (showTime) {
        if (showDate) {
            WritePiece(file, "-", 1);
        }
        const size_t timeLength = std::strlen(stamp.time);
        char timeBlank[sizeof stamp.time + 1];
        std::memcpy(timeBlank, stamp.time, timeLength);
        timeBlank[timeLength] = ' ';
        WritePiece(file, timeBlank, timeLength + 1);
    }
    if (marker != nullptr) {
        WritePiece(file, marker, std::strlen(marker));
    }
    WritePiece(file, text, length);
    WritePiece(file, _lineEnd, std::strlen(_lineEnd));
}

kvx_error ILogFileInterface::_CreateLogfile() {
    // The name is made before the open file is let go: a lack of memory for the date text
    // (std::bad_alloc) leaves the log as it was, and the next line tries again.
    char name[kMaxLogNameBytes + 1];
    uint64_t fileDay = _fileDay;
    if (_daily != 0) {
        const kvx_datetime now(kvx_dt_utc_now);
        fileDay = now.GetDayStart();
        char suffix[40] = "-";
        const size_t dateLength =
            KvxNarrowText(now.FormatDate(L"yyyyMMdd").GetText(), suffix + 1, 30);
        std::memcpy(suffix + 1 + dateLength, ".log", 5);
        const size_t suffixLength = 1 + dateLength + 4;
        // The dated ending stays whole so that days never share a file; the base gives way.
        const size_t baseLength = std::min(std::strlen(_baseName), kMaxLogNameBytes - suffixLength);
        std::memcpy(name, _baseName, baseLength);
        std::memcpy(name + baseLength, suffix, suffixLength + 1);
    } else {
        std::memcpy(name, _baseName, sizeof name);
    }
    // A roll-over opens the new day's file before it lets the old one go and puts the new
    // handle in its place in one store: writers on other threads test for an open file before
    // they take the lock, and a moment without one would make them drop their lines. The two
    // names differ (different days), so the old file's sharing does not refuse the new open.
    _fileDay = fileDay;
    const HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        SetFilePointer(file, 0, nullptr, FILE_END);
    }
    const HANDLE old = LoadHandle(_file);
    StoreHandle(_file, file);
    if (old != INVALID_HANDLE_VALUE) {
        CloseHandle(old);
    }
    return file != INVALID_HANDLE_VALUE ? kvx_error_none : kvx_error_file_open;
}

// severity_log.cpp: CQVLogSystem, the application's daily log of wide-character lines.
#include "kvx/logging.h"

#include "logging/log_stamp.h"
#include "platform/runtime/raw_heap.h"
#include "platform/win32.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// The characters a file name cannot hold, replaced by '#' in the file-name part of a path.
constexpr wchar_t kBadNameChars[] = L"<>:\"/\\|?*";

// The ANSI code page form of a wide text, made before anything of a line is written so that a
// lack of memory (std::bad_alloc) cannot leave half a line in the file. Short pieces (dates,
// times, most messages) stay on the stack; longer ones go to the heap.
class NarrowPiece {
public:
    explicit NarrowPiece(const wchar_t* text) {
        // ASCII converts to itself in every ANSI code page: short ASCII pieces skip the
        // converter.
        size_t ascii = 0;
        while (ascii < sizeof _local && text[ascii] != L'\0' &&
               static_cast<unsigned long>(text[ascii]) < 0x80) {
            _local[ascii] = static_cast<char>(text[ascii]);
            ++ascii;
        }
        if (ascii < sizeof _local && text[ascii] == L'\0') {
            _length = ascii;
            _valid = true;
            return;
        }
        const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) {
            return;  // not convertible: nothing is written
        }
        if (static_cast<size_t>(bytes) > sizeof _local) {
            _heap.reset(new char[static_cast<size_t>(bytes)]);
            _text = _heap.get();
        }
        WideCharToMultiByte(CP_ACP, 0, text, -1, _text, bytes, nullptr, nullptr);
        _length = static_cast<size_t>(bytes) - 1;
        _valid = true;
    }

    bool Valid() const { return _valid; }
    const char* Text() const { return _text; }
    size_t Length() const { return _length; }

private:
    char _local[512];
    std::unique_ptr<char[]> _heap;
    char* _text = _local;
    size_t _length = 0;
    bool _valid = false;
};

// Whether the last error of a failed file call says that memory ran out.
bool OutOfMemory(DWORD error) {
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY;
}

void CopyCut(wchar_t* destination, size_t size, const wchar_t* source) {
    const size_t length = std::min(std::wcslen(source), size - 1);
    std::wmemcpy(destination, source, length);
    destination[length] = L'\0';
}

}  // namespace

CQVLogSystem::CQVLogSystem()
    : _file(INVALID_HANDLE_VALUE), _enabled(1), _daily(0), _showTime(0), _showDate(0),
      _maxEntries(1000), _severities(nullptr), _severityCount(0), _severityCapacity(0),
      _fileDay(0), _basePath{}, _header(nullptr), _datePicture(L"yyyy.MM.dd"),
      _timePicture(L"HH:mm:ss"), _millisecondFormat(L".%03d"), _dateLength(0), _timeLength(0) {
    const kvx_datetime now(kvx_dt_utc_now);
    _dateLength = now.FormatDate(_datePicture).GetLength();
    _timeLength = now.FormatTime(_timePicture, _millisecondFormat).GetLength();
}

CQVLogSystem::~CQVLogSystem() {
    ClearHistory();
    KvxRawFree(_header);
    for (size_t i = 0; i < _severityCount; ++i) {
        delete[] _severities[i]->name;
        delete _severities[i];
    }
    delete[] _severities;
    if (_file != INVALID_HANDLE_VALUE) {
        CloseHandle(_file);
    }
}

void CQVLogSystem::CreateLogSystem(const wchar_t* path, int createNew) {
    if (path == nullptr || path[0] == L'\0') {
        return;
    }
    // Cut first: every part of a path of at most 259 characters fits its 260-character buffer.
    wchar_t cut[kMaxLogPathChars + 1];
    CopyCut(cut, sizeof cut / sizeof cut[0], path);
    wchar_t drive[kMaxLogPathChars + 1];
    wchar_t dir[kMaxLogPathChars + 1];
    wchar_t name[kMaxLogPathChars + 1];
    wchar_t ext[kMaxLogPathChars + 1];
    const size_t size = kMaxLogPathChars + 1;
    if (_wsplitpath_s(cut, drive, size, dir, size, name, size, ext, size) != 0) {
        return;
    }
    for (const wchar_t* bad = kBadNameChars; *bad != L'\0'; ++bad) {
        std::replace(name, name + std::wcslen(name), *bad, L'#');
    }
    if (_wmakepath_s(_basePath, size, drive, dir, name, ext) != 0) {
        _basePath[0] = L'\0';
    }
    _CreateLogFile(createNew);
}

void CQVLogSystem::NewFileEachDay() {
    _daily = 1;
}

void CQVLogSystem::SetNewFileHeader(const wchar_t* header) {
    char* text = nullptr;
    if (header != nullptr && header[0] != L'\0') {
        const int bytes = WideCharToMultiByte(CP_ACP, 0, header, -1, nullptr, 0, nullptr, nullptr);
        if (bytes > 0) {
            // The old header stays until the new one is made: std::bad_alloc changes nothing.
            text = static_cast<char*>(KvxRawAlloc(static_cast<size_t>(bytes) + 2));
            if (text == nullptr) {
                throw std::bad_alloc();
            }
            WideCharToMultiByte(CP_ACP, 0, header, -1, text, bytes, nullptr, nullptr);
            std::memcpy(text + bytes - 1, "\r\n", 3);
        }
    }
    KvxRawFree(_header);
    _header = text;
}

void CQVLogSystem::Enable(int enable) {
    _enabled = enable;
}

int CQVLogSystem::IsEnabled() const {
    return _enabled;
}

void CQVLogSystem::ShowDate(int show) {
    _showDate = show;
}

void CQVLogSystem::ShowTime(int show) {
    _showTime = show;
}

void CQVLogSystem::LogFormat(ENUM_LOG_SEVERITY_LEVEL, const wchar_t* format, ...) {
    if (_enabled == 0) {
        return;
    }
    CWideString message;
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        message.FormatV(format, args);
        va_end(args);
    }
    _LogLine(kvx_datetime(kvx_dt_utc_now), message);
}

void CQVLogSystem::LogFormat(ENUM_LOG_SEVERITY_LEVEL, kvx_datetime time, const wchar_t* format,
                             ...) {
    if (_enabled == 0) {
        return;
    }
    CWideString message;
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        message.FormatV(format, args);
        va_end(args);
    }
    _LogLine(time, message);
}

void CQVLogSystem::_LogLine(kvx_datetime time, const CWideString& message) {
    _CheckNewLogFile(time);
    if (_file == INVALID_HANDLE_VALUE) {
        return;
    }
    // Everything that may need memory comes before the first write: a line is whole or absent.
    const NarrowPiece text(message.GetLength() != 0 ? message.GetText() : L"");
    // The stamp pieces are the texts FormatDate and FormatTime make, made once per second.
    const bool showDate = _showDate != 0;
    const bool showTime = _showTime != 0;
    KvxPictureStamp stamp;
    KvxMakePictureStamp(time, _datePicture, _timePicture, _millisecondFormat, showDate, showTime,
                        stamp);
    if (showDate) {
        _Write2File(stamp.date);
    }
    if (showTime) {
        if (showDate) {
            _Write2File(" - ");
        }
        _Write2File(stamp.time);
    }
    if (message.GetLength() != 0) {
        _Write2File(": ");
        if (text.Valid()) {
            _WriteBytes(text.Text(), text.Length());
        }
    }
    _Write2File("\r\n");
}

void CQVLogSystem::SetMaxEntries(uint64_t maxEntries) {
    _maxEntries = maxEntries;
}

const std::deque<LOG_ENTRY*>& CQVLogSystem::GetHistory() const {
    return _history;
}

const LOG_ENTRY* CQVLogSystem::GetLogEntry(uint64_t index) const {
    return index < _history.size() ? _history[static_cast<size_t>(index)] : nullptr;
}

uint64_t CQVLogSystem::GetLogSize() const {
    return _history.size();
}

void CQVLogSystem::ClearHistory() {
    for (LOG_ENTRY* entry : _history) {
        ::operator delete(entry);
    }
    std::deque<LOG_ENTRY*>().swap(_history);
}

LOG_SEVERITY_INFO* CQVLogSystem::AddSevertity(unsigned int level, const wchar_t* name) {
    try {
        auto record = std::make_unique<LOG_SEVERITY_INFO>();
        record->level = level;
        record->enabled = 1;
        record->mask = -1;
        record->name = nullptr;
        std::unique_ptr<wchar_t[]> nameCopy;
        if (name != nullptr) {
            const size_t length = std::wcslen(name);
            nameCopy.reset(new wchar_t[length + 1]);
            std::wmemcpy(nameCopy.get(), name, length + 1);
        }
        if (_severityCount == _severityCapacity) {
            const size_t capacity = _severityCapacity == 0 ? 8 : _severityCapacity * 2;
            auto grown = new LOG_SEVERITY_INFO*[capacity];
            std::copy(_severities, _severities + _severityCount, grown);
            delete[] _severities;
            _severities = grown;
            _severityCapacity = capacity;
        }
        record->name = nameCopy.release();
        _severities[_severityCount++] = record.get();
        return record.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void CQVLogSystem::SubscribeNotification(HWND window) {
    _windows.AddNotification(window);
    _windows.PostNotification(kHistoryMessage, reinterpret_cast<uint64_t>(&_history),
                              static_cast<int64_t>(_history.size()));
}

void CQVLogSystem::UnsubscribeNotification(HWND window) {
    _windows.RemoveNotification(window);
}

void CQVLogSystem::_CreateLogFile(int createNew) {
    if (_file != INVALID_HANDLE_VALUE) {
        CloseHandle(_file);
        _file = INVALID_HANDLE_VALUE;
    }
    std::wstring suffix;
    if (_daily != 0) {
        const kvx_datetime now(kvx_dt_utc_now);
        _fileDay = now.GetDayStart();
        suffix = L"-";
        suffix += now.FormatDate(L"yyyyMMdd").GetText();
    }
    suffix += L".log";
    // The ending stays whole so that days never share a file; the path part gives way.
    wchar_t name[kMaxLogPathChars + 1];
    const size_t suffixLength = std::min(suffix.size(), kMaxLogPathChars);
    const size_t baseLength = std::min(std::wcslen(_basePath), kMaxLogPathChars - suffixLength);
    std::wmemcpy(name, _basePath, baseLength);
    std::wmemcpy(name + baseLength, suffix.c_str(), suffixLength);
    name[baseLength + suffixLength] = L'\0';

    const bool existed = GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES;
    if (!existed && OutOfMemory(GetLastError())) {
        throw std::bad_alloc();  // unknown whether it exists: it must not get a second header
    }
    const HANDLE file =
        CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    createNew != 0 ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (OutOfMemory(GetLastError())) {
            throw std::bad_alloc();
        }
        CQVLastError error(name);
        const char* text = error.GetNarrowText();
        throw std::runtime_error(text != nullptr ? text : "");
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    _file = file;
    if (!existed && _header != nullptr) {
        _Write2File(_header);
    }
}

void CQVLogSystem::_CheckNewLogFile(kvx_datetime time) {
    if (_daily == 0 || time.GetDayStart() <= _fileDay) {
        return;
    }
    // A line whose own day is ahead of the current UTC day would renew the open file under its
    // own name and empty it; the open file is kept instead.
    if (_file != INVALID_HANDLE_VALUE && kvx_datetime(kvx_dt_utc_now).GetDayStart() == _fileDay) {
        return;
    }
    _CreateLogFile(1);
}

void CQVLogSystem::_Write2File(const wchar_t* text) const {
    const NarrowPiece piece(text);
    if (piece.Valid()) {
        _WriteBytes(piece.Text(), piece.Length());
    }
}

void CQVLogSystem::_Write2File(const char* text) const {
    _WriteBytes(text, std::strlen(text));
}

void CQVLogSystem::_WriteBytes(const char* bytes, size_t length) const {
    DWORD written = 0;
    WriteFile(_file, bytes, static_cast<DWORD>(length), &written, nullptr);
}

uint64_t CQVLogSystem::_CalcLogStringLength(const wchar_t* message) const {
    const uint64_t d = _showDate != 0 ? _dateLength : 0;
    const uint64_t t = _showTime != 0 ? (d != 0 ? d + 3 : 0) + _timeLength : d;
    return (t != 0 ? t + 2 : 0) + 3 + (message != nullptr ? std::wcslen(message) : 0);
}

void CQVLogSystem::_CreateLogString(wchar_t* destination, uint64_t size, const wchar_t* message,
                                    kvx_datetime time) const {
    if (destination == nullptr || size == 0) {
        return;
    }
    size_t used = 0;
    const auto append = [&](const wchar_t* text) {
        for (; text != nullptr && *text != L'\0' && used + 1 < size; ++text) {
            destination[used++] = *text;
        }
        destination[used] = L'\0';
    };
    destination[0] = L'\0';
    if (_showDate != 0) {
        append(time.FormatDate(_datePicture).GetText());
    }
    if (_showTime != 0) {
        if (used != 0) {
            append(L" - ");
        }
        append(time.FormatTime(_timePicture, _millisecondFormat).GetText());
    }
    if (used != 0) {
        append(L": ");
    }
    append(message);
    append(L"\r\n");
}

LOG_SEVERITY_INFO* CQVLogSystem::_FindSevertity(int level) const {
    for (size_t i = 0; i < _severityCount; ++i) {
        if (_severities[i]->level == static_cast<uint32_t>(level)) {
            return _severities[i];
        }
    }
    return nullptr;
}

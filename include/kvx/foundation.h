// foundation.h: kvx's shared foundations: the result code, the trailing-space trim, the
// system-error text, the date-time value, the text buffers and the small-block allocator.
#pragma once

#include "kvx/export.h"
#include "kvx/win32_types.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// The library-wide result code. Only two values are ever produced.
enum kvx_error : int32_t {
    kvx_error_none = 0,        // success
    kvx_error_file_open = 32,  // a file could not be opened or created, or no name was given
};

// Removes, in place, every trailing TAB, LF, CR and space, one at a time from the end, until
// the last character is another one or the text is empty. No other character counts as white
// space. A null pointer is left alone. Returns its argument.
KVX_API char* TrimTrailingSpace(char* text);
KVX_API wchar_t* TrimTrailingSpace(wchar_t* text);

// ---------------------------------------------------------------------------------------------
// CFormatBuffer: a growable 8-bit text with printf-style appending.
//
// Storage comes from malloc and grows in steps of 256 bytes: when an append needs a total of
// length + 1 + measured bytes and that is above the capacity, the new capacity is that total
// rounded down to a multiple of 256, plus 256 (1..255 -> 256, 256 -> 512). The text is always
// terminated once storage exists (a fresh buffer reads as the empty text). Formats follow the
// Windows runtime's narrow conventions on every platform: %s and %c narrow, %S and %C wide
// (wide arguments are converted to the ANSI code page, UTF-8 off Windows).
//
// A text that cannot be formatted (an invalid wide argument, a bad conversion) appends nothing:
// length and text stay as they were, so the length never shrinks. Running out of memory throws
// std::bad_alloc, leaving the buffer as it was. One thread at a time per buffer.
class KVX_API CFormatBuffer {
public:
    // Obtains `initialCapacity` bytes of storage unless it is 0.
    explicit CFormatBuffer(uint64_t initialCapacity = 0);
    ~CFormatBuffer();
    CFormatBuffer(const CFormatBuffer&) = delete;
    CFormatBuffer& operator=(const CFormatBuffer&) = delete;

    // Appends the formatted text behind the current text (growth rule above).
    void AppendFormat(const char* format, ...);
    void AppendFormatV(const char* format, va_list args);

    // Makes the text empty and keeps the storage.
    void Clear();

    // The text; "" while there is no storage. Valid until the next append or destruction.
    const char* GetText() const { return _storage != nullptr ? _storage : ""; }
    uint64_t GetLength() const { return _length; }
    uint64_t GetCapacity() const { return _capacity; }

private:
    uint64_t _capacity;
    uint64_t _length;
    char* _storage;
};

// ---------------------------------------------------------------------------------------------
// CWideString: wide text in a block with a reference-counted header.
//
// The block holds a 16-byte header (a signed 32-bit reference count, then the capacity in
// characters, the terminator's place included) followed by the characters. A block for a
// request of n characters has a capacity of 56 + 64 * floor((2n + 18) / 128) characters on
// every platform: 56 for n up to 54, 120 for 55 to 118, then 64 more per step. Blocks come from
// Concurrency::Alloc. The library never shares a block, so strings are moved, never copied.
//
// Formats follow the Windows runtime's wide conventions on every platform: %s and %c wide,
// %S and %C narrow (narrow arguments are read as the ANSI code page, UTF-8 off Windows). A
// text that cannot be formatted appends nothing and leaves the text as it was. Running out of
// memory throws std::bad_alloc. One thread at a time per string.
class KVX_API CWideString {
public:
    CWideString() noexcept : _text(nullptr) {}
    // Copies a zero-terminated text; a null text gives a string without storage, an empty
    // text one with storage (capacity 56) and length 0.
    explicit CWideString(const wchar_t* text);
    CWideString(CWideString&& other) noexcept : _text(other._text) { other._text = nullptr; }
    CWideString& operator=(CWideString&& other) noexcept;
    CWideString(const CWideString&) = delete;
    CWideString& operator=(const CWideString&) = delete;
    ~CWideString() { Release(); }

    // 0 without storage; otherwise the index of the first zero character within the
    // capacity, or 0 if there is none.
    uint64_t GetLength() const;
    // Characters the block holds, the terminator's place included; 0 without storage.
    uint64_t GetCapacity() const;
    // The characters, or null without storage. Writable through the non-const form up to
    // GetCapacity() characters; valid until the next operation that may replace the block.
    const wchar_t* GetBuffer() const { return _text; }
    wchar_t* GetBuffer() { return _text; }
    // The text, or "" without storage.
    const wchar_t* GetText() const { return _text != nullptr ? _text : L""; }

    // Makes room for n characters, the terminator included: nothing if the block already
    // holds n; otherwise EnsureCapacity(n).
    void Reserve(uint64_t n);
    // Makes room for n characters plus the terminator. Keeps the block when its capacity is
    // above n; otherwise moves the text to a new block for n characters.
    void EnsureCapacity(uint64_t n);

    // Appends the formatted text. Tries the room the block already has first; only when the
    // text does not fit is it measured and the block enlarged to hold it.
    void AppendFormat(const wchar_t* format, ...);
    void AppendFormatV(const wchar_t* format, va_list args);
    // Replaces the text with the formatted text (keeps the block).
    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);

    // Releases the block; the string is then without storage.
    void Release() noexcept;

private:
    wchar_t* _text;
};

// ---------------------------------------------------------------------------------------------
// kvx_datetime: a point in time as one count of 100-ns ticks since 1601-01-01 00:00:00 (the
// FILETIME scale). 0 is the empty value: no time at all, formatted as empty text. The value
// does not record its time base: a kvx_dt_local_now value holds local wall-clock time on the
// same scale, and the texts show the calendar fields of the count as it stands.
//
// Every text operation formats into a CWideString sized by a first measuring call, so a text
// costs one allocation (a milliseconds suffix fits into the same block). Date texts use the
// user's default locale; off Windows that is the invariant locale (short date MM/dd/yyyy, long
// date "dddd, dd MMMM yyyy", time HH:mm:ss), so texts of a null picture differ between
// platforms. The platform rejects no picture (an empty one gives empty text), so the failure
// texts come from counts of 2^63 and above, which have no calendar fields: their date text is
// empty and their time text "NaT", as for a formatting that fails. All operations may run on
// any thread at once.
enum kvx_datetime_kind : uint32_t {
    kvx_dt_empty = 0,      // tick count 0
    kvx_dt_utc_now = 1,    // the current UTC time
    kvx_dt_local_now = 2,  // the current UTC time shifted by the time-zone bias in force now
};

class KVX_API kvx_datetime {
public:
    // Makes the value of `kind`; any other kind gives the empty value.
    explicit kvx_datetime(uint32_t kind = kvx_dt_empty);

    // The count truncated to whole days (864,000,000,000 ticks): midnight of the value's day
    // in its own time base. Two values lie on the same day exactly when these are equal.
    uint64_t GetDayStart() const { return ticks - ticks % 864000000000ULL; }

    // The date in the layout of a date picture ("yyyyMMdd", "yyyy.MM.dd", ...; see
    // GetDateFormatEx). Empty text for the empty value and for a picture the platform rejects.
    CWideString FormatDate(const wchar_t* picture) const;
    // The date in the user's short date format (longFormat 0) or long date format.
    CWideString GetDateText(int32_t longFormat) const;
    // The time in the layout of a time picture (null: the user's time format), followed, when
    // fractionFormat is not null, by the milliseconds (0..999, passed as int32_t) formatted
    // with it, e.g. ".%03d". Empty text for the empty value; "NaT" for a picture the platform
    // rejects.
    CWideString FormatTime(const wchar_t* picture, const wchar_t* fractionFormat) const;
    // FormatTime with the user's time format and ".%03d" when withMilliseconds is nonzero.
    CWideString GetTimeText(int32_t withMilliseconds) const;

    uint64_t ticks;
};

// ---------------------------------------------------------------------------------------------
// CQVLastError: the calling thread's last system error and its message text.
//
// Construction reads GetLastError() and asks FormatMessageW for the system's text, trimmed of
// trailing TAB, LF, CR and space. With a context (which may be empty), the text becomes
// "<system text> (<context>)", and the length grows by the context's length plus 10. The
// length is the count FormatMessageW reported plus that growth: the size in characters of the
// composed text's block and, in bytes, the least size of the narrow text's block.
//
// Choices where the system has nothing to say:
// - A code without a system text gets "Unknown error <decimal code> (0x<8 hex digits>).", and
//   the length is that text's length.
// - The narrow text holds the whole converted message: when the ANSI form needs more bytes
//   than the length (multi-byte characters, or a text without trailing white space and no
//   context), its block is made as large as the conversion needs, so it is never cut and
//   always terminated.
// - No local-heap memory for the composed text: the system text stays alone. None for the
//   narrow text: GetNarrowText returns null.
// Construction leaves the thread's last error as it found it. Build the object on the thread
// that saw the failure, before any other system call. One thread per object; not copyable.
class KVX_API CQVLastError {
public:
    explicit CQVLastError(const wchar_t* context = nullptr);
    virtual ~CQVLastError();
    CQVLastError(const CQVLastError&) = delete;
    CQVLastError& operator=(const CQVLastError&) = delete;

    // The message in the ANSI code page (UTF-8 off Windows), converted on the first call; later
    // calls return the same buffer. Valid as long as the object. Null only without memory.
    const char* GetNarrowText();

    // The wide message (null only without memory), the recorded length, the captured code.
    const wchar_t* GetText() const { return _messageText; }
    uint64_t GetLength() const { return _length; }
    uint32_t GetErrorCode() const { return _errorCode; }

private:
    wchar_t* _messageText;
    char* _narrowText;
    uint64_t _length;
    uint32_t _errorCode;
};

// ---------------------------------------------------------------------------------------------
// _st_malloc, _st_free: the process-wide small-block allocator.
//
// Blocks of 1 to 65456 bytes come from 64 KiB arenas (pools) that the library obtains with
// _aligned_malloc and keeps until it is unloaded; a platform allocation happens only when a new
// pool is needed. A request takes the first free block that fits, in pool creation order and,
// within a pool, most recently freed block first, cutting the new block from the free block's
// tail when more than 80 bytes would be left over. A release merges the block into a free block
// right before it, or else takes a free block right after it into itself, never both.
//
// Each block starts with a 68-byte header (a state mark, list links, sizes, the trailing
// guard's address and a front guard of 0xBBBBBBBB); the caller's bytes follow it and are
// followed by a trailing guard 0xEEEEEEEE. The guards are written, never checked.
//
// One process-wide lock (spin count 1024) covers every call: any thread may allocate or release
// any block. The allocator exists from library load to library unload; blocks still allocated
// at unload vanish with their pools, and calls made after unload return null or do nothing.

// Returns the caller's bytes of a new block: `size` bytes, each 0xAF, at an address 4 bytes past
// a multiple of 8 (aligned to 4, not to 8). Returns null, and adds no pool, for a size of 0 or
// above 65456 (the most a fresh pool holds). Returns null as well when no pool can serve and the
// platform has no memory for a new arena. Throws std::bad_alloc when there is no memory for the
// library's record of a new pool; nothing has changed then.
KVX_API void* _st_malloc(size_t size);

// Gives back a block from _st_malloc. Null, an address outside every pool, and an address inside
// a pool that is not the start of an allocated block's bytes (a block released before, for
// instance) are ignored.
KVX_API void _st_free(void* block);

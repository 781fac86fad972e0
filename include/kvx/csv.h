// csv.h: CQVCsvFormatReader, the reader of character-separated files with a header line.
//
// The reader opens a file, reads its first non-empty line as the header (a list of field
// names) and then delivers one record per ReadNextRecord() call, with typed conversions of
// single fields. Bytes are read as they come, with no decoding (a byte-order mark becomes part
// of the first header name). One object is used by one thread at a time; it takes no locks.
//
// Format:
// - The separator is a comma or a semicolon: the first of the two found in the data buffered
//   at the first read (up to 1 MiB, past the header line if need be). With neither, every
//   line is one field, and the search runs again at each later read until one is found. A
//   reader object keeps the separator it found for its whole life, also across Close() and
//   Open(): use a new reader for a file of another kind.
// - Lines end in CR LF, LF or CR. The next line ends at the first CR among the buffered,
//   unread bytes, or, when there is none, at the first LF; empty lines are skipped.
// - A field that begins with a double quote may hold separators up to its next double quote;
//   those two quotes are removed (the closing one only if it is the field's last byte). A
//   quote anywhere else is an ordinary byte, doubled quotes stay doubled, and no white space
//   is trimmed: `"a""b",c` gives a""b and c; `"ab"cd,e` gives ab"cd and e.
//
// Choices for input the format leaves open (each has a test):
// - A line longer than kCsvMaxLineLength (8,191) bytes is delivered cut to its first 8,191
//   bytes; the rest of that line is skipped and never becomes a record of its own.
// - A last field that opens a quote and never closes it ends at the end of its line.
// - A record with more fields than the header fills the header's slots and drops the rest; a
//   record with fewer fields reads as empty text in the slots it does not fill. Before the
//   first record every slot reads as empty text. No accessor ever returns a null pointer.
// - A last line without a line end is delivered like any other line.
// - Open() on a reader that is open closes it first; every Open() starts from an empty
//   header list.
// - Copying a reader copies its header and its current record into storage of the copy's
//   own, so the copy reads the same header names and field texts; the copy holds no file,
//   and its ReadNextRecord() returns 0x800703F4. No handle or buffer ever has two owners.
//   Running out of memory throws std::bad_alloc: a copy being made leaves nothing behind, an
//   assignment leaves its target as it was; the source never changes.
// - An index at or past GetFieldCount() reads as empty text (0 for the numeric accessors).
//
// Status values follow the HRESULT convention: 0 is success and every failure is negative.
#pragma once

#include "kvx/export.h"
#include "kvx/win32_types.h"

#include <stddef.h>
#include <stdint.h>

// Status values of the reader.
#define KVX_CSV_S_OK ((LONG)0)
#define KVX_CSV_E_OUTOFMEMORY ((LONG)0x8007000E)     // a buffer could not be obtained
#define KVX_CSV_E_PATH_NOT_FOUND ((LONG)0x80070003)  // the file could not be opened
#define KVX_CSV_E_CANTREAD ((LONG)0x800703F4)        // no more data: end of file or read error

class KVX_API CQVCsvFormatReader {
public:
    // One byte buffer of the reader.
    struct DESTINATION_BUFFER_INFO {
        uint64_t capacity;  // bytes of storage
        // Read buffer: bytes read and not yet consumed, from position on. Line buffer: the
        // line's byte count plus 1 (the appended separator), consumed down to 0 by splitting.
        uint64_t length;
        char* storage;   // owned by the reader: obtained by Open, released by Close
        char* position;  // next unconsumed byte / start of the part of a line not yet split
    };

    static constexpr uint64_t kCsvReadBufferSize = 0x100000;  // 1 MiB of raw file bytes
    static constexpr uint64_t kCsvLineBufferSize = 0x2000;    // 8 KiB per line buffer
    static constexpr uint64_t kCsvMaxLineLength = kCsvLineBufferSize - 1;
    // Bytes of storage behind each buffer's capacity, for word-wide scans.
    static constexpr uint64_t kCsvPadding = 64;

    // A closed reader: no file, no storage, empty field lists, separator unknown.
    CQVCsvFormatReader();
    // See the choices above: the copy gets the header and current record, but no file.
    CQVCsvFormatReader(const CQVCsvFormatReader& other);
    CQVCsvFormatReader& operator=(const CQVCsvFormatReader& other);
    // Closes the reader and releases the field lists. Not virtual.
    ~CQVCsvFormatReader();

    // Opens the file (read access, shared with other readers; it must exist) and reads its
    // header. Returns 0; 0x8007000E when memory runs out (for a buffer, the field lists or
    // the system's open; never an exception), leaving the header list empty; 0x80070003 when
    // the file cannot be opened for any other reason; 0x800703F4 when the file holds no line
    // at all (the file then stays open and the header list empty). After a failure Close()
    // releases whatever was obtained and the reader may be opened again. A reader that was
    // open is closed first. Header texts stay valid until Close().
    LONG Open(const wchar_t* fileName);

    // Closes the file and releases the three buffers. The field counts and the separator stay;
    // every header and field text then reads as empty. A second Close() does nothing.
    void Close();

    // Reads the next non-empty line and splits it into the record fields.
    // Field texts point into the reader's storage and stay valid until the
    // next ReadNextRecord() or Close(). Returns 0, or 0x800703F4 at the end of
    // the file (and on a closed reader), leaving the previous record readable.
    LONG ReadNextRecord();

    // 1 when the record list has one slot per header field (always, after a successful
    // Open), else 0.
    int32_t RecordIsValid() const;

    // The index of the first header field equal to `name`, byte for byte (letter case
    // matters, nothing is trimmed). Throws an exception of type std::exception whose what()
    // is the name when there is no such field (also for a null name: message "").
    int32_t FindFieldIndex(const char* name) const;

    // The number of header fields.
    uint64_t GetFieldCount() const;

    // The header field at `index`.
    const char* GetHeaderText(uint64_t index) const;

    // The current record's field at `index`.
    const char* GetRecordDataAsString(uint64_t index) const;
    // The field's first byte, 0 for an empty field.
    char GetRecordDataAsChar(uint64_t index);
    // The field as the C runtime's atoi reads it: leading white space is skipped, a sign and
    // the digits that follow are taken, anything else ends the number; no digits give 0. A
    // value out of range gives INT32_MAX or INT32_MIN.
    int32_t GetRecordDataAsInt(uint64_t index);
    // As GetRecordDataAsInt, in 64 bits (the runtime's _atoi64); saturates at the limits.
    int64_t GetRecordDataAsInt64(uint64_t index);
    // The field as the C runtime's atof reads it (strtod of the text; 0.0 without a number).
    double GetRecordDataAsDouble(uint64_t index);

private:
    // A growable array of field pointers owned by the reader.
    struct FIELD_LIST {
        char** items;
        uint64_t count;
        uint64_t capacity;
    };

    LONG _FillReadBuffer();
    const char* _FindNewLine() const;
    LONG _ReadNewLine(DESTINATION_BUFFER_INFO& line);
    LONG _ReadHeaderLine();
    uint64_t _FindNextStringEnd(char* text, uint64_t count);
    char* _AdjustString(char* field) const;
    void _SeparateStrings(DESTINATION_BUFFER_INFO& line, FIELD_LIST& fields, int32_t mode);

    void _CopyFrom(const CQVCsvFormatReader& other);
    void _SkipLineEnds();
    bool _SkipRestOfLongLine(LONG& status);
    void _DetectSeparator();
    void _CopyLine(DESTINATION_BUFFER_INFO& line, const char* start, uint64_t kept);
    bool _NoCarriageReturnAhead() const;
    LONG _ReadCopiedRecord();

    HANDLE m_file;
    DESTINATION_BUFFER_INFO m_readBuffer;
    DESTINATION_BUFFER_INFO m_recordLine;
    DESTINATION_BUFFER_INFO m_headerLine;
    FIELD_LIST m_headerFields;
    FIELD_LIST m_recordFields;
    char m_separator;

    // Where the line-end search left off, so that no byte is searched for CR twice: the
    // first CR at or after the read position (null if none is known), and the end of the
    // stretch from the read position that is known to hold no CR.
    mutable const char* m_nextCr;
    mutable const char* m_crFreeEnd;
    // The last line was cut at the end of a full read buffer: its rest is still to be skipped.
    bool m_skippingLongLine;
    // Bit sets of the record line just copied (m_maskedLine): bit i of word i / 64 is set
    // where byte i is the separator (the appended one included) or a double quote. The
    // in-place split uses the separator set for the line it cuts.
    const char* m_maskedLine;
    // The current record when it was split where it lies in the read buffer (null when it is
    // in the record line buffer): its first byte and its length plus the closing zero byte.
    const char* m_inPlaceRecord;
    uint64_t m_inPlaceBytes;
    uint64_t m_separatorBits[kCsvLineBufferSize / 64];
    uint64_t m_quoteBits[kCsvLineBufferSize / 64];
};

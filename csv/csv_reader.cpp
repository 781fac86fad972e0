// csv_reader.cpp: CQVCsvFormatReader's life cycle (open, close, copy), records and accessors.
#include "csv/buffer_storage.h"
#include "csv/field_list.h"
#include "csv/runtime_numbers.h"
#include "kvx/csv.h"
#include "platform/win32.h"

#include <cstring>
#include <exception>
#include <new>
#include <string>

namespace {

// What FindFieldIndex throws: a std::exception whose what() is the name searched for.
class FieldNameNotFound : public std::exception {
public:
    explicit FieldNameNotFound(const char* name) : m_name(name != nullptr ? name : "") {}
    const char* what() const noexcept override { return m_name.c_str(); }

private:
    std::string m_name;
};

using Buffer = CQVCsvFormatReader::DESTINATION_BUFFER_INFO;

// Obtains a buffer's storage, plus zeroed padding bytes behind it; false (storage null) when
// memory is short.
bool Allocate(Buffer& buffer, uint64_t capacity, uint64_t padding) {
    buffer.storage = KvxCsvAllocateStorage(capacity + padding);
    if (buffer.storage != nullptr) {
        std::memset(buffer.storage + capacity, 0, static_cast<size_t>(padding));
    }
    buffer.capacity = buffer.storage != nullptr ? capacity : 0;
    buffer.length = 0;
    buffer.position = buffer.storage;
    return buffer.storage != nullptr;
}

void Release(Buffer& buffer) {
    delete[] buffer.storage;
    buffer = Buffer{};
}

// A copy of a line buffer in storage of its own.
void CopyLine(Buffer& to, const Buffer& from) {
    to = Buffer{};
    if (from.storage == nullptr) {
        return;
    }
    const uint64_t bytes = from.capacity + CQVCsvFormatReader::kCsvPadding;
    to.storage = new char[bytes];
    std::memcpy(to.storage, from.storage, static_cast<size_t>(bytes));
    to.capacity = from.capacity;
    to.length = from.length;
    to.position = to.storage + (from.position - from.storage);
}

// A pointer into the `bytes` bytes at `from`, moved to the same offset from `to`; any other
// pointer (the empty field, or a text whose storage is gone) becomes the empty field.
char* Rebase(char* text, const char* from, uint64_t bytes, char* to) {
    if (from != nullptr && to != nullptr && text >= from && text < from + bytes) {
        return to + (text - from);
    }
    return g_kvxCsvEmptyField;
}

// The record field at `index`, or the empty text. A free function, because calls to member
// functions of an exported class are not inlined (the dynamic loader may replace them), and
// the accessors run once per field.
inline const char* FieldText(char* const* items, uint64_t count, uint64_t index) {
    return index < count ? items[index] : g_kvxCsvEmptyField;
}

}  // namespace

CQVCsvFormatReader::CQVCsvFormatReader()
    : m_file(INVALID_HANDLE_VALUE), m_readBuffer{}, m_recordLine{}, m_headerLine{},
      m_headerFields{}, m_recordFields{}, m_separator(0), m_nextCr(nullptr), m_crFreeEnd(nullptr),
      m_skippingLongLine(false), m_maskedLine(nullptr), m_inPlaceRecord(nullptr),
      m_inPlaceBytes(0), m_separatorBits{}, m_quoteBits{} {}

CQVCsvFormatReader::CQVCsvFormatReader(const CQVCsvFormatReader& other) : CQVCsvFormatReader() {
    _CopyFrom(other);
}

CQVCsvFormatReader& CQVCsvFormatReader::operator=(const CQVCsvFormatReader& other) {
    if (this != &other) {
        _CopyFrom(other);
    }
    return *this;
}

CQVCsvFormatReader::~CQVCsvFormatReader() {
    Close();
    KvxFieldListFree(m_headerFields);
    KvxFieldListFree(m_recordFields);
}

void CQVCsvFormatReader::_CopyFrom(const CQVCsvFormatReader& other) {
    // Everything is copied aside first, so that std::bad_alloc leaves this reader as it was.
    Buffer recordLine{};
    Buffer headerLine{};
    FIELD_LIST headerFields{};
    FIELD_LIST recordFields{};
    try {
        CopyLine(recordLine, other.m_recordLine);
        CopyLine(headerLine, other.m_headerLine);
        // A record split in the read buffer is copied into the copy's record line buffer.
        const char* record = other.m_recordLine.storage;
        uint64_t recordBytes = other.m_recordLine.capacity;
        if (other.m_inPlaceRecord != nullptr && recordLine.storage != nullptr) {
            record = other.m_inPlaceRecord;
            recordBytes = other.m_inPlaceBytes;
            std::memcpy(recordLine.storage, record, static_cast<size_t>(recordBytes));
        }
        for (uint64_t i = 0; i < other.m_headerFields.count; ++i) {
            KvxFieldListAppend(headerFields,
                               Rebase(other.m_headerFields.items[i], other.m_headerLine.storage,
                                      other.m_headerLine.capacity, headerLine.storage));
        }
        for (uint64_t i = 0; i < other.m_recordFields.count; ++i) {
            KvxFieldListAppend(recordFields, Rebase(other.m_recordFields.items[i], record,
                                                    recordBytes, recordLine.storage));
        }
    } catch (...) {
        Release(recordLine);
        Release(headerLine);
        KvxFieldListFree(headerFields);
        KvxFieldListFree(recordFields);
        throw;
    }
    Close();
    KvxFieldListFree(m_headerFields);
    KvxFieldListFree(m_recordFields);
    m_recordLine = recordLine;
    m_headerLine = headerLine;
    m_headerFields = headerFields;
    m_recordFields = recordFields;
    m_separator = other.m_separator;
}

LONG CQVCsvFormatReader::Open(const wchar_t* fileName) {
    Close();
    m_headerFields.count = 0;
    m_recordFields.count = 0;
    if (!Allocate(m_readBuffer, kCsvReadBufferSize, kCsvPadding) ||
        !Allocate(m_recordLine, kCsvLineBufferSize, kCsvPadding) ||
        !Allocate(m_headerLine, kCsvLineBufferSize, kCsvPadding)) {
        return KVX_CSV_E_OUTOFMEMORY;
    }
    m_nextCr = nullptr;
    m_crFreeEnd = m_readBuffer.storage;
    m_skippingLongLine = false;
    m_file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY
                   ? KVX_CSV_E_OUTOFMEMORY
                   : KVX_CSV_E_PATH_NOT_FOUND;
    }
    // The field lists grow with the header; a lack of memory there is a status like the
    // buffers', and leaves the header list empty.
    try {
        return _ReadHeaderLine();
    } catch (const std::bad_alloc&) {
        m_headerFields.count = 0;
        m_recordFields.count = 0;
        return KVX_CSV_E_OUTOFMEMORY;
    }
}

void CQVCsvFormatReader::Close() {
    if (m_file != INVALID_HANDLE_VALUE) {
        CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }
    Release(m_readBuffer);
    Release(m_recordLine);
    Release(m_headerLine);
    m_nextCr = nullptr;
    m_crFreeEnd = nullptr;
    m_skippingLongLine = false;
    m_maskedLine = nullptr;
    m_inPlaceRecord = nullptr;
    m_inPlaceBytes = 0;
    // The lists keep their sizes, but no slot may point into released storage.
    for (uint64_t i = 0; i < m_headerFields.count; ++i) {
        m_headerFields.items[i] = g_kvxCsvEmptyField;
    }
    for (uint64_t i = 0; i < m_recordFields.count; ++i) {
        m_recordFields.items[i] = g_kvxCsvEmptyField;
    }
}

LONG CQVCsvFormatReader::_ReadHeaderLine() {
    const LONG status = _ReadNewLine(m_headerLine);
    if (status < 0) {
        return status;
    }
    _SeparateStrings(m_headerLine, m_headerFields, 1);
    KvxFieldListResize(m_recordFields, m_headerFields.count);
    return KVX_CSV_S_OK;
}

int32_t CQVCsvFormatReader::RecordIsValid() const {
    return m_recordFields.count == m_headerFields.count ? 1 : 0;
}

int32_t CQVCsvFormatReader::FindFieldIndex(const char* name) const {
    if (name != nullptr) {
        for (uint64_t i = 0; i < m_headerFields.count; ++i) {
            if (std::strcmp(m_headerFields.items[i], name) == 0) {
                return static_cast<int32_t>(i);
            }
        }
    }
    throw FieldNameNotFound(name);
}

uint64_t CQVCsvFormatReader::GetFieldCount() const {
    return m_headerFields.count;
}

const char* CQVCsvFormatReader::GetHeaderText(uint64_t index) const {
    return index < m_headerFields.count ? m_headerFields.items[index] : g_kvxCsvEmptyField;
}

const char* CQVCsvFormatReader::GetRecordDataAsString(uint64_t index) const {
    return FieldText(m_recordFields.items, m_recordFields.count, index);
}

char CQVCsvFormatReader::GetRecordDataAsChar(uint64_t index) {
    return FieldText(m_recordFields.items, m_recordFields.count, index)[0];
}

int32_t CQVCsvFormatReader::GetRecordDataAsInt(uint64_t index) {
    return KvxAtoi32(FieldText(m_recordFields.items, m_recordFields.count, index));
}

int64_t CQVCsvFormatReader::GetRecordDataAsInt64(uint64_t index) {
    return KvxAtoi64(FieldText(m_recordFields.items, m_recordFields.count, index));
}

double CQVCsvFormatReader::GetRecordDataAsDouble(uint64_t index) {
    return KvxAtof(FieldText(m_recordFields.items, m_recordFields.count, index));
}

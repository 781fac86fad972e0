// csv_lines.cpp: the read buffer and line finding: refills, the line-end rule, separator
// detection, and copying one line into a line buffer.
#include "csv/byte_scan.h"
#include "kvx/csv.h"
#include "platform/win32.h"

#include <bit>
#include <cstring>

LONG CQVCsvFormatReader::_FillReadBuffer() {
    DESTINATION_BUFFER_INFO& buffer = m_readBuffer;
    if (buffer.storage == nullptr) {
        return KVX_CSV_E_CANTREAD;
    }
    if (buffer.length != 0 && buffer.position != buffer.storage) {
        std::memmove(buffer.storage, buffer.position, static_cast<size_t>(buffer.length));
    }
    buffer.position = buffer.storage;
    m_nextCr = nullptr;
    m_crFreeEnd = buffer.storage;
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(buffer.capacity - buffer.length);
    if (!ReadFile(m_file, buffer.storage + buffer.length, wanted, &got, nullptr) || got == 0) {
        return KVX_CSV_E_CANTREAD;
    }
    buffer.length += got;
    return KVX_CSV_S_OK;
}

// Whether the unconsumed bytes hold no CR, so that lines end at LF. The search for CR resumes
// where the previous one ended, so a buffer is searched for CR once however many lines it
// holds; a CR found is kept in m_nextCr until the position passes it.
bool CQVCsvFormatReader::_NoCarriageReturnAhead() const {
    const char* position = m_readBuffer.position;
    const char* end = position + m_readBuffer.length;
    if (m_nextCr != nullptr && m_nextCr >= position) {
        return false;
    }
    const char* from = m_crFreeEnd != nullptr && m_crFreeEnd > position ? m_crFreeEnd : position;
    const char* cr =
        static_cast<const char*>(std::memchr(from, '\r', static_cast<size_t>(end - from)));
    if (cr != nullptr) {
        m_nextCr = cr;
        m_crFreeEnd = cr;
        return false;
    }
    m_nextCr = nullptr;
    m_crFreeEnd = end;
    return true;
}

// The first CR among the unconsumed bytes, else the first LF.
const char* CQVCsvFormatReader::_FindNewLine() const {
    const DESTINATION_BUFFER_INFO& buffer = m_readBuffer;
    if (buffer.length == 0) {
        return nullptr;
    }
    if (!_NoCarriageReturnAhead()) {
        return m_nextCr;
    }
    return static_cast<const char*>(
        std::memchr(buffer.position, '\n', static_cast<size_t>(buffer.length)));
}

void CQVCsvFormatReader::_SkipLineEnds() {
    DESTINATION_BUFFER_INFO& buffer = m_readBuffer;
    while (buffer.length != 0 && (*buffer.position == '\r' || *buffer.position == '\n')) {
        ++buffer.position;
        --buffer.length;
    }
}

// The first comma or semicolon among the unconsumed bytes, quotes and line ends included.
void CQVCsvFormatReader::_DetectSeparator() {
    const char* position = m_readBuffer.position;
    const size_t length = static_cast<size_t>(m_readBuffer.length);
    const char* comma = static_cast<const char*>(std::memchr(position, ',', length));
    const size_t before = comma != nullptr ? static_cast<size_t>(comma - position) : length;
    if (std::memchr(position, ';', before) != nullptr) {
        m_separator = ';';
    } else if (comma != nullptr) {
        m_separator = ',';
    }
}

// Skips what is left of a line that was cut at the end of a full read buffer. Returns false
// (with the status) when the file ends first.
bool CQVCsvFormatReader::_SkipRestOfLongLine(LONG& status) {
    DESTINATION_BUFFER_INFO& buffer = m_readBuffer;
    for (;;) {
        const char* end = _FindNewLine();
        if (end != nullptr) {
            const uint64_t skipped = static_cast<uint64_t>(end - buffer.position);
            buffer.position += skipped;
            buffer.length -= skipped;
            m_skippingLongLine = false;
            return true;
        }
        buffer.position += buffer.length;
        buffer.length = 0;
        status = _FillReadBuffer();
        if (status < 0) {
            m_skippingLongLine = false;
            return false;
        }
        if (m_separator == 0) {
            _DetectSeparator();
        }
    }
}

LONG CQVCsvFormatReader::_ReadNewLine(DESTINATION_BUFFER_INFO& line) {
    if (m_readBuffer.storage == nullptr || line.storage == nullptr) {
        return KVX_CSV_E_CANTREAD;
    }
    LONG status = KVX_CSV_S_OK;
    if (m_skippingLongLine && !_SkipRestOfLongLine(status)) {
        return status;
    }
    _SkipLineEnds();
    const char* end = _FindNewLine();
    bool fileEnded = false;
    while (end == nullptr && m_readBuffer.length != m_readBuffer.capacity) {
        status = _FillReadBuffer();
        if (status < 0) {
            if (m_readBuffer.length == 0) {
                return status;
            }
            fileEnded = true;  // a last line without a line end: deliver it
            break;
        }
        if (m_separator == 0) {
            _DetectSeparator();
        }
        _SkipLineEnds();
        end = _FindNewLine();
    }

    char* start = m_readBuffer.position;
    const uint64_t lineLength =
        end != nullptr ? static_cast<uint64_t>(end - start) : m_readBuffer.length;
    const uint64_t kept = lineLength < line.capacity - 1 ? lineLength : line.capacity - 1;
    _CopyLine(line, start, kept);

    m_readBuffer.position += lineLength;
    m_readBuffer.length -= lineLength;
    // A full buffer without a line end: the line goes on in the next read.
    m_skippingLongLine = end == nullptr && !fileEnded;
    _SkipLineEnds();
    return KVX_CSV_S_OK;
}

// Copies a line into a line buffer and appends the separator. For the record line it marks
// the separators and quotes on the way, so that splitting need not look at the bytes again;
// both buffers have padding behind their capacity for the 16-byte steps.
void CQVCsvFormatReader::_CopyLine(DESTINATION_BUFFER_INFO& line, const char* start,
                                   uint64_t kept) {
    char* to = line.storage;
    const char separator = m_separator;
    if (&line != &m_recordLine) {
        std::memcpy(to, start, static_cast<size_t>(kept));
    } else {
        uint64_t separators = 0;
        uint64_t quotes = 0;
        uint64_t i = 0;
        for (; i < kept; i += 16) {
            const unsigned shift = static_cast<unsigned>(i & 63);
            uint32_t quoteBits = 0;
            separators |= static_cast<uint64_t>(
                              KvxCopyMatch2x16(to + i, start + i, separator, '"', quoteBits))
                          << shift;
            quotes |= static_cast<uint64_t>(quoteBits) << shift;
            if (shift == 48) {
                m_separatorBits[i >> 6] = separators;
                m_quoteBits[i >> 6] = quotes;
                separators = 0;
                quotes = 0;
            }
        }
        if ((i & 63) != 0) {
            m_separatorBits[i >> 6] = separators;
            m_quoteBits[i >> 6] = quotes;
        }
        // Drop what the last step saw past the line, then mark the appended separator.
        const uint64_t lastWord = kept >> 6;
        const uint64_t used = kept & 63;
        if (used == 0) {
            m_separatorBits[lastWord] = 0;  // the loop stopped short of this word
            m_quoteBits[lastWord] = 0;
        } else {
            m_separatorBits[lastWord] &= (uint64_t{1} << used) - 1;
            m_quoteBits[lastWord] &= (uint64_t{1} << used) - 1;
        }
        m_separatorBits[lastWord] |= uint64_t{1} << used;
        m_maskedLine = to;
    }
    to[kept] = separator;
    line.length = kept + 1;
    line.position = to;
}

// csv_in_place.cpp: ReadNextRecord(): the usual record line is split where it lies in the
// read buffer.
//
// A record line that lies whole among the unread bytes, with its line end, is not copied: its
// separators and its line end are overwritten with zero bytes in the read buffer itself and
// the fields point there. The bytes a line occupies are consumed with it, and a refill only
// moves the unread bytes behind them, so the texts stay as they are until the next
// ReadNextRecord(); the line-end rule and the separator detection only ever look at unread
// bytes. Any other line (one that needs a refill, one longer than the line buffer's limit, a
// last line without a line end) takes the general path, which copies it into the record
// line buffer. Both give the same fields.
#include "csv/byte_scan.h"
#include "csv/field_list.h"
#include "kvx/csv.h"

#include <bit>

namespace {

// Line buffers keep 8,191 bytes of a line; a longer line takes the general path, which cuts it.
constexpr uint64_t kLongestLine = CQVCsvFormatReader::kCsvMaxLineLength;

}  // namespace

// A line that cannot be split in place goes to _ReadCopiedRecord().
LONG CQVCsvFormatReader::ReadNextRecord() {
    DESTINATION_BUFFER_INFO& buffer = m_readBuffer;
    const uint64_t available = buffer.length;
    if (available == 0 || m_skippingLongLine || m_recordLine.storage == nullptr) {
        return _ReadCopiedRecord();
    }
    char* const text = buffer.position;
    if (*text == '\r' || *text == '\n') {
        return _ReadCopiedRecord();
    }
    const char* const dataEnd = text + available;

    // The line ends at the first CR among the unread bytes, else at the first LF. When it is
    // not yet known whether a CR lies ahead, the scan looks for CR: one found within reach is
    // the first; none within all the unread bytes means that LF ends the line.
    const bool crKnown = m_nextCr != nullptr && m_nextCr >= text;
    char lineEnd = !crKnown && m_crFreeEnd != nullptr && m_crFreeEnd >= dataEnd ? '\n' : '\r';
    // The scan looks 64 bytes at a time from the line's start; the read buffer's padding
    // covers the last step. Bits past the unread bytes are dropped.
    const uint64_t reach = available < kLongestLine + 1 ? available : kLongestLine + 1;
    const char separator = m_separator;
    uint64_t* const words = m_separatorBits;
    uint64_t end = reach;
    for (;;) {
        for (uint64_t base = 0; base < reach; base += 64) {
            uint64_t separators = 0;
            uint64_t ends = KvxMatch2x64(text + base, lineEnd, separator, separators);
            words[base >> 6] = separators;
            if (reach - base < 64) {
                ends &= (uint64_t{1} << (reach - base)) - 1;
            }
            if (ends != 0) {
                end = base + static_cast<uint64_t>(std::countr_zero(ends));
                break;
            }
        }
        if (end != reach) {
            break;
        }
        if (lineEnd == '\n' || crKnown) {
            // Longer than a line buffer keeps, or not whole in the buffer.
            return _ReadCopiedRecord();
        }
        if (m_crFreeEnd == nullptr || m_crFreeEnd < text + reach) {
            m_crFreeEnd = text + reach;
        }
        if (reach < available) {
            // Whether a CR lies further on is for the general path to find.
            return _ReadCopiedRecord();
        }
        lineEnd = '\n';  // no CR among the unread bytes
    }

    // Consume the line and the line ends behind it before the split overwrites its end.
    const char* next = text + end + 1;
    while (next < dataEnd && (*next == '\r' || *next == '\n')) {
        ++next;
    }
    buffer.position += next - text;
    buffer.length = static_cast<uint64_t>(dataEnd - next);

    // The line end stands for the separator every line gets appended.
    const uint64_t lastWord = end >> 6;
    const uint64_t endBit = uint64_t{1} << (end & 63);
    words[lastWord] = (words[lastWord] & (endBit - 1)) | endBit;

    char** const items = m_recordFields.items;
    const uint64_t slots = m_recordFields.count;
    // Fields that do not begin with a quote end at the next separator: a bit count each.
    char** slot = items;
    char** const lastSlot = items + slots;
    char* field = text;
    char* wordStart = text;
    uint64_t word = 0;
    uint64_t bits = words[0];
    while (slot != lastSlot) {
        if (bits == 0) {
            if (word == lastWord) {
                break;  // the line's end was taken
            }
            bits = words[++word];
            wordStart += 64;
            continue;
        }
        if (*field == '"') {
            break;
        }
        char* const fieldEnd = wordStart + std::countr_zero(bits);
        bits &= bits - 1;
        *fieldEnd = 0;
        *slot++ = field;
        field = fieldEnd + 1;
    }
    uint64_t start = static_cast<uint64_t>(field - text);
    // From a field that begins with a quote on: separators up to its next quote belong to it,
    // and one that never closes runs to the end of the line.
    while (slot != lastSlot && start <= end) {
        char* piece = text + start;
        uint64_t fieldEnd = 0;
        if (*piece == '"') {
            const uint64_t close = KvxFindByte(text, start + 1, end, '"');
            fieldEnd = close == end ? end : KvxNextBit(words, close + 1, end + 1);
            text[fieldEnd] = 0;
            piece = _AdjustString(piece);
        } else {
            fieldEnd = KvxNextBit(words, start, end + 1);
            text[fieldEnd] = 0;
        }
        *slot++ = piece;
        start = fieldEnd + 1;
    }
    while (slot != lastSlot) {
        *slot++ = g_kvxCsvEmptyField;
    }
    m_inPlaceRecord = text;
    m_inPlaceBytes = end + 1;
    return KVX_CSV_S_OK;
}

// The general path: the line is copied into the record line buffer and split there.
LONG CQVCsvFormatReader::_ReadCopiedRecord() {
    const LONG status = _ReadNewLine(m_recordLine);
    if (status < 0) {
        return status;
    }
    m_inPlaceRecord = nullptr;
    _SeparateStrings(m_recordLine, m_recordFields, 0);
    return KVX_CSV_S_OK;
}

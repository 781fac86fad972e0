// csv_fields.cpp: splitting a line in place: the field-end scan, quote removal, and the
// splitting loop.
#include "csv/field_list.h"
#include "kvx/csv.h"

#include "csv/byte_scan.h"

#include <bit>
#include <cstring>

char g_kvxCsvEmptyField[1] = {0};

namespace {

// The separator positions of a line as a bit set, 64 bytes a word, taken in order. The
// current word stays in a register and each separator taken is cleared from it, so finding
// the next one is a bit count, not a reload.
class SeparatorBits {
public:
    explicit SeparatorBits(const uint64_t* words) : m_words(words), m_bits(words[0]) {}

    // Continue from `from` after a stretch scanned another way.
    void SkipTo(uint64_t from) {
        m_word = from >> 6;
        m_bits = m_words[m_word] & (~uint64_t{0} << (from & 63));
    }

    // The index of the next separator, which is then taken. The line's appended separator
    // guarantees there is one.
    uint64_t Take() {
        while (m_bits == 0) {
            m_bits = m_words[++m_word];
        }
        const uint64_t found = (m_word << 6) + static_cast<uint64_t>(std::countr_zero(m_bits));
        m_bits &= m_bits - 1;
        return found;
    }

private:
    const uint64_t* m_words;
    uint64_t m_word = 0;
    uint64_t m_bits;
};

}  // namespace

// Only a quote in a field's first byte protects separators, up to the field's next quote;
// after that the first separator ends the field. Doubled quotes get no special meaning.
uint64_t CQVCsvFormatReader::_FindNextStringEnd(char* text, uint64_t count) {
    if (count == 0) {
        return 0;
    }
    uint64_t from = 0;
    if (text[0] == '"') {
        const uint64_t close = KvxFindByte(text, 1, count, '"');
        if (close == count) {
            return 0;
        }
        from = close + 1;
    }
    const uint64_t end = KvxFindByte(text, from, count, m_separator);
    if (end == count) {
        return 0;
    }
    text[end] = 0;
    return end + 1;
}

char* CQVCsvFormatReader::_AdjustString(char* field) const {
    if (field[0] != '"') {
        return field;
    }
    ++field;
    const size_t length = std::strlen(field);
    if (length != 0 && field[length - 1] == '"') {
        field[length - 1] = 0;
    }
    return field;
}

// A record line copied by _CopyLine comes with bit sets of its separators and quotes, so a
// field costs a few bit operations; any other line (the header) takes the plain scan of
// _FindNextStringEnd and _AdjustString. Both give the same fields.
void CQVCsvFormatReader::_SeparateStrings(DESTINATION_BUFFER_INFO& line, FIELD_LIST& fields,
                                          int32_t mode) {
    char* const text = line.position;
    const uint64_t count = line.length;
    const bool marked = text == m_maskedLine && count != 0;
    m_maskedLine = nullptr;
    SeparatorBits separators(m_separatorBits);
    uint64_t slot = 0;
    uint64_t start = 0;
    while (start < count) {
        if (mode == 0 && slot == fields.count) {
            break;  // more fields than slots: the rest of the line is dropped
        }
        char* field = text + start;
        uint64_t used = 0;
        if (!marked) {
            used = _FindNextStringEnd(field, count - start);
            if (used == 0) {
                // A quote that never closes: the field ends at the end of the line.
                used = count - start;
                text[count - 1] = 0;
            }
            field = _AdjustString(field);
        } else if (*field == '"') {
            const uint64_t close = KvxNextBit(m_quoteBits, start + 1, count);
            uint64_t end = count - 1;  // a quote that never closes ends at the line's end
            if (close != count) {
                separators.SkipTo(close + 1);
                end = separators.Take();
            }
            text[end] = 0;
            used = end - start + 1;
            field = _AdjustString(field);
        } else {
            const uint64_t end = separators.Take();
            text[end] = 0;
            used = end - start + 1;
        }
        if (mode == 1) {
            KvxFieldListAppend(fields, field);
        } else {
            fields.items[slot] = field;
        }
        ++slot;
        start += used;
    }
    line.position += count;
    line.length = 0;
    if (mode == 0) {
        for (; slot < fields.count; ++slot) {
            fields.items[slot] = g_kvxCsvEmptyField;
        }
    }
}

// csv_fields.cpp: splitting a line in place: the field-end scan, quote removal, and the
// splitting loop.
#include "csv/field_list.h"
#include "kvx/csv.h"

#include <cstring>

char g_kvxCsvEmptyField[1] = {0};

// Only a quote in a field's first byte protects separators, up to the field's next quote;
// after that the first separator ends the field. Doubled quotes get no special meaning.
uint64_t CQVCsvFormatReader::_FindNextStringEnd(char* text, uint64_t count) {
    if (count == 0) {
        return 0;
    }
    char* from = text;
    if (text[0] == '"') {
        char* close = static_cast<char*>(std::memchr(text + 1, '"', count - 1));
        if (close == nullptr) {
            return 0;
        }
        from = close + 1;
    }
    char* end = static_cast<char*>(
        std::memchr(from, m_separator, static_cast<size_t>(text + count - from)));
    if (end == nullptr) {
        return 0;
    }
    *end = 0;
    return static_cast<uint64_t>(end - text) + 1;
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

void CQVCsvFormatReader::_SeparateStrings(DESTINATION_BUFFER_INFO& line, FIELD_LIST& fields,
                                          int32_t mode) {
    uint64_t slot = 0;
    while (line.length != 0) {
        if (mode == 0 && slot == fields.count) {
            // More fields than slots: the rest of the line is dropped.
            line.position += line.length;
            line.length = 0;
            break;
        }
        uint64_t used = _FindNextStringEnd(line.position, line.length);
        if (used == 0) {
            // A quote that never closes: the field ends at the end of the line.
            used = line.length;
            line.position[used - 1] = 0;
        }
        char* field = _AdjustString(line.position);
        if (mode == 1) {
            KvxFieldListAppend(fields, field);
        } else {
            fields.items[slot] = field;
        }
        ++slot;
        line.position += used;
        line.length -= used;
    }
    if (mode == 0) {
        for (; slot < fields.count; ++slot) {
            fields.items[slot] = g_kvxCsvEmptyField;
        }
    }
}

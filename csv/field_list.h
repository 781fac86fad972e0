// field_list.h: the reader's growable arrays of field pointers (FIELD_LIST), and the empty
// text that unfilled record slots point at.
#pragma once

#include <cstdint>
#include <cstring>

// The text of a field that a record did not fill. Never written.
extern char g_kvxCsvEmptyField[1];

// Appends a pointer, growing the array by doubling; throws std::bad_alloc when out of memory.
template <class List> void KvxFieldListAppend(List& list, char* item) {
    if (list.count == list.capacity) {
        const uint64_t capacity = list.capacity == 0 ? 16 : list.capacity * 2;
        char** items = new char*[capacity];
        if (list.count != 0) {
            std::memcpy(items, list.items, list.count * sizeof(char*));
        }
        delete[] list.items;
        list.items = items;
        list.capacity = capacity;
    }
    list.items[list.count++] = item;
}

// Sets the number of slots; new slots read as empty text.
template <class List> void KvxFieldListResize(List& list, uint64_t count) {
    while (list.count > count) {
        --list.count;
    }
    while (list.count < count) {
        KvxFieldListAppend(list, g_kvxCsvEmptyField);
    }
}

template <class List> void KvxFieldListFree(List& list) {
    delete[] list.items;
    list.items = nullptr;
    list.count = 0;
    list.capacity = 0;
}

// notifier.cpp: CQVNotifier, the list of windows that receive one message.
#include "kvx/logging.h"

#include "platform/win32.h"

#include <algorithm>
#include <new>

CQVNotifier::CQVNotifier() : _windows(nullptr), _count(0), _capacity(0) {}

CQVNotifier::CQVNotifier(const CQVNotifier& other) : _windows(nullptr), _count(0), _capacity(0) {
    if (other._count != 0) {
        _windows = new HWND[other._count];
        std::copy(other._windows, other._windows + other._count, _windows);
        _count = _capacity = other._count;
    }
}

CQVNotifier& CQVNotifier::operator=(const CQVNotifier& other) {
    if (this != &other) {
        CQVNotifier copy(other);
        std::swap(_windows, copy._windows);
        std::swap(_count, copy._count);
        std::swap(_capacity, copy._capacity);
    }
    return *this;
}

CQVNotifier::~CQVNotifier() {
    delete[] _windows;
}

void CQVNotifier::AddNotification(HWND window) {
    if (_count == _capacity) {
        const size_t capacity = _capacity == 0 ? 4 : _capacity * 2;
        HWND* grown = new HWND[capacity];
        std::copy(_windows, _windows + _count, grown);
        delete[] _windows;
        _windows = grown;
        _capacity = capacity;
    }
    _windows[_count++] = window;
}

void CQVNotifier::RemoveNotification(HWND window) {
    HWND* end = _windows + _count;
    HWND* found = std::find(_windows, end, window);
    if (found != end) {
        std::copy(found + 1, end, found);
        --_count;
    }
}

void CQVNotifier::PostNotification(unsigned int message, uint64_t wParam, int64_t lParam) const {
    const size_t count = _count;
    for (size_t i = 0; i < count; ++i) {
        PostMessageW(_windows[i], message, static_cast<WPARAM>(wParam),
                     static_cast<LPARAM>(lParam));
    }
}

void CQVNotifier::SendNotification(unsigned int message, uint64_t wParam, int64_t lParam) const {
    const size_t count = _count;
    for (size_t i = 0; i < count; ++i) {
        SendMessageW(_windows[i], message, static_cast<WPARAM>(wParam),
                     static_cast<LPARAM>(lParam));
    }
}

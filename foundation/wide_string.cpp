// wide_string.cpp: CWideString, wide text in a reference-counted block from the caching
// sub-allocator.
#include "kvx/foundation.h"

#include "platform/runtime/runtime_api.h"

#include <atomic>
#include <cwchar>
#include <new>

namespace {

struct BlockHeader {
    int32_t references;
    uint64_t capacity;
};
static_assert(sizeof(BlockHeader) == 16, "the characters start 16 bytes into the block");

// Requests beyond this many characters cannot be sized without overflow.
constexpr uint64_t kMaxRequest = (uint64_t(1) << 58);

BlockHeader* HeaderOf(wchar_t* text) {
    return reinterpret_cast<BlockHeader*>(reinterpret_cast<char*>(text) - sizeof(BlockHeader));
}

// A block for n characters, its count 1 and its text empty.
wchar_t* NewBlock(uint64_t n) {
    if (n > kMaxRequest) {
        throw std::bad_alloc();
    }
    const uint64_t capacity = 56 + 64 * ((2 * n + 18) / 128);
    void* raw =
        Concurrency::Alloc(static_cast<size_t>(sizeof(BlockHeader) + capacity * sizeof(wchar_t)));
    BlockHeader* header = new (raw) BlockHeader{1, capacity};
    wchar_t* text = reinterpret_cast<wchar_t*>(header + 1);
    text[0] = L'\0';
    return text;
}

void DropReference(wchar_t* text) {
    BlockHeader* header = HeaderOf(text);
    if (std::atomic_ref<int32_t>(header->references).fetch_sub(1, std::memory_order_acq_rel) == 1) {
        Concurrency::Free(header);
    }
}

}  // namespace

CWideString::CWideString(const wchar_t* text) : _text(nullptr) {
    if (text != nullptr) {
        const size_t length = std::wcslen(text);
        _text = NewBlock(length);
        std::wmemcpy(_text, text, length + 1);
    }
}

CWideString& CWideString::operator=(CWideString&& other) noexcept {
    if (this != &other) {
        Release();
        _text = other._text;
        other._text = nullptr;
    }
    return *this;
}

void CWideString::Release() noexcept {
    if (_text != nullptr) {
        DropReference(_text);
        _text = nullptr;
    }
}

uint64_t CWideString::GetCapacity() const {
    return _text != nullptr ? HeaderOf(_text)->capacity : 0;
}

uint64_t CWideString::GetLength() const {
    if (_text == nullptr) {
        return 0;
    }
    const uint64_t capacity = HeaderOf(_text)->capacity;
    const wchar_t* end = std::wmemchr(_text, L'\0', static_cast<size_t>(capacity));
    return end != nullptr ? static_cast<uint64_t>(end - _text) : 0;
}

void CWideString::Reserve(uint64_t n) {
    if (_text != nullptr && n <= HeaderOf(_text)->capacity) {
        return;
    }
    EnsureCapacity(n);
}

void CWideString::EnsureCapacity(uint64_t n) {
    if (_text != nullptr) {
        BlockHeader* header = HeaderOf(_text);
        if (std::atomic_ref<int32_t>(header->references).load(std::memory_order_acquire) <= 1 &&
            header->capacity > n) {
            return;
        }
    }
    wchar_t* text = NewBlock(n);
    if (_text != nullptr) {
        // The old text fits: the new block is at least as large unless n is smaller than the
        // text, in which case the text is cut to the new capacity.
        const uint64_t length = GetLength();
        const uint64_t keep =
            length < HeaderOf(text)->capacity ? length : HeaderOf(text)->capacity - 1;
        std::wmemcpy(text, _text, static_cast<size_t>(keep));
        text[keep] = L'\0';
        DropReference(_text);
    }
    _text = text;
}

void CWideString::AppendFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CWideString::AppendFormatV(const wchar_t* format, va_list args) {
    const uint64_t current = GetLength();
    va_list again;
    va_copy(again, args);
    int measured;
    const uint64_t room = _text != nullptr ? HeaderOf(_text)->capacity - current - 1 : 0;
    if (room != 0) {
        // The bound leaves the block's last character unused, as the growth rule expects.
        measured = KvxFormatWideV(_text + current, static_cast<size_t>(room), format, args);
        if (measured >= 0 && static_cast<uint64_t>(measured) < room) {
            va_end(again);
            return;
        }
    } else {
        measured = KvxFormatWideV(nullptr, 0, format, args);
    }
    if (measured < 0) {
        if (_text != nullptr) {
            _text[current] = L'\0';
        }
        va_end(again);
        return;
    }
    if (_text != nullptr) {
        _text[current] = L'\0';  // drop the cut attempt before the text may move
    }
    EnsureCapacity(static_cast<uint64_t>(measured) + current);
    KvxFormatWideV(_text + current, static_cast<size_t>(measured) + 1, format, again);
    va_end(again);
}

void CWideString::Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CWideString::FormatV(const wchar_t* format, va_list args) {
    if (_text != nullptr) {
        _text[0] = L'\0';
    }
    AppendFormatV(format, args);
}

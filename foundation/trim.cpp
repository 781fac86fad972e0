// trim.cpp: TrimTrailingSpace in its narrow and wide forms.
#include "kvx/foundation.h"

#include <cstring>
#include <cwchar>

namespace {
template <typename Char> bool IsTrimmedSpace(Char c) {
    return c == Char(9) || c == Char(10) || c == Char(13) || c == Char(32);
}

template <typename Char> Char* TrimImpl(Char* text, size_t length) {
    while (length > 0 && IsTrimmedSpace(text[length - 1])) {
        text[--length] = Char(0);
    }
    return text;
}
}  // namespace

char* TrimTrailingSpace(char* text) {
    return text == nullptr ? text : TrimImpl(text, std::strlen(text));
}

wchar_t* TrimTrailingSpace(wchar_t* text) {
    return text == nullptr ? text : TrimImpl(text, std::wcslen(text));
}

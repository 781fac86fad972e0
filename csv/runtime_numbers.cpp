// runtime_numbers.cpp: atoi-style conversions with saturation instead of overflow.
#include "csv/runtime_numbers.h"

#include <cstdlib>
#include <limits>

namespace {

bool IsRuntimeSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Returns the value clamped to [low, high]. The magnitude grows in 64 bits without a check
// while it is far from any limit, so the usual short number costs a multiply and an add a
// digit; near a limit each step is checked exactly.
template <int64_t low, int64_t high> int64_t ParseSaturating(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const char* p = text;
    bool negative = false;
    if (static_cast<unsigned char>(*p) - unsigned{'0'} > 9u) {  // most fields begin with a digit
        while (IsRuntimeSpace(*p)) {
            ++p;
        }
        negative = *p == '-';
        if (*p == '-' || *p == '+') {
            ++p;
        }
    }
    constexpr uint64_t kHighMagnitude = static_cast<uint64_t>(high);
    constexpr uint64_t kLowMagnitude = static_cast<uint64_t>(-(low + 1)) + 1u;
    // Below this, ten times the magnitude plus a digit stays below both limits.
    constexpr uint64_t kUnchecked = (kHighMagnitude - 9u) / 10u;
    const uint64_t limit = negative ? kLowMagnitude : kHighMagnitude;
    uint64_t magnitude = 0;
    for (unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'}; digit <= 9u;
         digit = static_cast<unsigned char>(*++p) - unsigned{'0'}) {
        if (magnitude >= kUnchecked && magnitude > (limit - digit) / 10u) {
            return negative ? low : high;
        }
        magnitude = magnitude * 10u + digit;
    }
    if (negative) {
        return magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1u) - 1;
    }
    return static_cast<int64_t>(magnitude);
}

}  // namespace

int32_t KvxAtoi32(const char* text) {
    return static_cast<int32_t>(
        ParseSaturating<std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()>(
            text));
}

int64_t KvxAtoi64(const char* text) {
    return ParseSaturating<std::numeric_limits<int64_t>::min(),
                           std::numeric_limits<int64_t>::max()>(text);
}

double KvxAtof(const char* text) {
    return text == nullptr ? 0.0 : std::strtod(text, nullptr);
}

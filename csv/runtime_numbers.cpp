// runtime_numbers.cpp: atoi-style conversions with saturation instead of overflow.
#include "csv/runtime_numbers.h"

#include <cstdlib>
#include <limits>

namespace {

bool IsRuntimeSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Returns the value clamped to [low, high].
int64_t ParseSaturating(const char* text, int64_t low, int64_t high) {
    if (text == nullptr) {
        return 0;
    }
    const char* p = text;
    while (IsRuntimeSpace(*p)) {
        ++p;
    }
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    // Accumulate the magnitude as unsigned; stop growing once it passes the limit.
    const uint64_t limit =
        negative ? static_cast<uint64_t>(-(low + 1)) + 1u : static_cast<uint64_t>(high);
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (!overflow) {
            if (magnitude > (limit - digit) / 10u) {
                overflow = true;
            } else {
                magnitude = magnitude * 10u + digit;
            }
        }
    }
    if (overflow) {
        return negative ? low : high;
    }
    if (negative) {
        return magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1u) - 1;
    }
    return static_cast<int64_t>(magnitude);
}

}  // namespace

int32_t KvxAtoi32(const char* text) {
    return static_cast<int32_t>(ParseSaturating(text, std::numeric_limits<int32_t>::min(),
                                                std::numeric_limits<int32_t>::max()));
}

int64_t KvxAtoi64(const char* text) {
    return ParseSaturating(text, std::numeric_limits<int64_t>::min(),
                           std::numeric_limits<int64_t>::max());
}

double KvxAtof(const char* text) {
    return text == nullptr ? 0.0 : std::strtod(text, nullptr);
}

// byte_scan.h: 16- and 64-byte-wide compares for the CSV reader's scans (SSE2 where the
// compiler targets it, plain loops elsewhere), and searches built on them. Callers make sure
// the bytes a step loads are readable (and, for the copy, writable): the reader's buffers carry
// padding behind their capacity.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KVX_CSV_SSE2 1
#else
#define KVX_CSV_SSE2 0
#endif

// Bit i set where p[i] == c, for i in 0..15.
inline uint32_t KvxMatch16(const char* p, char c) {
#if KVX_CSV_SSE2
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(c))));
#else
    uint32_t bits = 0;
    for (int i = 0; i < 16; ++i) {
        bits |= static_cast<uint32_t>(p[i] == c) << i;
    }
    return bits;
#endif
}

// Copies 16 bytes from `from` to `to`; returns the mask of bytes equal to `a` and stores the
// mask of bytes equal to `b` in `bBits`.
inline uint32_t KvxCopyMatch2x16(char* to, const char* from, char a, char b, uint32_t& bBits) {
#if KVX_CSV_SSE2
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), chunk);
    bBits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(b))));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(a))));
#else
    std::memcpy(to, from, 16);
    bBits = KvxMatch16(to, b);
    return KvxMatch16(to, a);
#endif
}

// Bit i set where p[i] == a, for i in 0..63; the mask of bytes equal to `b` goes to `bBits`.
inline uint64_t KvxMatch2x64(const char* p, char a, char b, uint64_t& bBits) {
#if KVX_CSV_SSE2
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    uint64_t aBits = 0;
    uint64_t bits = 0;
    for (unsigned i = 0; i < 64; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        aBits |= static_cast<uint64_t>(
                     static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, va))))
                 << i;
        bits |= static_cast<uint64_t>(
                    static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, vb))))
                << i;
    }
    bBits = bits;
    return aBits;
#else
    uint64_t aBits = 0;
    uint64_t bits = 0;
    for (unsigned i = 0; i < 64; ++i) {
        aBits |= static_cast<uint64_t>(p[i] == a) << i;
        bits |= static_cast<uint64_t>(p[i] == b) << i;
    }
    bBits = bits;
    return aBits;
#endif
}

// The index of the first `c` in text[from, count), or count if there is none. The 16-byte
// loads may look up to 15 bytes past `count`; what they see there is ignored.
inline uint64_t KvxFindByte(const char* text, uint64_t from, uint64_t count, char c) {
    for (uint64_t i = from; i < count; i += 16) {
        const uint32_t bits = KvxMatch16(text + i, c);
        if (bits != 0) {
            const uint64_t found = i + static_cast<uint64_t>(std::countr_zero(bits));
            return found < count ? found : count;
        }
    }
    return count;
}

// The index of the first set bit at or after `from` in a bit set of `count` bits (64 a word),
// or count.
inline uint64_t KvxNextBit(const uint64_t* words, uint64_t from, uint64_t count) {
    if (from >= count) {
        return count;
    }
    uint64_t word = from >> 6;
    const uint64_t lastWord = (count - 1) >> 6;
    uint64_t bits = words[word] & (~uint64_t{0} << (from & 63));
    while (bits == 0) {
        if (++word > lastWord) {
            return count;
        }
        bits = words[word];
    }
    const uint64_t found = (word << 6) + static_cast<uint64_t>(std::countr_zero(bits));
    return found < count ? found : count;
}

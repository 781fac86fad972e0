// byte_scan.h: 16-byte-wide compares for the CSV reader's scans (SSE2 where the compiler
// targets it, plain loops elsewhere). Callers make sure 16 bytes are readable (and, for the
// copy, writable) at each address: the reader's buffers carry padding behind their capacity.
#pragma once

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

// Copies 16 bytes from `from` to `to` and returns KvxMatch16 of them.
inline uint32_t KvxCopyMatch16(char* to, const char* from, char c) {
#if KVX_CSV_SSE2
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), chunk);
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(c))));
#else
    std::memcpy(to, from, 16);
    return KvxMatch16(to, c);
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

// As KvxCopyMatch2x16, with a third byte `c` whose mask goes to `cBits`.
inline uint32_t KvxCopyMatch3x16(char* to, const char* from, char a, char b, char c,
                                 uint32_t& bBits, uint32_t& cBits) {
#if KVX_CSV_SSE2
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), chunk);
    bBits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(b))));
    cBits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(c))));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(a))));
#else
    std::memcpy(to, from, 16);
    bBits = KvxMatch16(to, b);
    cBits = KvxMatch16(to, c);
    return KvxMatch16(to, a);
#endif
}

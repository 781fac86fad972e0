// line_scan.h: one pass over one line of the XML dialect, giving everything the node reader
// needs from it: where the line ends, whether it is a value line, its name and its value text.
//
// It gives the same results as the line break search, the "<" count, the name scan and the
// value scan done one after another, but looks at each byte once, 16 bytes at a time where the
// compiler targets SSE2. Wide reads stay inside a stretch of the text already known to hold no
// zero byte (TextBound), so nothing past the terminating zero is ever read.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KVX_XML_SSE2 1
#else
#define KVX_XML_SSE2 0
#endif

namespace kvx::xml {

// HT, LF, VT, FF, CR and space; bytes of 0x80 and above never count.
constexpr bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool IsBreak(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

// The stretch of the text before `limit` holds no zero byte. It grows in steps that double up
// to 64 KiB, so a reader pays for what it reads (plus 256 bytes), however short its part.
struct TextBound {
    char* limit;
    size_t step = 256;
    bool atEnd = false;  // *limit is the text's terminating zero

    // Moves `limit` on; false once the terminating zero is known.
    bool Extend() {
        if (atEnd) {
            return false;
        }
        // memchr stops at the zero, so it never reads past the text.
        if (const void* zero = std::memchr(limit, 0, step)) {
            limit += static_cast<const char*>(zero) - limit;
            atEnd = true;
        } else {
            limit += step;
            step = std::min<size_t>(step * 2, size_t{1} << 16);
        }
        return true;
    }
};

#if KVX_XML_SSE2
template <char First, char... Rest> inline __m128i Hits(__m128i chunk) {
    const __m128i hits = _mm_cmpeq_epi8(chunk, _mm_set1_epi8(First));
    if constexpr (sizeof...(Rest) == 0) {
        return hits;
    } else {
        return _mm_or_si128(hits, Hits<Rest...>(chunk));
    }
}
#endif

// Bit i set where p[i] is one of `Set`, for i in 0..15.
template <char... Set> inline uint32_t Match16(const char* p) {
#if KVX_XML_SSE2
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<uint32_t>(_mm_movemask_epi8(Hits<Set...>(chunk)));
#else
    uint32_t bits = 0;
    for (int i = 0; i < 16; ++i) {
        bits |= static_cast<uint32_t>(((p[i] == Set) || ...)) << i;
    }
    return bits;
#endif
}

// Bit i set where p[i] is whitespace (HT, LF, VT, FF, CR, space), for i in 0..15.
inline uint32_t Space16(const char* p) {
#if KVX_XML_SSE2
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i fromTab = _mm_sub_epi8(chunk, _mm_set1_epi8('\t'));
    const __m128i controls = _mm_cmpeq_epi8(_mm_min_epu8(fromTab, _mm_set1_epi8(4)), fromTab);
    const __m128i blanks = _mm_cmpeq_epi8(chunk, _mm_set1_epi8(' '));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(controls, blanks)));
#else
    uint32_t bits = 0;
    for (int i = 0; i < 16; ++i) {
        bits |= static_cast<uint32_t>(IsSpace(p[i])) << i;
    }
    return bits;
#endif
}

// The first byte at or after `p` that is one of `Set` or ends the text. CR and LF are always
// in `Set`, so the search never leaves the line.
template <char... Set> inline char* Find(char* p, TextBound& bound) {
    for (;;) {
        while (p + 16 <= bound.limit) {
            if (const uint32_t bits = Match16<Set...>(p)) {
                return p + std::countr_zero(bits);
            }
            p += 16;
        }
        if (!bound.Extend()) {
            break;
        }
    }
    while (*p != '\0' && ((*p != Set) && ...)) {
        ++p;
    }
    return p;
}

struct ScannedLine {
    char* name = nullptr;      // first byte of the name; null when the name scan found none
    char* nameEnd = nullptr;   // the ">" that ends the name
    char* valueEnd = nullptr;  // value line with a name: the "<" (or line end) ending the text
    char* lineEnd = nullptr;   // the CR, LF or zero byte that ends the line
    char* next = nullptr;      // if known: the first non-whitespace byte after the break
    bool valueLine = false;    // the line holds two or more "<"
};

// The bits below the lowest set bit of `bits`.
constexpr uint64_t Below(uint64_t bits) {
    return (bits & (~bits + 1)) - 1;
}

// The marks the node reader needs of 64 bytes, bit i for byte i.
struct Marks64 {
    uint64_t breaks = 0;  // CR, LF
    uint64_t opens = 0;   // "<"
    uint64_t stops = 0;   // ">" and "/"
    uint64_t spaces = 0;  // HT, LF, VT, FF, CR, space
};

// The marks of the 64 bytes at `p`, which must all be readable.
inline Marks64 Classify64(const char* p) {
    Marks64 m;
    for (int k = 0; k < 64; k += 16) {
        m.breaks |= uint64_t{Match16<'\r', '\n'>(p + k)} << k;
        m.opens |= uint64_t{Match16<'<'>(p + k)} << k;
        m.stops |= uint64_t{Match16<'>', '/'>(p + k)} << k;
        m.spaces |= uint64_t{Space16(p + k)} << k;
    }
    return m;
}

// Classifies the text in 64-byte blocks as the reader moves forward through it, each byte once,
// and hands out the marks of the 64 bytes starting at any line. Lines are short, so looking at
// 64 bytes from each line's start would classify most bytes several times over.
//
// The text may be written to behind the reader (zero bytes over breaks and name ends): marks of
// bytes before the position asked for are never used again.
class MarkWindow {
public:
    // The marks of the 64 bytes at `p`. False when they do not all lie in the stretch known to
    // hold no zero byte (near the text's end); the caller then scans byte by byte.
    bool At(char* p, TextBound& bound, Marks64& m) {
        if (_base == nullptr || p < _base || p - _base >= 128) {
            if (!Covered(p + 128, bound)) {
                return false;
            }
            _base = p;
            _first = Classify64(p);
            _second = Classify64(p + 64);
        } else if (p - _base >= 64) {
            if (!Covered(_base + 192, bound)) {
                return false;
            }
            _base += 64;
            _first = _second;
            _second = Classify64(_base + 64);
        }
        const unsigned offset = static_cast<unsigned>(p - _base);
        if (offset == 0) {
            m = _first;
        } else {
            const auto join = [offset](uint64_t low, uint64_t high) {
                return (low >> offset) | (high << (64 - offset));
            };
            m.breaks = join(_first.breaks, _second.breaks);
            m.opens = join(_first.opens, _second.opens);
            m.stops = join(_first.stops, _second.stops);
            m.spaces = join(_first.spaces, _second.spaces);
        }
        return true;
    }

private:
    // Whether the bytes before `end` are known to hold no zero byte, extending the bound as far
    // as needed.
    static bool Covered(const char* end, TextBound& bound) {
        while (bound.limit < end) {
            if (!bound.Extend()) {
                return false;
            }
        }
        return true;
    }

    char* _base = nullptr;  // start of the first classified block
    Marks64 _first;         // marks of [_base, _base + 64)
    Marks64 _second;        // marks of [_base + 64, _base + 128)
};

// The common case: a line that ends within the 64 bytes at `line`, whose marks are `m`. The
// name scan, the "<" count and the value scan become bit arithmetic on the marks. False (with
// `s` untouched) when the line may be longer; the byte-by-byte scan then takes it.
inline bool ScanShortLine(char* line, const Marks64& m, ScannedLine& s) {
    const uint64_t breaks = m.breaks;
    if (breaks == 0) {
        return false;
    }
    const uint64_t onLine = Below(breaks);
    const uint64_t opens = m.opens & onLine;
    // Bytes before the first "<" are rare (a line starts at its first non-whitespace byte)
    // and a "/" among them would matter: the byte-by-byte scan takes such lines.
    if (opens != 0 && (opens & 1) == 0) {
        return false;
    }
    const int lineEnd = std::countr_zero(breaks);
    s.lineEnd = line + lineEnd;
    // The next line's start, when it stands in the window too (the break itself is a space).
    if (const uint64_t text = ~m.spaces & ~onLine) {
        s.next = line + std::countr_zero(text);
    }
    const bool twoOpens = (opens & (opens - 1)) != 0;
    if (opens == 0) {
        return true;  // no "<": a tag line without a name
    }
    // The name ends at the first ">" after the "<"; a "/" before it means there is no name.
    const uint64_t nameStops = m.stops & onLine & ~uint64_t{1};
    if (nameStops == 0 || line[std::countr_zero(nameStops)] == '/') {
        s.valueLine = twoOpens;  // no ">" after the "<", or a "/" before it: no name
        return true;
    }
    // Positions are below the break's, at most 62, so the shifts stay in range.
    const int nameEnd = std::countr_zero(nameStops);
    s.name = line + 1;
    s.nameEnd = line + nameEnd;
    const uint64_t textOpens = opens & ~((uint64_t{2} << nameEnd) - 1);
    if (textOpens != 0) {
        s.valueLine = true;
        s.valueEnd = line + std::countr_zero(textOpens);
    } else if (twoOpens) {
        s.valueLine = true;
        s.valueEnd = s.lineEnd;
    }
    return true;
}

// The byte-by-byte scan of the line at `line`, for lines the marks do not cover.
inline ScannedLine ScanLongLine(char* line, TextBound& bound) {
    ScannedLine s;
    int opens = 0;
    // Before the first "<": a ">" is ignored, a "/" means the line has no name.
    char* p = Find<'<', '/', '\r', '\n'>(line, bound);
    if (*p == '<') {
        opens = 1;
        char* const name = ++p;
        // The name: a later "<" counts but does not move its start.
        while (*(p = Find<'>', '/', '<', '\r', '\n'>(p, bound)) == '<') {
            opens = 2;
            ++p;
        }
        if (*p == '>') {
            s.name = name;
            s.nameEnd = p;
            // The value text runs to the next "<", which also makes this a value line.
            p = Find<'<', '\r', '\n'>(p + 1, bound);
            if (*p == '<') {
                s.valueLine = true;
                s.valueEnd = p;
                s.lineEnd = Find<'\r', '\n'>(p + 1, bound);
            } else {
                s.lineEnd = p;
                if (opens >= 2) {
                    s.valueLine = true;
                    s.valueEnd = p;
                }
            }
            return s;
        }
    }
    if (IsBreak(*p)) {
        s.lineEnd = p;
        s.valueLine = opens >= 2;
        return s;
    }
    // A "/" came before the name's ">": no name. Only the count of "<" and the break remain.
    while (opens < 2) {
        p = Find<'<', '\r', '\n'>(p, bound);
        if (*p != '<') {
            s.lineEnd = p;
            return s;
        }
        ++opens;
        ++p;
    }
    s.valueLine = true;
    s.lineEnd = Find<'\r', '\n'>(p, bound);
    return s;
}

// Scans the line starting at `line` (its first non-whitespace byte). Writes nothing. `window`
// is the reader's, moving forward with it.
inline ScannedLine ScanLine(char* line, TextBound& bound, MarkWindow& window) {
    ScannedLine s;
    Marks64 marks;
    if (window.At(line, bound, marks) && ScanShortLine(line, marks, s)) {
        return s;
    }
    return ScanLongLine(line, bound);
}

// Ends the line (writing a zero over its break) and returns the first non-whitespace byte
// after it, or null when the text ends first.
inline char* NextLineStart(const ScannedLine& s) {
    char* const lineEnd = s.lineEnd;
    if (*lineEnd == '\0') {
        return nullptr;
    }
    *lineEnd = '\0';
    if (s.next != nullptr) {
        return s.next;
    }
    char* p = lineEnd + 1;
    while (IsSpace(*p)) {
        ++p;
    }
    return *p != '\0' ? p : nullptr;
}

// The level of a node read below one whose children get `level`: one more, wrapping at the
// 32-bit limit instead of overflowing.
inline int NextLevel(int level) {
    return static_cast<int>(static_cast<uint32_t>(level) + 1u);
}

}  // namespace kvx::xml

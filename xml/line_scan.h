// line_scan.h: one pass over one line of the XML dialect, giving everything the node reader
// needs from it: where the line ends, whether it is a value line, its name and its value text.
//
// It gives the same results as the line break search, the "<" count, the name scan and the
// value scan done one after another, but looks at each byte once. The text is zero-terminated;
// the scan stops at the first CR, LF or zero byte and never reads past it.
#pragma once

#include <array>
#include <cstdint>

namespace kvx::xml {

enum ByteClass : uint8_t { kPlain, kBreak, kOpen, kClose, kSlash };

constexpr std::array<uint8_t, 256> MakeByteClasses() {
    std::array<uint8_t, 256> classes{};
    classes['\0'] = kBreak;
    classes['\r'] = kBreak;
    classes['\n'] = kBreak;
    classes['<'] = kOpen;
    classes['>'] = kClose;
    classes['/'] = kSlash;
    return classes;
}
inline constexpr std::array<uint8_t, 256> kByteClass = MakeByteClasses();

// HT, LF, VT, FF, CR and space; bytes of 0x80 and above never count.
constexpr bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline uint8_t ClassOf(const char* p) {
    return kByteClass[static_cast<unsigned char>(*p)];
}

struct ScannedLine {
    char* name = nullptr;      // first byte of the name; null when the name scan found none
    char* nameEnd = nullptr;   // the ">" that ends the name
    char* valueEnd = nullptr;  // value line with a name: the "<" (or line end) ending the text
    char* lineEnd = nullptr;   // the CR, LF or zero byte that ends the line
    bool valueLine = false;    // the line holds two or more "<"
};

// Scans the line starting at `line` (its first non-whitespace byte). Writes nothing.
inline ScannedLine ScanLine(char* line) {
    ScannedLine s;
    char* p = line;
    int opens = 0;
    uint8_t k;

    // Before the first "<": a ">" is ignored, a "/" means the line has no name.
    while ((k = ClassOf(p)) == kPlain || k == kClose) {
        ++p;
    }
    if (k == kBreak) {
        s.lineEnd = p;
        return s;
    }
    if (k == kOpen) {
        opens = 1;
        char* const name = ++p;
        // The name: a later "<" counts but does not move its start.
        while ((k = ClassOf(p)) == kPlain || k == kOpen) {
            opens += (k == kOpen && opens < 2);
            ++p;
        }
        if (k == kBreak) {
            s.lineEnd = p;
            s.valueLine = opens >= 2;
            return s;
        }
        if (k == kClose) {
            s.name = name;
            s.nameEnd = p++;
            // The value text runs to the next "<", which also makes this a value line.
            while ((k = ClassOf(p)) != kBreak && k != kOpen) {
                ++p;
            }
            if (k == kBreak) {
                s.lineEnd = p;
                if (opens >= 2) {
                    s.valueLine = true;
                    s.valueEnd = p;
                }
                return s;
            }
            s.valueLine = true;
            s.valueEnd = p++;
            while (ClassOf(p) != kBreak) {
                ++p;
            }
            s.lineEnd = p;
            return s;
        }
    }
    // A "/" came before the name's ">": no name. Only the count of "<" and the break remain.
    for (; opens < 2; ++p) {
        k = ClassOf(p);
        if (k == kBreak) {
            s.lineEnd = p;
            return s;
        }
        opens += k == kOpen;
    }
    s.valueLine = true;
    while (ClassOf(p) != kBreak) {
        ++p;
    }
    s.lineEnd = p;
    return s;
}

// Ends the line at `lineEnd` (writing a zero over its break) and returns the first
// non-whitespace byte after it, or null when the text ends first.
inline char* NextLineStart(char* lineEnd) {
    if (*lineEnd == '\0') {
        return nullptr;
    }
    *lineEnd = '\0';
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

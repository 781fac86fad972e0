// xml_line_scan_test.cpp: the reader's two ways of scanning a line (bit marks of 64-byte blocks
// classified ahead, and byte by byte) must agree on every line, wherever the line lies relative
// to the blocks and to the end of the text.
#include "xml/line_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using namespace kvx::xml;

// Texts of lines made of the bytes the scan cares about, at lengths around the 64-byte window
// and the 128 bytes classified at a time.
std::string RandomText(std::mt19937& rng, size_t lines) {
    static constexpr char kBytes[] = "<<<>>>//ab \t\t\r\n\v\f";
    std::string text;
    for (size_t i = 0; i < lines; ++i) {
        const size_t length = rng() % 4 == 0 ? rng() % 200 : rng() % 40;
        for (size_t k = 0; k < length; ++k) {
            text += kBytes[rng() % (sizeof kBytes - 1)];
        }
        text += rng() % 3 == 0 ? "\r\n" : "\n";
        text.append(rng() % 8, '\t');
    }
    return text;
}

// Walks every line of `text` as the node reader does and returns each scan's findings as
// offsets, through the marks when `useMarks`, else byte by byte.
std::vector<std::vector<ptrdiff_t>> Walk(std::string text, bool useMarks) {
    std::vector<std::vector<ptrdiff_t>> found;
    char* const base = text.data();
    const auto at = [base](const char* p) { return p == nullptr ? -1 : p - base; };
    char* line = base;
    while (IsSpace(*line)) {
        ++line;
    }
    TextBound bound{line};
    MarkWindow window;
    while (line != nullptr && *line != '\0') {
        const ScannedLine s = useMarks ? ScanLine(line, bound, window) : ScanLongLine(line, bound);
        // Writes as the reader does, ahead of the marks already classified.
        if (s.valueLine && s.name != nullptr) {
            *s.nameEnd = '\0';
            *s.valueEnd = '\0';
        }
        char* const next = NextLineStart(s);
        found.push_back({at(line), at(s.name), at(s.nameEnd), at(s.valueEnd), at(s.lineEnd),
                         at(next), s.valueLine});
        line = next;
    }
    return found;
}

TEST(XmlLineScan, MarksAndBytesAgreeOnEveryLine) {
    std::mt19937 rng(4711);
    for (int round = 0; round < 300; ++round) {
        const std::string text = RandomText(rng, 1 + rng() % 60);
        ASSERT_EQ(Walk(text, true), Walk(text, false)) << "round " << round;
    }
}

}  // namespace

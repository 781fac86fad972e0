// xml_parser_fuzz.cpp: AssignInputData on any bytes never crashes, hangs or reads past the text,
// and gives exactly the tree of a plain, line-by-line reading of the dialect's rules.
#include "kvx/xml.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The lines of the text: each starts at a non-whitespace byte and ends before CR or LF.
std::vector<std::string> Lines(const std::string& text) {
    const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::vector<std::string> lines;
    size_t i = 0;
    for (;;) {
        while (i < text.size() && space(text[i])) {
            ++i;
        }
        if (i == text.size()) {
            return lines;
        }
        const size_t end = text.find_first_of("\r\n", i);
        lines.push_back(text.substr(i, end == std::string::npos ? std::string::npos : end - i));
        if (end == std::string::npos) {
            return lines;
        }
        i = end + 1;
    }
}

// The name scan; `after` is the index after the name's ">".
bool NameOf(const std::string& line, std::string& name, size_t& after) {
    size_t start = std::string::npos;
    for (size_t k = 0; k < line.size(); ++k) {
        if (line[k] == '/') {
            return false;
        }
        if (line[k] == '<' && start == std::string::npos) {
            start = k + 1;
        } else if (line[k] == '>' && start != std::string::npos) {
            name = line.substr(start, k - start);
            after = k + 1;
            return true;
        }
    }
    return false;
}

bool IsValueLine(const std::string& line) {
    const size_t first = line.find('<');
    return first != std::string::npos && line.find('<', first + 1) != std::string::npos;
}

int Next(int level) {
    return static_cast<int>(static_cast<uint32_t>(level) + 1u);
}

void Reference(XML_NODE& root, const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    size_t i = 0;
    while (i < lines.size()) {
        const std::string& line = lines[i++];
        std::string name;
        size_t after = 0;
        if (line.find("<?xml ") != std::string::npos || IsValueLine(line) ||
            !NameOf(line, name, after)) {
            continue;
        }
        root.name = name;
        struct Open {
            XML_NODE* node;
            int childLevel;
        };
        std::vector<Open> open{{&root, Next(root.level)}};
        while (i < lines.size() && !open.empty()) {
            const std::string& l = lines[i++];
            const bool named = NameOf(l, name, after);
            if (IsValueLine(l)) {
                if (named) {
                    const size_t end = l.find('<', after);
                    open.back().node->values.push_back(
                        {name, l.substr(after, end == std::string::npos ? end : end - after)});
                }
            } else if (!named || name.empty()) {
                open.pop_back();
            } else {
                Open& top = open.back();
                top.node->children.emplace_back(top.childLevel, name);
                open.push_back({&top.node->children.back(), Next(top.childLevel)});
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> buffer(data, data + size);
    buffer.push_back('\0');
    const std::string text(buffer.data());  // up to the first zero byte

    CQVXmlFormat doc;
    const XML_NODE* root = doc.AssignInputData(buffer.data());
    if (text.size() < 20) {
        if (root != nullptr) {
            std::abort();
        }
        return 0;
    }
    XML_NODE expected;
    Reference(expected, text);
    if (root == nullptr || !(*root == expected)) {
        std::abort();
    }
    return 0;
}

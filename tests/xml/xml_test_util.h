// xml_test_util.h: a compact text form of a tree, for expectations written as literals.
#pragma once

#include "kvx/xml.h"

#include <string>
#include <vector>

// "name:level{value=text;value=text}[child,child]"; empty braces and brackets are left out.
// Recursive: for the small trees of hand-written cases only.
inline void DumpTo(std::string& out, const XML_NODE& node) {
    out.append(node.name).append(":").append(std::to_string(node.level));
    if (!node.values.empty()) {
        out += '{';
        for (size_t i = 0; i < node.values.size(); ++i) {
            out.append(i ? ";" : "").append(node.values[i].name).append("=");
            out.append(node.values[i].value);
        }
        out += '}';
    }
    if (!node.children.empty()) {
        out += '[';
        for (size_t i = 0; i < node.children.size(); ++i) {
            out.append(i ? "," : "");
            DumpTo(out, node.children[i]);
        }
        out += ']';
    }
}

inline std::string Dump(const XML_NODE& node) {
    std::string out;
    DumpTo(out, node);
    return out;
}

// Parses a copy of `text` into `doc`; "null" when refused, else the dump of the root.
inline std::string ParseInto(CQVXmlFormat& doc, const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const XML_NODE* root = doc.AssignInputData(buffer.data());
    return root != nullptr ? Dump(*root) : "null";
}

inline std::string Parse(const std::string& text) {
    CQVXmlFormat doc;
    return ParseInto(doc, text);
}

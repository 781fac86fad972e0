// xml_roundtrip_fuzz.cpp: a tree read from any bytes, trimmed to what the dialect can carry,
// saves to a file and loads back unchanged.
//
// A parsed tree already has levels by depth and no "<", ">", "/", CR or LF where they would
// break a line. What remains to trim: "<" in value names (a value line may hold one there) and
// an empty root name (an empty root saves as the header alone).
#include "kvx/xml.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void Trim(XML_NODE& root) {
    if (root.name.empty()) {
        root.name = "r";
    }
    std::vector<XML_NODE*> pending{&root};
    while (!pending.empty()) {
        XML_NODE* node = pending.back();
        pending.pop_back();
        for (XML_VALUE& value : node->values) {
            std::erase(value.name, '<');
        }
        for (XML_NODE& child : node->children) {
            pending.push_back(&child);
        }
    }
}

const std::wstring& FilePath() {
    static const std::wstring path =
        (std::filesystem::temp_directory_path() /
         ("kvx_xml_roundtrip_fuzz_" + std::to_string(getpid()) + ".xml"))
            .wstring();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> buffer(data, data + size);
    buffer.push_back('\0');
    CQVXmlFormat doc;
    XML_NODE* root = doc.AssignInputData(buffer.data());
    if (root == nullptr) {
        return 0;
    }
    Trim(*root);
    if (doc.SaveFile(FilePath().c_str()) != 0) {
        std::abort();
    }
    CQVXmlFormat loaded;
    const XML_NODE* back = loaded.LoadFile(FilePath().c_str());
    if (back == nullptr || !(*back == *root)) {
        std::abort();
    }
    return 0;
}

// writer.cpp: SaveFile and the line writers: the header, then one write per tag line and per
// leaf element line, tab-indented by each node's stored level, CR LF breaks.
//
// Each line is built in one buffer reused for the whole save and handed to one WriteFile call;
// nothing beyond one line is buffered. Nesting is followed with an explicit stack, so depth
// costs heap, not machine stack.
#include "kvx/xml.h"

#include "platform/win32.h"

#include <cstring>
#include <limits>

namespace {

constexpr char kHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
static_assert(sizeof(kHeader) - 1 == 40);

struct FileCloser {
    HANDLE file;
    ~FileCloser() { CloseHandle(file); }
};

// Room for a line of `size` bytes at the start of `line`. The buffer only grows, so after the
// first few lines no line costs an allocation or a fill.
char* LineRoom(std::string& line, size_t size) {
    if (line.size() < size) {
        line.resize(size);
    }
    return line.data();
}

char* Put(char* to, const char* from, size_t count) {
    std::memcpy(to, from, count);
    return to + count;
}

char* PutTabs(char* to, size_t count) {
    std::memset(to, '\t', count);
    return to + count;
}

size_t TabCount(int64_t level) {
    return level > 0 ? static_cast<size_t>(level) : 0;
}

// One write for the whole line; its count of bytes written is not compared with the length.
BOOL WriteLine(HANDLE file, const std::string& line, size_t size) {
    if (size > std::numeric_limits<DWORD>::max()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD written = 0;
    return WriteFile(file, line.data(), static_cast<DWORD>(size), &written, nullptr);
}

}  // namespace

LONG CQVXmlFormat::SaveFile(const wchar_t* path) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return static_cast<LONG>(GetLastError());
    }
    const FileCloser closer{file};
    DWORD written = 0;
    if (!WriteFile(file, kHeader, sizeof(kHeader) - 1, &written, nullptr)) {
        return static_cast<LONG>(GetLastError());
    }
    std::string line;
    return static_cast<LONG>(_WriteNode(file, m_root, line));
}

DWORD CQVXmlFormat::_WriteNode(HANDLE file, const XML_NODE& node, std::string& line) const {
    // Writes a node's opening line and its values; its children and closing line follow.
    const auto writeHead = [&](const XML_NODE& n) -> DWORD {
        if (!_WriteNodeName(file, n.name.c_str(), n.level, 1, line)) {
            return GetLastError();
        }
        for (const XML_VALUE& value : n.values) {
            if (!_WriteValue(file, int64_t{n.level} + 1, value, line)) {
                return GetLastError();
            }
        }
        return 0;
    };

    if (node.name.empty()) {
        return 0;
    }
    if (const DWORD error = writeHead(node)) {
        return error;
    }
    // The nodes whose closing line is still to come, each with its next child to write.
    struct Open {
        const XML_NODE* node;
        size_t nextChild;
    };
    std::vector<Open> open;
    open.push_back({&node, 0});
    while (!open.empty()) {
        Open& top = open.back();
        if (top.nextChild < top.node->children.size()) {
            const XML_NODE& child = top.node->children[top.nextChild++];
            if (child.name.empty()) {
                continue;
            }
            if (const DWORD error = writeHead(child)) {
                return error;
            }
            open.push_back({&child, 0});
            continue;
        }
        if (!_WriteNodeName(file, top.node->name.c_str(), top.node->level, 0, line)) {
            return GetLastError();
        }
        open.pop_back();
    }
    return 0;
}

int CQVXmlFormat::_WriteNodeName(HANDLE file, const char* name, int level, int open,
                                 std::string& line) const {
    const size_t tabs = TabCount(level);
    const size_t length = std::strlen(name);
    const size_t size = tabs + (open ? 1 : 2) + length + 3;
    char* p = PutTabs(LineRoom(line, size), tabs);
    p = open ? Put(p, "<", 1) : Put(p, "</", 2);
    p = Put(p, name, length);
    Put(p, ">\r\n", 3);
    return WriteLine(file, line, size) ? 1 : 0;
}

int CQVXmlFormat::_WriteValue(HANDLE file, int64_t level, const XML_VALUE& value,
                              std::string& line) const {
    const size_t tabs = TabCount(level);
    const std::string& name = value.name;
    const size_t size = tabs + 1 + name.size() + 1 + value.value.size() + 2 + name.size() + 3;
    char* p = PutTabs(LineRoom(line, size), tabs);
    *p++ = '<';
    p = Put(p, name.data(), name.size());
    *p++ = '>';
    p = Put(p, value.value.data(), value.value.size());
    p = Put(p, "</", 2);
    p = Put(p, name.data(), name.size());
    Put(p, ">\r\n", 3);
    return WriteLine(file, line, size) ? 1 : 0;
}

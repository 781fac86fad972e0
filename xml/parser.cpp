// parser.cpp: reading the XML dialect into the tree: AssignInputData, LoadFile and the line
// primitives they are built from.
//
// The text is cut up in place (zero bytes over line breaks, name ends and text ends) and each
// name and text is copied once, straight into its place in the tree. Nesting is followed with an
// explicit stack of open nodes, so depth costs heap, not machine stack.
#include "kvx/xml.h"

#include "platform/win32.h"
#include "xml/line_scan.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

using kvx::xml::IsSpace;

namespace {

constexpr int kMinimumLength = 20;
// Room made for a node's children when the first one is read: most nodes hold a few, and
// growing one by one from nothing would move them each time.
constexpr size_t kFirstChildren = 4;
constexpr LONGLONG kMaximumFileSize = 0xFFFFFFFFLL;  // the read count is 32-bit

struct FileCloser {
    HANDLE file;
    ~FileCloser() { CloseHandle(file); }
};

// Value lines read for the node being filled, not yet in its `values`. Holding them back until
// the node's run of values ends gives the array its exact size in one allocation, instead of
// growing it step by step as most nodes' few values arrive. The texts stay where the cut-up
// input holds them. A full batch is flushed early, so holding a value back never allocates.
class PendingValues {
public:
    bool Full() const { return _count == kBatch; }
    void Add(const char* name, const char* nameEnd, const char* text, const char* textEnd) {
        _items[_count++] = {name, nameEnd, text, textEnd};
    }
    // Appends the held values to `values` in the order they were read. std::bad_alloc leaves
    // the values appended before the failing one and drops the rest.
    void FlushInto(std::vector<XML_VALUE>& values) {
        if (_count == 0) {
            return;
        }
        const size_t count = _count;
        _count = 0;
        const size_t needed = values.size() + count;
        if (needed > values.capacity()) {
            // Geometric growth when a node's values come in several runs between its
            // children, so that appending stays linear.
            values.reserve(values.empty() ? needed : std::max(needed, 2 * values.capacity()));
        }
        for (size_t i = 0; i < count; ++i) {
            const Item& item = _items[i];
            XML_VALUE& value = values.emplace_back();
            try {
                value.name.append(item.name, static_cast<size_t>(item.nameEnd - item.name));
                value.value.append(item.text, static_cast<size_t>(item.textEnd - item.text));
            } catch (...) {
                values.pop_back();  // no half-read value stays in the tree
                throw;
            }
        }
    }

private:
    static constexpr size_t kBatch = 32;
    struct Item {
        const char* name;
        const char* nameEnd;
        const char* text;
        const char* textEnd;
    };
    Item _items[kBatch];
    size_t _count = 0;
};

}  // namespace

XML_NODE* CQVXmlFormat::AssignInputData(char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < kMinimumLength; ++i) {
        if (text[i] == '\0') {
            return nullptr;
        }
    }
    // Document level: only opening lines count; each one names the root and reads into it.
    char* line = _FindNextLineStart(text);
    while (line != nullptr) {
        char* next = _FindNextLine(line);
        if (std::strstr(line, "<?xml ") == nullptr && _IsNode(line)) {
            if (char* name = _GetName(line)) {
                next = _AddNewNode(&m_root, name, next, kvx::xml::NextLevel(m_root.level));
            }
        }
        line = next;
    }
    return &m_root;
}

char* CQVXmlFormat::_AddNewNode(XML_NODE* node, char* name, char* text, int level) {
    using namespace kvx::xml;
    node->name = name;
    char* line = _FindNextLineStart(text);
    if (line == nullptr) {
        return nullptr;
    }
    // The nodes still open above `current`, each with the level its children get. A node's
    // `children` never grows while one of its children is open, so these addresses hold.
    struct Open {
        XML_NODE* node;
        int childLevel;
    };
    std::vector<Open> open;
    XML_NODE* current = node;
    int childLevel = level;
    TextBound bound{line};
    MarkWindow window;
    PendingValues pending;
    while (line != nullptr) {
        const ScannedLine s = ScanLine(line, bound, window);
        char* const next = NextLineStart(s);
        if (s.valueLine) {
            // A value line without a name is ignored.
            if (s.name != nullptr) {
                *s.nameEnd = '\0';
                *s.valueEnd = '\0';
                if (pending.Full()) {
                    pending.FlushInto(current->values);
                }
                pending.Add(s.name, s.nameEnd, s.nameEnd + 1, s.valueEnd);
            }
        } else if (s.name == nullptr || s.nameEnd == s.name) {
            // An end line closes `current`.
            pending.FlushInto(current->values);
            if (open.empty()) {
                return next;
            }
            current = open.back().node;
            childLevel = open.back().childLevel;
            open.pop_back();
        } else {
            *s.nameEnd = '\0';
            pending.FlushInto(current->values);
            std::vector<XML_NODE>& children = current->children;
            if (children.capacity() == 0) {
                children.reserve(kFirstChildren);
            }
            XML_NODE& child = children.emplace_back();
            child.level = childLevel;
            try {
                child.name.assign(s.name, static_cast<size_t>(s.nameEnd - s.name));
            } catch (...) {
                children.pop_back();  // no nameless child stays in the tree
                throw;
            }
            open.push_back({current, childLevel});
            current = &child;
            childLevel = NextLevel(childLevel);
        }
        line = next;
    }
    pending.FlushInto(current->values);
    return nullptr;
}

char* CQVXmlFormat::_FindNextLine(char* line) const {
    char* p = line;
    while (*p != '\0' && *p != '\r' && *p != '\n') {
        ++p;
    }
    if (*p == '\0') {
        return nullptr;
    }
    *p = '\0';
    return _FindNextLineStart(p + 1);
}

char* CQVXmlFormat::_FindNextLineStart(char* p) const {
    if (p == nullptr) {
        return nullptr;
    }
    while (IsSpace(*p)) {
        ++p;
    }
    return *p != '\0' ? p : nullptr;
}

int CQVXmlFormat::_IsNode(char* line) const {
    int opens = 0;
    for (const char* p = line; *p != '\0' && opens < 2; ++p) {
        opens += *p == '<';
    }
    return opens <= 1 ? 1 : 0;
}

char* CQVXmlFormat::_GetName(char* line) const {
    char* start = nullptr;
    for (char* p = line; *p != '\0'; ++p) {
        if (*p == '/') {
            return nullptr;
        }
        if (*p == '<' && start == nullptr) {
            start = p + 1;
        } else if (*p == '>' && start != nullptr) {
            *p = '\0';
            return start;
        }
    }
    return nullptr;
}

char* CQVXmlFormat::_GetValue(char* p) const {
    char* const text = p;
    while (*p != '\0' && *p != '<') {
        ++p;
    }
    *p = '\0';
    return text;
}

XML_NODE* CQVXmlFormat::LoadFile(const wchar_t* path) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const FileCloser closer{file};
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < kMinimumLength ||
        size.QuadPart >= kMaximumFileSize) {
        return nullptr;
    }
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[size_t{length} + 1]);
    if (!buffer) {
        return nullptr;
    }
    DWORD read = 0;
    if (!ReadFile(file, buffer.get(), length, &read, nullptr)) {
        return nullptr;
    }
    buffer[read] = '\0';
    return AssignInputData(buffer.get());
}

// xml.h: a small XML document held in memory as a tree of nodes, read from and written to
// text in a simple line-oriented dialect.
//
// The tree is plain data with value semantics: an XML_NODE owns its name, its leaf elements
// (`values`) and its child elements (`children`), and through them its whole subtree. The host
// builds, walks and changes it through the public fields. CQVXmlFormat owns one root node and
// reads (AssignInputData, LoadFile) and writes (SaveFile) it.
//
// The dialect is line-oriented: each line holds one opening tag, one closing tag, or one leaf
// element with its text ("<name>text</name>"). Lines end at CR, LF or CR LF; leading whitespace
// (HT, LF, VT, FF, CR, space) and blank lines are skipped. A line with two or more "<" is a
// value line; one with at most one "<" is a tag line. The name of a line is the bytes between
// its first "<" and the next ">", unless a "/" comes first (then the line has no name). Inside
// a node: a value line adds a value (name, and the text up to the next "<"); a tag line with a
// non-empty name opens a child; any other tag line ends the node. At document level the line
// holding "<?xml " is skipped, value lines and nameless lines are skipped, and a tag line with a
// name (even empty) names the root and reads its content. Nothing is escaped or decoded; bytes
// pass through as they are.
//
// Choices where the behaviour is ours to fix (each pinned by a test):
//  - A value line whose name scan finds no name (a "/" before the name's ">", as in
//    "</a><b>x</b>") is ignored, at document level and inside a node alike.
//  - A value line with no "<" after the name's ">" (its second "<" stands inside the name, as in
//    "<a<b>text") gets the rest of the line as its text.
//  - Files of 4 GiB - 1 bytes (0xFFFFFFFF) and more are refused by LoadFile with a null result.
//  - Nesting depth is unlimited: reading, writing, copying, comparing and destroying a tree work
//    with an explicit stack on the heap, so a document nested 1,000,000 levels deep loads,
//    copies, saves and is destroyed on a 1 MiB thread stack. The results are those of the
//    depth-first, once-per-level order the dialect describes.
//  - Levels are 32-bit and wrap: a child read below a node of level 2147483647 gets level
//    -2147483648; the writer computes a node's value indentation (level + 1) without overflow.
//  - SaveFile refuses a line of 4 GiB or more (it could not be one write) with error 87 and
//    stops there, like any failed write.
//
// Thread safety: none inside; one object (or tree) is used by one thread at a time, separate
// objects are independent.
#pragma once

#include "kvx/export.h"
#include "kvx/win32_types.h"

#include <stdint.h>

#include <string>
#include <vector>

// A leaf element: "<name>value</name>" on one line. `name` is everything between "<" and ">"
// (attributes included, unparsed); `value` the text, byte for byte.
struct XML_VALUE {
    std::string name;
    std::string value;

    friend bool operator==(const XML_VALUE&, const XML_VALUE&) = default;
};

// An element that holds other elements. `level` is stored, not computed: the writer indents the
// node's tags by `level` tabs and its values by `level` + 1 tabs, wherever the node stands, so a
// host that adds nodes by hand sets it. A node with an empty name is skipped by the writer with
// its whole subtree. Values and children are held by value; appending to either array may move
// its elements, so a pointer into one is valid only until that array next grows.
//
// Copying, assigning, comparing and destroying never recurse on the machine stack, however deep
// the subtree (the special members are defined in the library for that reason). A copy that
// runs out of memory throws std::bad_alloc and leaves nothing behind; the source never changes.
struct KVX_API XML_NODE {
    int32_t level = 0;
    std::string name;
    std::vector<XML_VALUE> values;
    std::vector<XML_NODE> children;

    XML_NODE() = default;
    // Builds a node from its fields, in their order: XML_NODE{1, "server"}.
    XML_NODE(int32_t nodeLevel, std::string nodeName, std::vector<XML_VALUE> nodeValues = {},
             std::vector<XML_NODE> nodeChildren = {});
    XML_NODE(const XML_NODE& other);
    XML_NODE(XML_NODE&& other) noexcept = default;
    // Copies the level, then (unless `other` is this node) the name, values and children, each
    // a deep copy. `other` may be a node inside this one's subtree. std::bad_alloc leaves this
    // node as it was.
    XML_NODE& operator=(const XML_NODE& other);
    XML_NODE& operator=(XML_NODE&& other) noexcept;
    ~XML_NODE();
};

// Same level, name, values and children, in the same order, all the way down.
KVX_API bool operator==(const XML_NODE& a, const XML_NODE& b);

// One XML document: its only data is the root node (the document element). AddRootNode,
// AssignInputData and LoadFile return the root's address, valid as long as the object lives.
// A new document has an empty root (level 0, no name, no values, no children) and counts as
// empty while the root's name is empty.
class KVX_API CQVXmlFormat {
public:
    CQVXmlFormat() = default;
    CQVXmlFormat(const CQVXmlFormat& other) = default;
    // Copies the root's level, then, unless `other` is this object, replaces the root's name,
    // values and children by deep copies of the source's. std::bad_alloc leaves this object as
    // it was.
    CQVXmlFormat& operator=(const CQVXmlFormat& other) = default;
    ~CQVXmlFormat() = default;

    // Names the root (a copy of `name`, zero-terminated) and sets its level to 0; its values and
    // children stay. A null `name` gives an empty name. Returns the root.
    XML_NODE* AddRootNode(const char* name);

    // Parses `text` (zero-terminated, writable) into the tree, cutting it up in place: zero bytes
    // are written over line breaks, over the ">" ending each name and the "<" ending each text,
    // so the text is of no further use afterwards. Returns null, changing nothing, when the text
    // (counted up to its first zero byte) is shorter than 20 bytes or `text` is null; otherwise
    // the root, whatever the text held. The tree is not cleared first: what is read is appended
    // to what the root holds, and each opening line at document level renames the root. The
    // root's level is never changed. std::bad_alloc leaves what was appended so far in the tree:
    // whole values and named children, never a half-read value or a nameless child.
    XML_NODE* AssignInputData(char* text);

    // Reads the whole file at `path` (opened for reading, no sharing) and parses it as
    // AssignInputData does. Returns null, changing nothing, if the file cannot be opened, its
    // size cannot be read, it is shorter than 20 bytes or 0xFFFFFFFF bytes or longer, no buffer
    // can be had or the read fails; otherwise the result of AssignInputData. The file is closed
    // and the buffer freed on every path, also when std::bad_alloc leaves the call.
    XML_NODE* LoadFile(const wchar_t* path);

    // Writes the header line '<?xml version="1.0" encoding="UTF-8"?>' CR LF and then the tree to
    // `path`, created or truncated, opened without sharing. Each line is one write: opening tag
    // (level tabs), the values (level + 1 tabs), the children by their own stored levels, the
    // closing tag; CR LF breaks; nodes with an empty name are left out with their subtrees.
    // Returns 0, or the system error code of the step that failed (3 path not found, 32 the file
    // is held by another opener, 112 disk full, ...). After a failed write the file stays as far
    // as it was written. std::bad_alloc leaves the call after the file is closed.
    LONG SaveFile(const wchar_t* path);

private:
    char* _AddNewNode(XML_NODE* node, char* name, char* text, int level);
    char* _FindNextLine(char* line) const;
    char* _FindNextLineStart(char* p) const;
    int _IsNode(char* line) const;
    char* _GetName(char* line) const;
    char* _GetValue(char* p) const;

    // The writer builds each line in `line`, one buffer reused for the whole save, and hands it
    // to one WriteFile call.
    DWORD _WriteNode(HANDLE file, const XML_NODE& node, std::string& line) const;
    int _WriteNodeName(HANDLE file, const char* name, int level, int open, std::string& line) const;
    int _WriteValue(HANDLE file, int64_t level, const XML_VALUE& value, std::string& line) const;

    XML_NODE m_root;
};

// tree.cpp: XML_NODE's copy, move, comparison and teardown, and CQVXmlFormat::AddRootNode.
//
// A tree may be nested as deep as its text, a million levels and more, so nothing here recurses
// once per level: copies, comparisons and teardown keep their pending work in heap vectors.
#include "kvx/xml.h"

#include <new>
#include <utility>

namespace {

// Empties `node`'s subtree without recursing and without allocating: it walks down the last
// children to a node whose last child is a leaf and destroys that leaf, until nothing is left.
// Quadratic in the depth, so it is only the way out when no memory is left for a worklist.
void ReleaseInPlace(XML_NODE& node) noexcept {
    while (!node.children.empty()) {
        XML_NODE* parent = &node;
        while (!parent->children.back().children.empty()) {
            parent = &parent->children.back();
        }
        parent->children.pop_back();
    }
}

// Moves the children arrays of `nodes` to `pending`, so that destroying `nodes` afterwards only
// destroys leaves.
void Detach(std::vector<XML_NODE>& nodes, std::vector<std::vector<XML_NODE>>& pending) noexcept {
    for (XML_NODE& node : nodes) {
        if (node.children.empty()) {
            continue;
        }
        try {
            pending.push_back(std::move(node.children));  // no effect if it throws
        } catch (...) {
            ReleaseInPlace(node);
        }
    }
}

// Fills the empty `to.children` with deep copies of `from.children`, all the way down.
void CopyChildren(XML_NODE& to, const XML_NODE& from) {
    struct Pending {
        const XML_NODE* from;
        XML_NODE* to;
    };
    std::vector<Pending> pending;
    pending.push_back({&from, &to});
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        const std::vector<XML_NODE>& source = next.from->children;
        std::vector<XML_NODE>& target = next.to->children;
        // Reserved up front, so the addresses pushed below stay valid.
        target.reserve(source.size());
        for (const XML_NODE& child : source) {
            XML_NODE& copy = target.emplace_back();
            copy.level = child.level;
            copy.name = child.name;
            copy.values = child.values;
            if (!child.children.empty()) {
                pending.push_back({&child, &copy});
            }
        }
    }
}

bool SameOwnFields(const XML_NODE& a, const XML_NODE& b) {
    return a.level == b.level && a.name == b.name && a.values == b.values &&
           a.children.size() == b.children.size();
}

}  // namespace

XML_NODE::XML_NODE(int32_t nodeLevel, std::string nodeName, std::vector<XML_VALUE> nodeValues,
                   std::vector<XML_NODE> nodeChildren)
    : level(nodeLevel), name(std::move(nodeName)), values(std::move(nodeValues)),
      children(std::move(nodeChildren)) {}

XML_NODE::XML_NODE(const XML_NODE& other)
    : level(other.level), name(other.name), values(other.values) {
    if (!other.children.empty()) {
        CopyChildren(*this, other);
    }
}

XML_NODE& XML_NODE::operator=(const XML_NODE& other) {
    if (this == &other) {
        return *this;
    }
    // The whole copy is made before anything changes: `other` may live in the subtree it
    // replaces (or this node in `other`'s), and std::bad_alloc leaves this node as it was.
    XML_NODE copy(other);
    return *this = std::move(copy);
}

XML_NODE& XML_NODE::operator=(XML_NODE&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    level = other.level;
    name = std::move(other.name);
    values = std::move(other.values);
    // `other` may live in the subtree being replaced: keep that alive until it is taken over.
    std::vector<XML_NODE> replaced = std::move(children);
    children = std::move(other.children);
    return *this;
}

XML_NODE::~XML_NODE() {
    if (children.empty()) {
        return;
    }
    std::vector<std::vector<XML_NODE>> pending;
    Detach(children, pending);
    while (!pending.empty()) {
        std::vector<XML_NODE> siblings = std::move(pending.back());
        pending.pop_back();
        Detach(siblings, pending);
    }
}

bool operator==(const XML_NODE& a, const XML_NODE& b) {
    if (!SameOwnFields(a, b)) {
        return false;
    }
    std::vector<std::pair<const XML_NODE*, const XML_NODE*>> pending;
    pending.emplace_back(&a, &b);
    while (!pending.empty()) {
        const auto [left, right] = pending.back();
        pending.pop_back();
        for (size_t i = 0; i < left->children.size(); ++i) {
            const XML_NODE& l = left->children[i];
            const XML_NODE& r = right->children[i];
            if (!SameOwnFields(l, r)) {
                return false;
            }
            if (!l.children.empty()) {
                pending.emplace_back(&l, &r);
            }
        }
    }
    return true;
}

XML_NODE* CQVXmlFormat::AddRootNode(const char* name) {
    m_root.name = name != nullptr ? name : "";
    m_root.level = 0;
    return &m_root;
}

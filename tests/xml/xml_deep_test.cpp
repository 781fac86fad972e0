// xml_deep_test.cpp: a document nested a million levels deep loads, copies, compares, saves and
// is destroyed on the main thread's stack (8 MiB on Linux, less on Windows), which one machine
// stack frame per level would overflow many times over.
#include "xml_test_util.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

constexpr int kDepth = 1000000;

// The node at the bottom of a chain of single children, and the chain's length.
std::pair<XML_NODE*, int> Bottom(XML_NODE& top) {
    XML_NODE* node = &top;
    int depth = 0;
    while (!node->children.empty()) {
        node = &node->children.back();
        ++depth;
    }
    return {node, depth};
}

void SetLevels(XML_NODE& top, int level) {
    for (XML_NODE* node = &top;; node = &node->children.back()) {
        node->level = level;
        if (node->children.empty()) {
            return;
        }
    }
}

TEST(XmlDeep, MillionLevelDocument) {
    std::string text;
    text.reserve(size_t{kDepth} * 9 + 16);
    for (int i = 0; i <= kDepth; ++i) {
        text += "<n>\n";
    }
    text += "<v>x</v>\n";
    for (int i = 0; i <= kDepth; ++i) {
        text += "</n>\n";
    }

    CQVXmlFormat doc;
    XML_NODE* root = doc.AssignInputData(text.data());
    ASSERT_NE(root, nullptr);
    auto [bottom, depth] = Bottom(*root);
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(bottom->level, kDepth);
    EXPECT_EQ(Dump(*bottom), "n:1000000{v=x}");

    {
        CQVXmlFormat copy(doc);
        XML_NODE* copied = copy.AssignInputData(std::string(20, ' ').data());
        EXPECT_TRUE(*copied == *root);
        Bottom(*copied).first->values[0].value.back() = 'y';
        EXPECT_FALSE(*copied == *root);
        EXPECT_EQ(bottom->values[0].value, "x");

        CQVXmlFormat assigned;
        assigned = copy;
        EXPECT_TRUE(*assigned.AddRootNode("n") == *copied);
    }

    // Indented by level, this document would be terabytes: stored levels of 0 save it flat.
    SetLevels(*root, 0);
    KvxTempDir dir;
    ASSERT_EQ(doc.SaveFile(dir.WFile("deep.xml").c_str()), 0);
    const std::string saved = KvxReadFile(dir.File("deep.xml"));
    EXPECT_EQ(saved.size(), 40 + size_t{kDepth + 1} * (5 + 6) + 11);
    EXPECT_EQ(saved.substr(40, 10), "<n>\r\n<n>\r\n");
    EXPECT_EQ(saved.substr(40 + size_t{kDepth + 1} * 5, 17), "\t<v>x</v>\r\n</n>\r\n");

    CQVXmlFormat loaded;
    XML_NODE* reloaded = loaded.LoadFile(dir.WFile("deep.xml").c_str());
    ASSERT_NE(reloaded, nullptr);
    SetLevels(*reloaded, 0);
    EXPECT_TRUE(*reloaded == *root);
}

TEST(XmlDeep, HostOwnedNodesAreDestroyedWithoutRecursion) {
    XML_NODE top;
    XML_NODE* node = &top;
    for (int i = 0; i < kDepth; ++i) {
        node = &node->children.emplace_back(i + 1, "n");
    }
    // A copy in a host container, dropped by the container.
    std::vector<XML_NODE> held;
    held.push_back(top);
    held.clear();
    // A copy replaced by assignment, and one by a move.
    XML_NODE replaced = top;
    replaced = XML_NODE{};
    XML_NODE moved = top;
    moved = std::move(top.children[0]);
    EXPECT_EQ(Bottom(moved).second, kDepth - 1);
    // `moved` and `top` go out of scope here.
}

}  // namespace

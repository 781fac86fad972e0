// xml_tree_test.cpp: the document's root, and copying, assigning and comparing trees.
#include "xml_test_util.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// The root without changing anything: 20 blanks are read as no line at all.
XML_NODE* Root(CQVXmlFormat& doc) {
    char blanks[] = "                    ";
    return doc.AssignInputData(blanks);
}

XML_NODE Sample() {
    return XML_NODE{
        0,
        "config",
        {{"port", "42"}},
        {XML_NODE{1, "server", {{"name", "alpha"}}, {XML_NODE{2, "tls"}}}, XML_NODE{1, "client"}}};
}

TEST(XmlTree, NewDocumentHasAnEmptyRoot) {
    CQVXmlFormat doc;
    XML_NODE* root = Root(doc);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Dump(*root), ":0");
    EXPECT_EQ(doc.AddRootNode("r"), root);
    EXPECT_EQ(XML_VALUE{}, (XML_VALUE{"", ""}));
}

TEST(XmlTree, AddRootNodeOnlyNamesTheRoot) {
    CQVXmlFormat doc;
    XML_NODE* root = doc.AddRootNode("config");
    *root = Sample();
    root->level = 7;
    EXPECT_EQ(doc.AddRootNode("renamed"), root);
    EXPECT_EQ(Dump(*root), "renamed:0{port=42}[server:1{name=alpha}[tls:2],client:1]");
    // The root's address holds however much the tree grows.
    for (int i = 0; i < 1000; ++i) {
        root->children.emplace_back(1, "more");
    }
    EXPECT_EQ(Root(doc), root);
    // A null name is taken as the empty name.
    EXPECT_EQ(doc.AddRootNode(nullptr)->name, "");
}

TEST(XmlTree, DocumentCopiesAreDeepAndIndependent) {
    auto source = std::make_unique<CQVXmlFormat>();
    *source->AddRootNode("config") = Sample();
    Root(*source)->level = 3;
    CQVXmlFormat copy(*source);
    XML_NODE* copied = Root(copy);
    EXPECT_EQ(*copied, *Root(*source));
    EXPECT_EQ(copied->level, 3);

    copied->children[0].values[0].value = "beta";
    copied->children[0].children[0].children.emplace_back(3, "deeper");
    EXPECT_EQ(Dump(*Root(*source)), "config:3{port=42}[server:1{name=alpha}[tls:2],client:1]");
    source.reset();
    EXPECT_EQ(Dump(*copied), "config:3{port=42}[server:1{name=beta}[tls:2[deeper:3]],client:1]");
}

TEST(XmlTree, DocumentAssignment) {
    CQVXmlFormat source;
    *source.AddRootNode("config") = Sample();
    Root(source)->level = -2;
    CQVXmlFormat target;
    ParseInto(target, "<old>\n<v>1</v>\n<c>\n</c>\n</old>\n");
    XML_NODE* root = Root(target);
    target = source;
    EXPECT_EQ(Root(target), root);
    EXPECT_EQ(Dump(*root), "config:-2{port=42}[server:1{name=alpha}[tls:2],client:1]");

    const CQVXmlFormat& self = target;
    target = self;
    EXPECT_EQ(Dump(*root), "config:-2{port=42}[server:1{name=alpha}[tls:2],client:1]");
}

TEST(XmlTree, NodeAssignmentFromInsideItsOwnTree) {
    XML_NODE node = Sample();
    node = node.children[0];  // the source lives in the subtree being replaced
    EXPECT_EQ(Dump(node), "server:1{name=alpha}[tls:2]");

    node = Sample();
    node.children[1] = node;  // the source is an ancestor of the target
    EXPECT_EQ(Dump(node), "config:0{port=42}[server:1{name=alpha}[tls:2],"
                          "config:0{port=42}[server:1{name=alpha}[tls:2],client:1]]");

    node = Sample();
    node = std::move(node.children[0]);
    EXPECT_EQ(Dump(node), "server:1{name=alpha}[tls:2]");

    XML_NODE& self = node;
    node = self;
    node = std::move(self);
    EXPECT_EQ(Dump(node), "server:1{name=alpha}[tls:2]");
}

TEST(XmlTree, MovedFromNodesAreEmpty) {
    XML_NODE source = Sample();
    XML_NODE moved(std::move(source));
    EXPECT_EQ(Dump(moved), "config:0{port=42}[server:1{name=alpha}[tls:2],client:1]");
    EXPECT_TRUE(source.children.empty());  // NOLINT(bugprone-use-after-move)
}

TEST(XmlTree, EqualityLooksAtEveryField) {
    const XML_NODE base = Sample();
    const auto differs = [&](auto change) {
        XML_NODE other = base;
        change(other);
        return !(other == base) && !(base == other);
    };
    EXPECT_EQ(base, Sample());
    EXPECT_TRUE(differs([](XML_NODE& n) { n.level = 1; }));
    EXPECT_TRUE(differs([](XML_NODE& n) { n.children[0].children[0].level = 3; }));
    EXPECT_TRUE(differs([](XML_NODE& n) { n.children[0].children[0].name = "tlS"; }));
    EXPECT_TRUE(differs([](XML_NODE& n) { n.children[0].values[0].value = ""; }));
    EXPECT_TRUE(differs([](XML_NODE& n) { n.children[0].values.push_back({}); }));
    EXPECT_TRUE(differs([](XML_NODE& n) { n.children[0].children[0].children.emplace_back(); }));
    EXPECT_TRUE(differs([](XML_NODE& n) { std::swap(n.children[0], n.children[1]); }));
}

}  // namespace

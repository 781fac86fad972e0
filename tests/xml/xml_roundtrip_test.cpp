// xml_roundtrip_test.cpp: random trees that the writer and the parser agree on come back from
// a file exactly as they were saved.
//
// The conditions: every node's name is non-empty; no name holds "<", ">", "/", CR or LF; no
// value text holds "<", CR or LF; every level equals the node's depth below a root of level 0.
// Two more follow from the dialect: no string holds a zero byte (the text ends there), and the
// root's name does not begin with "?xml " (its opening line would read as the prolog).
#include "xml_test_util.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <random>

namespace {

class TreeMaker {
public:
    explicit TreeMaker(unsigned seed) : _rng(seed) {}

    XML_NODE Root() {
        XML_NODE root = Node(0);
        if (root.name.rfind("?xml ", 0) == 0) {
            root.name[0] = 'x';
        }
        return root;
    }

private:
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(_rng); }

    // Mostly readable names, sometimes any byte the conditions allow.
    std::string Text(int maxLength, const std::string& forbidden) {
        static constexpr char kReadable[] = "abcxyz_- .:=\"'&;\t";
        std::string text(static_cast<size_t>(Below(maxLength + 1)), 'a');
        const bool anyByte = Below(4) == 0;
        for (char& c : text) {
            do {
                c = anyByte ? static_cast<char>(1 + Below(255))
                            : kReadable[Below(sizeof(kReadable) - 1)];
            } while (forbidden.find(c) != std::string::npos);
        }
        return text;
    }

    XML_NODE Node(int level) {
        XML_NODE node;
        node.level = level;
        do {
            node.name = Text(12, "<>/\r\n");
        } while (node.name.empty());
        const int values = Below(5);
        for (int i = 0; i < values; ++i) {
            node.values.push_back({Text(8, "<>/\r\n"), Text(20, "<\r\n")});
        }
        const int children = level < 7 ? Below(4) : 0;
        for (int i = 0; i < children; ++i) {
            node.children.push_back(Node(level + 1));
        }
        return node;
    }

    std::mt19937 _rng;
};

TEST(XmlRoundTrip, RandomTreesComeBackAsSaved) {
    KvxTempDir dir;
    const std::wstring first = dir.WFile("first.xml");
    const std::wstring second = dir.WFile("second.xml");
    for (unsigned seed = 1; seed <= 300; ++seed) {
        CQVXmlFormat doc;
        XML_NODE* root = doc.AddRootNode("");
        *root = TreeMaker(seed).Root();
        ASSERT_EQ(doc.SaveFile(first.c_str()), 0);

        CQVXmlFormat loaded;
        const XML_NODE* back = loaded.LoadFile(first.c_str());
        ASSERT_NE(back, nullptr) << "seed " << seed;
        ASSERT_TRUE(*back == *root) << "seed " << seed << "\n"
                                    << Dump(*root) << "\n"
                                    << Dump(*back);

        // Saving what was loaded writes the same bytes.
        ASSERT_EQ(loaded.SaveFile(second.c_str()), 0);
        ASSERT_EQ(KvxReadFile(dir.File("second.xml")), KvxReadFile(dir.File("first.xml")))
            << "seed " << seed;
    }
}

}  // namespace

// xml_parser_test.cpp: what AssignInputData and LoadFile read from the dialect's lines.
#include "xml_test_util.h"

#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
const std::string kConfigTree = "config:0{port=42}[server:1{name=alpha}]";

std::string ConfigDocument(const std::string& br, const std::string& indent) {
    return "<config>" + br + indent + "<port>42</port>" + br + indent + "<server>" + br + indent +
           indent + "<name>alpha</name>" + br + indent + "</server>" + br + "</config>" + br;
}

// A node with `count` values, more than the reader holds back at once, and its tree.
std::pair<std::string, std::string> ManyValues(int count) {
    std::string text = "<a>\n";
    std::string tree = "a:0{";
    for (int i = 0; i < count; ++i) {
        text += "\t<v" + std::to_string(i) + ">" + std::string(size_t(i), 'x') + "</v>\n";
        tree += (i == 0 ? "" : ";") + ("v" + std::to_string(i)) + "=" + std::string(size_t(i), 'x');
    }
    return {text + "</a>\n", tree + "}"};
}

struct Case {
    const char* what;
    std::string text;
    std::string tree;
};

class ParseCase : public testing::TestWithParam<Case> {};

TEST_P(ParseCase, GivesTheTree) {
    EXPECT_EQ(Parse(GetParam().text), GetParam().tree) << GetParam().what;
}

const Case kCases[] = {
    // Length is counted up to the first zero byte; 20 bytes is the minimum.
    {"19 bytes", "<r>\n<v>12</v>\n</r>\n", "null"},
    {"the same padded to 20", "<r>\n<v>12</v>\n</r>\n ", "r:0{v=12}"},
    {"a zero byte cuts the text", std::string("<r>\n<v>12</v>\n\0</r>\n     ", 25), "null"},
    {"only whitespace", std::string(30, ' ') + "\t\r\n\v\f", ":0"},
    {"only the prolog", kHeader, ":0"},

    // Line breaks, blank lines and indentation do not matter.
    {"CR LF, tabs", kHeader + ConfigDocument("\r\n", "\t"), kConfigTree},
    {"LF only", kHeader + ConfigDocument("\n", "\t"), kConfigTree},
    {"CR only", kHeader + ConfigDocument("\r", "\t"), kConfigTree},
    {"blank lines", kHeader + ConfigDocument("\r\n\r\n \n", "\t"), kConfigTree},
    {"other indentation", kHeader + ConfigDocument("\n", " \v\f "), kConfigTree},
    {"no break after the last line",
     "<config>\n<port>42</port>\n<server>\n<name>alpha</name>\n"
     "</server>\n</config>",
     kConfigTree},
    {"trailing whitespace stays in the line", "<a>  \n<v>1 \t</v>\t \n</a>\n", "a:0{v=1 \t}"},

    // Tag lines without a name end the node being read.
    {"self-closing tag ends the node", "<a>\n<b>\n<c/>\n<v>1</v>\n</a>\n", "a:0{v=1}[b:1]"},
    {"self-closing tag at document level is skipped", "<c/>\n<a>\n<v>1</v>\n</a>\n", "a:0{v=1}"},
    {"a \"/\" in an attribute ends the node", "<a>\n<link href=\"x/y\">\n<v>1</v>\n</a>\n", "a:0"},
    {"a \"/\" in an attribute at document level", "<l h=\"x/y\">\n<r>\n<v>1</v>\n</r>\n",
     "r:0{v=1}"},
    {"plain text ends the node", "<a>\n<b>\ntext\n<v>1</v>\n</a>\n", "a:0{v=1}[b:1]"},
    {"a \"<\" without \">\" ends the node", "<a>\n<b\n<v>1</v>\n</a>\n", "a:0"},
    {"empty tag inside a node ends it", "<a>\n<>\n<v>1</v>\n</a>\n", "a:0"},
    {"empty tag at document level names the root", "<>\n<v>1</v>\n</>\n      ", ":0{v=1}"},
    {"closing tags are never compared", "<a>\n<b>\n</zzz>\n<v>1</w>\n</q>\n", "a:0{v=1}[b:1]"},

    // Names are taken as they stand.
    {"attributes are part of the name", "<item id=\"7\">\n<item id=\"7\">x</item>\n</item>\n",
     "item id=\"7\":0{item id=\"7\"=x}"},
    {"a comment opens a child", "<a>\n<!-- note -->\n<v>1</v>\n</a>\n</a>\n",
     "a:0[!-- note --:1{v=1}]"},
    {"bytes before the first \"<\" are ignored", "> x <a>\n<v>1</v>\n</a>\n", "a:0{v=1}"},
    {"a \"/\" before the first \"<\" means no name", "x/y <a>\n<r>\n<v>1</v>\n</r>\n", "r:0{v=1}"},
    {"a value with an empty name", "<a>\n<>x</>\n<></>\n</a>\n", "a:0{=x;=}"},

    // Value text: up to the next "<", verbatim.
    {"a \"<\" cuts the text", "<a>\n<v>x<y</v>\n</a>\n", "a:0{v=x}"},
    {"entities and UTF-8 verbatim", "<a>\n<v>&amp; &#233; caf\xc3\xa9 >/</v>\n</a>\n",
     "a:0{v=&amp; &#233; caf\xc3\xa9 >/}"},
    {"only the first element of a line counts", "<a>\n<v>1</v><w>2</w>\n</a>\n", "a:0{v=1}"},

    // Document level.
    {"a document on one line is not read", "<a><v>1</v><b></b></a>      ", ":0"},
    {"two root elements merge into one root",
     "<a>\n<v>1</v>\n<c>\n</c>\n</a>\n<b>\n<w>2</w>\n<d>\n</d>\n</b>\n", "b:0{v=1;w=2}[c:1,d:1]"},
    {"value lines at document level are skipped", "<v>1</v>\n<a>\n<w>2</w>\n</a>\n", "a:0{w=2}"},
    {"the prolog is skipped wherever it stands on its line", "x <?xml a>\n<r>\n</r>\n", "r:0"},
    {"an opening line that is the last line", "<a>\n<v>1</v>\n<last>\n\n  ", "a:0{v=1}[last:1]"},
    {"an opening root line that is the last line", "<?xml version=\"1.0\"?>\n<only>", "only:0"},
    {"deeper levels", "<a>\n<b>\n<c>\n<v>1</v>\n</c>\n</b>\n<d>\n</d>\n</a>\n",
     "a:0[b:1[c:2{v=1}],d:1]"},
    {"values after a child join the node's values in order",
     "<a>\n<v>1</v>\n<b>\n<w>2</w>\n</b>\n<v>3</v>\n<c>\n</c>\n<v>4</v>\n<v>5</v>\n</a>\n",
     "a:0{v=1;v=3;v=4;v=5}[b:1{w=2},c:1]"},
    {"a long run of values", ManyValues(70).first, ManyValues(70).second},

    // Choices of ours.
    {"a value line without a name is ignored", "<a>\n</x><y>1</y>\n<v>2</v>\n</a>\n", "a:0{v=2}"},
    {"a value line without a name at document level", "</x><y>1</y>\n<r>\n</r>\n", "r:0"},
    {"no \"<\" after the name: the text runs to the line end", "<a>\n<b<c>text >\n</a>\n",
     "a:0{b<c=text >}"},
};

INSTANTIATE_TEST_SUITE_P(Dialect, ParseCase, testing::ValuesIn(kCases));

TEST(XmlParser, NullTextIsRefused) {
    CQVXmlFormat doc;
    EXPECT_EQ(doc.AssignInputData(nullptr), nullptr);
}

TEST(XmlParser, CutsTheTextInPlace) {
    char text[] = "<a>\r\n<v>1</v>\r\n</a>\r\n";
    CQVXmlFormat doc;
    ASSERT_NE(doc.AssignInputData(text), nullptr);
    EXPECT_EQ(std::string(text, sizeof(text) - 1),
              std::string("<a\0\0\n<v\0001\0/v>\0\n</a>\0\n", 21));
}

TEST(XmlParser, AppendsToWhatTheTreeHolds) {
    CQVXmlFormat doc;
    const std::string text = "<a>\n<v>1</v>\n<b>\n</b>\n</a>\n";
    EXPECT_EQ(ParseInto(doc, text), "a:0{v=1}[b:1]");
    EXPECT_EQ(ParseInto(doc, text), "a:0{v=1;v=1}[b:1,b:1]");
    // The root's own level stays; what is read below it counts from there.
    doc.AddRootNode("x")->level = 5;
    EXPECT_EQ(ParseInto(doc, "<r>\n<c>\n</c>\n</r>\n      "), "r:5{v=1;v=1}[b:1,b:1,c:6]");
    // A refused text changes nothing.
    EXPECT_EQ(ParseInto(doc, "<z>\n</z>\n"), "null");
    EXPECT_EQ(Dump(*doc.AddRootNode("r")), "r:0{v=1;v=1}[b:1,b:1,c:6]");
}

TEST(XmlParser, LevelsWrapAtTheThirtyTwoBitLimit) {
    CQVXmlFormat doc;
    doc.AddRootNode("")->level = INT_MAX;
    EXPECT_EQ(ParseInto(doc, "<a>\n<b>\n<c>\n</c>\n</b>\n</a>\n"),
              "a:2147483647[b:-2147483648[c:-2147483647]]");
}

class XmlLoadFile : public testing::Test {
protected:
    KvxTempDir dir;
};

TEST_F(XmlLoadFile, ReadsTheWholeFile) {
    KvxWriteFile(dir.File("config.xml"), kHeader + ConfigDocument("\r\n", "\t"));
    CQVXmlFormat doc;
    const XML_NODE* root = doc.LoadFile(dir.WFile("config.xml").c_str());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root, doc.AddRootNode("config"));
    EXPECT_EQ(Dump(*root), kConfigTree);
    // Loading again doubles everything below the root.
    ASSERT_NE(doc.LoadFile(dir.WFile("config.xml").c_str()), nullptr);
    EXPECT_EQ(Dump(*root), "config:0{port=42;port=42}[server:1{name=alpha},server:1{name=alpha}]");
}

TEST_F(XmlLoadFile, RefusesWithNull) {
    KvxWriteFile(dir.File("short.xml"), "<r>\n<v>12</v>\n</r>\n");  // 19 bytes
    KvxWriteFile(dir.File("zero.xml"), std::string("<r>\n\0<v>12</v>\n</r>\n", 20));
    CQVXmlFormat doc;
    doc.AddRootNode("kept");
    EXPECT_EQ(doc.LoadFile(dir.WFile("missing.xml").c_str()), nullptr);
    EXPECT_EQ(doc.LoadFile(dir.WFile("short.xml").c_str()), nullptr);
    EXPECT_EQ(doc.LoadFile(dir.WFile("zero.xml").c_str()), nullptr);
    EXPECT_EQ(doc.LoadFile(dir.path().wstring().c_str()), nullptr);  // a folder
    EXPECT_EQ(doc.LoadFile(nullptr), nullptr);
    EXPECT_EQ(Dump(*doc.AddRootNode("kept")), "kept:0");
}

TEST_F(XmlLoadFile, RefusesAFileHeldByAnotherOpener) {
    KvxWriteFile(dir.File("held.xml"), kHeader + ConfigDocument("\r\n", "\t"));
    HANDLE held = CreateFileW(dir.WFile("held.xml").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CQVXmlFormat doc;
    EXPECT_EQ(doc.LoadFile(dir.WFile("held.xml").c_str()), nullptr);
    CloseHandle(held);
    EXPECT_NE(doc.LoadFile(dir.WFile("held.xml").c_str()), nullptr);
}

TEST_F(XmlLoadFile, RefusesFilesOfFourGibibytesLessOneAndMore) {
    // Sparse files: nothing is written, and a refused file is never read.
    for (const uintmax_t size : {uintmax_t{0xFFFFFFFF}, uintmax_t{0x100000010}}) {
        const auto path = dir.File("huge.xml");
        KvxWriteFile(path, "<r>\n<v>1</v>\n</r>\n   ");
        std::error_code ec;
        std::filesystem::resize_file(path, size, ec);
        if (ec) {
            GTEST_SKIP() << "no sparse file of " << size << " bytes here: " << ec.message();
        }
        CQVXmlFormat doc;
        EXPECT_EQ(doc.LoadFile(path.wstring().c_str()), nullptr) << size;
    }
}

}  // namespace

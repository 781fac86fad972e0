// xml_writer_test.cpp: the bytes SaveFile writes, and the codes it returns when it cannot.
#include "xml_test_util.h"

#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

class XmlSaveFile : public testing::Test {
protected:
    // Saves `doc` to a fresh file and returns what the file holds.
    std::string Saved(CQVXmlFormat& doc) {
        const std::wstring path = dir.WFile("out.xml");
        EXPECT_EQ(doc.SaveFile(path.c_str()), 0);
        return KvxReadFile(dir.File("out.xml"));
    }
    std::string Saved(const XML_NODE& root) {
        CQVXmlFormat doc;
        *doc.AddRootNode("") = root;
        return Saved(doc);
    }

    KvxTempDir dir;
};

TEST_F(XmlSaveFile, EmptyDocumentIsTheHeaderAlone) {
    CQVXmlFormat doc;
    EXPECT_EQ(Saved(doc), kHeader);
    EXPECT_EQ(kHeader.size(), 40u);
    // A root without a name hides whatever it holds.
    doc.AddRootNode("")->children.emplace_back(1, "child");
    EXPECT_EQ(Saved(doc), kHeader);
}

TEST_F(XmlSaveFile, RootWithoutContentTakesTwoLines) {
    CQVXmlFormat doc;
    doc.AddRootNode("config");
    EXPECT_EQ(Saved(doc), kHeader + "<config>\r\n</config>\r\n");
}

TEST_F(XmlSaveFile, ValuesBeforeChildrenIndentedByLevel) {
    XML_NODE root{0, "config", {{"port", "42"}}, {XML_NODE{1, "server", {{"name", "alpha"}}}}};
    root.children.insert(root.children.begin(), XML_NODE{1, "empty"});
    root.values.push_back({"host", "h"});
    EXPECT_EQ(Saved(root), kHeader + "<config>\r\n"
                                     "\t<port>42</port>\r\n"
                                     "\t<host>h</host>\r\n"
                                     "\t<empty>\r\n"
                                     "\t</empty>\r\n"
                                     "\t<server>\r\n"
                                     "\t\t<name>alpha</name>\r\n"
                                     "\t</server>\r\n"
                                     "</config>\r\n");
}

TEST_F(XmlSaveFile, StoredLevelsAreUsedAsTheyStand) {
    XML_NODE root{0, "r", {}, {XML_NODE{7, "seven", {{"v", "1"}}}, XML_NODE{-3, "negative"}}};
    root.children[1].values.push_back({"w", "2"});
    root.children[1].children.emplace_back(-1, "minus", std::vector<XML_VALUE>{{"x", "3"}});
    EXPECT_EQ(Saved(root), kHeader + "<r>\r\n"
                                     "\t\t\t\t\t\t\t<seven>\r\n"
                                     "\t\t\t\t\t\t\t\t<v>1</v>\r\n"
                                     "\t\t\t\t\t\t\t</seven>\r\n"
                                     "<negative>\r\n"
                                     "<w>2</w>\r\n"
                                     "<minus>\r\n"
                                     "<x>3</x>\r\n"
                                     "</minus>\r\n"
                                     "</negative>\r\n"
                                     "</r>\r\n");
}

TEST_F(XmlSaveFile, EmptyNamedChildrenAreLeftOutWithTheirSubtrees) {
    XML_NODE root{0, "r"};
    root.children.emplace_back(1, "", std::vector<XML_VALUE>{{"lost", "1"}},
                               std::vector<XML_NODE>{XML_NODE{2, "lost"}});
    root.children.emplace_back(1, "kept");
    EXPECT_EQ(Saved(root), kHeader + "<r>\r\n\t<kept>\r\n\t</kept>\r\n</r>\r\n");
}

TEST_F(XmlSaveFile, BytesAreWrittenAsTheyStand) {
    XML_NODE root{0, "item id=\"7\" a='&'"};
    root.values.push_back({"", "text"});
    root.values.push_back({"v", "<&>\"'\r\nline"});
    root.values.push_back({std::string("n\0m", 3), std::string("t\0u", 3)});
    root.children.emplace_back(1, std::string("cut\0here", 8));
    EXPECT_EQ(Saved(root), kHeader +
                               "<item id=\"7\" a='&'>\r\n"
                               "\t<>text</>\r\n"
                               "\t<v><&>\"'\r\nline</v>\r\n" +
                               std::string("\t<n\0m>t\0u</n\0m>\r\n", 17) +
                               "\t<cut>\r\n"
                               "\t</cut>\r\n"
                               "</item id=\"7\" a='&'>\r\n");
}

TEST_F(XmlSaveFile, ReplacesALongerFile) {
    KvxWriteFile(dir.File("out.xml"), std::string(5000, 'x'));
    CQVXmlFormat doc;
    doc.AddRootNode("r");
    EXPECT_EQ(Saved(doc), kHeader + "<r>\r\n</r>\r\n");
}

TEST_F(XmlSaveFile, ReturnsTheSystemErrorCode) {
    CQVXmlFormat doc;
    doc.AddRootNode("r");
    EXPECT_EQ(doc.SaveFile(dir.WFile("no-such-folder/out.xml").c_str()), 3);
    EXPECT_EQ(doc.SaveFile(dir.path().wstring().c_str()), 5);  // a folder

    // Another opener holds the file: refused, and the file keeps its content.
    KvxWriteFile(dir.File("held.xml"), "old content");
    HANDLE held = CreateFileW(dir.WFile("held.xml").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(doc.SaveFile(dir.WFile("held.xml").c_str()), 32);
    CloseHandle(held);
    EXPECT_EQ(KvxReadFile(dir.File("held.xml")), "old content");
}

}  // namespace

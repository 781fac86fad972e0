// alloc_failure_xml_test.cpp: CQVXmlFormat's load, copy, assignment and save when any one of
// their heap allocations fails: the documented result (null, a status or std::bad_alloc), no
// block left behind, the objects whole and usable, the file closed.
#include "alloc_injection.h"

#include "kvx/xml.h"
#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <optional>
#include <string>

namespace {

// Names and texts beyond the short-string room, so that each one is an allocation.
constexpr char kDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<configuration_of_the_host>\r\n"
    "\t<first_value_name>first value text, long enough</first_value_name>\r\n"
    "\t<second_value_name>second value text, long enough</second_value_name>\r\n"
    "\t<server_connection_settings>\r\n"
    "\t\t<port_number_of_the_server>4242424242424242</port_number_of_the_server>\r\n"
    "\t\t<nested_node_with_a_long_name>\r\n"
    "\t\t\t<deep_value_with_a_long_name>deep text that is long "
    "too</deep_value_with_a_long_name>\r\n"
    "\t\t</nested_node_with_a_long_name>\r\n"
    "\t</server_connection_settings>\r\n"
    "\t<second_child_node_long_name>\r\n"
    "\t\t<its_value_with_a_long_name>its text, long enough as well</its_value_with_a_long_name>\r\n"
    "\t</second_child_node_long_name>\r\n"
    "</configuration_of_the_host>\r\n";

// True when `part` is what a reading of `whole` stopped part-way gives: every value and child
// before the last one whole, the last child itself such a part. No half-made entries.
bool IsPartOf(const XML_NODE& part, const XML_NODE& whole) {
    if (!part.name.empty() && part.name != whole.name) {
        return false;
    }
    if (part.values.size() > whole.values.size() || part.children.size() > whole.children.size()) {
        return false;
    }
    for (size_t i = 0; i < part.values.size(); ++i) {
        if (!(part.values[i] == whole.values[i])) {
            return false;
        }
    }
    for (size_t i = 0; i + 1 < part.children.size(); ++i) {
        if (!(part.children[i] == whole.children[i])) {
            return false;
        }
    }
    return part.children.empty() ||
           IsPartOf(part.children.back(), whole.children[part.children.size() - 1]);
}

// Whether no one holds the file: an open without any sharing succeeds.
bool FileIsFree(const std::wstring& path) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    return true;
}

class XmlAllocFailure : public ::testing::Test {
protected:
    void SetUp() override {
        KvxWriteFile(_dir.File("doc.xml"), kDocument);
        _reference = _whole.LoadFile(Path("doc.xml").c_str());
        ASSERT_NE(_reference, nullptr);
        ASSERT_EQ(_reference->children.size(), 2u);
        // Warm the file layer and the heap up, so first-use set-up is not counted.
        CQVXmlFormat warm;
        ASSERT_NE(warm.LoadFile(Path("doc.xml").c_str()), nullptr);
        ASSERT_EQ(warm.SaveFile(Path("warm.xml").c_str()), 0);
    }

    std::wstring Path(const char* name) const { return _dir.WFile(name); }

    // The document as SaveFile writes it, as a check that the object is usable.
    std::string Saved(CQVXmlFormat& doc) {
        EXPECT_EQ(doc.SaveFile(Path("check.xml").c_str()), 0);
        return KvxReadFile(_dir.File("check.xml"));
    }

    KvxTempDir _dir;
    CQVXmlFormat _whole;
    const XML_NODE* _reference = nullptr;
};

TEST_F(XmlAllocFailure, LoadFileGivesNullOrBadAllocAndKeepsAWholePart) {
    const std::wstring path = Path("doc.xml");
    kvx_alloc::Sweep("CQVXmlFormat::LoadFile", [&](uint64_t failAt) -> bool {
        CQVXmlFormat doc;
        XML_NODE* root = doc.AddRootNode(nullptr);
        const XML_NODE* result = nullptr;
        const auto [injected, threw] =
            kvx_alloc::RunArmed(failAt, [&] { result = doc.LoadFile(path.c_str()); });
        EXPECT_TRUE(FileIsFree(path)) << failAt;
        if (!injected) {
            EXPECT_EQ(result, root);
            EXPECT_EQ(*root, *_reference);
        } else {
            EXPECT_TRUE(threw || result == nullptr) << failAt;
            EXPECT_TRUE(IsPartOf(*root, *_reference)) << failAt;
            CQVXmlFormat again;
            EXPECT_NE(again.LoadFile(path.c_str()), nullptr);  // the file is untouched
            Saved(doc);
        }
        return injected;
    });
}

TEST_F(XmlAllocFailure, CopyThrowsBadAllocAndLeavesTheSourceAlone) {
    const std::string before = Saved(_whole);
    kvx_alloc::Sweep("CQVXmlFormat copy", [&](uint64_t failAt) -> bool {
        std::optional<CQVXmlFormat> copy;
        const auto [injected, threw] = kvx_alloc::RunArmed(failAt, [&] { copy.emplace(_whole); });
        EXPECT_EQ(injected, threw) << failAt;
        EXPECT_EQ(Saved(_whole), before);
        if (!injected) {
            EXPECT_EQ(Saved(*copy), before);
        }
        return injected;
    });
}

TEST_F(XmlAllocFailure, AssignmentThrowsBadAllocAndLeavesBothAsTheyWere) {
    const std::string before = Saved(_whole);
    kvx_alloc::Sweep("CQVXmlFormat assignment", [&](uint64_t failAt) -> bool {
        CQVXmlFormat target;
        XML_NODE* root = target.AddRootNode("the_old_root_with_a_long_name");
        root->values.push_back({"an_old_value_with_a_long_name", "an old text, long enough"});
        root->children.push_back(XML_NODE{1, "an_old_child_with_a_long_name"});
        const XML_NODE old = *root;
        const auto [injected, threw] = kvx_alloc::RunArmed(failAt, [&] { target = _whole; });
        EXPECT_EQ(injected, threw) << failAt;
        EXPECT_EQ(Saved(_whole), before);
        if (!injected) {
            EXPECT_EQ(Saved(target), before);
        } else {
            EXPECT_EQ(*root, old) << failAt;
        }
        return injected;
    });
}

TEST_F(XmlAllocFailure, SaveFileGivesAStatusOrBadAllocAndClosesTheFile) {
    const std::wstring path = Path("out.xml");
    kvx_alloc::Sweep("CQVXmlFormat::SaveFile", [&](uint64_t failAt) -> bool {
        LONG status = -1;
        const auto [injected, threw] =
            kvx_alloc::RunArmed(failAt, [&] { status = _whole.SaveFile(path.c_str()); });
        if (!injected) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(KvxReadFile(_dir.File("out.xml")), kDocument);
        } else {
            // Off Windows the file layer's own memory may run out: the open fails with 8.
            EXPECT_TRUE(threw || status == 8) << failAt << " status " << status;
            EXPECT_TRUE(FileIsFree(path) || status == 8) << failAt;
        }
        return injected;
    });
}

}  // namespace

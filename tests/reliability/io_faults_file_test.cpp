// io_faults_file_test.cpp: the XML writer and loader and the CSV reader under I/O faults:
// each fault gets its documented result, nothing crashes, and no file loses what it held.
#include "fault_maker.h"

#include "kvx/csv.h"
#include "kvx/xml.h"
#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

using kvx_faults::Holder;

CQVXmlFormat SampleDocument(int values) {
    CQVXmlFormat doc;
    XML_NODE* root = doc.AddRootNode("config");
    for (int i = 0; i < values; ++i) {
        root->values.push_back({"key" + std::to_string(i), "value " + std::to_string(i)});
    }
    root->children.push_back(XML_NODE{1, "server", {{"port", "42"}}});
    return doc;
}

constexpr char kSavedSample[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                "<config>\r\n"
                                "\t<key0>value 0</key0>\r\n"
                                "\t<server>\r\n"
                                "\t\t<port>42</port>\r\n"
                                "\t</server>\r\n"
                                "</config>\r\n";

// ---------------------------------------------------------------------------------------------
// XML writer and loader.

// SaveFile returns the system's code of the failed open and writes nothing; LoadFile returns
// null and leaves the tree alone; a held file keeps its content.
TEST(XmlFileFaults, UnopenablePathsGiveTheirCodeAndChangeNothing) {
    KvxTempDir dir;
    fs::create_directory(dir.File("folder.xml"));
    KvxWriteFile(dir.File("held.xml"), kSavedSample);
    Holder held(dir.File("held.xml"));
    ASSERT_TRUE(held.Held());
    const struct {
        const char* what;
        std::wstring path;
        LONG saveResult;
    } cases[] = {
        {"missing folder", dir.WFile("missing") + L"/doc.xml", 3},
        {"folder in the place of the file", dir.WFile("folder.xml"), 5},
        {"file held by another opener", dir.WFile("held.xml"), 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CQVXmlFormat doc = SampleDocument(1);
        const CQVXmlFormat before = doc;
        EXPECT_EQ(doc.SaveFile(c.path.c_str()), c.saveResult);
        EXPECT_EQ(doc.LoadFile(c.path.c_str()), nullptr);
        EXPECT_EQ(*doc.AddRootNode("config"), *CQVXmlFormat(before).AddRootNode("config"));
    }
    EXPECT_FALSE(fs::exists(dir.File("missing")));
    EXPECT_TRUE(fs::is_directory(dir.File("folder.xml")));
    EXPECT_EQ(KvxReadFile(dir.File("held.xml")), kSavedSample);
}

// A full disk from the first byte: SaveFile returns 112 (disk full).
TEST(XmlFileFaults, FullDiskGivesDiskFull) {
    std::wstring device;
    KVX_FAULT_OR_SKIP(kvx_faults::FullDevicePath, device);
    CQVXmlFormat doc = SampleDocument(1);
    EXPECT_EQ(doc.SaveFile(device.c_str()), 112);
}

// A disk that fills part-way: SaveFile returns 112, the file holds every line before the
// failed one, and LoadFile reads that cut document back as far as it goes.
TEST(XmlFileFaults, DiskFillingUpKeepsTheLinesBeforeAndLoadsBack) {
    KvxTempDir dir;
    const std::wstring path = dir.WFile("doc.xml");
    constexpr uint64_t kLimit = 300;
    int result = 0;
    KVX_FAULT_OR_SKIP(
        kvx_faults::RunWithFileSizeLimit, kLimit,
        [&] { return static_cast<int>(SampleDocument(50).SaveFile(path.c_str())); }, result);
    EXPECT_EQ(result, 112);
    const std::string saved = KvxReadFile(dir.File("doc.xml"));
    ASSERT_EQ(saved.size(), kLimit);
    EXPECT_EQ(saved.substr(0, 96), std::string(kSavedSample).substr(0, 50) +
                                       "\t<key0>value 0</key0>\r\n\t<key1>value 1</key1>\r\n");
    CQVXmlFormat loaded;
    const XML_NODE* root = loaded.LoadFile(path.c_str());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name, "config");
    CQVXmlFormat full = SampleDocument(50);
    const std::vector<XML_VALUE>& all = full.AddRootNode("config")->values;
    ASSERT_GT(root->values.size(), 5u);
    for (size_t i = 0; i + 1 < root->values.size(); ++i) {
        EXPECT_EQ(root->values[i], all[i]);  // the cut last line may have lost its text's end
    }
}

// ---------------------------------------------------------------------------------------------
// CSV reader.

std::string CsvFile(int records) {
    std::string text = "id,text\r\n";
    for (int i = 0; i < records; ++i) {
        text += std::to_string(i) + ",some text of record " + std::to_string(i) + "\r\n";
    }
    return text;
}

// Reads every remaining record; true when their ids run on from `next` without a gap.
bool ReadOn(CQVCsvFormatReader& reader, int& next) {
    bool inOrder = true;
    while (reader.ReadNextRecord() == KVX_CSV_S_OK) {
        inOrder = inOrder && reader.GetRecordDataAsInt(0) == next;
        ++next;
    }
    return inOrder;
}

// Open returns 0x80070003 for every path it cannot open, and the reader opens a good file
// afterwards.
TEST(CsvFileFaults, UnopenablePathsGivePathNotFoundAndLeaveTheReaderUsable) {
    KvxTempDir dir;
    fs::create_directory(dir.File("folder.csv"));
    KvxWriteFile(dir.File("good.csv"), CsvFile(3));
    KvxWriteFile(dir.File("held.csv"), CsvFile(3));
    Holder writer(dir.File("held.csv"), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_TRUE(writer.Held());
    const struct {
        const char* what;
        std::wstring path;
    } cases[] = {
        {"missing folder", dir.WFile("missing") + L"/data.csv"},
        {"folder in the place of the file", dir.WFile("folder.csv")},
        {"file held by a writer that shares reading only", dir.WFile("held.csv")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CQVCsvFormatReader reader;
        EXPECT_EQ(reader.Open(c.path.c_str()), KVX_CSV_E_PATH_NOT_FOUND);
        EXPECT_EQ(reader.ReadNextRecord(), KVX_CSV_E_CANTREAD);
        reader.Close();
        ASSERT_EQ(reader.Open(dir.WFile("good.csv").c_str()), KVX_CSV_S_OK);
        int next = 0;
        EXPECT_TRUE(ReadOn(reader, next));
        EXPECT_EQ(next, 3);
    }
}

// The file removed while the reader holds it, past the first megabyte: where the system allows
// removal the reader still delivers every record from the open file; where it refuses,
// nothing changes.
TEST(CsvFileFaults, FileDeletedWhileOpenStillDeliversEveryRecord) {
    KvxTempDir dir;
    constexpr int kRecords = 60000;  // about 2.4 MB: several reads
    KvxWriteFile(dir.File("data.csv"), CsvFile(kRecords));
    CQVCsvFormatReader reader;
    ASSERT_EQ(reader.Open(dir.WFile("data.csv").c_str()), KVX_CSV_S_OK);
    ASSERT_EQ(reader.ReadNextRecord(), KVX_CSV_S_OK);
    int error = 0;
    if (!kvx_faults::DeleteOpenFile(dir.File("data.csv"), error)) {
        EXPECT_EQ(error, 32);
    }
    int next = 1;
    EXPECT_TRUE(ReadOn(reader, next));
    EXPECT_EQ(next, kRecords);
}

// The file cut short by another program while the reader holds it: the reader ends where the
// data ends (0x800703F4) with the last record still readable, the records before it in order;
// where the system refuses the cut, every record comes.
TEST(CsvFileFaults, FileCutWhileOpenEndsWhereTheDataEnds) {
    KvxTempDir dir;
    constexpr int kRecords = 60000;
    KvxWriteFile(dir.File("data.csv"), CsvFile(kRecords));
    CQVCsvFormatReader reader;
    ASSERT_EQ(reader.Open(dir.WFile("data.csv").c_str()), KVX_CSV_S_OK);
    ASSERT_EQ(reader.ReadNextRecord(), KVX_CSV_S_OK);
    int error = 0;
    const bool cut = kvx_faults::CutOpenFile(dir.File("data.csv"), 1500000, error);
    int next = 1;
    const bool inOrder = ReadOn(reader, next);
    EXPECT_EQ(reader.ReadNextRecord(), KVX_CSV_E_CANTREAD);
    if (cut) {
        // The first read buffered 1 MiB; the next one finds the cut; the last line may be cut
        // in the middle of its text, but its id is whole.
        EXPECT_TRUE(inOrder);
        EXPECT_GT(next, 25000);
        EXPECT_LT(next, kRecords);
        EXPECT_EQ(reader.GetRecordDataAsInt(0), next - 1);
    } else {
        EXPECT_EQ(error, 32);
        EXPECT_TRUE(inOrder);
        EXPECT_EQ(next, kRecords);
    }
}

}  // namespace

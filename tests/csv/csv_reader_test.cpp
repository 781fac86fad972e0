// Tests of CQVCsvFormatReader: splitting, separators, line ends, limits and statuses.
#include "csv/buffer_storage.h"
#include "kvx/csv.h"
#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

constexpr LONG kOk = 0;
constexpr LONG kOutOfMemory = static_cast<LONG>(0x8007000E);
constexpr LONG kNotOpened = static_cast<LONG>(0x80070003);
constexpr LONG kCantRead = static_cast<LONG>(0x800703F4);

Fields Header(const CQVCsvFormatReader& reader) {
    Fields out;
    for (uint64_t i = 0; i < reader.GetFieldCount(); ++i) {
        out.push_back(reader.GetHeaderText(i));
    }
    return out;
}

Fields Record(const CQVCsvFormatReader& reader) {
    Fields out;
    for (uint64_t i = 0; i < reader.GetFieldCount(); ++i) {
        out.push_back(reader.GetRecordDataAsString(i));
    }
    return out;
}

// A file with the given bytes, and a reader opened on it.
class CsvFile {
public:
    explicit CsvFile(const std::string& bytes) { KvxWriteFile(_dir.File("data.csv"), bytes); }
    std::wstring path() const { return _dir.WFile("data.csv"); }

private:
    KvxTempDir _dir;
};

// Header, then every record, of a file.
std::vector<Fields> ReadAll(const std::string& bytes) {
    CsvFile file(bytes);
    CQVCsvFormatReader reader;
    std::vector<Fields> out;
    if (reader.Open(file.path().c_str()) != kOk) {
        return out;
    }
    out.push_back(Header(reader));
    while (reader.ReadNextRecord() == kOk) {
        out.push_back(Record(reader));
    }
    return out;
}

TEST(CsvReader, SplitsFieldsByTheQuoteRules) {
    const struct {
        const char* line;
        Fields want;
    } cases[] = {
        {"a,b,c", {"a", "b", "c"}},
        {"\"x,y\",z", {"x,y", "z"}},
        {"\"a\"\"b\",c", {"a\"\"b", "c"}},
        {"ab\"c,d", {"ab\"c", "d"}},
        {"\"ab\"cd,e", {"ab\"cd", "e"}},
        {"\"\",x", {"", "x"}},
        {"abc\",x", {"abc\"", "x"}},
        {" a , b", {" a ", " b"}},
        {"a,,c", {"a", "", "c"}},
        {"a,", {"a", ""}},
        {"\"a,b\"", {"a,b"}},
        {"\"\"\"\",x", {"\"\"", "x"}},
        {"x,\"", {"x", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string header;
        for (size_t i = 0; i < c.want.size(); ++i) {
            header += (i == 0 ? "h" : ",h") + std::to_string(i);
        }
        const auto got = ReadAll(header + "\n" + c.line + "\n");
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[1], c.want);
    }
}

TEST(CsvReader, FieldsAndLineEndsAroundSixtyFourByteSteps) {
    // Lines are scanned 64 bytes at a time: separators, quotes and line ends on either side
    // of a step, in lines of several steps, must split as anywhere else.
    for (const char* lineEnd : {"\n", "\r\n", "\r"}) {
        for (size_t at : {62u, 63u, 64u, 65u, 127u, 128u, 129u}) {
            SCOPED_TRACE(testing::Message()
                         << "separator at " << at << ", line end " << static_cast<int>(lineEnd[0]));
            const std::string a(at, 'a');
            const std::string q(at - 1, 'q');  // "q...q,r" puts the protected comma at `at`
            const std::string bytes = std::string("h1,h2") + lineEnd + a + ",b" + lineEnd + a +
                                      lineEnd + "\"" + q + ",r\",z" + lineEnd + "\"" + q + ",open" +
                                      lineEnd + "x," + a + lineEnd;
            const std::vector<Fields> want{{"h1", "h2"},    {a, "b"},          {a, ""},
                                           {q + ",r", "z"}, {q + ",open", ""}, {"x", a}};
            EXPECT_EQ(ReadAll(bytes), want);
        }
    }
}

TEST(CsvReader, ZeroByteEndsTheTextQuoteRemovalSees) {
    // The closing quote is looked for at the end of the text a caller sees, which a zero byte
    // inside the field cuts short.
    const auto got = ReadAll(std::string("a,b\n\"xy\"\0z,w\n", 13));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], (Fields{"xy", "w"}));
}

TEST(CsvReader, HeaderNamesFollowTheSameRules) {
    const auto got = ReadAll("\"last, first\",age, id \r\n");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (Fields{"last, first", "age", " id "}));
}

TEST(CsvReader, UnclosedQuoteEndsTheFieldAtTheLineEnd) {
    const auto got = ReadAll("a,b,c\nx,\"open, never closed\n1,2,3\n");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1], (Fields{"x", "open, never closed", ""}));
    EXPECT_EQ(got[2], (Fields{"1", "2", "3"}));
}

TEST(CsvReader, SeparatorIsTheFirstCommaOrSemicolonInTheData) {
    const struct {
        const char* label;
        std::string bytes;
        std::vector<Fields> want;
    } cases[] = {
        {"semicolon", "a;b\n1,5;2\n", {{"a", "b"}, {"1,5", "2"}}},
        {"comma", "a,b\n1;5,2\n", {{"a", "b"}, {"1;5", "2"}}},
        {"quotes do not hide it", "\"a;x\",b\n1,2\n", {{"a;x\",b"}, {"1,2"}}},
        {"found past the header", "single\nx,y\n", {{"single"}, {"x"}}},
        {"none at all", "one two\nthree four\n", {{"one two"}, {"three four"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ReadAll(c.bytes), c.want);
    }
}

TEST(CsvReader, AllLineEndsReadAlikeAndEmptyLinesAreSkipped) {
    const std::vector<Fields> want{{"a", "b"}, {"1", "2"}, {"3", "4"}};
    const char* files[] = {
        "a,b\r\n1,2\r\n3,4\r\n",         "a,b\n1,2\n3,4\n",       "a,b\r1,2\r3,4\r",
        "\r\n\r\na,b\r\n\r\n1,2\r\n3,4", "\n\na,b\n\n\n1,2\n3,4", "\r\ra,b\r\r1,2\r\r\r3,4\r\r",
    };
    for (const char* bytes : files) {
        SCOPED_TRACE(testing::PrintToString(std::string(bytes)));
        EXPECT_EQ(ReadAll(bytes), want);
    }
}

TEST(CsvReader, AnyBufferedCarriageReturnWinsOverAnEarlierLineFeed) {
    // A line runs to the first CR, taking the LFs before it along.
    EXPECT_EQ(ReadAll("h\nx,y\rz\n"), (std::vector<Fields>{{"h\nx", "y"}, {"z", ""}}));
    EXPECT_EQ(ReadAll("a,b\n\n\n1,2\r\n\r\n3,4"),
              (std::vector<Fields>{{"a", "b\n\n\n1", "2"}, {"3", "4", ""}}));
    // Once no CR is left, lines end at LF again.
    EXPECT_EQ(ReadAll("a,b\r1,2\n3,4\n"),
              (std::vector<Fields>{{"a", "b"}, {"1", "2"}, {"3", "4"}}));
}

TEST(CsvReader, LastLineWithoutLineEndIsDelivered) {
    EXPECT_EQ(ReadAll("a,b\n1,2"), (std::vector<Fields>{{"a", "b"}, {"1", "2"}}));
    EXPECT_EQ(ReadAll("a,b"), (std::vector<Fields>{{"a", "b"}}));
    // A file of more than one read, whose unterminated last line arrives with the last read.
    std::string big = "k,v\n";
    while (big.size() < 1100000) {
        big += "key,value\n";
    }
    const auto got = ReadAll(big + "end,tail");
    ASSERT_EQ(got.size(), 1u + (1100000 - 4 + 9) / 10 + 1);
    EXPECT_EQ(got.back(), (Fields{"end", "tail"}));
}

TEST(CsvReader, LinesAreCutAtTheLineBufferLimit) {
    const std::string fits(8191, 'f');
    const std::string cut(8191, 'c');
    const auto got = ReadAll("a,b\n" + fits + "\n" + cut + "xyz,more\nnext,line\n");
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1], (Fields{fits, ""}));
    EXPECT_EQ(got[2], (Fields{cut, ""}));  // "xyz,more" is dropped with the rest of the line
    EXPECT_EQ(got[3], (Fields{"next", "line"}));
}

TEST(CsvReader, LineLongerThanTheReadBufferIsCutAndItsRestSkipped) {
    std::string line = "x,";
    line.append(1500000, 'y');
    const auto got = ReadAll("a,b\n" + line + "\r\nnext,line\r\n");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1], (Fields{"x", std::string(8189, 'y')}));
    EXPECT_EQ(got[2], (Fields{"next", "line"}));
}

TEST(CsvReader, SeparatorSearchRunsAgainAtLaterReads) {
    // No comma or semicolon in the first read: lines are whole fields until one shows up.
    std::string bytes = "name\n";
    while (bytes.size() < 1100000) {
        bytes += "plain text\n";
    }
    bytes += "p,q\n";
    const auto got = ReadAll(bytes);
    ASSERT_GT(got.size(), 2u);
    EXPECT_EQ(got[1], Fields{"plain text"});
    EXPECT_EQ(got.back(), Fields{"p"});
}

TEST(CsvReader, RecordsWithMoreOrFewerFieldsThanTheHeader) {
    CsvFile file("a,b,c\n1,2,3,4,5\n6\n7,8\n");
    CQVCsvFormatReader reader;
    ASSERT_EQ(reader.Open(file.path().c_str()), kOk);
    EXPECT_EQ(Record(reader), (Fields{"", "", ""}));  // before the first record
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    EXPECT_EQ(Record(reader), (Fields{"1", "2", "3"}));
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    EXPECT_EQ(Record(reader), (Fields{"6", "", ""}));  // nothing left over from "1,2,3"
    EXPECT_EQ(reader.RecordIsValid(), 1);
    EXPECT_EQ(reader.GetRecordDataAsChar(2), 0);
    EXPECT_EQ(reader.GetRecordDataAsInt(1), 0);
    // The separators of the line after a short one are neither fields of it nor cut.
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    EXPECT_EQ(Record(reader), (Fields{"7", "8", ""}));
}

TEST(CsvReader, EndOfFileKeepsTheLastRecordReadable) {
    CsvFile file("a,b\n1,2\n\n\n");
    CQVCsvFormatReader reader;
    ASSERT_EQ(reader.Open(file.path().c_str()), kOk);
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    EXPECT_EQ(reader.ReadNextRecord(), kCantRead);
    EXPECT_EQ(reader.ReadNextRecord(), kCantRead);
    EXPECT_EQ(Record(reader), (Fields{"1", "2"}));
}

TEST(CsvReader, OpenStatuses) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("empty.csv"), "");
    KvxWriteFile(dir.File("blank.csv"), "\r\n\n\r");
    const struct {
        std::wstring path;
        LONG status;
    } cases[] = {
        {dir.WFile("missing.csv"), kNotOpened}, {dir.WFile("no/such/folder.csv"), kNotOpened},
        {dir.path().wstring(), kNotOpened},     {L"", kNotOpened},
        {dir.WFile("empty.csv"), kCantRead},    {dir.WFile("blank.csv"), kCantRead},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        CQVCsvFormatReader reader;
        EXPECT_EQ(reader.Open(c.path.c_str()), c.status);
        EXPECT_EQ(reader.GetFieldCount(), 0u);
        EXPECT_EQ(reader.ReadNextRecord(), kCantRead);
    }
    CQVCsvFormatReader reader;
    EXPECT_EQ(reader.Open(nullptr), kNotOpened);
}

TEST(CsvReader, FileLockedAgainstReadingCannotBeOpened) {
    CsvFile file("a,b\n");
    HANDLE locked = CreateFileW(file.path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    CQVCsvFormatReader reader;
    EXPECT_EQ(reader.Open(file.path().c_str()), kNotOpened);
    CloseHandle(locked);
    EXPECT_EQ(reader.Open(file.path().c_str()), kOk);
}

TEST(CsvReader, BufferThatCannotBeObtainedGivesOutOfMemory) {
    CsvFile file("a,b\n1,2\n");
    for (int successes = 0; successes < 3; ++successes) {
        SCOPED_TRACE(successes);
        CQVCsvFormatReader reader;
        KvxCsvFailAllocationsAfter(successes);
        EXPECT_EQ(reader.Open(file.path().c_str()), kOutOfMemory);
        KvxCsvFailAllocationsAfter(-1);
        EXPECT_EQ(reader.ReadNextRecord(), kCantRead);
        reader.Close();
        EXPECT_EQ(reader.Open(file.path().c_str()), kOk);
    }
}

TEST(CsvReader, FindFieldIndexIsExactAndThrowsTheName) {
    CsvFile file("id,Name,name,id\n");
    CQVCsvFormatReader reader;
    ASSERT_EQ(reader.Open(file.path().c_str()), kOk);
    EXPECT_EQ(reader.FindFieldIndex("id"), 0);
    EXPECT_EQ(reader.FindFieldIndex("name"), 2);
    for (const char* missing : {"NAME", "na", " id", ""}) {
        try {
            reader.FindFieldIndex(missing);
            ADD_FAILURE() << "no exception for " << missing;
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), missing);
        }
    }
    CQVCsvFormatReader unopened;
    EXPECT_THROW(unopened.FindFieldIndex("id"), std::exception);
}

TEST(CsvReader, TypedAccessorsConvertAsTheRuntimeDoes) {
    CQVCsvFormatReader reader;
    CsvFile wide("a,b,c,d,e,f,g,h,i,j,k\n"
                 "12abc,abc,  -7,+42,9223372036854775807,99999999999,-99999999999,"
                 " 3.25e2x,\t-0.5,,x\n");
    ASSERT_EQ(reader.Open(wide.path().c_str()), kOk);
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    EXPECT_EQ(reader.GetRecordDataAsInt(0), 12);
    EXPECT_EQ(reader.GetRecordDataAsInt(1), 0);
    EXPECT_EQ(reader.GetRecordDataAsInt(2), -7);
    EXPECT_EQ(reader.GetRecordDataAsInt(3), 42);
    EXPECT_EQ(reader.GetRecordDataAsInt(5), INT32_MAX);
    EXPECT_EQ(reader.GetRecordDataAsInt(6), INT32_MIN);
    EXPECT_EQ(reader.GetRecordDataAsInt64(4), INT64_MAX);
    EXPECT_EQ(reader.GetRecordDataAsInt64(5), 99999999999LL);
    EXPECT_EQ(reader.GetRecordDataAsInt64(6), -99999999999LL);
    EXPECT_EQ(reader.GetRecordDataAsDouble(7), 325.0);
    EXPECT_EQ(reader.GetRecordDataAsDouble(8), -0.5);
    EXPECT_EQ(reader.GetRecordDataAsDouble(1), 0.0);
    EXPECT_EQ(reader.GetRecordDataAsChar(0), '1');
    EXPECT_EQ(reader.GetRecordDataAsChar(9), 0);
    EXPECT_EQ(reader.GetRecordDataAsChar(10), 'x');
    // Past the last field: empty text and zeros.
    EXPECT_STREQ(reader.GetRecordDataAsString(11), "");
    EXPECT_STREQ(reader.GetHeaderText(11), "");
    EXPECT_EQ(reader.GetRecordDataAsInt64(11), 0);
}

TEST(CsvReader, ByteOrderMarkStaysInTheFirstName) {
    const auto got = ReadAll("\xEF\xBB\xBFid,v\n1,2\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Fields{"\xEF\xBB\xBFid", "v"}));
}

TEST(CsvReader, CopiesHoldTheirOwnHeaderAndRecordButNoFile) {
    CsvFile file("a,b\n1,2\n3,4\n");
    CQVCsvFormatReader reader;
    ASSERT_EQ(reader.Open(file.path().c_str()), kOk);
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    CQVCsvFormatReader copy(reader);
    CQVCsvFormatReader assigned;
    assigned = reader;
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    reader.Close();
    for (CQVCsvFormatReader* r : {&copy, &assigned}) {
        EXPECT_EQ(Header(*r), (Fields{"a", "b"}));
        EXPECT_EQ(Record(*r), (Fields{"1", "2"}));
        EXPECT_EQ(r->FindFieldIndex("b"), 1);
        EXPECT_EQ(r->ReadNextRecord(), kCantRead);
    }
    assigned = assigned;  // self-assignment keeps everything
    EXPECT_EQ(Record(assigned), (Fields{"1", "2"}));
}

TEST(CsvReader, CloseKeepsCountsButNoTextsAndReopenStartsAfresh) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("one.csv"), "a,b,c\n1,2,3\n");
    KvxWriteFile(dir.File("two.csv"), "x,y\n7,8\n");
    KvxWriteFile(dir.File("semi.csv"), "p;q\n");
    CQVCsvFormatReader reader;
    ASSERT_EQ(reader.Open(dir.WFile("one.csv").c_str()), kOk);
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    reader.Close();
    reader.Close();
    EXPECT_EQ(reader.GetFieldCount(), 3u);
    EXPECT_EQ(Header(reader), (Fields{"", "", ""}));
    EXPECT_EQ(Record(reader), (Fields{"", "", ""}));

    ASSERT_EQ(reader.Open(dir.WFile("two.csv").c_str()), kOk);
    EXPECT_EQ(Header(reader), (Fields{"x", "y"}));
    // Open on an open reader closes it first.
    ASSERT_EQ(reader.Open(dir.WFile("one.csv").c_str()), kOk);
    ASSERT_EQ(reader.ReadNextRecord(), kOk);
    EXPECT_EQ(Record(reader), (Fields{"1", "2", "3"}));
    // The separator found first stays for the reader's life.
    ASSERT_EQ(reader.Open(dir.WFile("semi.csv").c_str()), kOk);
    EXPECT_EQ(Header(reader), Fields{"p;q"});
}

}  // namespace

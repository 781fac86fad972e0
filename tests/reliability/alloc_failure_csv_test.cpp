// alloc_failure_csv_test.cpp: CQVCsvFormatReader::Open when any one of its heap allocations
// fails: 0x8007000E (never an exception), no block left behind once the reader is closed,
// and the reader opens and reads the file afterwards.
#include "alloc_injection.h"

#include "kvx/csv.h"
#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>

namespace {

// A header of 40 names, past the field lists' first room of 16, so that they grow.
std::string CsvText() {
    std::string header;
    std::string record;
    for (int i = 0; i < 40; ++i) {
        header += (i != 0 ? ";" : "") + std::string("field") + std::to_string(i);
        record += (i != 0 ? ";" : "") + std::to_string(i * 3);
    }
    return header + "\r\n" + record + "\r\n" + record + "\r\n";
}

TEST(CsvAllocFailure, OpenGivesOutOfMemoryAndTheReaderRecovers) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("data.csv"), CsvText());
    const std::wstring path = dir.WFile("data.csv");
    {
        CQVCsvFormatReader warm;
        ASSERT_EQ(warm.Open(path.c_str()), KVX_CSV_S_OK);
    }
    kvx_alloc::Sweep("CQVCsvFormatReader::Open", [&](uint64_t failAt) -> bool {
        CQVCsvFormatReader reader;
        LONG status = 1;
        const auto [injected, threw] =
            kvx_alloc::RunArmed(failAt, [&] { status = reader.Open(path.c_str()); });
        EXPECT_FALSE(threw) << failAt;
        EXPECT_EQ(status, injected ? KVX_CSV_E_OUTOFMEMORY : KVX_CSV_S_OK) << failAt;
        if (injected) {
            reader.Close();
            EXPECT_EQ(reader.Open(path.c_str()), KVX_CSV_S_OK) << failAt;
        }
        EXPECT_EQ(reader.GetFieldCount(), 40u);
        EXPECT_STREQ(reader.GetHeaderText(39), "field39");
        EXPECT_EQ(reader.ReadNextRecord(), KVX_CSV_S_OK);
        EXPECT_EQ(reader.RecordIsValid(), 1);
        EXPECT_EQ(reader.GetRecordDataAsInt(39), 117);
        return injected;
    });
}

}  // namespace

namespace {

// An open reader positioned on its first record, and its field texts.
struct OpenReader {
    explicit OpenReader(const std::wstring& path) {
        EXPECT_EQ(reader.Open(path.c_str()), KVX_CSV_S_OK);
        EXPECT_EQ(reader.ReadNextRecord(), KVX_CSV_S_OK);
    }
    CQVCsvFormatReader reader;
};

bool SameFields(const CQVCsvFormatReader& a, const CQVCsvFormatReader& b) {
    if (a.GetFieldCount() != b.GetFieldCount() || a.RecordIsValid() != b.RecordIsValid()) {
        return false;
    }
    for (uint64_t i = 0; i < a.GetFieldCount(); ++i) {
        if (std::string(a.GetHeaderText(i)) != b.GetHeaderText(i) ||
            std::string(a.GetRecordDataAsString(i)) != b.GetRecordDataAsString(i)) {
            return false;
        }
    }
    return true;
}

TEST(CsvAllocFailure, CopyAndAssignmentThrowBadAllocAndChangeNothing) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("data.csv"), CsvText());
    KvxWriteFile(dir.File("other.csv"), "a,b\r\n1,2\r\n");
    const std::wstring path = dir.WFile("data.csv");
    OpenReader source(path);
    OpenReader twin(path);
    kvx_alloc::Sweep("CQVCsvFormatReader copy", [&](uint64_t failAt) -> bool {
        std::unique_ptr<CQVCsvFormatReader> copy;
        const auto [injected, threw] = kvx_alloc::RunArmed(
            failAt, [&] { copy = std::make_unique<CQVCsvFormatReader>(source.reader); });
        EXPECT_EQ(injected, threw) << failAt;
        EXPECT_TRUE(SameFields(source.reader, twin.reader)) << failAt;
        if (!injected) {
            EXPECT_TRUE(SameFields(*copy, source.reader));
        }
        return injected;
    });
    kvx_alloc::Sweep("CQVCsvFormatReader assignment", [&](uint64_t failAt) -> bool {
        OpenReader target(dir.WFile("other.csv"));
        OpenReader targetTwin(dir.WFile("other.csv"));
        const auto [injected, threw] =
            kvx_alloc::RunArmed(failAt, [&] { target.reader = source.reader; });
        EXPECT_EQ(injected, threw) << failAt;
        EXPECT_TRUE(SameFields(source.reader, twin.reader)) << failAt;
        EXPECT_TRUE(SameFields(target.reader, injected ? targetTwin.reader : source.reader))
            << failAt;
        if (injected) {
            EXPECT_EQ(target.reader.ReadNextRecord(), KVX_CSV_E_CANTREAD);  // end of other.csv
        }
        return injected;
    });
}

}  // namespace

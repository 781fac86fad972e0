// CQVCsvFormatReader used as a host uses it: through the shared library, including the
// exception that FindFieldIndex throws across the library boundary.
#include "kvx/csv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

TEST(CsvReaderShared, ReadsAndThrowsAcrossTheLibraryBoundary) {
    namespace fs = std::filesystem;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path file =
        fs::temp_directory_path() / ("kvx-csv-shared-" + std::to_string(stamp) + ".csv");
    std::ofstream(file, std::ios::binary) << "name;value\r\n\"a;b\";42\r\n";
    {
        CQVCsvFormatReader reader;
        ASSERT_EQ(reader.Open(file.wstring().c_str()), 0);
        ASSERT_EQ(reader.ReadNextRecord(), 0);
        EXPECT_STREQ(reader.GetRecordDataAsString(0), "a;b");
        EXPECT_EQ(reader.GetRecordDataAsInt(1), 42);
        try {
            reader.FindFieldIndex("Value");
            ADD_FAILURE() << "no exception";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Value");
        }
    }
    fs::remove(file);
}

}  // namespace

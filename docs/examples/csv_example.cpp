// csv_example.cpp: the guide's CSV example: a header line, then record after record.
#include "example_support.h"

#include "kvx/csv.h"

#include <cstdio>
#include <exception>
#include <fstream>

int main() {
    const auto path = ExampleFolder("csv") / "readings.csv";
    std::ofstream(path, std::ios::binary) << "sensor;site;value\r\n"
                                             "T-101;\"Hall 1; Bay 4\";22.5\r\n"
                                             "T-102;Hall 2;21.75\r\n";

    CQVCsvFormatReader reader;
    const LONG status = reader.Open(path.wstring().c_str());  // reads the header line
    if (status != KVX_CSV_S_OK) {
        std::printf("cannot open: 0x%08X\n", static_cast<unsigned>(status));
        return 1;
    }
    uint64_t sensor = 0, value = 0;
    try {
        sensor = static_cast<uint64_t>(reader.FindFieldIndex("sensor"));
        value = static_cast<uint64_t>(reader.FindFieldIndex("value"));
    } catch (const std::exception& missing) {  // names match exactly
        std::printf("no column %s\n", missing.what());
        return 1;
    }
    int records = 0;
    while (reader.ReadNextRecord() == KVX_CSV_S_OK) {  // KVX_CSV_E_CANTREAD at the end
        ++records;
        std::printf("%s = %.2f (site %s)\n", reader.GetRecordDataAsString(sensor),
                    reader.GetRecordDataAsDouble(value), reader.GetRecordDataAsString(1));
    }
    reader.Close();
    return records == 2 ? 0 : 1;
}

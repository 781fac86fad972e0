// csv_section.cpp: the sample host reads the bundled sensor log with CQVCsvFormatReader and
// prints a summary of it: the columns, the readings per sensor and the ones not marked ok.
#include "demo_section.h"

#include "kvx/csv.h"

#include <exception>
#include <filesystem>
#include <map>
#include <string>

namespace {

struct SensorSummary {
    std::string location;
    std::string unit;
    int readings = 0;
    double sum = 0.0;
    double low = 0.0;
    double high = 0.0;
};

int DemoCsv(DemoContext& context) {
    const std::wstring path = (std::filesystem::path(context.dataDir) / "sensors.csv").wstring();
    CQVCsvFormatReader reader;
    const LONG status = reader.Open(path.c_str());
    if (status != 0) {
        std::printf("   cannot read sensors.csv: status 0x%08X\n", static_cast<unsigned>(status));
        return 1;
    }
    std::printf("   sensors.csv: %llu columns:",
                static_cast<unsigned long long>(reader.GetFieldCount()));
    for (uint64_t i = 0; i < reader.GetFieldCount(); ++i) {
        std::printf(" %s", reader.GetHeaderText(i));
    }
    std::printf("\n");

    int sensor = 0, location = 0, value = 0, unit = 0, state = 0, time = 0;
    try {
        sensor = reader.FindFieldIndex("sensor");
        location = reader.FindFieldIndex("location");
        value = reader.FindFieldIndex("value");
        unit = reader.FindFieldIndex("unit");
        state = reader.FindFieldIndex("status");
        time = reader.FindFieldIndex("time");
    } catch (const std::exception& e) {
        std::printf("   missing column \"%s\"\n", e.what());
        return 1;
    }

    std::map<std::string, SensorSummary> sensors;
    int records = 0;
    int flagged = 0;
    while (reader.ReadNextRecord() == 0) {
        ++records;
        SensorSummary& s = sensors[reader.GetRecordDataAsString(static_cast<uint64_t>(sensor))];
        const double reading = reader.GetRecordDataAsDouble(static_cast<uint64_t>(value));
        if (s.readings == 0) {
            s.location = reader.GetRecordDataAsString(static_cast<uint64_t>(location));
            s.unit = reader.GetRecordDataAsString(static_cast<uint64_t>(unit));
            s.low = s.high = reading;
        }
        ++s.readings;
        s.sum += reading;
        s.low = reading < s.low ? reading : s.low;
        s.high = reading > s.high ? reading : s.high;
        const std::string stateText = reader.GetRecordDataAsString(static_cast<uint64_t>(state));
        if (stateText != "ok" && flagged++ < 3) {
            std::printf("   %s %s at %s: %s\n", stateText.c_str(),
                        reader.GetRecordDataAsString(static_cast<uint64_t>(sensor)),
                        reader.GetRecordDataAsString(static_cast<uint64_t>(time)),
                        reader.GetRecordDataAsString(static_cast<uint64_t>(value)));
        }
    }
    std::printf("   %d records, %d not ok (first three above)\n", records, flagged);
    for (const auto& [name, s] : sensors) {
        std::printf("   %-6s %-16s %3d readings, mean %8.2f %-5s (%.2f .. %.2f)\n", name.c_str(),
                    s.location.c_str(), s.readings, s.sum / s.readings, s.unit.c_str(), s.low,
                    s.high);
    }
    try {
        reader.FindFieldIndex("Sensor");
    } catch (const std::exception& e) {
        std::printf("   FindFieldIndex(\"%s\") throws: names match exactly\n", e.what());
    }
    return records > 0 ? 0 : 1;
}

}  // namespace

KVX_DEMO_SECTION(40, "CSV reader", DemoCsv);

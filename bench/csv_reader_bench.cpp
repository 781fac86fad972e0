// csv_reader_bench.cpp: reading a generated CSV file record by record, touching every field
// and converting one to a number, with kvx's reader and with what a host would otherwise use:
// libcsv, std::getline plus a split, and the floor (1 MiB reads, line ends counted by memchr).
//
// The files are generated into a temporary folder at start and removed at the end: 8 columns
// of numbers and short texts, every fourth row with a quoted field holding a comma; 50, 100
// and 200 MB with LF line ends, and 100 MB with CR LF and with CR alone.
#include "kvx/csv.h"

#include <benchmark/benchmark.h>
#include <csv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMB = 1000 * 1000;
constexpr size_t kBlock = 1 << 20;

fs::path g_folder;
std::map<std::string, fs::path> g_files;  // "LF/100" -> path

void AppendNumber(std::string& out, uint64_t value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) {
        out.push_back(digits[--n]);
    }
}

std::string MakeRows(size_t bytes, const char* lineEnd) {
    static const char* const kSensors[] = {"temp", "humidity", "pressure", "flow", "level"};
    static const char* const kSites[] = {"\"Berlin, DE\"", "\"Lyon, FR\"", "\"Turin, IT\"",
                                         "\"Graz, AT\""};
    std::string out;
    out.reserve(bytes + 256);
    out += "id,time,sensor,value,site,count,state,ratio";
    out += lineEnd;
    uint64_t seed = 0x9E3779B97F4A7C15ULL;
    for (uint64_t id = 1; out.size() < bytes; ++id) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const unsigned r = static_cast<unsigned>(seed >> 33);
        AppendNumber(out, id);
        out += ',';
        AppendNumber(out, 1700000000ULL + id * 7);
        out += ',';
        out += kSensors[r % 5];
        out += ',';
        AppendNumber(out, r % 1000);
        out += '.';
        AppendNumber(out, 10 + r % 90);
        out += ',';
        out += (id % 4 == 0) ? kSites[r % 4] : "plant-7";
        out += ',';
        AppendNumber(out, r % 50000);
        out += (r & 1) ? ",ok,0." : ",check,0.";
        AppendNumber(out, 1000 + r % 9000);
        out += lineEnd;
    }
    return out;
}

// The file of a variant ("LF/100": LF line ends, 100 MB), made on first use.
const fs::path& File(const std::string& variant) {
    const auto found = g_files.find(variant);
    if (found != g_files.end()) {
        return found->second;
    }
    const size_t slash = variant.find('/');
    const std::string ends = variant.substr(0, slash);
    const size_t mb = std::stoul(variant.substr(slash + 1));
    const char* lineEnd = ends == "CRLF" ? "\r\n" : ends == "CR" ? "\r" : "\n";
    const std::string rows = MakeRows(mb * kMB, lineEnd);
    const fs::path path = g_folder / (ends + "-" + std::to_string(mb) + ".csv");
    std::ofstream(path, std::ios::binary)
        .write(rows.data(), static_cast<std::streamsize>(rows.size()));
    // On disk before any timing: otherwise the kernel writes the new file back while the
    // first benchmarks read it, and the larger the file the more of its reading that slows.
    const int fd = open(path.c_str(), O_RDONLY);
    fsync(fd);
    close(fd);
    return g_files[variant] = path;
}

// Reads the whole file once so every run finds it in the page cache.
void WarmUp(const fs::path& path) {
    std::vector<char> block(kBlock);
    const int fd = open(path.c_str(), O_RDONLY);
    while (read(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
}

void Finish(benchmark::State& state, const fs::path& path, uint64_t records, uint64_t check) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
    state.counters["records"] = static_cast<double>(records);
    benchmark::DoNotOptimize(check);
}

void KvxReader(benchmark::State& state, const std::string& file) {
    const fs::path path = File(file);
    WarmUp(path);
    const std::wstring wide = path.wstring();
    uint64_t records = 0;
    uint64_t check = 0;
    for (auto _ : state) {
        CQVCsvFormatReader reader;
        if (reader.Open(wide.c_str()) != 0) {
            state.SkipWithError("open failed");
            return;
        }
        const uint64_t fields = reader.GetFieldCount();
        records = 0;
        while (reader.ReadNextRecord() == 0) {
            for (uint64_t i = 0; i < fields; ++i) {
                check += static_cast<unsigned char>(reader.GetRecordDataAsString(i)[0]);
            }
            check += static_cast<uint64_t>(reader.GetRecordDataAsInt(5));
            ++records;
        }
    }
    Finish(state, path, records, check);
}

// The reader alone: records split but not looked at, to tell its cost from the caller's.
void KvxReaderOnly(benchmark::State& state, const std::string& file) {
    const fs::path path = File(file);
    WarmUp(path);
    const std::wstring wide = path.wstring();
    uint64_t records = 0;
    for (auto _ : state) {
        CQVCsvFormatReader reader;
        if (reader.Open(wide.c_str()) != 0) {
            state.SkipWithError("open failed");
            return;
        }
        records = 0;
        while (reader.ReadNextRecord() == 0) {
            ++records;
        }
    }
    Finish(state, path, records, records);
}

struct LibcsvState {
    uint64_t field = 0;
    uint64_t records = 0;
    uint64_t check = 0;
};

void LibcsvField(void* data, size_t length, void* context) {
    auto* s = static_cast<LibcsvState*>(context);
    if (length != 0) {
        s->check += static_cast<unsigned char>(static_cast<const char*>(data)[0]);
    }
    if (s->field == 5) {
        s->check += static_cast<uint64_t>(std::atoi(static_cast<const char*>(data)));
    }
    ++s->field;
}

void LibcsvRecord(int, void* context) {
    auto* s = static_cast<LibcsvState*>(context);
    s->field = 0;
    ++s->records;
}

void Libcsv(benchmark::State& state, const std::string& file) {
    const fs::path path = File(file);
    WarmUp(path);
    std::vector<char> block(kBlock, 1);
    LibcsvState s;
    uint64_t records = 0;
    for (auto _ : state) {
        csv_parser parser;
        csv_init(&parser, CSV_APPEND_NULL);
        s = LibcsvState{};
        const int fd = open(path.c_str(), O_RDONLY);
        ssize_t got = 0;
        while ((got = read(fd, block.data(), block.size())) > 0) {
            csv_parse(&parser, block.data(), static_cast<size_t>(got), LibcsvField, LibcsvRecord,
                      &s);
        }
        csv_fini(&parser, LibcsvField, LibcsvRecord, &s);
        csv_free(&parser);
        close(fd);
        records = s.records - 1;  // without the header
    }
    Finish(state, path, records, s.check);
}

// What a host writes in a hurry: getline, then split at commas, honouring a leading quote.
void GetlineSplit(benchmark::State& state, const std::string& file) {
    const fs::path path = File(file);
    WarmUp(path);
    uint64_t records = 0;
    uint64_t check = 0;
    std::vector<std::string_view> fields;
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        std::getline(in, line);
        records = 0;
        while (std::getline(in, line)) {
            if (line.empty()) {
                continue;
            }
            fields.clear();
            std::string_view rest(line);
            for (;;) {
                size_t end = 0;
                if (!rest.empty() && rest[0] == '"') {
                    const size_t close = rest.find('"', 1);
                    end = rest.find(',', close == std::string_view::npos ? rest.size() : close);
                } else {
                    end = rest.find(',');
                }
                fields.push_back(rest.substr(0, end));
                if (end == std::string_view::npos) {
                    break;
                }
                rest.remove_prefix(end + 1);
            }
            for (std::string_view f : fields) {
                check += f.empty() ? 0 : static_cast<unsigned char>(f[0]);
            }
            check += static_cast<uint64_t>(std::atoi(std::string(fields[5]).c_str()));
            ++records;
        }
    }
    Finish(state, path, records, check);
}

// The floor: the same file in 1 MiB reads, line ends counted with memchr.
void MemchrFloor(benchmark::State& state, const std::string& file) {
    const fs::path path = File(file);
    WarmUp(path);
    std::vector<char> block(kBlock, 1);
    uint64_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        const int fd = open(path.c_str(), O_RDONLY);
        ssize_t got = 0;
        while ((got = read(fd, block.data(), block.size())) > 0) {
            const char* p = block.data();
            const char* end = p + got;
            while ((
                p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))))) {
                ++lines;
                ++p;
            }
        }
        close(fd);
    }
    Finish(state, path, lines - 1, lines);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    g_folder = fs::temp_directory_path() / ("kvx-csv-bench-" + std::to_string(getpid()));
    fs::create_directories(g_folder);
    auto add = [](const std::string& name, void (*fn)(benchmark::State&, const std::string&),
                  const std::string& file) {
        benchmark::RegisterBenchmark((name + "/" + file).c_str(), fn, file)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
    };
    add("ReadAll/kvx", KvxReader, "LF/50");
    add("ReadAll/kvx", KvxReader, "LF/100");
    add("ReadAll/kvx", KvxReader, "LF/200");
    add("ReadAll/kvx", KvxReader, "CRLF/100");
    add("ReadAll/kvx", KvxReader, "CR/100");
    add("ReadAll/kvx, fields not read", KvxReaderOnly, "LF/100");
    add("ReadAll/libcsv", Libcsv, "LF/100");
    add("ReadAll/libcsv", Libcsv, "CRLF/100");
    add("ReadAll/getline+split", GetlineSplit, "LF/100");
    add("ReadAll/floor: memchr for line ends", MemchrFloor, "LF/100");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(g_folder, ec);
    return 0;
}

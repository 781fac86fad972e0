// csv_reader_fuzz.cpp: CQVCsvFormatReader over arbitrary file contents.
//
// Inputs that fit one read of the reader (less than 1 MiB) are also split by a plain model of
// the format written for clarity, not speed, and every header name and record field must
// match it. An input that begins with the byte 0x7F is first padded to cross the end of the
// first read, so that refills, lines across reads and lines longer than the read buffer are
// reached too.
#include "kvx/csv.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

constexpr size_t kReadBuffer = 0x100000;
constexpr size_t kMaxLine = 8191;

// The model: the whole file is in the buffer, so each line runs to the first CR left in the
// file, else to the first LF, else to the end.
struct Model {
    char separator = 0;
    std::vector<std::string> lines;
};

Model Lines(const std::string& data) {
    Model m;
    const size_t sep = data.find_first_of(",;");
    m.separator = sep == std::string::npos ? 0 : data[sep];
    size_t pos = 0;
    for (;;) {
        while (pos < data.size() && (data[pos] == '\r' || data[pos] == '\n')) {
            ++pos;
        }
        if (pos == data.size()) {
            break;
        }
        size_t end = data.find('\r', pos);
        if (end == std::string::npos) {
            end = data.find('\n', pos);
        }
        if (end == std::string::npos) {
            end = data.size();
        }
        m.lines.push_back(data.substr(pos, std::min(end - pos, kMaxLine)));
        pos = end;
    }
    return m;
}

// Text up to the first NUL, as a C caller sees a field.
std::string Visible(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

Fields Split(const std::string& line, char separator) {
    std::string text = line + separator;
    Fields out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.size() - 1;  // an unclosed quote runs to the end of the line
        bool inQuotes = false;
        for (size_t i = start; i < text.size(); ++i) {
            if (text[i] == '"') {
                inQuotes = i == start;
            } else if (text[i] == separator && !inQuotes) {
                end = i;
                break;
            }
        }
        std::string field = Visible(text.substr(start, end - start));
        if (!field.empty() && field[0] == '"') {
            field.erase(0, 1);
            if (!field.empty() && field.back() == '"') {
                field.pop_back();
            }
        }
        out.push_back(field);
        start = end + 1;
    }
    return out;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "mismatch: %s\n", what);
        std::abort();
    }
}

std::string TempPath() {
    return (std::filesystem::temp_directory_path() /
            ("kvx-csv-fuzz-" + std::to_string(getpid()) + ".csv"))
        .string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string data(reinterpret_cast<const char*>(bytes), size);
    if (size >= 2 && bytes[0] == 0x7F) {
        // Place the input across the end of the first read: behind it a filler of empty
        // lines or of one long line, as the second byte says.
        const std::string input = data.substr(2);
        const char filler = (bytes[1] & 1) != 0 ? 'x' : '\n';
        const size_t used =
            std::min(kReadBuffer, static_cast<size_t>(bytes[1] >> 1) * 64 + input.size());
        data = input + std::string(kReadBuffer - used, filler) + input + input;
    }
    static const std::string path = TempPath();
    // A new file each time: truncating one in place makes some file systems flush it on close.
    std::remove(path.c_str());
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    } else {
        return 0;
    }

    CQVCsvFormatReader reader;
    const std::wstring wide(path.begin(), path.end());
    const LONG opened = reader.Open(wide.c_str());
    const bool modelled = data.size() < kReadBuffer;
    Model model;
    if (modelled) {
        model = Lines(data);
        Check((opened == 0) == !model.lines.empty(), "open status");
    }
    if (opened != 0) {
        Check(reader.ReadNextRecord() < 0, "read after a failed open");
        return 0;
    }
    const uint64_t count = reader.GetFieldCount();
    Fields header;
    for (uint64_t i = 0; i < count; ++i) {
        header.push_back(reader.GetHeaderText(i));
    }
    if (modelled) {
        Check(header == Split(model.lines[0], model.separator), "header");
    }
    try {
        const int32_t index = reader.FindFieldIndex(header.empty() ? "" : header.back().c_str());
        Check(index >= 0 && static_cast<uint64_t>(index) < count, "field index");
    } catch (const std::exception&) {
        Check(header.empty(), "an existing name was not found");
    }

    size_t record = 1;
    uint64_t sum = 0;
    while (reader.ReadNextRecord() == 0) {
        Check(reader.RecordIsValid() == 1, "slot count");
        Fields fields;
        for (uint64_t i = 0; i < count; ++i) {
            fields.push_back(reader.GetRecordDataAsString(i));
            sum += static_cast<uint64_t>(reader.GetRecordDataAsInt64(i)) +
                   static_cast<uint64_t>(reader.GetRecordDataAsChar(i));
            sum += static_cast<uint64_t>(reader.GetRecordDataAsDouble(i) != 0.0);
        }
        if (modelled) {
            Check(record < model.lines.size(), "more records than lines");
            Fields want = Split(model.lines[record], model.separator);
            want.resize(count);
            Check(fields == want, "record fields");
        }
        if (record == 2) {
            CQVCsvFormatReader copy(reader);
            Check(copy.GetFieldCount() == count, "copy count");
            for (uint64_t i = 0; i < count; ++i) {
                Check(fields[i] == copy.GetRecordDataAsString(i), "copy field");
            }
            Check(copy.ReadNextRecord() < 0, "copy read");
        }
        ++record;
    }
    if (modelled) {
        Check(record == model.lines.size(), "fewer records than lines");
    }
    return sum == 0xFFFFFFFFFFFFFFFFULL ? 1 : 0;
}

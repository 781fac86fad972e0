// conversion.cpp: CSV records into XML nodes and the field-by-field check back.
#include "conversion.h"

#include "kvx/csv.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

namespace {

// The header's columns as element names, or an error when the file has no header.
bool OpenCsv(CQVCsvFormatReader& reader, const std::wstring& path, std::vector<std::string>& names,
             ConversionResult& result) {
    const LONG status = reader.Open(path.c_str());
    if (status != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "cannot read the CSV file (status 0x%08X)",
                      static_cast<unsigned>(status));
        result.error = text;
        return false;
    }
    const uint64_t count = reader.GetFieldCount();
    if (count == 0) {
        result.error = "the CSV file has no header line";
        return false;
    }
    for (uint64_t i = 0; i < count; ++i) {
        names.push_back(ElementName(reader.GetHeaderText(i), i));
    }
    result.columns = count;
    return true;
}

uint64_t RecordBytes(const CQVCsvFormatReader& reader, uint64_t columns) {
    uint64_t bytes = columns;  // separators and the line end
    for (uint64_t i = 0; i < columns; ++i) {
        bytes += std::strlen(reader.GetRecordDataAsString(i));
    }
    return bytes;
}

}  // namespace

std::string ElementName(const std::string& columnName, uint64_t index) {
    if (columnName.empty()) {
        return "column" + std::to_string(index + 1);
    }
    std::string name = columnName;
    for (char& c : name) {
        const auto code = static_cast<unsigned char>(c);
        if (code <= ' ' || code == 0x7F || c == '<' || c == '>' || c == '/') {
            c = '_';
        }
    }
    return name;
}

std::string EscapeText(const std::string& text) {
    if (text.find_first_of("&<") == std::string::npos) {
        return text;
    }
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '&') {
            escaped += "&amp;";
        } else if (c == '<') {
            escaped += "&lt;";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string UnescapeText(const std::string& text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 5, "&amp;") == 0) {
            plain += '&';
            i += 4;
        } else if (text.compare(i, 4, "&lt;") == 0) {
            plain += '<';
            i += 3;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

ConversionResult ReadCsvIntoDocument(const std::wstring& csvPath, const ConversionOptions& options,
                                     CQVXmlFormat& document) {
    ConversionResult result;
    try {
        CQVCsvFormatReader reader;
        std::vector<std::string> names;
        if (!OpenCsv(reader, csvPath, names, result)) {
            return result;
        }
        XML_NODE* root = document.AddRootNode(options.rootName.c_str());
        root->values.clear();
        root->children.clear();
        uint64_t bytes = 0;
        while (reader.ReadNextRecord() == 0) {
            XML_NODE& node = root->children.emplace_back(1, options.recordName);
            node.values.reserve(names.size());
            for (uint64_t i = 0; i < names.size(); ++i) {
                const std::string text = reader.GetRecordDataAsString(i);
                std::string value = EscapeText(text);
                result.escapedFields += value.size() != text.size();
                node.values.push_back({names[i], std::move(value)});
            }
            bytes += RecordBytes(reader, names.size());
            if (++result.records % 4096 == 0 && options.progress) {
                options.progress(result.records, bytes);
            }
        }
        result.ok = true;
    } catch (const std::bad_alloc&) {
        result.error = "out of memory after " + std::to_string(result.records) + " records";
    }
    return result;
}

ConversionResult CheckDocumentAgainstCsv(const std::wstring& csvPath, const std::wstring& xmlPath,
                                         const ConversionOptions& options) {
    ConversionResult result;
    try {
        if (options.progress) {
            options.progress(0, 0);  // loading the whole file comes first and takes a while
        }
        CQVXmlFormat document;
        const XML_NODE* root = document.LoadFile(xmlPath.c_str());
        if (root == nullptr) {
            result.error = "cannot load the XML file";
            return result;
        }
        if (root->name != options.rootName) {
            result.error = "the root is \"" + root->name + "\", not \"" + options.rootName + "\"";
            return result;
        }
        CQVCsvFormatReader reader;
        std::vector<std::string> names;
        if (!OpenCsv(reader, csvPath, names, result)) {
            return result;
        }
        uint64_t bytes = 0;
        for (const XML_NODE& node : root->children) {
            if (reader.ReadNextRecord() != 0) {
                result.error = "the XML file holds more records than the CSV file (" +
                               std::to_string(root->children.size()) + ")";
                return result;
            }
            const std::string where = "record " + std::to_string(result.records + 1);
            if (node.name != options.recordName || node.values.size() != names.size()) {
                result.error = where + ": node \"" + node.name + "\" with " +
                               std::to_string(node.values.size()) + " fields";
                return result;
            }
            for (uint64_t i = 0; i < names.size(); ++i) {
                const XML_VALUE& value = node.values[i];
                if (value.name != names[i] ||
                    UnescapeText(value.value) != reader.GetRecordDataAsString(i)) {
                    result.error = where + ", column \"" + names[i] + "\": \"" + value.value +
                                   "\" in the XML file, \"" + reader.GetRecordDataAsString(i) +
                                   "\" in the CSV file";
                    return result;
                }
            }
            bytes += RecordBytes(reader, names.size());
            if (++result.records % 4096 == 0 && options.progress) {
                options.progress(result.records, bytes);
            }
        }
        if (reader.ReadNextRecord() == 0) {
            result.error = "the CSV file holds more records than the XML file (" +
                           std::to_string(result.records) + ")";
            return result;
        }
        result.ok = true;
    } catch (const std::bad_alloc&) {
        result.error = "out of memory after " + std::to_string(result.records) + " records";
    }
    return result;
}

// conversion.h: csv2xml's two jobs, a CSV file turned into an XML document of the kvx dialect
// and the reverse check that a document still holds what the CSV file holds.
//
// The document: a root node (level 0) named by the caller, one node per record (level 1,
// named by the caller), and in each record node one leaf element per header column, in the
// header's order: "<column>field text</column>". Column names become element names: bytes that
// would end or close a tag ("<", ">", "/"), white space and control bytes become "_", and an
// empty column name becomes "column<N>" (N counted from 1). Field texts pass through byte for
// byte, except that "&" and "<" are written as "&amp;" and "&lt;" so that the text ends where
// the dialect and any XML reader expect; the check decodes them again.
#pragma once

#include "kvx/xml.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ConversionOptions {
    std::string rootName = "table";
    std::string recordName = "record";
    // Called every 4,096 records with the records read so far and an estimate of the CSV
    // bytes consumed (field texts, separators and line ends; quotes not counted).
    std::function<void(uint64_t records, uint64_t bytes)> progress;
};

struct ConversionResult {
    bool ok = false;
    std::string error;  // what went wrong, for the user, when !ok
    uint64_t records = 0;
    uint64_t columns = 0;
    uint64_t escapedFields = 0;  // fields holding "&" or "<"
};

// The element name a CSV column name becomes; `index` counts columns from 0.
std::string ElementName(const std::string& columnName, uint64_t index);
// "&" and "<" written as entities, and back.
std::string EscapeText(const std::string& text);
std::string UnescapeText(const std::string& text);

// Reads the CSV file at `csvPath` into `document` (replacing its root). Fails when the file
// cannot be opened or has no header line.
ConversionResult ReadCsvIntoDocument(const std::wstring& csvPath, const ConversionOptions& options,
                                     CQVXmlFormat& document);

// Loads the XML file at `xmlPath` and compares it with the CSV file at `csvPath`, record by
// record and field by field, as ReadCsvIntoDocument would have written it. Fails at the first
// difference, naming the record and column.
ConversionResult CheckDocumentAgainstCsv(const std::wstring& csvPath, const std::wstring& xmlPath,
                                         const ConversionOptions& options);

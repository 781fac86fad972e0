// main.cpp: csv2xml, a command-line converter from CSV files to kvx's XML dialect.
//
//   csv2xml [options] INPUT.csv OUTPUT.xml    convert, then check the written file
//   csv2xml --check [options] INPUT.csv FILE.xml   only check FILE.xml against INPUT.csv
// Options: --root NAME (default "table"), --record NAME (default "record"), --no-check,
// --progress / --quiet (progress lines on standard error are shown by default for inputs of
// 8 MiB and more).
// Exit status: 0 done, 1 conversion or check failed, 2 bad command line.
#include "conversion.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr uint64_t kProgressFromBytes = 8u << 20;

int Usage() {
    std::fprintf(stderr, "usage: csv2xml [--check] [--no-check] [--root NAME] [--record NAME]\n"
                         "               [--progress | --quiet] INPUT.csv OUTPUT.xml\n");
    return 2;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Progress lines on standard error, at most one a second (plain lines, so that they read the
// same on a terminal and in a log).
struct Progress {
    const char* verb = "";
    uint64_t totalBytes = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double lastShown = -1.0;

    void Show(uint64_t records, uint64_t bytes) {
        const double elapsed = Seconds(start);
        if (lastShown >= 0 && elapsed - lastShown < 1.0) {
            return;
        }
        lastShown = elapsed;
        // The byte count leaves out quotes and the second byte of CR LF: never claim 100%.
        const double percent =
            totalBytes ? 100.0 * static_cast<double>(bytes) / static_cast<double>(totalBytes) : 0;
        std::fprintf(stderr, "%s: %llu records, about %.0f%%, %.1f s\n", verb,
                     static_cast<unsigned long long>(records), percent > 99 ? 99.0 : percent,
                     elapsed);
    }
};

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    ConversionOptions options;
    bool checkOnly = false, check = true;
    int progress = -1;  // -1: by input size
    const char* paths[2] = {};
    int pathCount = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--check") {
            checkOnly = true;
        } else if (arg == "--no-check") {
            check = false;
        } else if (arg == "--progress") {
            progress = 1;
        } else if (arg == "--quiet") {
            progress = 0;
        } else if ((arg == "--root" || arg == "--record") && i + 1 < argc) {
            (arg == "--root" ? options.rootName : options.recordName) = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else if (pathCount < 2) {
            paths[pathCount++] = argv[i];
        } else {
            return Usage();
        }
    }
    if (pathCount != 2 || options.rootName.empty() || options.recordName.empty()) {
        return Usage();
    }
    const fs::path csvPath = fs::path(paths[0]);
    const fs::path xmlPath = fs::path(paths[1]);
    std::error_code ec;
    const uint64_t csvBytes = fs::file_size(csvPath, ec);
    const bool showProgress =
        progress == 1 || (progress == -1 && !ec && csvBytes >= kProgressFromBytes);

    Progress meter;
    meter.totalBytes = ec ? 0 : csvBytes;
    if (showProgress) {
        options.progress = [&meter](uint64_t records, uint64_t bytes) {
            meter.Show(records, bytes);
        };
    }

    if (!checkOnly) {
        meter.verb = "reading";
        const auto start = std::chrono::steady_clock::now();
        CQVXmlFormat document;
        const ConversionResult read = ReadCsvIntoDocument(csvPath.wstring(), options, document);
        if (!read.ok) {
            std::fprintf(stderr, "csv2xml: %s: %s\n", paths[0], read.error.c_str());
            return 1;
        }
        if (showProgress) {
            std::fprintf(stderr, "writing %s\n", paths[1]);
        }
        const LONG saved = document.SaveFile(xmlPath.wstring().c_str());
        if (saved != 0) {
            std::fprintf(stderr, "csv2xml: %s: cannot write (system error %ld)\n", paths[1],
                         static_cast<long>(saved));
            return 1;
        }
        const uint64_t xmlBytes = fs::file_size(xmlPath, ec);
        std::printf("csv2xml: %s -> %s: %llu records of %llu columns, %llu bytes, %.3f s\n",
                    paths[0], paths[1], static_cast<unsigned long long>(read.records),
                    static_cast<unsigned long long>(read.columns),
                    static_cast<unsigned long long>(ec ? 0 : xmlBytes), Seconds(start));
        if (read.escapedFields != 0) {
            std::printf("csv2xml: %llu fields hold \"&\" or \"<\", written as entities\n",
                        static_cast<unsigned long long>(read.escapedFields));
        }
    }
    if (checkOnly || check) {
        meter = Progress{};
        meter.verb = "checking";
        meter.totalBytes = ec ? 0 : csvBytes;
        const auto start = std::chrono::steady_clock::now();
        const ConversionResult checked =
            CheckDocumentAgainstCsv(csvPath.wstring(), xmlPath.wstring(), options);
        if (!checked.ok) {
            std::fprintf(stderr, "csv2xml: check of %s failed: %s\n", paths[1],
                         checked.error.c_str());
            return 1;
        }
        std::printf("csv2xml: %s matches %s: %llu records, %.3f s\n", paths[1], paths[0],
                    static_cast<unsigned long long>(checked.records), Seconds(start));
    }
    return 0;
}

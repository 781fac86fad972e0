// xml_bench.cpp: the XML format beside pugixml, tinyxml2 and rapidxml, on one generated 50 MB
// document in the line dialect (one element per line, tab-indented, CR LF, nodes 2-6 deep with
// leaf elements).
//
// - Parse: the bytes in memory into each library's tree. kvx, pugixml and rapidxml parse in
//   place, so each round gets a fresh copy of the bytes first (not timed); tinyxml2 copies
//   internally. Freeing the tree is not timed for anyone.
// - LoadFile: the same bytes from a file (in the page cache) into the tree, beside pugixml.
// - SaveFile: the tree to a file, beside pugixml and beside the floor of writing one line per
//   call: the same lines, each handed to one write().
// Rates are MB of the document per second.
#include "kvx/xml.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>
#include <rapidxml/rapidxml.hpp>
#include <tinyxml2.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kDocumentBytes = 50u << 20;

void AppendNode(std::string& out, std::mt19937& rng, int level, int depth) {
    static const char* const kNodes[] = {"record", "section", "group", "entry", "block"};
    static const char* const kLeaves[] = {"name",     "price",   "description", "sku",
                                          "quantity", "updated", "category",    "owner"};
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJ0123456789.-";
    const auto pick = [&](int n) { return static_cast<size_t>(rng() % static_cast<unsigned>(n)); };
    const std::string tabs(static_cast<size_t>(level), '\t');
    const std::string name = kNodes[pick(5)];
    out += tabs + "<" + name + ">\r\n";
    const size_t values = 2 + pick(5);
    for (size_t i = 0; i < values; ++i) {
        const std::string leaf = kLeaves[pick(8)];
        out += tabs + "\t<" + leaf + ">";
        const size_t length = 2 + pick(23);
        for (size_t k = 0; k < length; ++k) {
            out += kLetters[pick(sizeof(kLetters) - 1)];
        }
        out += "</" + leaf + ">\r\n";
    }
    if (depth > 1) {
        const size_t children = 1 + pick(3);
        for (size_t i = 0; i < children; ++i) {
            AppendNode(out, rng, level + 1, depth - 1);
        }
    }
    out += tabs + "</" + name + ">\r\n";
}

const std::string& Document() {
    static const std::string document = [] {
        std::mt19937 rng(20261206);
        std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<catalog>\r\n";
        out.reserve(kDocumentBytes + (1u << 20));
        while (out.size() < kDocumentBytes) {
            AppendNode(out, rng, 1, 2 + static_cast<int>(rng() % 5));
        }
        out += "</catalog>\r\n";
        return out;
    }();
    return document;
}

std::filesystem::path Folder() {
    static const std::filesystem::path folder = [] {
        auto path =
            std::filesystem::temp_directory_path() / ("kvx-xml-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

std::filesystem::path InputFile() {
    static const std::filesystem::path path = [] {
        auto p = Folder() / "input.xml";
        std::ofstream(p, std::ios::binary) << Document();
        return p;
    }();
    return path;
}

void Rate(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(Document().size()));
}

// Destroys a tree outside the timed part, including the work the allocator defers: glibc
// merges freed small blocks at its next large request, which would otherwise land in the
// next round's parse.
template <typename Document> void Drop(std::unique_ptr<Document>& doc) {
    doc.reset();
    std::free(std::malloc(1 << 20));
}

// A writable copy of the document, refreshed before each in-place parse.
struct Scratch {
    std::vector<char> bytes = std::vector<char>(Document().size() + 1);
    char* Fresh() {
        std::memcpy(bytes.data(), Document().data(), Document().size());
        bytes.back() = '\0';
        return bytes.data();
    }
};

void Parse_kvx(benchmark::State& state) {
    Scratch scratch;
    auto doc = std::make_unique<CQVXmlFormat>();
    doc->AssignInputData(scratch.Fresh());  // warm up: the allocator's memory is faulted in
    for (auto _ : state) {
        state.PauseTiming();
        Drop(doc);
        doc = std::make_unique<CQVXmlFormat>();
        char* text = scratch.Fresh();
        state.ResumeTiming();
        benchmark::DoNotOptimize(doc->AssignInputData(text));
    }
    Rate(state);
}

void Parse_pugixml(benchmark::State& state) {
    Scratch scratch;
    auto doc = std::make_unique<pugi::xml_document>();
    doc->load_buffer_inplace(scratch.Fresh(), Document().size());
    for (auto _ : state) {
        state.PauseTiming();
        Drop(doc);
        doc = std::make_unique<pugi::xml_document>();
        char* text = scratch.Fresh();
        state.ResumeTiming();
        const pugi::xml_parse_result result = doc->load_buffer_inplace(text, Document().size());
        if (!result) {
            state.SkipWithError(result.description());
        }
    }
    Rate(state);
}

void Parse_tinyxml2(benchmark::State& state) {
    auto doc = std::make_unique<tinyxml2::XMLDocument>();
    doc->Parse(Document().data(), Document().size());
    for (auto _ : state) {
        state.PauseTiming();
        Drop(doc);
        doc = std::make_unique<tinyxml2::XMLDocument>();
        state.ResumeTiming();
        if (doc->Parse(Document().data(), Document().size()) != tinyxml2::XML_SUCCESS) {
            state.SkipWithError(doc->ErrorStr());
        }
    }
    Rate(state);
}

void Parse_rapidxml(benchmark::State& state) {
    Scratch scratch;
    auto doc = std::make_unique<rapidxml::xml_document<>>();
    doc->parse<0>(scratch.Fresh());
    for (auto _ : state) {
        state.PauseTiming();
        Drop(doc);
        doc = std::make_unique<rapidxml::xml_document<>>();
        char* text = scratch.Fresh();
        state.ResumeTiming();
        doc->parse<0>(text);
        benchmark::DoNotOptimize(doc->first_node());
    }
    Rate(state);
}

void LoadFile_kvx(benchmark::State& state) {
    const std::wstring path = InputFile().wstring();
    auto doc = std::make_unique<CQVXmlFormat>();
    doc->LoadFile(path.c_str());
    for (auto _ : state) {
        state.PauseTiming();
        Drop(doc);
        doc = std::make_unique<CQVXmlFormat>();
        state.ResumeTiming();
        if (doc->LoadFile(path.c_str()) == nullptr) {
            state.SkipWithError("LoadFile failed");
        }
    }
    Rate(state);
}

void LoadFile_pugixml(benchmark::State& state) {
    const std::string path = InputFile().string();
    auto doc = std::make_unique<pugi::xml_document>();
    doc->load_file(path.c_str());
    for (auto _ : state) {
        state.PauseTiming();
        Drop(doc);
        doc = std::make_unique<pugi::xml_document>();
        state.ResumeTiming();
        if (!doc->load_file(path.c_str())) {
            state.SkipWithError("load_file failed");
        }
    }
    Rate(state);
}

void SaveFile_kvx(benchmark::State& state) {
    Scratch scratch;
    CQVXmlFormat doc;
    doc.AssignInputData(scratch.Fresh());
    const std::wstring path = (Folder() / "kvx-out.xml").wstring();
    for (auto _ : state) {
        if (doc.SaveFile(path.c_str()) != 0) {
            state.SkipWithError("SaveFile failed");
        }
    }
    Rate(state);
}

void SaveFile_pugixml(benchmark::State& state) {
    pugi::xml_document doc;
    doc.load_string(Document().c_str());
    const std::string path = (Folder() / "pugixml-out.xml").string();
    for (auto _ : state) {
        if (!doc.save_file(path.c_str(), "\t")) {
            state.SkipWithError("save_file failed");
        }
    }
    Rate(state);
}

// The floor of a writer that makes one write per line: the document's own lines, each handed
// to write() as it stands.
void SaveFile_floor_one_write_per_line(benchmark::State& state) {
    std::vector<std::string_view> lines;
    const std::string_view all = Document();
    for (size_t start = 0; start < all.size();) {
        const size_t end = all.find('\n', start) + 1;
        lines.push_back(all.substr(start, end - start));
        start = end;
    }
    const std::string path = (Folder() / "floor-out.xml").string();
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (const std::string_view line : lines) {
            if (write(fd, line.data(), line.size()) < 0) {
                state.SkipWithError("write failed");
                break;
            }
        }
        close(fd);
    }
    Rate(state);
}

}  // namespace

BENCHMARK(Parse_kvx)->Name("Parse/kvx")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(Parse_pugixml)
    ->Name("Parse/pugixml")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK(Parse_tinyxml2)
    ->Name("Parse/tinyxml2")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK(Parse_rapidxml)
    ->Name("Parse/rapidxml")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK(LoadFile_kvx)
    ->Name("LoadFile/kvx")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK(LoadFile_pugixml)
    ->Name("LoadFile/pugixml")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK(SaveFile_kvx)
    ->Name("SaveFile/kvx")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(SaveFile_pugixml)
    ->Name("SaveFile/pugixml")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(SaveFile_floor_one_write_per_line)
    ->Name("SaveFile/floor: one write per line")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

int main(int argc, char** argv) {
    // Freed memory stays with the process, so every round (kvx's and the peers') reuses pages
    // that are already faulted in instead of paying for fresh ones.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest it takes
    Document();
    InputFile();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(Folder(), ec);
    return 0;
}

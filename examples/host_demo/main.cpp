// main.cpp: the sample host. It runs each registered section on the bundled data and prints
// a short summary of what each subsystem did.
#include "demo_section.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

namespace {
struct Section {
    int order;
    const char* title;
    DemoFunction function;
};

std::vector<Section>& Sections() {
    static std::vector<Section> sections;
    return sections;
}
}  // namespace

int RegisterDemoSection(int order, const char* title, DemoFunction function) {
    Sections().push_back({order, title, function});
    return order;
}

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    DemoContext context;
    context.dataDir = argc > 1 ? argv[1] : KVX_DEMO_DATA_DIR;
    context.outputDir = argc > 2 ? argv[2] : (fs::temp_directory_path() / "kvx-host-demo").string();
    std::error_code ec;
    fs::create_directories(context.outputDir, ec);

    std::printf("kvx sample host\n  data:   %s\n  output: %s\n\n", context.dataDir.c_str(),
                context.outputDir.c_str());
    auto& sections = Sections();
    std::sort(sections.begin(), sections.end(),
              [](const Section& a, const Section& b) { return a.order < b.order; });
    int failures = 0;
    for (const Section& section : sections) {
        std::printf("== %s\n", section.title);
        const auto start = std::chrono::steady_clock::now();
        const int rc = section.function(context);
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        std::printf("   (%s, %lld us)\n\n", rc == 0 ? "ok" : "FAILED", static_cast<long long>(us));
        failures += rc != 0;
    }
    std::printf("%zu sections, %d failed\n", sections.size(), failures);
    return failures == 0 ? 0 : 1;
}

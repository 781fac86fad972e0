// demo_section.h: how the sample host's sections register themselves.
//
// Each subsystem's part of the demo lives in its own *_section.cpp and registers a function
// with KVX_DEMO_SECTION(order, "title", function). main() runs them in order.
#pragma once

#include <cstdio>
#include <string>

struct DemoContext {
    std::string dataDir;    // the bundled data (examples/host_demo/data)
    std::string outputDir;  // where the demo writes its files
};

// A section returns 0 on success; anything else makes the demo exit with a failure.
using DemoFunction = int (*)(DemoContext&);

int RegisterDemoSection(int order, const char* title, DemoFunction function);

#define KVX_DEMO_SECTION(order, title, function)                                                   \
    static const int kvxDemoSectionRegistered_##function =                                         \
        RegisterDemoSection(order, title, function)

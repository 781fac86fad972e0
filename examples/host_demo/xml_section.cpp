// xml_section.cpp: the sample host's tour of the XML format: it builds a document from the
// bundled plant data (areas, their devices, each device's settings), saves it, loads the file
// into a second document and shows that both trees are the same.
#include "demo_section.h"

#include "kvx/xml.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// The child of `parent` named `name` that holds a value "name" = `label`, made if missing.
XML_NODE& Child(XML_NODE& parent, const char* name, const std::string& label) {
    for (XML_NODE& child : parent.children) {
        if (child.name == name && child.values.front().value == label) {
            return child;
        }
    }
    return parent.children.emplace_back(parent.level + 1, name,
                                        std::vector<XML_VALUE>{{"name", label}});
}

size_t CountNodes(const XML_NODE& node) {
    size_t count = 1;
    for (const XML_NODE& child : node.children) {
        count += CountNodes(child);  // three levels here
    }
    return count;
}

int DemoXml(DemoContext& context) {
    namespace fs = std::filesystem;
    std::ifstream data(fs::path(context.dataDir) / "plant.txt");
    if (!data) {
        std::printf("   cannot read %s/plant.txt\n", context.dataDir.c_str());
        return 1;
    }
    CQVXmlFormat doc;
    XML_NODE* plant = doc.AddRootNode("plant site=\"north\"");
    std::string line;
    int settings = 0;
    while (std::getline(data, line)) {
        std::string area, device, setting, value;
        std::istringstream fields(line);
        if (line.empty() || line[0] == '#' || !std::getline(fields, area, ';') ||
            !std::getline(fields, device, ';') || !std::getline(fields, setting, ';') ||
            !std::getline(fields, value)) {
            continue;
        }
        // Text goes out as it stands: "&" stays "&". A "<" would cut the text on reading.
        if (value.find('<') != std::string::npos) {
            std::printf("   skipped %s/%s: its text holds \"<\"\n", device.c_str(),
                        setting.c_str());
            continue;
        }
        Child(Child(*plant, "area", area), "device", device).values.push_back({setting, value});
        ++settings;
    }

    const fs::path file = fs::path(context.outputDir) / "plant.xml";
    const LONG saved = doc.SaveFile(file.wstring().c_str());
    if (saved != 0) {
        std::printf("   SaveFile failed with system error %ld\n", static_cast<long>(saved));
        return 1;
    }
    std::printf("   %d settings in %zu nodes saved to %s (%ju bytes):\n", settings,
                CountNodes(*plant), file.string().c_str(),
                static_cast<uintmax_t>(fs::file_size(file)));
    std::ifstream written(file, std::ios::binary);
    for (int i = 0; i < 8 && std::getline(written, line); ++i) {
        std::printf("   | %s\n", line.substr(0, line.find('\r')).c_str());
    }
    std::printf("   | ...\n");

    CQVXmlFormat loaded;
    const XML_NODE* back = loaded.LoadFile(file.wstring().c_str());
    if (back == nullptr) {
        std::printf("   LoadFile failed\n");
        return 1;
    }
    const bool same = *back == *plant;
    std::printf("   loaded back: root \"%s\", %zu areas, %zu nodes; trees match: %s\n",
                back->name.c_str(), back->children.size(), CountNodes(*back), same ? "yes" : "NO");
    return same ? 0 : 1;
}

}  // namespace

KVX_DEMO_SECTION(50, "XML format", DemoXml);

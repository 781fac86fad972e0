// xml_section.cpp: the sample host's tour of the XML format: it builds a document from the
// bundled sensor log (read with CQVCsvFormatReader): one node per location, one per sensor
// below it, one per reading below that. It saves the document, loads the file into a second
// document and shows that both trees are the same.
#include "demo_section.h"

#include "kvx/csv.h"
#include "kvx/xml.h"

#include <exception>
#include <filesystem>
#include <fstream>

namespace {

// The child of `parent` named `name`, made (one level below) if missing.
XML_NODE& Child(XML_NODE& parent, const std::string& name) {
    for (XML_NODE& child : parent.children) {
        if (child.name == name) {
            return child;
        }
    }
    return parent.children.emplace_back(parent.level + 1, name);
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
    CQVCsvFormatReader reader;
    if (reader.Open((fs::path(context.dataDir) / "sensors.csv").wstring().c_str()) != 0) {
        std::printf("   cannot read sensors.csv\n");
        return 1;
    }
    uint64_t time = 0, sensor = 0, kind = 0, location = 0, value = 0, unit = 0, state = 0;
    try {
        time = static_cast<uint64_t>(reader.FindFieldIndex("time"));
        sensor = static_cast<uint64_t>(reader.FindFieldIndex("sensor"));
        kind = static_cast<uint64_t>(reader.FindFieldIndex("kind"));
        location = static_cast<uint64_t>(reader.FindFieldIndex("location"));
        value = static_cast<uint64_t>(reader.FindFieldIndex("value"));
        unit = static_cast<uint64_t>(reader.FindFieldIndex("unit"));
        state = static_cast<uint64_t>(reader.FindFieldIndex("status"));
    } catch (const std::exception& e) {
        std::printf("   missing column \"%s\"\n", e.what());
        return 1;
    }

    CQVXmlFormat doc;
    XML_NODE* plant = doc.AddRootNode("plant source=\"sensors.csv\"");
    int readings = 0;
    while (reader.ReadNextRecord() == 0) {
        const auto field = [&](uint64_t index) { return reader.GetRecordDataAsString(index); };
        // Attributes are part of a node's name; the text is written as it stands.
        XML_NODE& place = Child(*plant, std::string("location name=\"") + field(location) + "\"");
        XML_NODE& probe = Child(place, std::string("sensor id=\"") + field(sensor) + "\"");
        if (probe.values.empty()) {
            probe.values.push_back({"kind", field(kind)});
            probe.values.push_back({"unit", field(unit)});
        }
        probe.children.emplace_back(probe.level + 1, "reading",
                                    std::vector<XML_VALUE>{{"time", field(time)},
                                                           {"value", field(value)},
                                                           {"status", field(state)}});
        ++readings;
    }

    const fs::path file = fs::path(context.outputDir) / "sensors.xml";
    const LONG saved = doc.SaveFile(file.wstring().c_str());
    if (saved != 0) {
        std::printf("   SaveFile failed with system error %ld\n", static_cast<long>(saved));
        return 1;
    }
    std::printf("   %d readings from sensors.csv in %zu nodes, saved to %s (%ju bytes):\n",
                readings, CountNodes(*plant), file.string().c_str(),
                static_cast<uintmax_t>(fs::file_size(file)));
    {
        // Closed again before LoadFile, which opens the file without sharing: on Windows an
        // open stream would make that fail with a sharing violation.
        std::ifstream written(file, std::ios::binary);
        std::string line;
        for (int i = 0; i < 12 && std::getline(written, line); ++i) {
            std::printf("   | %s\n", line.substr(0, line.find('\r')).c_str());
        }
        std::printf("   | ...\n");
    }

    CQVXmlFormat loaded;
    const XML_NODE* back = loaded.LoadFile(file.wstring().c_str());
    if (back == nullptr) {
        std::printf("   LoadFile failed\n");
        return 1;
    }
    const bool same = *back == *plant;
    std::printf("   loaded back: root <%s>, %zu locations, %zu nodes; trees match: %s\n",
                back->name.c_str(), back->children.size(), CountNodes(*back), same ? "yes" : "NO");
    return same && readings > 0 ? 0 : 1;
}

}  // namespace

KVX_DEMO_SECTION(50, "XML format", DemoXml);

// xml_example.cpp: the guide's XML example: build a tree, save it, load it back.
#include "example_support.h"

#include "kvx/xml.h"

#include <cstdio>

int main() {
    const auto path = (ExampleFolder("xml") / "plant.xml").wstring();

    CQVXmlFormat doc;
    XML_NODE* root = doc.AddRootNode("plant");
    XML_NODE& hall = root->children.emplace_back(1, "hall");  // levels are stored, not computed
    hall.values.push_back({"name", "Hall 1"});
    XML_NODE& sensor = hall.children.emplace_back(2, "sensor");
    sensor.values.push_back({"id", "T-101"});
    sensor.values.push_back({"value", "22.5"});

    if (const LONG error = doc.SaveFile(path.c_str()); error != 0) {
        std::printf("save failed: system error %ld\n", static_cast<long>(error));
        return 1;
    }

    CQVXmlFormat copy;
    const XML_NODE* loaded = copy.LoadFile(path.c_str());  // null: unreadable or too short
    if (loaded == nullptr || !(*loaded == *root)) {
        std::printf("the file does not read back as the same tree\n");
        return 1;
    }
    const XML_NODE& first = loaded->children[0].children[0];
    std::printf("%s: %s = %s\n", first.name.c_str(), first.values[0].value.c_str(),
                first.values[1].value.c_str());
    return 0;
}

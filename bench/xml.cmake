# The XML format beside pugixml, tinyxml2 and rapidxml (Debian libpugixml-dev,
# libtinyxml2-dev, librapidxml-dev: scripts/install_deps.sh bench).
find_package(pugixml REQUIRED)
find_package(tinyxml2 REQUIRED)
find_path(KVX_RAPIDXML_INCLUDE rapidxml/rapidxml.hpp REQUIRED)
kvx_add_bench(xml_bench SOURCES xml_bench.cpp LIBS pugixml::pugixml tinyxml2::tinyxml2)
target_include_directories(xml_bench SYSTEM PRIVATE ${KVX_RAPIDXML_INCLUDE})

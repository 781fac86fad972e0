# The CSV reader beside libcsv, a std::getline reader and the memchr floor.
find_library(KVX_LIBCSV csv REQUIRED)
kvx_add_bench(csv_reader_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/csv_reader_bench.cpp
    LIBS ${KVX_LIBCSV})

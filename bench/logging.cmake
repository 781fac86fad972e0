# Logging: the traffic log and the severity log beside spdlog's basic_file_sink and beside the
# floor of their write pattern (the same bytes with the same number of write calls per line).
find_package(spdlog CONFIG REQUIRED)
kvx_add_bench(logging_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/logging_bench.cpp
    LIBS spdlog::spdlog)

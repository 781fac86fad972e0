# Date and time texts beside strftime + snprintf (and their wide forms) making the same text.
kvx_add_bench(datetime_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/datetime_bench.cpp)

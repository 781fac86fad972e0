# The small-block allocator beside glibc malloc, mimalloc and jemalloc (Debian libmimalloc-dev,
# libjemalloc-dev: scripts/install_deps.sh bench). Both peers replace malloc for a whole process
# when linked, so mimalloc is opened at run time without taking over malloc, and jemalloc (which
# cannot be opened that way) gets a program of its own from the same source.
find_library(KVX_MIMALLOC_LIBRARY NAMES libmimalloc.so.2 mimalloc REQUIRED)
find_library(KVX_JEMALLOC_LIBRARY jemalloc REQUIRED)
kvx_add_bench(allocator_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/allocator_bench.cpp
    LIBS ${CMAKE_DL_LIBS})
target_compile_definitions(allocator_bench PRIVATE
    KVX_BENCH_MIMALLOC_PATH="${KVX_MIMALLOC_LIBRARY}")
kvx_add_bench(allocator_jemalloc_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/allocator_bench.cpp
    LIBS ${KVX_JEMALLOC_LIBRARY})
target_compile_definitions(allocator_jemalloc_bench PRIVATE KVX_BENCH_JEMALLOC)

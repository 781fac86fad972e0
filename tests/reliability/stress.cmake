# Stress bounded in time: the event system, the loggers and the small-block allocator under
# eight threads each, for KVX_STRESS_SECONDS (default 2 s) per test, with a watchdog that fails
# a stuck run. Each prints a "[stress]" line with its figures.
add_library(kvx_stress_support STATIC ${CMAKE_CURRENT_LIST_DIR}/stress_support.cpp)
target_link_libraries(kvx_stress_support PUBLIC GTest::gtest)
kvx_set_compile_options(kvx_stress_support)

foreach(part events alloc log)
    kvx_add_test(reliability_stress_${part}_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/stress_${part}_test.cpp
        LABELS "reliability;stress")
    target_link_libraries(reliability_stress_${part}_test PRIVATE kvx_stress_support)
endforeach()

kvx_add_test(reliability_stress_watchdog_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/stress_watchdog_test.cpp
    LABELS "reliability;unit")
target_link_libraries(reliability_stress_watchdog_test PRIVATE kvx_stress_support)

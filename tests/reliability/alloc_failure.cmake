# Allocation failures: the n-th heap allocation of an operation fails, for n = 1, 2, ... until
# the operation completes. The test program replaces operator new and delete and watches the
# library's raw heap blocks (alloc_injection.cpp).
kvx_add_test(reliability_alloc_failure_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/alloc_injection.cpp
            ${CMAKE_CURRENT_LIST_DIR}/alloc_failure_xml_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/alloc_failure_csv_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/alloc_failure_log_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/alloc_failure_events_test.cpp
    LABELS "reliability;unit")
